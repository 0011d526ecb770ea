#include "ExtractCallback.h"

#include <memory>

#include "ExtractErrorText.h"
#include "ProgressSync.h"
#include "ZipRegistry.h"
#include "archive/common/StreamUtils.h"
#include "archive/ui-common/ArchiveExtractCallback.h"
#include "common/IntToString.h"
#include "common/StringConvert.h"
#include "dialogcodes.h"
#include "overwritewindow.h"
#include "passwordwindow.h"
#include "progresswindow.h"
#include "windows/ErrorMsg.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/PropVariant.h"

using namespace NWindows;

namespace {

// The state of a callback that has no window (an operation run without progress display).
CProgressSync &DetachedSync() {
    thread_local CProgressSync sync;
    return sync;
}

} // namespace

CProgressSync &CExtractCallbackImp::Sync() {
    return ProgressDialog ? ProgressDialog->sync : DetachedSync();
}

void CExtractCallbackImp::Init() {
    StatusExtracting = L"正在提取";
    StatusTesting = L"正在测试";
    StatusSkipping = L"正在跳过";
    StatusEmpty.Empty();
    NumArchiveErrors = 0;
    NumItemErrors = 0;
    ThereAreMessageErrors = false;
    NumFolders = 0;
    NumFiles = 0;
    NeedAddFile = false;
}

void CExtractCallbackImp::SetHashBundle(CHashBundle *bundle) {
    HashStream.Release();
    HashStreamSpec = nullptr;
    if (!bundle) return;
    HashStreamSpec = new COutStreamWithHash;
    HashStream = HashStreamSpec;
    HashStreamSpec->_hash = bundle;
}

void CExtractCallbackImp::SetVirtFileSystem(CVirtFileSystem *fs) {
    VirtFileSystemSpec = fs;
    VirtFileSystem = fs;
}

void CExtractCallbackImp::AddError_Message(const wchar_t *message) {
    ThereAreMessageErrors = true;
    Sync().AddError_Message(message);
}

HRESULT CExtractCallbackImp::MessageError(const char *message, const UString &path) {
    ThereAreMessageErrors = true;
    const UString text = MultiByteToUnicodeString(AString(message));
    Sync().AddError_Message_Name(text, path);
    return S_OK;
}

void CExtractCallbackImp::Add_ArchiveName_Error() {
    if (!NeedWriteArchivePath) return;
    if (!CurrentArchivePath.IsEmpty()) {
        ThereAreMessageErrors = true;
        Sync().AddNote_Message(CurrentArchivePath);
    }
    NeedWriteArchivePath = false;
}

HRESULT CExtractCallbackImp::SetTotal(UInt64 total) {
    Sync().Set_NumBytesTotal(total);
    return S_OK;
}

HRESULT CExtractCallbackImp::SetCompleted(const UInt64 *value) {
    return Sync().Set_NumBytesCur(value);
}

HRESULT CExtractCallbackImp::SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) {
    Sync().Set_Ratio(inSize, outSize);
    return S_OK;
}

HRESULT CExtractCallbackImp::SetNumFiles(UInt64 numFiles) {
    Sync().Set_NumFilesTotal(numFiles);
    return S_OK;
}

HRESULT CExtractCallbackImp::Open_CheckBreak() {
    return Sync().CheckStop();
}

HRESULT CExtractCallbackImp::Open_Finished() {
    return Sync().CheckStop();
}

HRESULT CExtractCallbackImp::Open_SetTotal(const UInt64 *files, const UInt64 *bytes) {
    if (MultiArcMode) return S_OK;
    TotalFilesDefined = files != nullptr;
    if (bytes) {
        TotalBytesDefined = true;
        Sync().Set_NumBytesTotal(*bytes);
    } else {
        TotalBytesDefined = false;
    }
    return S_OK;
}

HRESULT CExtractCallbackImp::Open_SetCompleted(const UInt64 *files, const UInt64 * /*bytes*/) {
    if (!MultiArcMode && files) Sync().Set_NumFilesCur(*files);
    return Sync().CheckStop();
}

HRESULT CExtractCallbackImp::Open_CryptoGetTextPassword(BSTR *password) {
    return CryptoGetTextPassword(password);
}

HRESULT CExtractCallbackImp::BeforeOpen(const wchar_t *name, bool /*testMode*/) {
    RINOK(Sync().CheckStop());
    Sync().Set_TitleFileName(name);
    CurrentArchivePath = name;
    return S_OK;
}

