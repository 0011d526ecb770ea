// The panel itself: start-up and shut-down, the start-up command line, message boxes, folder
// types, paths, the selection summary and the window title.
#include "Panel.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include "ErrorText.h"
#include "dialogcodes.h"
#include "CellText.h"
#include "ZipRegistry.h"
#include "PanelHost.h"
#include "messagebox.h"
#include "module.h"
#include "archive/ui-common/CommandRunner.h"
#include "windows/FileDir.h"
#include "windows/PropVariant.h"

using namespace NWindows;

std::vector<std::shared_ptr<NFile::NDir::CTempDir>> g_temp_dirs_;

static const unsigned kHistoryMax = 10;

UString GetQuotedString(const UString &s) {
    UString r(L"\"");
    r += s;
    r += L'"';
    return r;
}

void AddUniqueString(UStringVector &list, const UString &s) {
    FOR_VECTOR(i, list)
    if (list[i].IsEqualTo_NoCase(s)) return;
    list.Add(s);
}

CStartRequest ParseStartCommand(const UStringVector &words) {
    static const struct {
        const wchar_t *word;
        int state;
    } kSwitches[] = {
        {L"-open", kStart_Open},       {L"-add", kStart_Add},         {L"-addzip", kStart_AddZip},
        {L"-add7z", kStart_Add7z},     {L"-extract", kStart_Extract}, {L"-extract-here", kStart_ExtractHere},
    };
    CStartRequest r;
    if (words.Size() < 2) return r;
    const UString &first = words[1];
    bool isSwitch = false;
    for (const auto &s : kSwitches)
        if (first.IsEqualTo_NoCase(s.word)) {
            r.State = s.state;
            isSwitch = true;
            break;
        }
    if (isSwitch) {
        for (unsigned i = 2; i < words.Size(); i++)
            r.Files.Add(words[i]);
    } else {
        r.State = kStart_Open;
        r.Files.Add(first);
    }
    // An operation switch without files has nothing to run: it says so and the process ends.
    if (r.Files.IsEmpty()) r.State = r.State >= kStart_Add ? kStart_NoFiles : kStart_ShowHome;
    r.MessageMode = r.State >= kStart_Add;
    return r;
}

// The file layer writes the current folder with a drive mark in front; the panel's paths have none.
static void DropDriveMark(UString &path) {
    if (path.IsPrefixedBy(L"c:/")) path.DeleteFrontal(2);
}

// A relative path is taken against the current folder, whatever its first character.
static UString MakeAbsolute(const UString &path) {
    if (path.IsEmpty() || path[0] == L'/') return path;
    UString full;
    if (!NFile::NDir::MyGetFullPathName(path, full)) return path;
    DropDriveMark(full);
    return full;
}

CPanel::~CPanel() {
    CloseOpenFolders();
}

bool CPanel::init_panel(CPanelHost *main) {
    if (!main) return false;
    mainWin = main;

    UStringVector words;
    _module.get_command_strings(words);
    const CStartRequest request = ParseStartCommand(words);
    startState = request.State;
    if (request.MessageMode) {
        mainWin->init_msg_mode();
        // Until the operation reports its own result, the process has not done what it was started for.
        _module.set_start_status(kRunnerExit_Error);
    }

    UString startPath;
    UStringVector names;
    if (startState == kStart_Open) {
        startPath = MakeAbsolute(request.Files[0]);
    } else if (startState != kStart_ShowHome) {
        FOR_VECTOR(i, request.Files) {
            UString dir, name;
            NFile::NDir::GetFullPathAndSplit(MakeAbsolute(request.Files[i]), dir, name);
            DropDriveMark(dir);
            startFullPaths.Add(dir + name);
            if (i + 1 == request.Files.Size()) startPath = dir;
        }
        // Only the files that lie in the bound folder can be selected there.
        FOR_VECTOR(i, startFullPaths) {
            UString dir, name;
            NFile::NDir::GetFullPathAndSplit(startFullPaths[i], dir, name);
            DropDriveMark(dir);
            if (dir == startPath) names.Add(name);
        }
        names.Sort();
    }
    if (startPath.IsEmpty()) startPath = UString(QDir::homePath().toStdWString().c_str());

    {
        NSynchronization::CCriticalSectionLock lock(fastFoldersLock);
        ReadFastFolders(fastFolders);
    }
    {
        NSynchronization::CCriticalSectionLock lock(historyLock);
        ReadFolderHistory(folderHistory);
        while (folderHistory.Size() > kHistoryMax)
            folderHistory.DeleteBack();
    }

    bool archiveIsOpened = false, encrypted = false;
    HRESULT result = S_OK;
    try {
        result = BindToPath(startPath, UString(), archiveIsOpened, encrypted);
        RefreshListCtrl(UString(), -1, true, names);
    } catch (...) {
        if (result == S_OK) result = E_FAIL;
    }
    if (startState == kStart_Open && !archiveIsOpened && result == S_OK) result = S_FALSE;

    if (startState >= kStart_Add) {
        // The operation runs once the event loop runs: its dialogs and progress window need it,
        // and the main window must be complete before anything reaches it.
        QTimer::singleShot(0, mainWin->host_widget(), [main]() { main->run_start_operation(); });
        return true;
    }
    if (result != S_OK) {
        UString text;
        // S_FALSE is "not an archive", never a system error.
        if (result != S_FALSE)
            text = HResultToMessage(result);
        else
            text = MyFormatNew(encrypted ? L"无法打开加密压缩包{0}。密码错误？" : L"无法作为压缩包打开文件{0}", startPath);
        ::MessageBoxW(nullptr, text, L"Tarnova", 516);
        return false;
    }
    return true;
}

