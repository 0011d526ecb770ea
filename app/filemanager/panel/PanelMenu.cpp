// The item context menu of the panel, the dispatch of its ids, the read-only rule that greys out
// the changing entries, and the properties text of the selected item and the open archive levels.
#include <QMenu>

#include <wchar.h>

#include "Panel.h"
#include "archive/PropID.h"
#include "archive/ui-common/OpenArchive.h"
#include "archive/ui-common/PropIDUtils.h"
#include "common/StringConvert.h"
#include "CellText.h"
#include "ExtractErrorText.h"
#include "FileMenu.h"
#include "messagebox.h"
#include "windows/PropVariant.h"

using namespace NWindows;

static const wchar_t *const kSeparatorLine = L"----------------------------";

void AddPropertyString(PROPID propID, const wchar_t *name, const PROPVARIANT &value, UString &text) {
    if (value.vt == VT_EMPTY) return;
    UString s;
    if (propID == kpidErrorFlags || propID == kpidWarningFlags) {
        const UInt32 flags = GetOpenArcErrorFlags(NCOM::CPropVariant(value));
        if (flags == 0) return;
        s = GetOpenArcErrorMessage(flags);
    } else if (IsSizeProp(propID) && (value.vt == VT_UI2 || value.vt == VT_UI4 || value.vt == VT_UI8)) {
        UInt64 v = value.vt == VT_UI2 ? value.uiVal : value.vt == VT_UI4 ? value.ulVal : value.uhVal.QuadPart;
        s = ConvertSizeToString(v);
    } else {
        ConvertPropertyToString(s, value, propID, true);
    }
    if (s.IsEmpty()) return;
    text += GetNameOfProperty(propID, name);
    text += L": ";
    text += s;
    text.Add_LF();
}

static void AddRawPropertyString(PROPID propID, const wchar_t *name, const void *data, UInt32 size, UString &text) {
    if (!data || size == 0) return;
    UString s;
    if (propID == kpidNtSecure) {
        AString a;
        ConvertNtSecureToString((const Byte *)data, size, a);
        s = GetUnicodeString(a);
    } else if (size > 64) {
        wchar_t digits[32];
        swprintf(digits, 32, L"data:%u", (unsigned)size);
        s = digits;
    } else {
        static const wchar_t kHex[] = L"0123456789ABCDEF";
        for (UInt32 i = 0; i < size; i++) {
            const Byte b = ((const Byte *)data)[i];
            s += kHex[b >> 4];
            s += kHex[b & 15];
        }
    }
    if (s.IsEmpty()) return;
    text += GetNameOfProperty(propID, name);
    text += L": ";
    text += s;
    text.Add_LF();
}

// One line for each listed property that can be read; failed reads are skipped.
template <class Info, class Get> static void AddListedProperties(UInt32 num, Info info, Get get, UString &text) {
    for (UInt32 i = 0; i < num; i++) {
        CMyComBSTR name;
        PROPID propID;
        VARTYPE varType;
        if (info(i, &name, &propID, &varType) != S_OK) continue;
        NCOM::CPropVariant prop;
        if (get(propID, &prop) != S_OK) continue;
        AddPropertyString(propID, name, prop, text);
    }
}

bool CPanel::IsThereReadOnlyFolder() {
    if (!folderOperations) return true;
    if (IsReadOnlyFolder(currentFolder)) return true;
    FOR_VECTOR(i, parentFolders)
    if (IsReadOnlyFolder(parentFolders[i].ParentFolder)) return true;
    return false;
}

void CPanel::CreateFileMenu(QMenu *menu) {
    FillFileMenu(menu, IsThereReadOnlyFolder(), !parentFolders.IsEmpty());
}

void CPanel::OnFileMenu(int id) {
    switch (id) {
    case file_menu::open:
        OpenSelectedItems(true);
        break;
    case file_menu::edit:
        EditItem(true);
        break;
    case file_menu::copy_to:
        OnCopy(false, false);
        break;
    case file_menu::move_to:
        OnCopy(true, false);
        break;
    case file_menu::remove:
        DeleteItems(true);
        break;
    case file_menu::new_folder:
        CreateFolder();
        break;
    case file_menu::new_file:
        CreateFile();
        break;
    default:
        break;
    }
}