HRESULT CExtractCallbackImp::OpenResult(const CCodecs *codecs, const CArchiveLink &arcLink, const wchar_t *name,
                                        HRESULT result) {
    CurrentArchivePath = name;
    NeedWriteArchivePath = true;
    UString s;
    OpenResult_GUI(s, codecs, arcLink, name, result);
    if (!s.IsEmpty()) {
        NumArchiveErrors++;
        AddError_Message(s);
        NeedWriteArchivePath = false;
    }
    return S_OK;
}

HRESULT CExtractCallbackImp::ThereAreNoFiles() {
    return S_OK;
}

HRESULT CExtractCallbackImp::ExtractResult(HRESULT result) {
    if (result == S_OK) return result;
    NumArchiveErrors++;
    if (result == E_ABORT || result == 28 /* ENOSPC */) return result;
    Add_ArchiveName_Error();
    ThereAreMessageErrors = true;
    Sync().AddError_Message_Name(NError::MyFormatMessage((UInt32)result), CurrentFilePath);
    return S_OK;
}

HRESULT CExtractCallbackImp::SetPassword(const UString &password) {
    PasswordIsDefined = true;
    Password = password;
    return S_OK;
}

HRESULT CExtractCallbackImp::PrepareOperation(const wchar_t *name, Int32 isFolder, Int32 askExtractMode,
                                              const UInt64 * /*position*/) {
    IsFolder = isFolder != 0;
    CurrentFilePath = name;
    const UString *status = &StatusEmpty;
    switch (askExtractMode) {
    case 0:
        status = &StatusExtracting;
        break;
    case 1:
        status = &StatusTesting;
        break;
    case 2:
        status = &StatusSkipping;
        break;
    default:
        break;
    }
    return Sync().Set_Status2(*status, name, IsFolder);
}

HRESULT CExtractCallbackImp::SetOperationResult(Int32 opRes, Int32 encrypted) {
    if (opRes != 0) {
        UString s;
        NumItemErrors++;
        SetExtractErrorMessage(ProgressDialog, opRes, encrypted, CurrentFilePath, s);
        Add_ArchiveName_Error();
        AddError_Message(s);
    }
    if (IsFolder)
        NumFolders++;
    else
        NumFiles++;
    Sync().Set_NumFilesCur(NumFiles);
    return S_OK;
}

HRESULT CExtractCallbackImp::ReportExtractResult(Int32 opRes, Int32 encrypted, const wchar_t *name) {
    if (opRes != 0) {
        UString s;
        NumItemErrors++;
        SetExtractErrorMessage(ProgressDialog, opRes, encrypted, name, s);
        Add_ArchiveName_Error();
        AddError_Message(s);
    }
    return S_OK;
}

void CExtractCallbackImp::AddFailedItemsSummary() {
    if (NumItemErrors == 0) return;
    wchar_t number[32];
    ConvertUInt64ToString(NumItemErrors, number);
    Sync().AddNote_Message(MyFormatNew(UString(L"{0} 个项目失败"), UString(number)));
}

HRESULT CExtractCallbackImp::MessageError(const wchar_t *message) {
    AddError_Message(message);
    return S_OK;
}

HRESULT CExtractCallbackImp::ShowMessage(const wchar_t *message) {
    AddError_Message(message);
    return S_OK;
}

HRESULT CExtractCallbackImp::SetCurrentFilePath(const wchar_t *path) {
    if (NeedAddFile) NumFiles++;
    NeedAddFile = true;
    Sync().Set_NumFilesCur(NumFiles);
    CurrentFilePath = path;
    Sync().Set_FilePath(path, false);
    return S_OK;
}

namespace {

void FillFileInfo(NOverwriteDialog::CFileInfo &info, const wchar_t *name, const FILETIME *time, const UInt64 *size) {
    info.sizeDefined = size != nullptr;
    if (size) info.size = *size;
    info.timeDefined = time != nullptr;
    if (time) info.time = *time;
    info.name = name ? name : L"";
}

} // namespace

HRESULT CExtractCallbackImp::AskOverwrite(const wchar_t *existName, const FILETIME *existTime, const UInt64 *existSize,
                                          const wchar_t *newName, const FILETIME *newTime, const UInt64 *newSize,
                                          Int32 *answer) {
    auto info = std::make_shared<overwrite_info>();
    info->parent = ProgressDialog;
    FillFileInfo(info->old_file, existName, existTime, existSize);
    FillFileInfo(info->new_file, newName, newTime, newSize);
    switch (show_overwritewindow(info)) {
    case dialog_result::yes:
        *answer = NOverwriteAnswer::kYes;
        return S_OK;
    case dialog_result::yes_to_all:
        *answer = NOverwriteAnswer::kYesToAll;
        return S_OK;
    case dialog_result::no:
        *answer = NOverwriteAnswer::kNo;
        return S_OK;
    case dialog_result::no_to_all:
        *answer = NOverwriteAnswer::kNoToAll;
        return S_OK;
    case dialog_result::auto_rename:
        *answer = NOverwriteAnswer::kAutoRename;
        return S_OK;
    case dialog_result::closed:
    case dialog_result::cancel:
        *answer = NOverwriteAnswer::kCancel;
        return E_ABORT;
    default:
        return E_FAIL;
    }
}

