#pragma once

#include "common/MyString.h"
#include "common/MyWindows.h"

// What failed in an update run: a system error number (or an HRESULT), a message and the files.
struct CUpdateErrorInfo {
    DWORD ErrorNumber;
    AString Text;
    UStringVector Paths;

    CUpdateErrorInfo() : ErrorNumber(0) {}

    // 0 gives E_FAIL, a system error number its HRESULT; an HRESULT is kept.
    HRESULT Get_HRESULT_Error() const;
    // Records errno and the message.
    void SetFromLastError(const char *message);
    // The same with the file name; returns the result code.
    HRESULT SetFromLastError(const char *message, const UString &fileName);
};

// The size of one written archive.
struct CFinishArchiveStat {
    UInt64 ArchiveSize;

    CFinishArchiveStat() : ArchiveSize(0) {}
};
