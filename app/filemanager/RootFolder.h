#pragma once

// The top of the panel's tree: one unnamed item that leads to the file system's root "/".
#include "archive/IFolder.h"
#include "archive/common/StreamUtils.h"
#include "common/MyCom.h"
#include "common/MyString.h"

class CRootFolder : public IFolderFolder, public IFolderGetSystemIconIndex, public CMyUnknownImp {
public:
    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IFolderGetSystemIconIndex)
    COM_QI_ENTRY(IFolderGetSystemIconIndex)
    COM_QI_END
    COM_ADDREF_RELEASE

    HRESULT LoadItems() override;
    HRESULT GetNumberOfItems(UInt32 *numItems) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT BindToFolder(UInt32 index, IFolderFolder **resultFolder) override;
    HRESULT BindToFolder(const wchar_t *name, IFolderFolder **resultFolder) override;
    HRESULT BindToParentFolder(IFolderFolder **resultFolder) override;
    HRESULT GetNumberOfProperties(UInt32 *numProperties) override;
    HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;
    HRESULT GetFolderProperty(PROPID propID, PROPVARIANT *value) override;

    HRESULT GetSystemIconIndex(UInt32 index, Int32 *iconIndex) override;

    void Init() {}

private:
    UString _name; // the one item's name: empty
};