void CPanel::RunStartOperation() {
    switch (startState) {
    case kStart_Add:
    case kStart_AddZip:
    case kStart_Add7z:
        AddToArchive(startState);
        break;
    case kStart_Extract:
        ExtractArchives(true);
        break;
    case kStart_ExtractHere:
        ExtractArchives(false);
        break;
    case kStart_NoFiles:
        MessageBoxErrorLang(L"您至少要选择一个文件");
        if (mainWin) QCoreApplication::postEvent(mainWin->host_widget(), new QEvent(custom_event::operation_ended));
        break;
    default:
        break;
    }
}

void CPanel::uninit_panel() {
    {
        NSynchronization::CCriticalSectionLock lock(fastFoldersLock);
        SaveFastFolders(fastFolders);
    }
    {
        NSynchronization::CCriticalSectionLock lock(historyLock);
        SaveFolderHistory(folderHistory);
    }
    ReleaseOpenedItems();
    g_temp_dirs_.clear();
}

void CPanel::Release() {
    CloseOpenFolders();
}

QWidget *CPanel::GetParent() const {
    return mainWin ? mainWin->host_widget() : nullptr;
}

void CPanel::MessageBoxInfo(const wchar_t *text, const wchar_t *caption) {
    ::MessageBoxW(GetParent(), text, caption, 4);
}
void CPanel::MessageBoxW(const wchar_t *text, const wchar_t *caption) {
    ::MessageBoxW(GetParent(), text, caption, 516);
}
void CPanel::MessageBoxW(const wchar_t *text) {
    MessageBoxW(text, L"Tarnova");
}
void CPanel::MessageBoxMyError(const wchar_t *text) {
    MessageBoxW(text, L"Tarnova");
}
void CPanel::MessageBoxErrorLang(const wchar_t *text) {
    MessageBoxW(text, L"Tarnova");
}
void CPanel::MessageBoxError(HRESULT code, const wchar_t *caption) {
    MessageBoxW(HResultToMessage(code), caption);
}
void CPanel::MessageBoxError(HRESULT code) {
    MessageBoxError(code, L"Tarnova");
}
void CPanel::MessageBoxError2Lines(const wchar_t *text, HRESULT code) {
    UString m(text);
    if (code != 0) {
        m.Add_LF();
        m += HResultToMessage(code);
    }
    MessageBoxMyError(m);
}
void CPanel::MessageBoxLastError(const wchar_t *caption) {
    MessageBoxError(HRESULT_FROM_WIN32(errno), caption);
}
void CPanel::MessageBoxLastError() {
    MessageBoxLastError(L"Tarnova");
}

UString CPanel::GetFolderTypeID() const {
    if (!currentFolder) return UString();
    NCOM::CPropVariant prop;
    if (currentFolder->GetFolderProperty(kpidType, &prop) == S_OK && prop.vt == VT_BSTR) return UString(prop.bstrVal);
    return UString();
}

bool CPanel::IsFolderTypeEqTo(const char *name) const {
    const UString type = GetFolderTypeID();
    unsigned i = 0;
    for (; name[i] != 0; i++)
        if (i >= type.Len() || type[i] != (wchar_t)(unsigned char)name[i]) return false;
    return i == type.Len();
}
bool CPanel::IsRootFolder() const {
    return IsFolderTypeEqTo("RootFolder");
}
bool CPanel::IsFSFolder() const {
    return IsFolderTypeEqTo("FSFolder");
}
bool CPanel::IsFSDrivesFolder() const {
    return IsFolderTypeEqTo("FSDrives");
}
bool CPanel::IsAltStreamsFolder() const {
    return IsFolderTypeEqTo("AltStreamsFolder");
}
bool CPanel::IsArcFolder() const {
    return GetFolderTypeID().IsPrefixedBy_Ascii_NoCase("7-Dud");
}

