// The panel's commands that change the shown folder in place: new folder, new file, rename and
// delete, on disk folders and archive folders alike.
#include <memory>

#include "CellText.h"
#include "FolderOperations.h"
#include "Panel.h"
#include "combowindow.h"
#include "common/IntToString.h"
#include "dialogcodes.h"
#include "FileMenu.h"
#include "UpdateCallback100.h"
#include "ZipRegistry.h"
#include "messagebox.h"
#include "progresswindow.h"
#include "windows/FileFind.h"
#include "windows/FileName.h"

using namespace NWindows;

bool IsCorrectFsName(const UString &name) {
    const int pos = name.ReverseFind(L'/');
    const UString last = name.Ptr(pos + 1);
    return last != L"." && last != L"..";
}

bool CorrectFsPath(const UString &base, const UString &name, UString &result) {
    result.Empty();
    UString prefix = base;
    unsigned start = 0;
    if (NFile::NName::IsAbsolutePath(name)) {
        prefix.Empty();
        start = NFile::NName::GetRootPrefixSize(name);
        result.SetFrom(name, start);
    }
    if (start >= name.Len()) return true;
    const UString rest = name.Ptr(start);
    UStringVector parts;
    {
        UString part;
        for (unsigned i = 0; i < rest.Len(); i++) {
            if (rest[i] == L'/') {
                parts.Add(part);
                part.Empty();
            } else
                part += rest[i];
        }
        parts.Add(part);
    }
    bool checking = true;
    FOR_VECTOR(i, parts) {
        UString part = parts[i];
        if (checking) {
            NFile::NFind::CFileInfo fi;
            if (!part.IsEmpty() && fi.Find(prefix + result + part)) {
                if (!fi.IsDir()) {
                    result = name;
                    return true;
                }
            } else
                checking = false;
        }
        if (!checking)
            while (!part.IsEmpty() && (part.Back() == L' ' || part.Back() == L'.'))
                part.DeleteBack();
        result += part;
        if (i + 1 < parts.Size()) result += L'/';
    }
    return true;
}

HRESULT CThreadFolderOperations::ProcessVirt() {
    if (!folderOperations) return E_NOINTERFACE;
    switch (kind) {
    case kCreateFolder:
        return folderOperations->CreateFolder(name, updateCallback);
    case kDelete:
        return folderOperations->Delete(indices.IsEmpty() ? nullptr : &indices[0], indices.Size(), updateCallback);
    case kRename:
        if (indices.Size() != 1) return E_INVALIDARG;
        return folderOperations->Rename(indices[0], name, updateCallback);
    default:
        return E_FAIL;
    }
}

HRESULT CThreadFolderOperations::DoOperation(CPanel &panel, const UString &title, const UString &errorTitle) {
    updateCallbackSpec = new CUpdateCallback100Imp;
    updateCallback = updateCallbackSpec;
    updateCallbackSpec->progress = progressWindow;
    updateCallbackSpec->Init();
    if (!panel.parentFolders.IsEmpty()) {
        const CFolderLink &link = panel.parentFolders.Back();
        updateCallbackSpec->password_defined = link.UsePassword;
        updateCallbackSpec->password = link.Password;
    }
    if (!progressWindow) return E_FAIL;
    progressWindow->sync.Set_FinalError(errorTitle, UString());
    CPanelBusyGuard busy(panel);
    const int res = Create(title, nullptr);
    // The caller reloads the list with a fresh selection; a reload that keeps the old selection
    // would read the items by indices the operation has just changed.
    panel.refreshPending = false;
    if (res != 0) return E_FAIL;
    return result;
}

bool CPanel::CorrectFsPath(const UString &path, UString &result) {
    return ::CorrectFsPath(GetFsPath(), path, result);
}

bool CPanel::CheckBeforeUpdate(const wchar_t *operationName) {
    if (!folderOperations) {
        MessageBoxErrorLang(L"不支持当前操作");
        return false;
    }
    // From the shown folder outwards: level n is the shown folder, level i < n the folder that
    // holds the archive of entry i.
    for (int i = (int)parentFolders.Size(); i >= 0; i--) {
        IFolderFolder *folder =
            i == (int)parentFolders.Size() ? currentFolder : parentFolders[(unsigned)i].ParentFolder;
        if (!IsReadOnlyFolder(folder)) continue;
        UString m(operationName);
        m.Add_LF();
        m += L"不支持当前操作";
        m.Add_LF();
        m += i == 0 ? GetFolderPath(folder) : parentFolders[(unsigned)i - 1].VirtualPath;
        m.Add_LF();
        m += L"只读";
        MessageBoxMyError(m);
        return false;
    }
    return true;
}

bool CPanel::CanChangeFolder(const wchar_t *errorText) {
    return CheckBeforeUpdate(errorText);
}

