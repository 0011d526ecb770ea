#pragma once

#include "archive/common/FileStreams.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "windows/TempFile.h"

// A temporary file in the work folder that is later moved over the file it replaces.
class CWorkDirTempFile {
public:
    UString TargetPath;
    NWindows::NFile::NDir::CTempFile TempFile;
    COutFileStream *FileStream;
    CMyComPtr<IOutStream> Stream;

    CWorkDirTempFile() : FileStream(nullptr) {}
    CWorkDirTempFile(const CWorkDirTempFile &) = delete;
    CWorkDirTempFile &operator=(const CWorkDirTempFile &) = delete;

    // S_OK, or the system error number of a failed creation (E_FAIL when there is none).
    HRESULT CreateTempFile(const UString &targetPath);
    HRESULT MoveToOriginal(bool deleteTarget);
};