UString CPanel::GetFsPath() const {
    if (IsFSDrivesFolder() && currentFolderPrefix != L"\\\\.\\" && currentFolderPrefix != L"\\\\?\\")
        return UString();
    return currentFolderPrefix;
}

UString CPanel::GetDriveOrNetworkPrefix() const {
    return IsFSFolder() ? GetFsPath() : UString();
}

void CPanel::GetFilePaths(const CRecordVector<UInt32> &indices, UStringVector &paths, bool allowFolders) {
    FOR_VECTOR(i, indices) {
        const int index = (int)indices[i];
        if (!allowFolders && IsItem_Folder(index)) {
            paths.Clear();
            break;
        }
        paths.Add(GetFsPath() + GetItemRelPath2(index));
    }
    if (paths.IsEmpty()) MessageBoxErrorLang(L"您至少要选择一个文件");
}

static void AddSizeValue(UInt64 &sum, const NCOM::CPropVariant &prop) {
    switch (prop.vt) {
    case VT_EMPTY:
        sum = (UInt64)(Int64)-1;
        return;
    case VT_UI1:
        if (sum != (UInt64)(Int64)-1) sum += prop.bVal;
        return;
    case VT_UI2:
        if (sum != (UInt64)(Int64)-1) sum += prop.uiVal;
        return;
    case VT_UI4:
        if (sum != (UInt64)(Int64)-1) sum += prop.ulVal;
        return;
    case VT_UI8:
        if (sum != (UInt64)(Int64)-1) sum += prop.uhVal.QuadPart;
        return;
    default:
        throw panel_error::bad_prop_type;
    }
}

static UString BytesText(UInt64 value) {
    return MyFormatNew(L"{0} 字节", ConvertSizeToString(value));
}

UString CPanel::GetItemsInfoString(const CRecordVector<UInt32> &indices) {
    const UInt64 kUnknown = (UInt64)(Int64)-1;
    UInt64 folderSize = 0, fileSize = 0;
    UInt64 numFolders = 0, numFiles = 0;
    FOR_VECTOR(i, indices) {
        const UInt32 index = indices[i];
        NCOM::CPropVariant prop;
        if (currentFolder->GetProperty(index, kpidSize, &prop) != S_OK) throw panel_error::item_prop_failed;
        if (IsItem_Folder((int)index)) {
            numFolders++;
            AddSizeValue(folderSize, prop);
        } else {
            numFiles++;
            AddSizeValue(fileSize, prop);
        }
    }
    UString info;
    const struct {
        const wchar_t *label;
        UInt64 count, size;
    } groups[] = {{L"文件夹", numFolders, folderSize}, {L"文件", numFiles, fileSize}};
    for (const auto &g : groups) {
        if (g.count == 0) continue;
        info += g.label;
        info += L": ";
        info += ConvertSizeToString(g.count);
        if (g.size != kUnknown) {
            info += L"    ( ";
            info += BytesText(g.size);
            info += L" )";
        }
        info.Add_LF();
    }
    if (folderSize != kUnknown && fileSize != kUnknown && folderSize + fileSize != 0) {
        info += L"大小: ";
        info += BytesText(folderSize + fileSize);
        info.Add_LF();
    }
    info.Add_LF();
    UString prefix = currentFolderPrefix;
    if (prefix.IsPrefixedBy(L"c:")) prefix.DeleteFrontal(2);
    info += MaskedItemName(prefix);
    for (unsigned i = 0; i < indices.Size() && i < 5; i++) {
        info += L"\n  ";
        info += MaskedItemName(GetItemRelPath2((int)indices[i]));
        if (IsItem_Folder((int)indices[i])) info += L'/';
    }
    if (indices.Size() > 5) info += L"\n  ...";
    return info;
}

void CPanel::RefreshTitle(bool always) {
    const UString text = currentFolderPrefix.IsEmpty() ? UString(L"Tarnova") : MaskedItemName(currentFolderPrefix);
    if (!always && text == lastTitle) return;
    lastTitle = text;
    if (!mainWin) return;
    mainWin->set_title_text(QString::fromWCharArray(text.Ptr(), (int)text.Len()));
}

CPanelBusyGuard::CPanelBusyGuard(CPanel &panel) : _panel(panel) {
    _panel.busyOperations++;
}

CPanelBusyGuard::~CPanelBusyGuard() {
    if (--_panel.busyOperations == 0 && _panel.refreshPending) {
        _panel.refreshPending = false;
        try {
            _panel.RefreshListCtrlSaveFocused();
        } catch (...) {
            _panel.MessageBoxMyError(CurrentExceptionText());
        }
    }
}
