#include "WorkDirTempFile.h"

#include <errno.h>

#include "WorkDir.h"
#include "archive/common/StreamUtils.h"
#include "windows/FileDir.h"

using namespace NWindows;
using namespace NFile;

HRESULT CWorkDirTempFile::CreateTempFile(const UString &targetPath) {
    NWorkDir::CInfo workDirInfo;
    workDirInfo.Load();
    UString namePart;
    const UString workDir = GetWorkDir(workDirInfo, targetPath, namePart);
    NDir::CreateComplexDir(workDir);
    Stream.Release();
    FileStream = nullptr;
    UString failedPath;
    RINOK(TempFile.Create(workDir, namePart, failedPath))
    FileStream = TempFile.FileStream();
    Stream = TempFile.Stream();
    TargetPath = targetPath;
    return S_OK;
}

HRESULT CWorkDirTempFile::MoveToOriginal(bool deleteTarget) {
    Stream.Release();
    FileStream = nullptr;
    return TempFile.Commit(TargetPath, deleteTarget);
}
