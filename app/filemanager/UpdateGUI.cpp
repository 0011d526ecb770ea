#include "UpdateGUI.h"

#include <memory>

#include "CompressionOptions.h"
#include "ErrorText.h"
#include "ProgressThreadVirt.h"
#include "UpdateCallbackGUI.h"
#include "ZipRegistry.h"
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "archive/common/MethodProps.h"
#include "archive/ui-common/CommandRunner.h"
#include "archive/ui-common/WorkDir.h"
#include "common/IntToString.h"
#include "common/StringConvert.h"
#include "common/StringToInt.h"
#include "messagebox.h"
#include "progresswindow.h"
#include "windows/DLL.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "zipwindow.h"

using namespace NWindows;

namespace {

// Short: the message box shows about two lines.
const wchar_t *const kUnsupportedOption = L"不支持的压缩方法：{0}";
const wchar_t *const kUnsupportedWrite = L"不支持的压缩方法，未留下任何文件";

class CThreadUpdating : public CProgressThreadVirt {
public:
    CCodecs *codecs = nullptr;
    const CObjectVector<COpenType> *formatIndices = nullptr;
    const UString *cmdArcPath = nullptr;
    CUpdateCallbackGUI *updateCallbackGUI = nullptr;
    NWildcard::CCensor *wildcardCensor = nullptr;
    CUpdateOptions *options = nullptr;
    bool path_from_command_line = false;

    HRESULT ProcessVirt() override;
};

HRESULT CThreadUpdating::ProcessVirt() {
    CUpdateErrorInfo ei;
    HRESULT res = UpdateArchive(codecs, *formatIndices, *cmdArcPath, *wildcardCensor, *options, ei, updateCallbackGUI,
                                updateCallbackGUI, path_from_command_line);
    finalError.message = MultiByteToUnicodeString(ei.Text);
    errorPaths = ei.Paths;
    // An errno in the error info becomes a failure result, never a positive "success".
    if (ei.ErrorNumber != 0 && ei.ErrorNumber != (DWORD)E_ABORT && ei.ErrorNumber != (DWORD)E_FAIL)
        res = ei.Get_HRESULT_Error();
    // A writer that refuses a method mid-way has left nothing behind (the engine removes what it
    // wrote); say what happened instead of a bare "not implemented".
    if (res == E_NOTIMPL && finalError.message.IsEmpty()) finalError.message = kUnsupportedWrite;
    return res;
}

void AddProp(CObjectVector<CProperty> &properties, const char *name, const UString &value) {
    CProperty prop;
    prop.Name = MultiByteToUnicodeString(AString(name));
    prop.Value = value;
    properties.Add(prop);
}

void AddProp(CObjectVector<CProperty> &properties, const char *name, UInt32 value) {
    wchar_t s[16];
    ConvertUInt32ToString(value, s);
    AddProp(properties, name, UString(s));
}

bool IsThereMethodOverride(bool is7z, const UStringVector &words) {
    for (unsigned i = 0; i < words.Size(); i++) {
        const UString &s = words[i];
        if (is7z) {
            const wchar_t *end;
            const UInt64 n = ConvertStringToUInt64(s, &end);
            (void)n;
            if (end != s.Ptr() && *end == L'=') return true;
        } else if (s.Len() > 0 && s.IsPrefixedBy_Ascii_NoCase("m=")) {
            return true;
        }
    }
    return false;
}

void ParseAndAddPropertires(CObjectVector<CProperty> &properties, const UStringVector &words) {
    for (unsigned i = 0; i < words.Size(); i++) {
        const UString &word = words[i];
        CProperty prop;
        const int eq = word.Find(L'=');
        if (eq < 0) {
            prop.Name = word;
        } else {
            prop.Name.SetFrom(word, (unsigned)eq);
            prop.Value = word.Ptr((unsigned)eq + 1);
        }
        properties.Add(prop);
    }
}

} // namespace