UString CPanel::GetPropertiesText() {
    UString text;
    CMyComPtr<IGetFolderArcProps> getArcProps;
    if (currentFolder) currentFolder.QueryInterface(IID_IGetFolderArcProps, &getArcProps);
    if (!getArcProps) return text;

    CRecordVector<UInt32> indices;
    GetOperatedItemIndices(indices);
    if (indices.Size() == 1) {
        const UInt32 index = indices[0];
        UInt32 numProps = 0;
        if (currentFolder->GetNumberOfProperties(&numProps) == S_OK)
            AddListedProperties(
                numProps,
                [&](UInt32 i, BSTR *name, PROPID *id, VARTYPE *type) {
                    return currentFolder->GetPropertyInfo(i, name, id, type);
                },
                [&](PROPID id, PROPVARIANT *value) { return currentFolder->GetProperty(index, id, value); }, text);
        if (folderRawProps) {
            UInt32 numRaw = 0;
            if (folderRawProps->GetNumRawProps(&numRaw) == S_OK)
                for (UInt32 i = 0; i < numRaw; i++) {
                    CMyComBSTR name;
                    PROPID propID;
                    if (folderRawProps->GetRawPropInfo(i, &name, &propID) != S_OK) continue;
                    const void *data = nullptr;
                    UInt32 size = 0, propType = 0;
                    if (folderRawProps->GetRawProp(index, propID, &data, &size, &propType) != S_OK) continue;
                    AddRawPropertyString(propID, name, data, size, text);
                }
        }
        text += kSeparatorLine;
        text.Add_LF();
    }

    {
        NCOM::CPropVariant prop;
        if (currentFolder->GetFolderProperty(kpidPath, &prop) == S_OK) AddPropertyString(kpidName, L"Path", prop, text);
    }

    CMyComPtr<IFolderProperties> folderProps;
    currentFolder.QueryInterface(IID_IFolderProperties, &folderProps);
    if (folderProps) {
        UInt32 numProps = 0;
        if (folderProps->GetNumberOfFolderProperties(&numProps) == S_OK)
            AddListedProperties(
                numProps,
                [&](UInt32 i, BSTR *name, PROPID *id, VARTYPE *type) {
                    return folderProps->GetFolderPropertyInfo(i, name, id, type);
                },
                [&](PROPID id, PROPVARIANT *value) { return currentFolder->GetFolderProperty(id, value); }, text);
    }

    CMyComPtr<IFolderArcProps> arcProps;
    getArcProps->GetFolderArcProps(&arcProps);
    if (!arcProps) return text;
    UInt32 numLevels = 0;
    if (arcProps->GetArcNumLevels(&numLevels) != S_OK) numLevels = 0;
    static const PROPID kSpecial[] = {kpidPath,    kpidType,         kpidErrorType, kpidError,   kpidErrorFlags,
                                      kpidWarning, kpidWarningFlags, kpidOffset,    kpidPhySize, kpidTailSize};
    // Level 0 is the outermost archive: the innermost comes first.
    for (UInt32 level = numLevels; level-- != 0;) {
        UInt32 numProps = 0;
        if (arcProps->GetArcNumProps(level, &numProps) == S_OK) {
            text += kSeparatorLine;
            text.Add_LF();
            for (PROPID id : kSpecial) {
                NCOM::CPropVariant prop;
                if (arcProps->GetArcProp(level, id, &prop) != S_OK) continue;
                AddPropertyString(id, nullptr, prop, text);
            }
            AddListedProperties(
                numProps,
                [&](UInt32 i, BSTR *name, PROPID *id, VARTYPE *type) {
                    return arcProps->GetArcPropInfo(level, i, name, id, type);
                },
                [&](PROPID id, PROPVARIANT *value) { return arcProps->GetArcProp(level, id, value); }, text);
        }
        if (level == 0) continue;
        UInt32 numProps2 = 0;
        if (arcProps->GetArcNumProps2(level, &numProps2) != S_OK) continue;
        text += L"----";
        text.Add_LF();
        AddListedProperties(
            numProps2,
            [&](UInt32 i, BSTR *name, PROPID *id, VARTYPE *type) {
                return arcProps->GetArcPropInfo2(level, i, name, id, type);
            },
            [&](PROPID id, PROPVARIANT *value) { return arcProps->GetArcProp2(level, id, value); }, text);
    }
    return text;
}

void CPanel::Properties() {
    CMyComPtr<IGetFolderArcProps> getArcProps;
    if (currentFolder) currentFolder.QueryInterface(IID_IGetFolderArcProps, &getArcProps);
    if (!getArcProps) return;
    const UString text = GetPropertiesText();
    ::MessageBoxW(GetParent(), text, L"属性", 4);
}
