#pragma once

// One folder of the local file system behind the folder interfaces, so that the panel lists,
// sorts, opens, edits and copies real files the way it walks archive folders.
#include "PairsStorage.h"
#include "archive/IFolder.h"
#include "archive/common/StreamUtils.h"
#include "common/MyCom.h"
#include "windows/FileFind.h"

namespace NFsFolder {

class CDirItem : public NWindows::NFile::NFind::CFileInfo {
public:
    bool folderStatKnown = false;
    // A symbolic link: one to a folder is listed and entered as a folder, but never walked by
    // a recursive operation, and deleting it removes the link alone.
    bool isLink = false;
    UInt64 numSubFolders = 0;
    UInt64 numSubFiles = 0;
    int parentPrefix = -1;
};

// Totals of a subtree. Links are counted, never followed.
struct CFsFolderStat {
    UInt64 numFolders = 0;
    UInt64 numFiles = 0;
    UInt64 size = 0;
    IProgress *progress = nullptr;
    UString path;

    HRESULT Enumerate();
};

// One column of a folder's listing.
struct CPropInfo {
    PROPID id;
    VARTYPE type;
};

// GetPropertyInfo over a table of columns: a null name with the column's id and type, or
// E_INVALIDARG past its end.
HRESULT GetPropInfoFromTable(const CPropInfo *props, unsigned numProps, UInt32 index, BSTR *name, PROPID *propID,
                             VARTYPE *varType);

// The folder properties that the disk-side folders give: the path and the type text.
HRESULT GetPathOrTypeProperty(PROPID propID, const wchar_t *path, const wchar_t *type, PROPVARIANT *value);

// A new file-system folder on the path, taken as it is.
HRESULT CreateFsFolder(const UString &path, IFolderFolder **resultFolder);

struct CCopyState;

class CFSFolder : public IFolderFolder,
                  public IArchiveGetRawProps,
                  public IFolderCompare,
                  public IFolderGetItemName,
                  public IFolderWasChanged,
                  public IFolderOperations,
                  public IFolderCalcItemFullSize,
                  public IFolderClone,
                  public IFolderGetSystemIconIndex,
                  public IFolderSetFlatMode,
                  public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderFolder, IArchiveGetRawProps, IFolderCompare, IFolderGetItemName, IFolderWasChanged,
                    IFolderOperations, IFolderCalcItemFullSize, IFolderClone, IFolderGetSystemIconIndex,
                    IFolderSetFlatMode)

    // IFolderFolder
    HRESULT LoadItems() override;
    HRESULT GetNumberOfItems(UInt32 *numItems) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT BindToFolder(UInt32 index, IFolderFolder **resultFolder) override;
    HRESULT BindToFolder(const wchar_t *name, IFolderFolder **resultFolder) override;
    HRESULT BindToParentFolder(IFolderFolder **resultFolder) override;
    HRESULT GetNumberOfProperties(UInt32 *numProperties) override;
    HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;
    HRESULT GetFolderProperty(PROPID propID, PROPVARIANT *value) override;

    // IArchiveGetRawProps
    HRESULT GetParent(UInt32 index, UInt32 *parent, UInt32 *parentType) override;
    HRESULT GetRawProp(UInt32 index, PROPID propID, const void **data, UInt32 *dataSize, UInt32 *propType) override;
    HRESULT GetNumRawProps(UInt32 *numProps) override;
    HRESULT GetRawPropInfo(UInt32 index, BSTR *name, PROPID *propID) override;

    // IFolderOperations
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

    // IFolderCompare
    Int32 CompareItems(UInt32 index1, UInt32 index2, PROPID propID, Int32 propIsRaw) override;

    // IFolderGetItemName
    HRESULT GetItemName(UInt32 index, const wchar_t **name, unsigned *len) override;
    HRESULT GetItemPrefix(UInt32 index, const wchar_t **name, unsigned *len) override;
    UInt64 GetItemSize(UInt32 index) override;

    HRESULT WasChanged(Int32 *wasChanged) override;
    HRESULT Clone(IFolderFolder **resultFolder) override;
    HRESULT CalcItemFullSize(UInt32 index, IProgress *progress) override;
    HRESULT SetFlatMode(Int32 flatMode) override;
    HRESULT GetSystemIconIndex(UInt32 index, Int32 *iconIndex) override;

    HRESULT Init(const UString &path);

    UString folderPath;
    CObjectVector<CDirItem> items;
    CObjectVector<UString> subPrefixes;
    bool commentsLoaded = false;
    CPairsStorage comments;
    bool flatMode = false;

    UString GetRelPath(const CDirItem &item) const;
    UString GetAbsPath(const wchar_t *name) const;
    bool LoadComments();
    bool SaveComments();
    HRESULT GetItemsFullSize(const UInt32 *indices, UInt32 numItems, CFsFolderStat &stat);

private:
    void LoadSubItems(int parent, const UString &relPrefix);
    const UString &GetPrefixOf(const CDirItem &item) const;
};

} // namespace NFsFolder
