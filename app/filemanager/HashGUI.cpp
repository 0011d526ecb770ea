#include "HashGUI.h"

#include "ErrorText.h"
#include "ExtractGUI.h"
#include "ProgressThreadVirt.h"
#include "ZipRegistry.h"
#include "archive/ui-common/CommandRunner.h"
#include "common/IntToString.h"
#include "common/StringConvert.h"
#include "messagebox.h"
#include "progresswindow.h"

namespace {

const wchar_t *const kHashTitle = L"校验信息";

void AddValuePair(UString &s, const wchar_t *name, UInt64 value) {
    ::AddValuePair(s, name, value, true);
}

void AddSizeValuePair(UString &s, const wchar_t *name, UInt64 value) {
    AddSizePair(s, name, value, true);
}

void AddHashString(UString &s, const CHasherState &h, unsigned digestIndex, const wchar_t *name) {
    char text[k_HashCalc_DigestSize_Max * 2 + 4];
    AddHashHexToString(text, h.Digests[digestIndex], h.DigestSize);
    s += name;
    s.Add_Space();
    s.AddAscii(text);
    s.Add_LF();
}

void AddHashResString(UString &s, const CHasherState &h, unsigned digestIndex, const wchar_t *name) {
    UString name2 = name;
    name2.Replace(UString(L"CRC"), MultiByteToUnicodeString(h.Name));
    AddHashString(s, h, digestIndex, name2);
}

class CHashCallbackGUI : public CProgressThreadVirt, public IHashCallbackUI {
public:
    UInt64 NumFiles = 0;
    bool IsFolder = false;
    UString FirstFileName;
    const NWildcard::CCensor *censor = nullptr;
    const CHashOptions *options = nullptr;
    const CExternalCodecs *codecs = nullptr;

    HRESULT ProcessVirt() override;

    CProgressSync &Sync() { return progressWindow->sync; }

    HRESULT ScanProgress(const CDirItemsStat &st, const UString &path, bool isDir) override {
        return Sync().ScanProgress(st.NumFiles, st.GetTotalBytes(), path, isDir);
    }
    HRESULT ScanError(const UString &path, DWORD systemError) override {
        Sync().AddError_Code_Name(systemError, path);
        return CheckBreak();
    }
    HRESULT StartScanning() override {
        Sync().Set_Status(UString(L"正在搜索..."));
        return CheckBreak();
    }
    HRESULT FinishScanning(const CDirItemsStat &st) override { return ScanProgress(st, UString(), false); }
    HRESULT SetNumFiles(UInt64 numFiles) override {
        Sync().Set_NumFilesTotal(numFiles);
        return CheckBreak();
    }
    HRESULT SetTotal(UInt64 size) override {
        Sync().Set_NumBytesTotal(size);
        return CheckBreak();
    }
    HRESULT SetCompleted(const UInt64 *completeValue) override { return Sync().Set_NumBytesCur(completeValue); }
    HRESULT CheckBreak() override { return Sync().CheckStop(); }
    HRESULT BeforeFirstFile(const CHashBundle &) override { return S_OK; }
    HRESULT GetStream(const wchar_t *name, bool isFolder) override {
        if (NumFiles == 0) FirstFileName = name;
        IsFolder = isFolder;
        Sync().Set_FilePath(name, isFolder);
        return CheckBreak();
    }
    HRESULT OpenFileError(const UString &path, DWORD systemError) override {
        Sync().AddError_Code_Name(systemError, path);
        return S_FALSE;
    }
    HRESULT SetOperationResult(UInt64, const CHashBundle &, bool) override {
        if (!IsFolder) NumFiles++;
        Sync().Set_NumFilesCur(NumFiles);
        return CheckBreak();
    }
    HRESULT AfterLastFile(CHashBundle &hb) override {
        UString s;
        AddHashBundleRes(s, hb, FirstFileName);
        Sync().Set_NumFilesCur(hb.NumFiles);
        CProgressMessageBoxPair &pair = hb.NumErrors != 0 ? finalError : finalOk;
        pair.title = kHashTitle;
        pair.message = s;
        return S_OK;
    }
};

HRESULT CHashCallbackGUI::ProcessVirt() {
    NumFiles = 0;
    AString errorInfo;
    return HashCalc(codecs, *censor, *options, errorInfo, this);
}

} // namespace