void SetOutProperties(CObjectVector<CProperty> &properties, const zip_info &info, bool is7z) {
    properties.Clear();
    UStringVector words;
    SplitString(info.parameters, words);
    const bool methodOverride = IsThereMethodOverride(is7z, words);
    const AString prefix = is7z ? AString("0") : AString();
    if (info.level != NCompressDialog::kUnset) AddProp(properties, "x", info.level);
    if (!methodOverride) {
        if (!info.method.IsEmpty()) AddProp(properties, is7z ? "0" : "m", info.method);
        if (info.dictionary != NCompressDialog::kUnset) {
            const AString name = prefix + (info.order_mode ? "mem" : "d");
            AddProp(properties, name.Ptr(), GetNumInBytesString(info.dictionary));
        }
        if (info.order != NCompressDialog::kUnset) {
            const AString name = prefix + (info.order_mode ? "o" : "fb");
            AddProp(properties, name.Ptr(), info.order);
        }
    }
    if (!info.encryption_method.IsEmpty()) AddProp(properties, "em", info.encryption_method);
    // Never "off": the dialog shows no such choice, and an archive whose names are encrypted keeps
    // them so only when nothing says otherwise.
    if (info.encrypt_headers_allowed && info.encrypt_headers) AddProp(properties, "he", UString(L"on"));
    if (info.solid_allowed) AddProp(properties, "s", GetNumInBytesString(info.solid_block_size));
    if (info.multithread_allowed) AddProp(properties, "mt", info.num_threads);
    ParseAndAddPropertires(properties, words);
}

