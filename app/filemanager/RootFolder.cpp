#include "RootFolder.h"

#include "FSFolder.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"

using namespace NWindows;

HRESULT CRootFolder::LoadItems() {
    Init();
    return S_OK;
}

HRESULT CRootFolder::GetNumberOfItems(UInt32 *numItems) {
    *numItems = 1;
    return S_OK;
}

HRESULT CRootFolder::GetNumberOfProperties(UInt32 *numProperties) {
    *numProperties = 1;
    return S_OK;
}

HRESULT CRootFolder::GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    static const NFsFolder::CPropInfo kProps[] = {{kpidName, VT_BSTR}};
    return NFsFolder::GetPropInfoFromTable(kProps, 1, index, name, propID, varType);
}

HRESULT CRootFolder::GetProperty(UInt32, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    NCOM::CPropVariant prop;
    if (propID == kpidName)
        prop = _name;
    else if (propID == kpidIsDir)
        prop = true;
    prop.Detach(value);
    return S_OK;
    COM_TRY_END
}

HRESULT CRootFolder::GetFolderProperty(PROPID propID, PROPVARIANT *value) {
    return NFsFolder::GetPathOrTypeProperty(propID, L"", L"RootFolder", value);
}

HRESULT CRootFolder::BindToParentFolder(IFolderFolder **resultFolder) {
    *resultFolder = nullptr;
    return S_OK;
}

HRESULT CRootFolder::BindToFolder(UInt32 index, IFolderFolder **resultFolder) {
    *resultFolder = nullptr;
    if (index != 0) return E_INVALIDARG;
    return NFsFolder::CreateFsFolder(UString(L"/"), resultFolder);
}

// The name itself, or the name followed by one "/".
static bool AreEqualNames(const UString &path, const wchar_t *name) {
    const unsigned len = MyStringLen(name);
    if (len != path.Len()) {
        if (len + 1 != path.Len() || path.Back() != L'/') return false;
    }
    return wmemcmp(path, name, len) == 0;
}

HRESULT CRootFolder::BindToFolder(const wchar_t *name, IFolderFolder **resultFolder) {
    *resultFolder = nullptr;
    COM_TRY_BEGIN
    UString name2 = name;
    name2.Trim();
    if (name2.IsEmpty()) {
        CRootFolder *rootSpec = new CRootFolder;
        CMyComPtr<IFolderFolder> root = rootSpec;
        rootSpec->Init();
        *resultFolder = root.Detach();
        return S_OK;
    }
    // Against the empty item name only "/" itself matches.
    const bool isItem = !_name.IsEmpty() && AreEqualNames(name2, _name);
    if (isItem || name2 == L"/" || AreEqualNames(name2, L"My Computer") || AreEqualNames(name2, L"Computer"))
        return BindToFolder((UInt32)0, resultFolder);
    if (name2.Len() == 1) return E_INVALIDARG;
    NFile::NName::NormalizeDirPathPrefix(name2);
    return NFsFolder::CreateFsFolder(name2, resultFolder);
    COM_TRY_END
}

// The root keeps no icon data; the window draws it by type.
HRESULT CRootFolder::GetSystemIconIndex(UInt32, Int32 *iconIndex) {
    *iconIndex = 0;
    return S_OK;
}