HRESULT CExtractCallbackImp::AskWrite(const wchar_t *srcPath, Int32 srcIsFolder, const FILETIME *srcTime,
                                      const UInt64 *srcSize, const wchar_t *destPath, BSTR *destPathResult,
                                      Int32 *writeAnswer) {
    UString destPathResultTemp = destPath;
    *destPathResult = nullptr;
    *writeAnswer = 0;

    NFile::NFind::CFileInfo destInfo;
    if (destInfo.Find(destPath)) {
        if (srcIsFolder) {
            if (!destInfo.IsDir()) {
                RINOK(MessageError("can not replace file with folder with same name", UString(destPath)));
                return E_ABORT;
            }
            // An existing folder is merged.
            return S_OK;
        }
        if (destInfo.IsDir()) {
            RINOK(MessageError("can not replace folder with file with same name", UString(destPath)));
            return S_OK;
        }

        switch (OverwriteMode) {
        case NExtract::NOverwriteMode::kSkip:
            return S_OK;
        case NExtract::NOverwriteMode::kAsk: {
            UString existPath = destPath;
            const int slash = existPath.ReverseFind_PathSepar();
            existPath.DeleteFrom((unsigned)(slash + 1));
            existPath += destInfo.Name;
            Int32 overwriteResult = NOverwriteAnswer::kCancel;
            RINOK(
                AskOverwrite(existPath, &destInfo.MTime, &destInfo.Size, srcPath, srcTime, srcSize, &overwriteResult));
            NExtract::NOverwriteMode::EEnum mode = (NExtract::NOverwriteMode::EEnum)OverwriteMode;
            const HRESULT res = ApplyOverwriteAnswer(overwriteResult, mode);
            OverwriteMode = mode;
            if (res == S_FALSE) return S_OK;
            if (res != S_OK) return res;
            break;
        }
        default:
            break;
        }

        if (OverwriteMode == NExtract::NOverwriteMode::kRename) {
            if (!AutoRenamePath(destPathResultTemp)) {
                RINOK(MessageError("can not create name for file", UString(destPath)));
                return E_ABORT;
            }
        } else if (OverwriteMode == NExtract::NOverwriteMode::kRenameExisting) {
            // The old file moves out of the way under a free name; it is never deleted.
            UString existRenamed = destPath;
            if (!AutoRenamePath(existRenamed)) {
                RINOK(MessageError("can not create name for file", UString(destPath)));
                return E_ABORT;
            }
            if (!NFile::NDir::MyMoveFile(destPath, existRenamed)) {
                RINOK(MessageError("can not rename existing file", UString(destPath)));
                return E_ABORT;
            }
        } else if (!NFile::NDir::DeleteFileAlways(destPath)) {
            RINOK(MessageError("can not delete output file", UString(destPath)));
            return E_ABORT;
        }
    }
    *writeAnswer = 1;
    *destPathResult = SysAllocString(destPathResultTemp);
    return *destPathResult ? S_OK : E_OUTOFMEMORY;
}

HRESULT CExtractCallbackImp::CryptoGetTextPassword(BSTR *password) {
    *password = nullptr;
    PasswordWasAsked = true;
    if (!PasswordIsDefined) {
        const bool storedShow = NExtract::Read_ShowPassword();
        auto info = std::make_shared<password_info>();
        info->parent = ProgressDialog;
        info->show_password = storedShow;
        if (show_passwordwindow(info) != dialog_result::ok) return E_ABORT;
        Password = info->password;
        PasswordIsDefined = true;
        if (info->show_password != storedShow) NExtract::Save_ShowPassword(info->show_password);
    }
    *password = SysAllocString(Password);
    return *password ? S_OK : E_OUTOFMEMORY;
}

HRESULT CExtractCallbackImp::UseExtractToStream(Int32 *res) {
    *res = StreamMode ? 1 : 0;
    return S_OK;
}

namespace {

HRESULT GetTime(IGetProp *getProp, PROPID propID, FILETIME &time, bool &defined) {
    defined = false;
    NCOM::CPropVariant prop;
    RINOK(getProp->GetProp(propID, &prop));
    if (prop.vt == VT_FILETIME) {
        time = prop.filetime;
        defined = time.dwLowDateTime != 0 || time.dwHighDateTime != 0;
    } else if (prop.vt != VT_EMPTY) {
        return E_FAIL;
    }
    return S_OK;
}

} // namespace