namespace {

// Failures reach the user through the progress window's final error box.
void RunFolderOperation(CPanel &panel, int kind, const CRecordVector<UInt32> &indices, const UString &name,
                        const wchar_t *title, const wchar_t *errorTitle) {
    CSwitchesSaver off(panel);
    CThreadFolderOperations op;
    op.kind = kind;
    op.folderOperations = panel.folderOperations;
    op.indices = indices;
    op.name = name;
    op.DoOperation(panel, UString(title), UString(errorTitle));
}

bool AskName(const wchar_t *title, const wchar_t *prompt, const UString &proposed, UString &name) {
    auto info = std::make_shared<combo_info>();
    info->title = title;
    info->prompt = prompt;
    info->value = proposed;
    if (show_combowindow(info) != dialog_result::ok) return false;
    name = info->value;
    return true;
}

} // namespace

void CPanel::DeleteItems(bool) {
    CRecordVector<UInt32> indices;
    GetOperatedItemIndices(indices);
    if (indices.IsEmpty()) return;
    if (!CheckBeforeUpdate(L"无法删除文件或文件夹.")) return;
    UString title, text;
    if (indices.Size() == 1) {
        const int index = (int)indices[0];
        const UString path = MaskedItemName(GetItemRelPath2(index));
        if (IsItem_Folder(index)) {
            title = L"确认文件夹删除";
            text = MyFormatNew(UString(L"确实要删除文件夹{0}以及全部内容吗？"), path);
        } else {
            title = L"确认文件删除";
            text = MyFormatNew(UString(L"确实要删除 {0}吗？"), path);
        }
    } else {
        title = L"确认删除多个文件";
        wchar_t num[32];
        ConvertUInt32ToString(indices.Size(), num);
        text = MyFormatNew(UString(L"确实要删除这 {0} 项？"), UString(num));
    }
    if (::MessageBoxW(GetParent(), text, title, 1044) != dialog_result::ok) return;
    RunFolderOperation(*this, CThreadFolderOperations::kDelete, indices, UString(), L"正在删除...",
                       L"无法删除文件或文件夹.");
    RefreshTitle(true);
    RefreshListCtrl(CSelectedState());
}

void CPanel::CreateFolder() {
    if (!CheckBeforeUpdate(L"无法创建文件夹")) return;
    UString name;
    if (!AskName(L"新建文件夹", L"文件夹名称：", UString(L"新建文件夹"), name)) return;
    if (!IsCorrectFsName(name)) {
        MessageBoxError(E_INVALIDARG);
        return;
    }
    if (IsFSFolder()) {
        UString corrected;
        CorrectFsPath(name, corrected);
        name = corrected;
    }
    RunFolderOperation(*this, CThreadFolderOperations::kCreateFolder, CRecordVector<UInt32>(), name, L"新建文件夹",
                       L"无法创建文件夹");
    RefreshTitle(true);
    RefreshListCtrl(CSelectedState());
}

void CPanel::CreateFile() {
    if (!CheckBeforeUpdate(L"无法新建文件")) return;
    // An archive takes no empty new file: refused before the name is asked.
    if (!parentFolders.IsEmpty()) {
        MessageBoxErrorLang(L"不支持当前操作");
        return;
    }
    UString name;
    if (!AskName(L"新建文件", L"文件名：", UString(L"新建文件.txt"), name)) return;
    CSwitchesSaver off(*this);
    if (IsFSFolder()) {
        UString corrected;
        CorrectFsPath(name, corrected);
        name = corrected;
    }
    const HRESULT res = folderOperations->CreateFile(name, nullptr);
    if (res == S_OK)
        RefreshListCtrl(CSelectedState());
    else
        MessageBoxError(res, L"无法新建文件");
}

// Renames the focused item in place; inside an archive the archive is rewritten behind the
// progress window.
void CPanel::RenameFile() {
    CRecordVector<UInt32> indices;
    GetOperatedItemIndices(indices);
    if (indices.Size() != 1) return;
    if (!CheckBeforeUpdate(L"无法重命名文件")) return;
    const int index = (int)indices[0];
    UString name;
    if (!AskName(L"重命名", L"新名称：", GetItemName(index), name)) return;
    if (name.IsEmpty() || name == GetItemName(index)) return;
    if (name.Find(L'/') >= 0 || !IsCorrectFsName(name)) {
        MessageBoxError(E_INVALIDARG);
        return;
    }
    RunFolderOperation(*this, CThreadFolderOperations::kRename, indices, name, L"正在重命名...", L"无法重命名文件");
    CSelectedState state;
    state.FocusedName = name;
    state.SelectedNames.Add(name);
    RefreshTitle(true);
    RefreshListCtrl(state);
}
