#pragma once

// One folder of an opened archive as the file panel sees it: the listing of a folder of the
// agent's tree (or, in flat mode, of its whole subtree), its columns and cells, sorting, binding
// to other folders, and extraction of selected rows. The folder only reads the tree.
#include <memory>
#include <unordered_map>

#include "Agent.h"
#include "archive/ui-common/UpdateAction.h"

struct CFlatItem {
    unsigned DirIndex; // tree folder
    unsigned Position; // position within that folder's listing
};

class CAgentFolder : public IFolderFolder,
                     public IFolderAltStreams,
                     public IFolderProperties,
                     public IArchiveGetRawProps,
                     public IGetFolderArcProps,
                     public IFolderCompare,
                     public IFolderGetItemName,
                     public IArchiveFolder,
                     public IArchiveFolderInternal,
                     public IInArchiveGetStream,
                     public IFolderOperations,
                     public IFolderSetFlatMode,
                     public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderFolder, IFolderAltStreams, IFolderProperties, IArchiveGetRawProps, IGetFolderArcProps,
                    IFolderCompare, IFolderGetItemName, IArchiveFolder, IArchiveFolderInternal, IInArchiveGetStream,
                    IFolderOperations, IFolderSetFlatMode)

    // IFolderFolder
    HRESULT LoadItems() override;
    HRESULT GetNumberOfItems(UInt32 *numItems) override;
    HRESULT GetProperty(UInt32 itemIndex, PROPID propID, PROPVARIANT *value) override;
    HRESULT BindToFolder(UInt32 index, IFolderFolder **resultFolder) override;
    HRESULT BindToFolder(const wchar_t *name, IFolderFolder **resultFolder) override;
    HRESULT BindToParentFolder(IFolderFolder **resultFolder) override;
    HRESULT GetNumberOfProperties(UInt32 *numProperties) override;
    HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;
    HRESULT GetFolderProperty(PROPID propID, PROPVARIANT *value) override;

    // IFolderAltStreams
    HRESULT BindToAltStreams(UInt32 index, IFolderFolder **resultFolder) override;
    HRESULT BindToAltStreams(const wchar_t *name, IFolderFolder **resultFolder) override;
    HRESULT AreAltStreamsSupported(UInt32 index, Int32 *isSupported) override;

    // IFolderProperties
    HRESULT GetNumberOfFolderProperties(UInt32 *numProperties) override;
    HRESULT GetFolderPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;

    // IArchiveGetRawProps
    HRESULT GetParent(UInt32 index, UInt32 *parent, UInt32 *parentType) override;
    HRESULT GetRawProp(UInt32 index, PROPID propID, const void **data, UInt32 *dataSize, UInt32 *propType) override;
    HRESULT GetNumRawProps(UInt32 *numProps) override;
    HRESULT GetRawPropInfo(UInt32 index, BSTR *name, PROPID *propID) override;

    // IGetFolderArcProps
    HRESULT GetFolderArcProps(IFolderArcProps **object) override;

    // IFolderCompare
    Int32 CompareItems(UInt32 index1, UInt32 index2, PROPID propID, Int32 propIsRaw) override;

    // IFolderGetItemName
    HRESULT GetItemName(UInt32 index, const wchar_t **name, unsigned *len) override;
    HRESULT GetItemPrefix(UInt32 index, const wchar_t **name, unsigned *len) override;
    UInt64 GetItemSize(UInt32 index) override;

    // IArchiveFolder
    HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32 includeAltStreams, Int32 replaceAltStreamCharsMode,
                    NExtract::NPathMode::EEnum pathMode, NExtract::NOverwriteMode::EEnum overwriteMode,
                    const wchar_t *path, Int32 testMode, IFolderArchiveExtractCallback *extractCallback2) override;

    // IArchiveFolderInternal
    HRESULT GetAgentFolder(CAgentFolder **agentFolder) override;

    // IInArchiveGetStream
    HRESULT GetStream(UInt32 index, ISequentialInStream **stream) override;

    // IFolderOperations: the editing side, in ArchiveFolder.cpp.
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

    // IFolderSetFlatMode
    HRESULT SetFlatMode(Int32 flatMode) override;

    // The tree this folder reads; exactly one is set. Normally the agent's; after a reopen the old one until the next
    // call moves the folder into the new tree, or an empty stand-in of the folder's own while the agent has none.
    std::shared_ptr<CProxyArc> _proxy;
    std::shared_ptr<CProxyArc2> _proxy2;
    unsigned _proxyDirIndex;
    bool _isAltStreamFolder;
    CMyComPtr<IInFolderArchive> _agent;
    CAgent *_agentSpec;
    CRecordVector<CFlatItem> _items;
    bool _flatMode;
    bool _loadAltStreams; // nothing sets it yet

    CAgentFolder()
        : _proxyDirIndex(0), _isAltStreamFolder(false), _agentSpec(nullptr), _flatMode(false), _loadAltStreams(false),
          _onStandIn(false), _standInIsAltFolder(false) {}
    CAgentFolder(const CAgentFolder &) = delete;
    CAgentFolder &operator=(const CAgentFolder &) = delete;

    void Init(const std::shared_ptr<CProxyArc> &proxy, const std::shared_ptr<CProxyArc2> &proxy2,
              unsigned proxyDirIndex, IInFolderArchive *agentInterface, CAgent *agent);

    // Makes the folder read the agent's current tree, at the same path as before or the deepest part of it that is
    // left, as binding by name would. buildTree: build the agent's tree when it has none (an empty stand-in does not
    // try again otherwise). On failure the folder reads an empty stand-in and keeps its path for a later try.
    HRESULT SyncWithAgent(bool buildTree);
    // Whether every index is a row of the listing: a panel may hold rows of a listing from before a reopen.
    bool AreRows(const UInt32 *indices, UInt32 numItems) const;

    // Archive index of a row; -1 for a path-tree folder that has no item of its own.
    int GetRealIndex(unsigned index) const;
    void GetRealIndices(const UInt32 *indices, UInt32 numItems, bool includeAltStreams,
                        bool includeFolderSubItemsInFlatMode, CUIntVector &realIndices) const;
    UString GetName(UInt32 index) const;
    UString GetFullPrefix(UInt32 index) const;
    void GetPrefix(UInt32 index, UString &prefix) const;

    // Edits: one new archive written beside the old one, then reopened at the same folder level.
    HRESULT CommonUpdateOperation(int operation, bool moveMode, const wchar_t *newItemName,
                                  const NUpdateArchive::CActionSet *actionSet, const UInt32 *indices, UInt32 numItems,
                                  IProgress *progress);
    void GetPathParts(UStringVector &pathParts, bool &isAltStreamFolder);

private:
    bool _onStandIn;
    UStringVector _standInPathParts;
    bool _standInIsAltFolder;
    // Flat-mode prefixes handed out by GetItemPrefix: built on demand, kept while the folder reads this tree.
    std::unordered_map<unsigned, UString> _itemPrefixes;

    void MoveToStandIn();
    void MoveToAgentTree();
    void ReloadRows();
    UInt32 NumRows() const;
    void LoadFolder(unsigned proxyDirIndex);
    HRESULT BindToFolder_Internal(unsigned proxyDirIndex, IFolderFolder **resultFolder);
    HRESULT BindToAltStreams_Internal(unsigned proxyDirIndex, IFolderFolder **resultFolder);
    void ResolveRow(UInt32 index, unsigned &dirIndex, unsigned &position) const;
    int GetRealIndex_of_Entry(unsigned dirIndex, unsigned position) const;
    UInt64 GetEntryValue(unsigned dirIndex, unsigned position, PROPID propID) const;
    int CompareRawProps(UInt32 realIndex1, UInt32 realIndex2, PROPID propID) const;
    HRESULT GetPropertyImpl(UInt32 index, PROPID propID, PROPVARIANT *value);
};