HRESULT CExtractCallbackImp::GetStream7(const wchar_t *name, Int32 isDir, ISequentialOutStream **outStream,
                                        Int32 askExtractMode, IGetProp *getProp) {
    COM_TRY_BEGIN
    *outStream = nullptr;
    NewVirtFileWasAdded = false;
    HashStreamWasUsed = false;
    NeedUpdateStat = false;
    if (HashStreamSpec) HashStreamSpec->ReleaseStream();

    IsAltStream = false;
    {
        NCOM::CPropVariant prop;
        if (getProp->GetProp(kpidIsAltStream, &prop) == S_OK && prop.vt == VT_BOOL) IsAltStream = prop.boolVal != 0;
    }
    if (IsAltStream && !ProcessAltStreams) return S_OK;

    StreamFilePath = name;
    IsFolder = isDir != 0;
    CurSize = 0;
    CurSizeDefined = false;
    {
        NCOM::CPropVariant prop;
        RINOK(getProp->GetProp(kpidSize, &prop));
        switch (prop.vt) {
        case VT_EMPTY:
            break;
        case VT_UI1:
            CurSize = prop.bVal;
            CurSizeDefined = true;
            break;
        case VT_UI2:
            CurSize = prop.uiVal;
            CurSizeDefined = true;
            break;
        case VT_UI4:
            CurSize = prop.ulVal;
            CurSizeDefined = true;
            break;
        case VT_UI8:
            CurSize = prop.uhVal.QuadPart;
            CurSizeDefined = true;
            break;
        default:
            throw 151199;
        }
    }

    if (askExtractMode != NArchive::NExtract::NAskMode::kExtract &&
        askExtractMode != NArchive::NExtract::NAskMode::kTest)
        return S_OK;

    NeedUpdateStat = true;
    CMyComPtr<ISequentialOutStream> outStreamLoc;
    if (VirtFileSystemSpec && askExtractMode == NArchive::NExtract::NAskMode::kExtract) {
        CVirtFile &file = VirtFileSystemSpec->AddNewFile();
        NewVirtFileWasAdded = true;
        file.Name = name;
        file.IsDir = IsFolder;
        file.IsAltStream = IsAltStream;
        file.WrittenSize = 0;
        RINOK(GetTime(getProp, kpidCTime, file.CTime, file.CTimeDefined));
        RINOK(GetTime(getProp, kpidATime, file.ATime, file.ATimeDefined));
        RINOK(GetTime(getProp, kpidMTime, file.MTime, file.MTimeDefined));
        NCOM::CPropVariant prop;
        RINOK(getProp->GetProp(kpidAttrib, &prop));
        if (prop.vt == VT_UI4) {
            file.Attrib = prop.ulVal;
            file.AttribDefined = true;
        }
        file.ExpectSize = CurSizeDefined ? CurSize : 0;
        outStreamLoc = VirtFileSystem;
    }

    if (HashStream) {
        HashStreamSpec->SetStream(outStreamLoc);
        outStreamLoc.Release();
        HashStreamSpec->Init(true);
        HashStreamWasUsed = true;
        outStreamLoc = HashStream;
    }
    *outStream = outStreamLoc.Detach();
    return S_OK;
    COM_TRY_END
}

HRESULT CExtractCallbackImp::PrepareOperation7(Int32 askExtractMode) {
    COM_TRY_BEGIN
    NeedUpdateStat = askExtractMode == NArchive::NExtract::NAskMode::kExtract ||
                     askExtractMode == NArchive::NExtract::NAskMode::kTest;
    CurrentFilePath = StreamFilePath;
    Sync().Set_FilePath(StreamFilePath, false);
    return S_OK;
    COM_TRY_END
}

HRESULT CExtractCallbackImp::SetOperationResult7(Int32 opRes, Int32 encrypted) {
    COM_TRY_BEGIN
    if (VirtFileSystemSpec && NewVirtFileWasAdded) {
        RINOK(VirtFileSystemSpec->CloseMemFile());
    }
    if (HashStreamSpec && HashStreamWasUsed) {
        HashStreamSpec->_hash->Final(IsFolder, IsAltStream, StreamFilePath);
        CurSize = HashStreamSpec->GetSize();
        CurSizeDefined = true;
        HashStreamSpec->ReleaseStream();
        HashStreamWasUsed = false;
    } else if (HashCalcSink && NeedUpdateStat) {
        HashCalcSink->SetSize(CurSize);
        HashCalcSink->Final(IsFolder, IsAltStream, StreamFilePath);
    }
    return SetOperationResult(opRes, encrypted);
    COM_TRY_END
}
