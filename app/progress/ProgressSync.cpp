#include "ProgressSync.h"

#include "CellText.h"
#include "ErrorText.h"
#include "windows/ErrorMsg.h"

typedef std::unique_lock<std::mutex> CLock;

HRESULT CProgressSync::WaitWhilePaused(CLock &lock) {
    resumed.wait(lock, [this] { return stopped || !paused; });
    return stopped ? E_ABORT : S_OK;
}

bool CProgressSync::Get_Paused() {
    CLock lock(mutex);
    return paused;
}

bool CProgressSync::Get_Stopped() {
    CLock lock(mutex);
    return stopped;
}

void CProgressSync::Set_Stopped() {
    {
        CLock lock(mutex);
        stopped = true;
    }
    resumed.notify_all();
}

void CProgressSync::Set_Paused(bool value) {
    {
        CLock lock(mutex);
        paused = value;
    }
    resumed.notify_all();
}

HRESULT CProgressSync::CheckStop() {
    CLock lock(mutex);
    return WaitWhilePaused(lock);
}

HRESULT CProgressSync::ScanProgress(UInt64 numFiles, UInt64 numBytes, const UString &path, bool dir) {
    CLock lock(mutex);
    numFilesTotal = numFiles;
    numBytesTotal = numBytes;
    filePath = path;
    isDir = dir;
    return WaitWhilePaused(lock);
}

HRESULT CProgressSync::Set_NumFilesTotal(UInt64 value) {
    CLock lock(mutex);
    numFilesTotal = value;
    return WaitWhilePaused(lock);
}

void CProgressSync::Set_NumBytesTotal(UInt64 value) {
    CLock lock(mutex);
    numBytesTotal = value;
}

void CProgressSync::Set_NumFilesCur(UInt64 value) {
    CLock lock(mutex);
    numFilesCur = value;
}

HRESULT CProgressSync::Set_NumBytesCur(const UInt64 *value) {
    CLock lock(mutex);
    if (value) numBytesCur = *value;
    return WaitWhilePaused(lock);
}

HRESULT CProgressSync::Set_NumBytesCur(UInt64 value) {
    return Set_NumBytesCur(&value);
}

void CProgressSync::Set_Ratio(const UInt64 *in, const UInt64 *out) {
    CLock lock(mutex);
    if (in) inSize = *in;
    if (out) outSize = *out;
}

void CProgressSync::Set_TitleFileName(const UString &value) {
    CLock lock(mutex);
    titleFileName = value;
}

void CProgressSync::Set_Status(const UString &value) {
    CLock lock(mutex);
    status = value;
}

HRESULT CProgressSync::Set_Status2(const UString &value, const wchar_t *path, bool dir) {
    CLock lock(mutex);
    status = value;
    filePath = path ? path : L"";
    isDir = dir;
    return WaitWhilePaused(lock);
}

void CProgressSync::Set_FilePath(const wchar_t *path, bool dir) {
    CLock lock(mutex);
    filePath = path ? path : L"";
    isDir = dir;
}

void CProgressSync::Set_BytesProgressMode(bool value) {
    CLock lock(mutex);
    bytesProgressMode = value;
}

void CProgressSync::Set_FinalError(const UString &title, const UString &message) {
    CLock lock(mutex);
    finalError.title = title;
    finalError.message = message;
}

void CProgressSync::AddError_Message(const wchar_t *message) {
    const UString line = EngineMessageText(UString(message ? message : L""));
    CLock lock(mutex);
    messages.Add(line);
    isNote.push_back(false);
    numFailures++;
}

void CProgressSync::AddNote_Message(const wchar_t *message) {
    const UString line(message ? message : L"");
    CLock lock(mutex);
    messages.Add(line);
    isNote.push_back(true);
}

void CProgressSync::AddError_Message_Name(const wchar_t *message, const wchar_t *name) {
    UString line;
    // The list shows names as the item list does: no name can hide its extension or split its line.
    if (name && *name) line += MaskedItemName(UString(name));
    if (message && *message) {
        if (!line.IsEmpty()) line.Add_LF();
        line += message;
    }
    if (!line.IsEmpty() && line.Back() == L'\n') line.DeleteBack();
    AddError_Message(line);
}

void CProgressSync::AddError_Code_Name(DWORD code, const wchar_t *name) {
    UString message;
    if (code == 0)
        message = L"Error";
    else
        message = NWindows::NError::MyFormatMessage(code);
    AddError_Message_Name(message, name);
}