void AddHashBundleRes(UString &s, const CHashBundle &bundle, const UString &firstFileName) {
    if (bundle.NumErrors != 0) {
        AddValuePair(s, L"错误", bundle.NumErrors);
        s.Add_LF();
    }
    const bool oneFile = bundle.NumFiles == 1 && bundle.NumDirs == 0 && !firstFileName.IsEmpty();
    if (oneFile) {
        s += L"名称: ";
        s += firstFileName;
        s.Add_LF();
    } else {
        AddValuePair(s, L"文件夹", bundle.NumDirs);
        AddValuePair(s, L"文件", bundle.NumFiles);
    }
    AddSizeValuePair(s, L"大小", bundle.FilesSize);
    if (bundle.NumAltStreams != 0) {
        s.Add_LF();
        AddValuePair(s, L"交替数据流", bundle.NumAltStreams);
        AddSizeValuePair(s, L"交替数据流大小", bundle.AltStreamsSize);
    }
    if (bundle.NumErrors == 0 && bundle.Hashers.IsEmpty()) {
        s.Add_LF();
        s += L"未发现错误";
    }
    FOR_VECTOR(i, bundle.Hashers) {
        s.Add_LF();
        const CHasherState &h = bundle.Hashers[i];
        if (oneFile) {
            s += MultiByteToUnicodeString(h.Name);
            AddHashString(s, h, k_HashCalc_Index_DataSum, L":");
        } else {
            AddHashResString(s, h, k_HashCalc_Index_DataSum, L"CRC 数据校验：");
            AddHashResString(s, h, k_HashCalc_Index_NamesSum, L"CRC 数据及文件名校验：");
        }
        if (bundle.NumAltStreams != 0) AddHashResString(s, h, k_HashCalc_Index_StreamsSum, L"CRC 流及文件名校验：");
    }
}

HRESULT HashCalcGUI(const CExternalCodecs *codecs, const NWildcard::CCensor &censor, const CHashOptions &options,
                    bool &messageWasDisplayed) {
    messageWasDisplayed = false;
    // The hashers come from the plug-ins: one that cannot be had is an error that names it, before
    // any window opens.
    {
        CHashBundle probe;
        if (probe.SetMethods(codecs, options.Methods) != S_OK || probe.Hashers.IsEmpty()) {
            UString names;
            FOR_VECTOR(i, options.Methods) {
                if (!names.IsEmpty()) names += L", ";
                names += options.Methods[i];
            }
            if (names.IsEmpty()) names = L"CRC32";
            ShowErrorMessage(nullptr, MyFormatNew(UString(L"无法加载校验算法：{0}"), names));
            messageWasDisplayed = true;
            return E_FAIL;
        }
    }

    CHashCallbackGUI worker;
    worker.result = E_FAIL;
    worker.finishedOk = false;
    progresswindow *window = worker.progressWindow;
    if (!window) return E_FAIL;
    worker.censor = &censor;
    worker.options = &options;
    worker.codecs = codecs;
    window->show_packed_info = false;
    window->work = progresswindow::work_kind::checksum;

    const int res = worker.Create(L"正在校验...", nullptr);
    if (res != 0) return res;
    messageWasDisplayed = worker.finishedOk && window->messages_shown;
    // The sums are shown by the window; a run that failed is still a failure for the caller.
    if (worker.result != S_OK && worker.result != E_ABORT) return worker.result;
    return S_OK;
}

int HashCommandGUI(CArcCommandRun &run) {
    bool messageWasDisplayed = false;
    const HRESULT res =
        HashCalcGUI(&run.ExternalCodecs, run.Options.Censor, run.Options.HashSettings, messageWasDisplayed);
    if (res != S_OK && res != E_ABORT) {
        if (!messageWasDisplayed) ShowErrorMessage(nullptr, HResultToMessage(res));
        return kRunnerExit_Error;
    }
    if (res == E_ABORT) return kRunnerExit_Cancel;
    return kRunnerExit_Ok;
}
