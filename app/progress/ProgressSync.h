#pragma once

// The progress state of one operation: the worker writes it, the progress window reads it every
// 200 ms, and the worker learns here whether the user paused or cancelled.
#include <condition_variable>
#include <mutex>
#include <vector>

#include "common/MyString.h"
#include "common/MyWindows.h"

struct CProgressMessageBoxPair {
    UString title;
    UString message;
    bool IsSet() const { return !message.IsEmpty(); }
};

class CProgressSync {
    // Written only through Set_Stopped and Set_Paused, which wake a paused worker.
    bool stopped = false;
    bool paused = false;
    std::condition_variable resumed;

    // The wait of CheckStop, entered with the mutex held.
    HRESULT WaitWhilePaused(std::unique_lock<std::mutex> &lock);

public:
    // Guards every field below; held only for copies, never across a call into Qt or the engine.
    std::mutex mutex;

    // All 64-bit counters use all ones for "unknown".
    bool bytesProgressMode = true;
    UInt64 numBytesTotal = (UInt64)(Int64)-1;
    UInt64 numBytesCur = 0;
    UInt64 numFilesTotal = (UInt64)(Int64)-1;
    UInt64 numFilesCur = 0;
    UInt64 inSize = (UInt64)(Int64)-1;
    UInt64 outSize = (UInt64)(Int64)-1;
    UString titleFileName;
    UString status;
    UString filePath;
    bool isDir = false;
    UStringVector messages;
    // Failures among the messages: a note (the archive a list of failures belongs to, a summary)
    // is listed but counts for none.
    unsigned numFailures = 0;
    std::vector<bool> isNote; // one per message
    CProgressMessageBoxPair finalError;
    CProgressMessageBoxPair finalOk;

    CProgressSync() = default;
    CProgressSync(const CProgressSync &) = delete;
    CProgressSync &operator=(const CProgressSync &) = delete;

    bool Get_Paused();
    bool Get_Stopped();
    // Any thread. Stopping also ends a pause: a stopped worker never waits.
    void Set_Stopped();
    void Set_Paused(bool value);

    // E_ABORT once stopped; while paused, waits until resumed or stopped.
    HRESULT CheckStop();

    HRESULT ScanProgress(UInt64 numFiles, UInt64 numBytes, const UString &path, bool isDir);
    HRESULT Set_NumFilesTotal(UInt64 value);
    void Set_NumBytesTotal(UInt64 value);
    void Set_NumFilesCur(UInt64 value);
    HRESULT Set_NumBytesCur(const UInt64 *value);
    HRESULT Set_NumBytesCur(UInt64 value);
    void Set_Ratio(const UInt64 *in, const UInt64 *out);
    void Set_TitleFileName(const UString &value);
    void Set_Status(const UString &value);
    HRESULT Set_Status2(const UString &value, const wchar_t *path, bool isDir = false);
    void Set_FilePath(const wchar_t *path, bool isDir = false);
    void Set_BytesProgressMode(bool value);
    void Set_FinalError(const UString &title, const UString &message);

    void AddError_Message(const wchar_t *message);
    void AddNote_Message(const wchar_t *message);
    void AddError_Message_Name(const wchar_t *message, const wchar_t *name);
    void AddError_Code_Name(DWORD code, const wchar_t *name);
};
