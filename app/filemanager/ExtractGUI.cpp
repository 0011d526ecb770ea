#include "ExtractGUI.h"

#include <memory>

#include "ExtractCallback.h"
#include "ProgressThreadVirt.h"
#include "ErrorText.h"
#include "ZipRegistry.h"
#include "archive/ui-common/CommandRunner.h"
#include "common/IntToString.h"
#include "messagebox.h"
#include "progresswindow.h"
#include "unzipwindow.h"
#include "windows/DLL.h"
#include "windows/FileDir.h"
#include "windows/FileName.h"

using namespace NWindows;

void AddHashBundleRes(UString &s, const CHashBundle &bundle, const UString &firstFileName);

namespace {

const wchar_t *const kBadOutputFolder = L"错误的解压缩路径";

class CThreadExtracting : public CProgressThreadVirt {
public:
    CCodecs *codecs = nullptr;
    CExtractCallbackImp *ExtractCallbackSpec = nullptr;
    const CObjectVector<COpenType> *FormatIndices = nullptr;
    const CRecordVector<int> *ExcludedFormatIndices = nullptr;
    CObjectVector<UString> *ArchivePaths = nullptr;
    CObjectVector<UString> *ArchivePathsFull = nullptr;
    const NWildcard::CCensorNode *WildcardCensor = nullptr;
    const CExtractOptions *Options = nullptr;
    CHashBundle *HashBundle = nullptr;
    CMyComPtr<IFolderArchiveExtractCallback> ExtractCallback;
    UString Title;

    HRESULT ProcessVirt() override;
};

HRESULT CThreadExtracting::ProcessVirt() {
    if (HashBundle) HashBundle->Init();
    CDecompressStat stat;
    const HRESULT res =
        Extract(codecs, *FormatIndices, *ExcludedFormatIndices, *ArchivePaths, *ArchivePathsFull, *WildcardCensor,
                *Options, ExtractCallbackSpec, ExtractCallbackSpec, HashBundle, finalError.message, stat);
    ExtractCallbackSpec->AddFailedItemsSummary();
    if (res == S_OK && Options->TestMode && ExtractCallbackSpec->IsOK()) {
        UString s;
        AddValuePair(s, L"压缩包：", stat.NumArchives, false);
        AddSizePair(s, L"压缩后大小", stat.PackSize);
        if (!HashBundle) {
            if (stat.NumFolders != 0) AddValuePair(s, L"文件夹", stat.NumFolders, true);
            AddValuePair(s, L"文件", stat.NumFiles, true);
            AddSizePair(s, L"大小", stat.UnpackSize);
            if (stat.NumAltStreams != 0) {
                s.Add_LF();
                AddValuePair(s, L"交替数据流", stat.NumAltStreams, true);
                AddSizePair(s, L"交替数据流大小", stat.AltStreams_UnpackSize);
            }
        } else {
            s.Add_LF();
            AddHashBundleRes(s, *HashBundle, UString());
        }
        s.Add_LF();
        s += L"未发现错误";
        finalOk.title = Title;
        finalOk.message = s;
    }
    return res;
}

} // namespace

const wchar_t *nameWindowToUnix(const wchar_t *path) {
    if (path && path[0] == L'c' && path[1] == L':') return path + 2;
    return path;
}

void AddValuePair(UString &s, const wchar_t *name, UInt64 value, bool addColon) {
    wchar_t number[32];
    ConvertUInt64ToString(value, number);
    s += name;
    if (addColon) s += L":";
    s.Add_Space();
    s += number;
    s.Add_LF();
}

void AddSizePair(UString &s, const wchar_t *name, UInt64 value, bool alwaysMegabytes) {
    wchar_t number[32];
    ConvertUInt64ToString(value, number);
    s += name;
    s += L": ";
    s += MyFormatNew(UString(L"{0} 字节"), UString(number));
    if (alwaysMegabytes || value >= ((UInt64)1 << 20)) {
        ConvertUInt64ToString(value >> 20, number);
        s += L" (";
        s += number;
        s += L" MB)";
    }
    s.Add_LF();
}

