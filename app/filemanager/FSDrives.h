#pragma once

// The level above "/": the file system's root and the user's home folder, each leading to a
// file-system folder. Nothing here can be edited.
#include "archive/IFolder.h"
#include "archive/common/StreamUtils.h"
#include "common/MyCom.h"
#include "common/MyString.h"

struct CDriveInfo {
    UString name;
    UString fullSystemName;
    UString volumeName;
    UString fileSystemName;
    UInt32 driveType = 0;
};

class CFSDrives : public IFolderFolder,
                  public IFolderOperations,
                  public IFolderGetSystemIconIndex,
                  public CMyUnknownImp {
public:
    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IFolderGetSystemIconIndex)
    COM_QI_ENTRY(IFolderGetSystemIconIndex)
    COM_QI_ENTRY(IFolderOperations)
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

    HRESULT CreateFolder(const wchar_t *name, IProgress *progress) override;
    HRESULT CreateFile(const wchar_t *name, IProgress *progress) override;
    HRESULT Rename(UInt32 index, const wchar_t *newName, IProgress *progress) override;
    HRESULT Delete(const UInt32 *indices, UInt32 numItems, IProgress *progress) override;
    HRESULT CopyTo(Int32 moveMode, const UInt32 *indices, UInt32 numItems, Int32 includeAltStreams,
                   Int32 replaceAltStreamCharsMode, const wchar_t *path,
                   IFolderOperationsExtractCallback *callback) override;
    HRESULT CopyFrom(Int32 moveMode, const wchar_t *fromFolderPath, const wchar_t *const *itemsPaths, UInt32 numItems,
                     IProgress *progress) override;
    HRESULT SetProperty(UInt32 index, PROPID propID, const PROPVARIANT *value, IProgress *progress) override;
    HRESULT CopyFromFile(UInt32 index, const wchar_t *fullFilePath, IProgress *progress) override;

    HRESULT GetSystemIconIndex(UInt32 index, Int32 *iconIndex) override;

    CObjectVector<CDriveInfo> drives;
};
