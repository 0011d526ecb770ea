#pragma once

#include "ArchiveTempFile.h"
#include "archive/common/FileStreams.h"
#include "common/MyCom.h"
#include "common/MyString.h"

// A temporary file in the work folder that is later moved over the file it replaces.
class CWorkDirTempFile {
public:
    UString TargetPath;
    CArchiveTempFile TempFile;
    COutFileStream *FileStream;
    CMyComPtr<IOutStream> Stream;

    CWorkDirTempFile() : FileStream(nullptr) {}
    CWorkDirTempFile(const CWorkDirTempFile &) = delete;
    CWorkDirTempFile &operator=(const CWorkDirTempFile &) = delete;

    // S_OK, or the system's reason for a failed creation as an HRESULT.
    HRESULT CreateTempFile(const UString &targetPath);
    HRESULT MoveToOriginal(bool deleteTarget);
};