HRESULT ExtractGUI(CCodecs *codecs, const CObjectVector<COpenType> &formatIndices,
                   const CRecordVector<int> &excludedFormatIndices, CObjectVector<UString> &archivePaths,
                   CObjectVector<UString> &archivePathsFull, const NWildcard::CCensorNode &censor,
                   CExtractOptions &options, CHashBundle *hashBundle, bool showDialog, bool &messageWasDisplayed,
                   CExtractCallbackImp *callback, QWidget * /*parent*/) {
    messageWasDisplayed = false;
    // The worker takes its progress window now; whatever way this function leaves, the
    // worker's end releases it (a cancelled dialog too).
    CThreadExtracting extracter;
    extracter.result = E_FAIL;
    extracter.finishedOk = false;
    progresswindow *window = extracter.progressWindow;
    if (!window) return E_FAIL;

    bool openOutputFolder = false;
    if (!options.TestMode) {
        UString outputDir = options.OutputDir;
        if (outputDir.IsEmpty()) NFile::NDir::GetCurrentDir(outputDir);
        if (showDialog) {
            UString fullPath;
            if (!NFile::NDir::MyGetFullPathName(outputDir, fullPath)) {
                ShowErrorMessage(nullptr, kBadOutputFolder);
                messageWasDisplayed = true;
                return E_FAIL;
            }
            NFile::NName::NormalizeDirPathPrefix(fullPath);
            outputDir = nameWindowToUnix(fullPath);

            auto info = std::make_shared<unzip_info>();
            info->OutputFolder = outputDir;
            info->PathMode = options.PathMode;
            info->OverwriteMode = options.OverwriteMode;
            info->PathModeForced = options.PathMode_Force;
            info->OverwriteModeForced = options.OverwriteMode_Force;
            info->ElimDup = options.ElimDup;
            info->Security = options.NtOptions.NtSecurity;
            if (archivePathsFull.Size() == 1) info->ArchivePath = archivePathsFull[0];
            if (callback->PasswordIsDefined) info->Password = callback->Password;

            if (show_unzipwindow(info) != 5100) return E_ABORT;

            outputDir = info->OutputFolder;
            options.PathMode = (NExtract::NPathMode::EEnum)info->PathMode;
            options.OverwriteMode = (NExtract::NOverwriteMode::EEnum)info->OverwriteMode;
            options.ElimDup = info->ElimDup;
            options.NtOptions.NtSecurity = info->Security;
            callback->Password = info->Password;
            callback->PasswordIsDefined = !info->Password.IsEmpty();
            openOutputFolder = info->OpenOutputFolder;
        }
        if (!NFile::NDir::MyGetFullPathName(outputDir, options.OutputDir)) {
            ShowErrorMessage(nullptr, kBadOutputFolder);
            messageWasDisplayed = true;
            return E_FAIL;
        }
        NFile::NName::NormalizeDirPathPrefix(options.OutputDir);
        // The engine reads the overwrite mode of the options; the callback answers the folder
        // operations with the same one.
        callback->OverwriteMode = options.OverwriteMode;
    }

    extracter.Title = options.TestMode ? L"正在测试" : L"正在提取";
    callback->ProgressDialog = window;
    extracter.ExtractCallbackSpec = callback;
    extracter.ExtractCallback = callback;
    callback->Init();

    window->compress_mode = false;
    window->work = options.TestMode ? progresswindow::work_kind::test : progresswindow::work_kind::extract;
    window->output_folder = options.OutputDir;
    window->open_output_folder = openOutputFolder;

    extracter.codecs = codecs;
    extracter.FormatIndices = &formatIndices;
    extracter.ExcludedFormatIndices = &excludedFormatIndices;
    extracter.ArchivePaths = &archivePaths;
    extracter.ArchivePathsFull = &archivePathsFull;
    extracter.WildcardCensor = &censor;
    extracter.Options = &options;
    extracter.HashBundle = hashBundle;

    const int res = extracter.Create(extracter.Title, nullptr);
    // The window goes with the worker; the callback must not point at it any longer.
    callback->ProgressDialog = nullptr;
    if (res != 0) return res;
    messageWasDisplayed = window->messages_shown && extracter.finishedOk;
    return extracter.result;
}

int ExtractCommandGUI(CArcCommandRun &run) {
    if (!run.Codecs || run.Codecs->Formats.IsEmpty()) {
        // Without the plug-in nothing can be opened: say so instead of failing archive by archive.
        UString path = NDLL::GetModuleDirPrefix();
        path += L"7z.so";
        ShowErrorMessage(nullptr, MyFormatNew(UString(L"无法加载模块 {0}"), path));
        return kRunnerExit_Error;
    }
    CExtractCallbackImp *callbackSpec = new CExtractCallbackImp;
    CMyComPtr<IFolderArchiveExtractCallback> callback = callbackSpec;
    callbackSpec->Init();
    callbackSpec->PasswordIsDefined = run.Options.PasswordGiven;
    callbackSpec->Password = run.Options.Password;
    callbackSpec->OverwriteMode = run.ExtractOptions.OverwriteMode;
    callbackSpec->MultiArcMode = run.ArchivePaths.Size() > 1;

    NWildcard::CCensorNode all;
    all.AddItem(true, UString(L"*"), true, true, true, true);
    const NWildcard::CCensorNode &censor =
        run.Options.Censor.Pairs.IsEmpty() ? all : run.Options.Censor.Pairs.Front().Head;
    bool messageWasDisplayed = false;
    const HRESULT res =
        ExtractGUI(run.Codecs, run.Types, run.ExcludedFormats, run.ArchivePaths, run.ArchivePathsFull, censor,
                   run.ExtractOptions, run.HashBundle.get(), run.Options.DialogMode, messageWasDisplayed, callbackSpec);
    if (res == E_ABORT && !callbackSpec->ThereAreMessageErrors) return kRunnerExit_Cancel;
    if (res != S_OK && messageWasDisplayed) return kRunnerExit_Error;
    if (!callbackSpec->IsOK()) return kRunnerExit_Error;
    if (res == E_ABORT) return kRunnerExit_Cancel;
    if (res != S_OK) {
        // A failure nobody has shown yet (the worker could not start, or no window).
        ShowErrorMessage(nullptr, HResultToMessage(res));
        return kRunnerExit_Error;
    }
    return kRunnerExit_Ok;
}