namespace {

bool OneFileInput(const NWildcard::CCensor &censor, UString &name) {
    if (censor.CensorPaths.Size() != 1) return false;
    const NWildcard::CCensorPath &cp = censor.CensorPaths[0];
    if (!cp.Include) return false;
    NFile::NFind::CFileInfo fi;
    if (!fi.Find(cp.Path, false)) return false;
    if (fi.IsDir()) return false;
    name = fi.Name;
    return true;
}

UString PropsText(const CObjectVector<CProperty> &props) {
    UString s;
    for (unsigned i = 0; i < props.Size(); i++) {
        if (!s.IsEmpty()) s.Add_Space();
        s += props[i].Name;
        if (!props[i].Value.IsEmpty()) {
            s += L'=';
            s += props[i].Value;
        }
    }
    return s;
}

// Adding to an archive that exists writes its own format, as its name says: a profile that picked
// another one (the quick profile's zip for a 7z) could only fail to open it. The options of the
// other format do not apply; the level does.
void KeepFormatOfExistingArchive(const CCodecs &codecs, zip_info &info) {
    NFile::NFind::CFileInfo fi;
    if (info.arc_path.IsEmpty() || !fi.Find(info.arc_path) || fi.IsDir()) return;
    const int existing = codecs.FindFormatForArchiveName(info.arc_path);
    // A single-stream format is taken even where the dialog did not offer it: the engine then says
    // why a compressed tar or a one-file stream cannot take these inputs.
    if (existing < 0 || existing == info.format_index || !codecs.Formats[(unsigned)existing].CanWrite) return;
    info.format_index = existing;
    info.method.Empty();
    info.dictionary = NCompressDialog::kUnset;
    info.order = NCompressDialog::kUnset;
    info.order_mode = false;
    info.encryption_method.Empty();
    info.parameters.Empty();
    info.solid_allowed = false;
    info.multithread_allowed = false;
    info.encrypt_headers_allowed = false;
}

HRESULT ShowDialog(CCodecs *codecs, const NWildcard::CCensor &censor, CUpdateOptions &options,
                   CUpdateCallbackGUI *callback) {
    if (options.Outputs.Size() != 1) throw "It must be one command";
    UString singleFileName;
    const bool oneFile = OneFileInput(censor, singleFileName);

    auto info = std::make_shared<zip_info>();
    info->formats = &codecs->Formats;
    if (options.Method.HasType) info->format_index = options.Method.Format.formatIndex;

    for (unsigned i = 0; i < codecs->Formats.Size(); i++) {
        const CArcInfoEx &ai = codecs->Formats[i];
        if (!ai.CanWrite) continue;
        if (!oneFile && (ai.Flags & NArcInfoFlags::kKeepName)) continue;
        if (ai.Name.IsEqualTo_Ascii_NoCase("swfc")) {
            UString lower = singleFileName;
            const bool swf =
                oneFile && lower.Len() >= 4 && UString(lower.Ptr(lower.Len() - 4)).IsEqualTo_Ascii_NoCase(".swf");
            if ((int)i != info->format_index && !swf) continue;
        }
        info->format_indices.Add((Int32)i);
    }
    if (info->format_indices.IsEmpty()) {
        ShowErrorMessage(nullptr, L"找不到压缩引擎");
        return E_FAIL;
    }

    info->arc_path = options.ArcPath.Folder + options.ArcPath.BaseName;
    info->single_file_name = singleFileName;
    info->path_mode = (Int32)options.CensorPathMode;
    info->sfx_mode = options.MakeSfx;
    info->open_share_for_write = options.OpenForWriteShare;
    info->delete_after_compressing = options.DeleteSourcesAfter;
    info->sym_links = options.KeepSymLinks;
    info->hard_links = options.KeepHardLinks;
    info->alt_streams = options.KeepAltStreams;
    info->nt_security = options.KeepNtSecurity;
    if (callback->password_defined) info->password = callback->password;
    info->keep_name = !oneFile;

    const NUpdateArchive::CActionSet *const kSets[] = {
        &NUpdateArchive::k_ActionSet_Add, &NUpdateArchive::k_ActionSet_Update, &NUpdateArchive::k_ActionSet_Fresh,
        &NUpdateArchive::k_ActionSet_Sync};
    const NUpdateArchive::CActionSet &actions = options.Outputs[0].Actions;
    info->update_mode = -1;
    for (unsigned i = 0; i < 4; i++) {
        if (actions.IsEqualTo(*kSets[i])) {
            info->update_mode = (Int32)i;
            break;
        }
    }
    if (info->update_mode < 0) return E_NOTIMPL;

    if (show_zipwindow(info) != 5100) return E_ABORT;
    KeepFormatOfExistingArchive(*codecs, *info);

    options.DeleteSourcesAfter = info->delete_after_compressing;
    options.KeepSymLinks = info->sym_links;
    options.KeepHardLinks = info->hard_links;
    options.KeepAltStreams = info->alt_streams;
    options.KeepNtSecurity = info->nt_security;
    options.VolumeSizes = info->volume_sizes;
    if (info->update_mode < 0 || info->update_mode > 3) return E_FAIL;
    options.Outputs[0].Actions = *kSets[info->update_mode];
    options.CensorPathMode = (NWildcard::ECensorPathMode)info->path_mode;
    callback->password_defined = !info->password.IsEmpty();
    if (callback->password_defined) callback->password = info->password;

    const CArcInfoEx &format = codecs->Formats[(unsigned)info->format_index];
    SetOutProperties(options.Method.Props, *info, format.Name.IsEqualTo_Ascii_NoCase("7z"));

    options.OpenForWriteShare = info->open_share_for_write;
    if (info->sfx_mode) options.MakeSfx = true;
    options.Method.Format = COpenType();
    options.Method.Format.formatIndex = info->format_index;
    options.Method.HasType = true;

    options.ArcPath.VolumeExt = format.GetMainExt();
    options.ArcPath.MainExt = options.MakeSfx ? UString(L"exe") : options.ArcPath.VolumeExt;
    options.ArcPath.ParseFromPath(info->arc_path, kArcNameSmart);

    NWorkDir::CInfo workDirInfo;
    workDirInfo.Load();
    options.WorkFolder.Empty();
    if (workDirInfo.WorkDirType != NWorkDir::kWorkDirArchiveFolder) {
        UString fullPath;
        NFile::NDir::MyGetFullPathName(options.ArcPath.GetFinalPath(), fullPath);
        UString namePart;
        options.WorkFolder = GetWorkDir(workDirInfo, fullPath, namePart);
        NFile::NDir::CreateComplexDir(options.WorkFolder);
    }
    return S_OK;
}

} // namespace

UString GetNumInBytesString(UInt64 v) {
    wchar_t s[32];
    ConvertUInt64ToString(v, s);
    UString text(s);
    text += L'B';
    return text;
}

