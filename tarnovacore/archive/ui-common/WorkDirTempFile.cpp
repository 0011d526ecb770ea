#include "WorkDirTempFile.h"

#include <errno.h>

#include "WorkDir.h"
#include "windows/FileDir.h"

using namespace NWindows;
using namespace NFile;

static HRESULT ErrnoResult() {
    return HRESULT_FROM_ERRNO(errno);
}

HRESULT CWorkDirTempFile::CreateTempFile(const UString &targetPath) {
    NWorkDir::CInfo workDirInfo;
    workDirInfo.Load();
    UString namePart;
    const UString workDir = GetWorkDir(workDirInfo, targetPath, namePart);
    NDir::CreateComplexDir(workDir);
    Stream.Release();
    FileStream = new COutFileStream;
    Stream = FileStream;
    if (!TempFile.Create(workDir + namePart, &FileStream->File)) return ErrnoResult();
    TargetPath = targetPath;
    return S_OK;
}

HRESULT CWorkDirTempFile::MoveToOriginal(bool deleteTarget) {
    // Closes the file unless the writer still holds it.
    Stream.Release();
    FileStream = nullptr;
    if (!TempFile.MoveTo(TargetPath, deleteTarget)) return ErrnoResult();
    return S_OK;
}