HRESULT CheckWriteOptions(CCodecs *codecs, int formatIndex, const CObjectVector<CProperty> &props, UString &text) {
    text.Empty();
    if (formatIndex < 0 || props.IsEmpty()) return S_OK;
    CMyComPtr<IOutArchive> outArchive;
    HRESULT res = codecs->CreateOutArchive((unsigned)formatIndex, outArchive);
    if (res != S_OK || !outArchive) return S_OK; // the engine reports a format it cannot write
    res = SetProperties(outArchive, props);
    if (res == S_OK) return S_OK;
    // Name the first option the writer refuses on its own, or the whole set.
    for (unsigned i = 0; i < props.Size(); i++) {
        CObjectVector<CProperty> one;
        one.Add(props[i]);
        CMyComPtr<IOutArchive> probe;
        if (codecs->CreateOutArchive((unsigned)formatIndex, probe) != S_OK || !probe) break;
        if (SetProperties(probe, one) != S_OK) {
            text = PropsText(one);
            return res;
        }
    }
    text = PropsText(props);
    return res;
}

HRESULT UpdateGUI(CCodecs *codecs, const CObjectVector<COpenType> &formatIndices, const UString &cmdArcPath,
                  NWildcard::CCensor &censor, CUpdateOptions &options, bool showDialog, bool &messageWasDisplayed,
                  CUpdateCallbackGUI *callback, QWidget * /*parent*/) {
    messageWasDisplayed = false;
    if (showDialog) {
        const HRESULT res = ShowDialog(codecs, censor, options, callback);
        if (res != S_OK) {
            if (res == E_FAIL) messageWasDisplayed = true;
            return res;
        }
    }

    if (options.MakeSfx && options.SfxModulePath.IsEmpty())
        options.SfxModulePath = NDLL::GetModuleDirPrefix() + L"7z.sfx";

    // A method or option the writer cannot take is refused here, before any file exists.
    if (options.Method.HasType || options.Method.Format.formatIndex >= 0) {
        UString refused;
        const HRESULT res = CheckWriteOptions(codecs, options.Method.Format.formatIndex, options.Method.Props, refused);
        if (res != S_OK) {
            ShowErrorMessage(nullptr, MyFormatNew(UString(kUnsupportedOption), refused));
            messageWasDisplayed = true;
            return res;
        }
    }

    CThreadUpdating tu;
    tu.path_from_command_line = !showDialog;
    tu.codecs = codecs;
    tu.formatIndices = &formatIndices;
    tu.cmdArcPath = &cmdArcPath;
    tu.updateCallbackGUI = callback;
    tu.wildcardCensor = &censor;
    tu.options = &options;
    progresswindow *window = tu.progressWindow;
    if (!window) return E_FAIL;
    window->compress_mode = true;
    callback->progress = window;
    callback->Init();

    const int res = tu.Create(UString(L"正在压缩"), nullptr);
    // The window goes with the worker; the callback must not point at it any longer.
    callback->progress = nullptr;
    if (res != 0) return res;
    messageWasDisplayed = tu.finishedOk && window->messages_shown;
    return tu.result;
}

int UpdateCommandGUI(CArcCommandRun &run) {
    CUpdateCallbackGUI callback;
    callback.Init();
    callback.password = run.Options.Password;
    callback.password_defined = run.Options.PasswordGiven && !run.Options.Password.IsEmpty();
    callback.ask_password = run.Options.PasswordGiven && run.Options.Password.IsEmpty();

    bool messageWasDisplayed = false;
    const HRESULT res = UpdateGUI(run.Codecs, run.Types, run.Options.ArchiveName, run.Options.Censor,
                                  run.Options.UpdateSettings, run.Options.DialogMode, messageWasDisplayed, &callback);
    if (res != S_OK && res != E_ABORT && messageWasDisplayed) return kRunnerExit_Error;
    if (res != S_OK && res != E_ABORT) {
        // A failure nobody has shown yet (no window, the worker could not start, no dialog).
        ShowErrorMessage(nullptr, HResultToMessage(res));
        return kRunnerExit_Error;
    }
    if (res == E_ABORT) return kRunnerExit_Cancel;
    if (!callback.failed_files.IsEmpty()) return kRunnerExit_Warning;
    return kRunnerExit_Ok;
}
