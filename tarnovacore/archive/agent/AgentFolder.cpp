#include "AgentFolder.h"

#include "archive/common/StreamUtils.h"
#include "archive/ui-common/ArchiveExtractCallback.h"
#include "base/Sort.h"
#include "common/FolderListCompare.h"
#include "common/Wildcard.h"
#include "windows/FileDir.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"
#include "windows/PropVariantConv.h"

using namespace NWindows;

static const PROPID kProps[] = {kpidNumSubDirs, kpidNumSubFiles, kpidPrefix};
static const PROPID kFolderProps[] = {kpidSize, kpidPackSize, kpidNumSubDirs, kpidNumSubFiles, kpidCRC};
static const unsigned kNumFolderProps = sizeof(kFolderProps) / sizeof(kFolderProps[0]);
static const UInt32 kFolderItself = (UInt32)(Int32)-1;

void CAgentFolder::Init(const std::shared_ptr<CProxyArc> &proxy, const std::shared_ptr<CProxyArc2> &proxy2,
                        unsigned proxyDirIndex, IInFolderArchive *agentInterface, CAgent *agent) {
    _proxy = proxy;
    _proxy2 = proxy2;
    _proxyDirIndex = proxyDirIndex;
    _isAltStreamFolder = _proxy2 ? _proxy2->IsAltDir(proxyDirIndex) : false;
    _agent = agentInterface;
    _agentSpec = agent;
}

// ---------- following the agent's tree ----------

// The panel holds several folders of one agent, and an edit through any of them reopens the archive and builds a new
// tree: the indices of the old one mean nothing to the reopened handler.
HRESULT CAgentFolder::SyncWithAgent(bool buildTree) {
    if ((_proxy || _proxy2) && _proxy == _agentSpec->_proxy && _proxy2 == _agentSpec->_proxy2) return S_OK;
    try {
        if (!_agentSpec->_proxy && !_agentSpec->_proxy2) {
            if (_onStandIn && !buildTree) return E_FAIL;
            HRESULT res;
            try {
                res = _agentSpec->ReadItems();
            } catch (...) {
                res = E_OUTOFMEMORY;
            }
            if (res != S_OK) {
                MoveToStandIn();
                return res;
            }
        }
        MoveToAgentTree();
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

void CAgentFolder::MoveToStandIn() {
    if (!_onStandIn) {
        GetPathParts(_standInPathParts, _standInIsAltFolder);
        _onStandIn = true;
    }
    std::shared_ptr<CProxyArc> standIn = std::make_shared<CProxyArc>();
    standIn->Dirs.AddNew();
    _proxy = standIn;
    _proxy2.reset();
    _proxyDirIndex = 0;
    _isAltStreamFolder = false;
    _items.Clear();
    _itemPrefixes.clear();
}

void CAgentFolder::MoveToAgentTree() {
    UStringVector pathParts;
    bool isAltStreamFolder = false;
    GetPathParts(pathParts, isAltStreamFolder);
    _onStandIn = false;
    _standInPathParts.Clear();
    _proxy = _agentSpec->_proxy;
    _proxy2 = _agentSpec->_proxy2;
    _proxyDirIndex = 0;
    _isAltStreamFolder = false;
    _itemPrefixes.clear();

    if (_proxy) {
        for (unsigned i = 0; i < pathParts.Size(); i++) {
            const int next = _proxy->FindSubDir(_proxyDirIndex, pathParts[i]);
            if (next < 0) break;
            _proxyDirIndex = (unsigned)next;
        }
    } else if (pathParts.IsEmpty() && isAltStreamFolder) {
        _proxyDirIndex = k_Proxy2_AltRootDirIndex;
        _isAltStreamFolder = true;
    } else {
        for (unsigned i = 0; i < pathParts.Size(); i++) {
            const bool dirOnly = (i + 1 < pathParts.Size() || !isAltStreamFolder);
            const int index = _proxy2->FindItem(_proxyDirIndex, pathParts[i], dirOnly);
            if (index < 0) break;
            const CProxyFile2 &file = _proxy2->Files[_proxy2->Dirs[_proxyDirIndex].Items[(unsigned)index]];
            if (dirOnly) {
                _proxyDirIndex = (unsigned)file.DirIndex;
            } else {
                if (file.AltDirIndex >= 0) _proxyDirIndex = (unsigned)file.AltDirIndex;
                break;
            }
        }
        _isAltStreamFolder = _proxy2->IsAltDir(_proxyDirIndex);
    }
    ReloadRows();
}

UInt32 CAgentFolder::NumRows() const {
    if (_flatMode) return _items.Size();
    if (_proxy2) return _proxy2->Dirs[_proxyDirIndex].Items.Size();
    const CProxyDir &dir = _proxy->Dirs[_proxyDirIndex];
    return dir.SubDirs.Size() + dir.SubFiles.Size();
}

bool CAgentFolder::AreRows(const UInt32 *indices, UInt32 numItems) const {
    const UInt32 numRows = NumRows();
    for (UInt32 i = 0; i < numItems; i++)
        if (indices[i] >= numRows) return false;
    return true;
}

void CAgentFolder::ResolveRow(UInt32 index, unsigned &dirIndex, unsigned &position) const {
    if (_flatMode) {
        const CFlatItem &item = _items[index];
        dirIndex = item.DirIndex;
        position = item.Position;
    } else {
        dirIndex = _proxyDirIndex;
        position = index;
    }
}

int CAgentFolder::GetRealIndex_of_Entry(unsigned dirIndex, unsigned position) const {
    if (_proxy2) return (int)_proxy2->Dirs[dirIndex].Items[position];
    return _proxy->GetRealIndex(dirIndex, position);
}

int CAgentFolder::GetRealIndex(unsigned index) const {
    unsigned dirIndex, position;
    ResolveRow(index, dirIndex, position);
    return GetRealIndex_of_Entry(dirIndex, position);
}

// ---------- listing ----------

void CAgentFolder::LoadFolder(unsigned proxyDirIndex) {
    // Depth first with parents before children, on a stack of our own: parent links from a
    // handler can nest far deeper than the call stack allows.
    CRecordVector<CFlatItem> stack;
    auto pushRowsOf = [&](unsigned dirIndex) {
        if (_proxy2) {
            const CProxyDir2 &dir = _proxy2->Dirs[dirIndex];
            for (unsigned i = dir.Items.Size(); i != 0; i--)
                stack.Add(CFlatItem{dirIndex, i - 1});
        } else {
            const CProxyDir &dir = _proxy->Dirs[dirIndex];
            // Sub-folders (with their contents) come before the folder's own files.
            for (unsigned i = dir.SubDirs.Size() + dir.SubFiles.Size(); i != 0; i--)
                stack.Add(CFlatItem{dirIndex, i - 1});
        }
    };
    pushRowsOf(proxyDirIndex);
    while (!stack.IsEmpty()) {
        const CFlatItem item = stack.Back();
        stack.DeleteBack();
        _items.Add(item);
        if (_proxy2) {
            const CProxyFile2 &file = _proxy2->Files[_proxy2->Dirs[item.DirIndex].Items[item.Position]];
            if (_loadAltStreams && file.AltDirIndex >= 0) pushRowsOf((unsigned)file.AltDirIndex);
            if (file.DirIndex >= 0) pushRowsOf((unsigned)file.DirIndex);
        } else {
            const CProxyDir &dir = _proxy->Dirs[item.DirIndex];
            if (item.Position < dir.SubDirs.Size()) pushRowsOf(dir.SubDirs[item.Position]);
        }
    }
}

void CAgentFolder::ReloadRows() {
    _items.Clear();
    if (_flatMode) {
        LoadFolder(_proxyDirIndex);
        if (_proxy2 && _loadAltStreams && _proxyDirIndex == k_Proxy2_RootDirIndex) LoadFolder(k_Proxy2_AltRootDirIndex);
    }
}

HRESULT CAgentFolder::LoadItems() {
    if (!_agentSpec->_archiveLink.isOpen) return E_FAIL;
    COM_TRY_BEGIN
    RINOK(SyncWithAgent(true));
    ReloadRows();
    return S_OK;
    COM_TRY_END
}

HRESULT CAgentFolder::GetNumberOfItems(UInt32 *numItems) {
    COM_TRY_BEGIN
    SyncWithAgent(false);
    *numItems = NumRows();
    return S_OK;
    COM_TRY_END
}

UString CAgentFolder::GetName(UInt32 index) const {
    const wchar_t *name = nullptr;
    unsigned len = 0;
    const_cast<CAgentFolder *>(this)->GetItemName(index, &name, &len);
    return UString(name ? name : L"");
}

void CAgentFolder::GetPrefix(UInt32 index, UString &prefix) const {
    prefix.Empty();
    if (!_flatMode) return;
    const CFlatItem &item = _items[index];

    if (_proxy2) {
        unsigned dirIndex = item.DirIndex;
        if (dirIndex == _proxyDirIndex || dirIndex == k_Proxy2_RootDirIndex || dirIndex == k_Proxy2_AltRootDirIndex)
            return;
        unsigned arcIndex = (unsigned)_proxy2->Dirs[dirIndex].ArcIndex;
        // A crafted cycle of parent links must not walk forever.
        for (unsigned steps = 0; steps <= _proxy2->NumFiles; steps++) {
            const CProxyFile2 &file = _proxy2->Files[arcIndex];
            prefix.Insert(0, UString(file.Name) + L'/');
            if (file.Parent < 0) break;
            const int next = _proxy2->Files[(unsigned)file.Parent].GetDirIndex(file.IsAltStream);
            if (next < 0 || (unsigned)next == _proxyDirIndex || next == (int)k_Proxy2_RootDirIndex ||
                next == (int)k_Proxy2_AltRootDirIndex)
                break;
            arcIndex = (unsigned)file.Parent;
        }
        return;
    }

    unsigned dirIndex = item.DirIndex;
    while (dirIndex != _proxyDirIndex) {
        const CProxyDir &dir = _proxy->Dirs[dirIndex];
        if (dir.ParentDir < 0) break;
        prefix.Insert(0, UString(dir.Name) + L'/');
        dirIndex = (unsigned)dir.ParentDir;
    }
}

UString CAgentFolder::GetFullPrefix(UInt32 index) const {
    unsigned dirIndex, position;
    ResolveRow(index, dirIndex, position);
    if (_proxy2) return _proxy2->GetDirPathPrefix(dirIndex);
    return _proxy->GetDirPath_as_Prefix(dirIndex);
}

// ---------- cells ----------

HRESULT CAgentFolder::GetPropertyImpl(UInt32 index, PROPID propID, PROPVARIANT *value) {
    SyncWithAgent(false);
    if (index >= NumRows()) return E_INVALIDARG;
    NCOM::CPropVariant prop;
    IInArchive *archive = _agentSpec->GetArchive();

    if (propID == kpidPrefix) {
        if (_flatMode) {
            UString prefix;
            GetPrefix(index, prefix);
            prop = prefix;
        }
        prop.Detach(value);
        return S_OK;
    }

    unsigned dirIndex, position;
    ResolveRow(index, dirIndex, position);

    if (_proxy2) {
        const unsigned arcIndex = _proxy2->Dirs[dirIndex].Items[position];
        const CProxyFile2 &item = _proxy2->Files[arcIndex];
        if (!item.IsDir()) {
            switch (propID) {
            case kpidIsDir:
                prop = false;
                break;
            case kpidName:
                prop = item.Name;
                break;
            default:
                return archive->GetProperty(arcIndex, propID, value);
            }
        } else {
            const CProxyDir2 &dir = _proxy2->Dirs[(unsigned)item.DirIndex];
            if (!_flatMode && propID == kpidSize)
                prop = dir.Size;
            else if (!_flatMode && propID == kpidPackSize)
                prop = dir.PackSize;
            else
                switch (propID) {
                case kpidIsDir:
                    prop = true;
                    break;
                case kpidNumSubDirs:
                    prop = dir.NumSubDirs;
                    break;
                case kpidNumSubFiles:
                    prop = dir.NumSubFiles;
                    break;
                case kpidName:
                    prop = item.Name;
                    break;
                case kpidCRC: {
                    RINOK(archive->GetProperty(arcIndex, propID, &prop));
                    if (prop.vt == VT_EMPTY && dir.CrcIsDefined) prop = dir.Crc;
                    break;
                }
                default:
                    return archive->GetProperty(arcIndex, propID, value);
                }
        }
        prop.Detach(value);
        return S_OK;
    }

    const CProxyDir &parentDir = _proxy->Dirs[dirIndex];
    const unsigned numDirs = parentDir.SubDirs.Size();
    if (position >= numDirs) {
        const unsigned arcIndex = parentDir.SubFiles[position - numDirs];
        switch (propID) {
        case kpidIsDir:
            prop = false;
            break;
        case kpidName:
            prop = _proxy->Files[arcIndex].Name;
            break;
        default:
            return archive->GetProperty(arcIndex, propID, value);
        }
        prop.Detach(value);
        return S_OK;
    }

    const CProxyDir &dir = _proxy->Dirs[parentDir.SubDirs[position]];
    if (!_flatMode && propID == kpidSize)
        prop = dir.Size;
    else if (!_flatMode && propID == kpidPackSize)
        prop = dir.PackSize;
    else
        switch (propID) {
        case kpidIsDir:
            prop = true;
            break;
        case kpidNumSubDirs:
            prop = dir.NumSubDirs;
            break;
        case kpidNumSubFiles:
            prop = dir.NumSubFiles;
            break;
        case kpidName:
            prop = dir.Name;
            break;
        case kpidCRC: {
            if (dir.IsLeaf()) RINOK(archive->GetProperty((UInt32)dir.ArcIndex, propID, &prop));
            if (prop.vt == VT_EMPTY && dir.CrcIsDefined) prop = dir.Crc;
            break;
        }
        default:
            if (dir.IsLeaf()) return archive->GetProperty((UInt32)dir.ArcIndex, propID, value);
        }
    prop.Detach(value);
    return S_OK;
}

HRESULT CAgentFolder::GetProperty(UInt32 itemIndex, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    return GetPropertyImpl(itemIndex, propID, value);
    COM_TRY_END
}

HRESULT CAgentFolder::GetItemName(UInt32 index, const wchar_t **name, unsigned *len) {
    *name = nullptr;
    *len = 0;
    SyncWithAgent(false);
    if (index >= NumRows()) return E_INVALIDARG;
    unsigned dirIndex, position;
    ResolveRow(index, dirIndex, position);
    if (_proxy2) {
        const CProxyFile2 &file = _proxy2->Files[_proxy2->Dirs[dirIndex].Items[position]];
        *name = file.Name;
        *len = file.NameLen;
        return S_OK;
    }
    const CProxyDir &dir = _proxy->Dirs[dirIndex];
    if (position < dir.SubDirs.Size()) {
        const CProxyDir &subDir = _proxy->Dirs[dir.SubDirs[position]];
        *name = subDir.Name;
        *len = subDir.NameLen;
    } else {
        const CProxyFile &file = _proxy->Files[dir.SubFiles[position - dir.SubDirs.Size()]];
        *name = file.Name;
        *len = file.NameLen;
    }
    return S_OK;
}

HRESULT CAgentFolder::GetItemPrefix(UInt32 index, const wchar_t **name, unsigned *len) {
    *name = nullptr;
    *len = 0;
    SyncWithAgent(false);
    if (index >= NumRows()) return E_INVALIDARG;
    if (!_flatMode || !_proxy2) return S_OK;
    COM_TRY_BEGIN
    const unsigned dirIndex = _items[index].DirIndex;
    const unsigned baseLen = _proxy2->Dirs[_proxyDirIndex].PrefixLen;
    if (_proxy2->Dirs[dirIndex].PrefixLen < baseLen) return E_FAIL;
    auto it = _itemPrefixes.find(dirIndex);
    if (it == _itemPrefixes.end()) {
        const UString prefix = _proxy2->GetDirPathPrefix(dirIndex);
        if (prefix.Len() < baseLen) return E_FAIL;
        it = _itemPrefixes.emplace(dirIndex, UString(prefix.Ptr(baseLen))).first;
    }
    *name = it->second;
    *len = it->second.Len();
    return S_OK;
    COM_TRY_END
}

UInt64 CAgentFolder::GetItemSize(UInt32 index) {
    SyncWithAgent(false);
    if (index >= NumRows()) return 0;
    unsigned dirIndex, position;
    ResolveRow(index, dirIndex, position);
    int arcIndex;
    if (_proxy2) {
        arcIndex = (int)_proxy2->Dirs[dirIndex].Items[position];
        const CProxyFile2 &file = _proxy2->Files[(unsigned)arcIndex];
        if (file.IsDir() && !_flatMode) return _proxy2->Dirs[(unsigned)file.DirIndex].Size;
    } else {
        const CProxyDir &dir = _proxy->Dirs[dirIndex];
        if (position < dir.SubDirs.Size()) {
            const CProxyDir &subDir = _proxy->Dirs[dir.SubDirs[position]];
            if (!_flatMode) return subDir.Size;
            if (!subDir.IsLeaf()) return 0;
            arcIndex = subDir.ArcIndex;
        } else
            arcIndex = (int)dir.SubFiles[position - dir.SubDirs.Size()];
    }
    NCOM::CPropVariant prop;
    UInt64 size = 0;
    if (_agentSpec->GetArchive()->GetProperty((UInt32)arcIndex, kpidSize, &prop) != S_OK ||
        !ConvertPropVariantToUInt64(prop, size))
        return 0;
    return size;
}

// ---------- columns ----------

HRESULT CAgentFolder::GetNumberOfProperties(UInt32 *numProperties) {
    COM_TRY_BEGIN
    *numProperties = 0;
    RINOK(_agentSpec->GetArchive()->GetNumberOfProperties(numProperties));
    *numProperties += sizeof(kProps) / sizeof(kProps[0]) - 1;
    if (_flatMode) (*numProperties)++;
    if (!_agentSpec->ThereIsPathProp) (*numProperties)++;
    return S_OK;
    COM_TRY_END
}

HRESULT CAgentFolder::GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    COM_TRY_BEGIN
    *name = nullptr;
    UInt32 numProps = 0;
    IInArchive *archive = _agentSpec->GetArchive();
    RINOK(archive->GetNumberOfProperties(&numProps));
    if (!_agentSpec->ThereIsPathProp) {
        if (index == 0) {
            *propID = kpidName;
            *varType = VT_BSTR;
            return S_OK;
        }
        index--;
    }
    if (index < numProps) {
        CMyComBSTR handlerName;
        RINOK(archive->GetPropertyInfo(index, &handlerName, propID, varType));
        if (*propID == kpidPath) *propID = kpidName;
    } else {
        const UInt32 k = index - numProps;
        if (k >= sizeof(kProps) / sizeof(kProps[0])) return E_INVALIDARG;
        *propID = kProps[k];
        *varType = k7z_PROPID_To_VARTYPE[*propID];
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CAgentFolder::GetFolderProperty(PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    SyncWithAgent(false);
    NCOM::CPropVariant prop;
    if (propID == kpidReadOnly) {
        prop = _agentSpec->IsThereReadOnlyArc();
        prop.Detach(value);
        return S_OK;
    }

    UInt64 size, packSize;
    UInt32 crc, numSubDirs, numSubFiles;
    bool crcIsDefined;
    if (_proxy2) {
        const CProxyDir2 &dir = _proxy2->Dirs[_proxyDirIndex];
        size = dir.Size;
        packSize = dir.PackSize;
        crc = dir.Crc;
        crcIsDefined = dir.CrcIsDefined;
        numSubDirs = dir.NumSubDirs;
        numSubFiles = dir.NumSubFiles;
        if (propID == kpidPath)
            prop = _proxy2->GetDirPathPrefix(_proxyDirIndex);
        else if (propID == kpidName) {
            if (dir.ArcIndex >= 0) prop = _proxy2->Files[(unsigned)dir.ArcIndex].Name;
        }
    } else {
        const CProxyDir &dir = _proxy->Dirs[_proxyDirIndex];
        size = dir.Size;
        packSize = dir.PackSize;
        crc = dir.Crc;
        crcIsDefined = dir.CrcIsDefined;
        numSubDirs = dir.NumSubDirs;
        numSubFiles = dir.NumSubFiles;
        if (propID == kpidPath)
            prop = _proxy->GetDirPath_as_Prefix(_proxyDirIndex);
        else if (propID == kpidName) {
            // The root has no name: a null text.
            value->vt = VT_BSTR;
            value->bstrVal = nullptr;
            if (dir.Name) {
                value->bstrVal = ::SysAllocString(dir.Name);
                if (!value->bstrVal) {
                    value->vt = VT_EMPTY;
                    return E_OUTOFMEMORY;
                }
            }
            return S_OK;
        }
    }

    switch (propID) {
    case kpidSize:
        prop = size;
        break;
    case kpidPackSize:
        prop = packSize;
        break;
    case kpidCRC:
        if (crcIsDefined) prop = crc;
        break;
    case kpidNumSubDirs:
        prop = numSubDirs;
        break;
    case kpidNumSubFiles:
        prop = numSubFiles;
        break;
    case kpidType:
        prop = UString(UString(L"7-Dud.") + _agentSpec->ArchiveType);
        break;
    default:
        break;
    }
    prop.Detach(value);
    return S_OK;
    COM_TRY_END
}

HRESULT CAgentFolder::GetNumberOfFolderProperties(UInt32 *numProperties) {
    *numProperties = kNumFolderProps;
    return S_OK;
}

HRESULT CAgentFolder::GetFolderPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    if (index >= kNumFolderProps) return E_INVALIDARG;
    *name = nullptr;
    *propID = kFolderProps[index];
    *varType = k7z_PROPID_To_VARTYPE[*propID];
    return S_OK;
}

HRESULT CAgentFolder::GetFolderArcProps(IFolderArcProps **object) {
    CMyComPtr<IFolderArcProps> props = _agentSpec;
    *object = props.Detach();
    return S_OK;
}

HRESULT CAgentFolder::SetFlatMode(Int32 flatMode) {
    _flatMode = (flatMode != 0);
    return S_OK;
}

HRESULT CAgentFolder::GetAgentFolder(CAgentFolder **agentFolder) {
    *agentFolder = this;
    return S_OK;
}

// ---------- binding ----------

HRESULT CAgentFolder::BindToFolder_Internal(unsigned proxyDirIndex, IFolderFolder **resultFolder) {
    CAgentFolder *folderSpec = new CAgentFolder;
    CMyComPtr<IFolderFolder> folder = folderSpec;
    folderSpec->Init(_proxy, _proxy2, proxyDirIndex, _agent, _agentSpec);
    *resultFolder = folder.Detach();
    return S_OK;
}

HRESULT CAgentFolder::BindToFolder(UInt32 index, IFolderFolder **resultFolder) {
    COM_TRY_BEGIN
    *resultFolder = nullptr;
    RINOK(SyncWithAgent(true));
    UInt32 numItems = 0;
    GetNumberOfItems(&numItems);
    if (index >= numItems) return E_INVALIDARG;
    unsigned dirIndex, position;
    ResolveRow(index, dirIndex, position);
    if (_proxy2) {
        const CProxyFile2 &file = _proxy2->Files[_proxy2->Dirs[dirIndex].Items[position]];
        if (!file.IsDir()) return E_INVALIDARG;
        return BindToFolder_Internal((unsigned)file.DirIndex, resultFolder);
    }
    const CProxyDir &dir = _proxy->Dirs[dirIndex];
    if (position >= dir.SubDirs.Size()) return E_INVALIDARG;
    return BindToFolder_Internal(dir.SubDirs[position], resultFolder);
    COM_TRY_END
}

HRESULT CAgentFolder::BindToFolder(const wchar_t *name, IFolderFolder **resultFolder) {
    COM_TRY_BEGIN
    *resultFolder = nullptr;
    RINOK(SyncWithAgent(true));
    if (_proxy2) {
        const int index = _proxy2->FindItem(_proxyDirIndex, name, true);
        if (index < 0) return E_INVALIDARG;
        const unsigned arcIndex = _proxy2->Dirs[_proxyDirIndex].Items[(unsigned)index];
        return BindToFolder_Internal((unsigned)_proxy2->Files[arcIndex].DirIndex, resultFolder);
    }
    const int index = _proxy->FindSubDir(_proxyDirIndex, name);
    if (index < 0) return E_INVALIDARG;
    return BindToFolder_Internal((unsigned)index, resultFolder);
    COM_TRY_END
}

HRESULT CAgentFolder::BindToParentFolder(IFolderFolder **resultFolder) {
    COM_TRY_BEGIN
    *resultFolder = nullptr;
    RINOK(SyncWithAgent(true));
    if (_proxy2) {
        unsigned parentIndex;
        if (_proxyDirIndex == k_Proxy2_RootDirIndex) return S_OK;
        if (_proxyDirIndex == k_Proxy2_AltRootDirIndex)
            parentIndex = k_Proxy2_RootDirIndex;
        else {
            const CProxyDir2 &dir = _proxy2->Dirs[_proxyDirIndex];
            const CProxyFile2 &file = _proxy2->Files[(unsigned)dir.ArcIndex];
            const int parentArcIndex = file.Parent;
            if (parentArcIndex < 0)
                parentIndex = k_Proxy2_RootDirIndex;
            else {
                const int d = _proxy2->Files[(unsigned)parentArcIndex].DirIndex;
                parentIndex = d < 0 ? k_Proxy2_RootDirIndex : (unsigned)d;
            }
        }
        return BindToFolder_Internal(parentIndex, resultFolder);
    }
    const int parentIndex = _proxy->Dirs[_proxyDirIndex].ParentDir;
    if (parentIndex < 0) return S_OK;
    return BindToFolder_Internal((unsigned)parentIndex, resultFolder);
    COM_TRY_END
}

HRESULT CAgentFolder::BindToAltStreams_Internal(unsigned proxyDirIndex, IFolderFolder **resultFolder) {
    return BindToFolder_Internal(proxyDirIndex, resultFolder);
}

HRESULT CAgentFolder::BindToAltStreams(UInt32 index, IFolderFolder **resultFolder) {
    COM_TRY_BEGIN
    *resultFolder = nullptr;
    RINOK(SyncWithAgent(true));
    if (!_proxy2 || _isAltStreamFolder) return S_OK;

    if (index == kFolderItself) {
        if (_proxyDirIndex == k_Proxy2_RootDirIndex)
            return BindToAltStreams_Internal(k_Proxy2_AltRootDirIndex, resultFolder);
        const CProxyDir2 &dir = _proxy2->Dirs[_proxyDirIndex];
        if (dir.ArcIndex < 0) return S_OK;
        const int altDirIndex = _proxy2->Files[(unsigned)dir.ArcIndex].AltDirIndex;
        if (altDirIndex < 0) return S_OK;
        return BindToAltStreams_Internal((unsigned)altDirIndex, resultFolder);
    }

    UInt32 numItems = 0;
    GetNumberOfItems(&numItems);
    if (index >= numItems) return E_INVALIDARG;
    unsigned dirIndex, position;
    ResolveRow(index, dirIndex, position);
    const int altDirIndex = _proxy2->Files[_proxy2->Dirs[dirIndex].Items[position]].AltDirIndex;
    if (altDirIndex < 0) return S_OK;
    return BindToAltStreams_Internal((unsigned)altDirIndex, resultFolder);
    COM_TRY_END
}

HRESULT CAgentFolder::BindToAltStreams(const wchar_t *name, IFolderFolder **resultFolder) {
    COM_TRY_BEGIN
    *resultFolder = nullptr;
    RINOK(SyncWithAgent(true));
    if (!_proxy2 || _isAltStreamFolder) return S_OK;
    if (!name || name[0] == 0) return BindToAltStreams(kFolderItself, resultFolder);

    const CProxyDir2 &dir = _proxy2->Dirs[_proxyDirIndex];
    for (unsigned i = 0; i < dir.Items.Size(); i++) {
        const CProxyFile2 &file = _proxy2->Files[dir.Items[i]];
        if (file.AltDirIndex >= 0 && CompareFileNames(file.Name, name) == 0)
            return BindToAltStreams_Internal((unsigned)file.AltDirIndex, resultFolder);
    }
    return E_INVALIDARG;
    COM_TRY_END
}

HRESULT CAgentFolder::AreAltStreamsSupported(UInt32 index, Int32 *isSupported) {
    *isSupported = 0;
    SyncWithAgent(false);
    if (!_proxy2 || _isAltStreamFolder) return S_OK;
    if (index == kFolderItself) {
        if (_proxyDirIndex == k_Proxy2_RootDirIndex) {
            *isSupported = 1;
            return S_OK;
        }
        const CProxyDir2 &dir = _proxy2->Dirs[_proxyDirIndex];
        if (dir.ArcIndex >= 0 && _proxy2->Files[(unsigned)dir.ArcIndex].AltDirIndex >= 0) *isSupported = 1;
        return S_OK;
    }
    UInt32 numItems = 0;
    GetNumberOfItems(&numItems);
    if (index >= numItems) return E_INVALIDARG;
    unsigned dirIndex, position;
    ResolveRow(index, dirIndex, position);
    if (_proxy2->Files[_proxy2->Dirs[dirIndex].Items[position]].AltDirIndex >= 0) *isSupported = 1;
    return S_OK;
}

// ---------- raw properties and streams ----------

HRESULT CAgentFolder::GetParent(UInt32, UInt32 *, UInt32 *) {
    return E_FAIL;
}

HRESULT CAgentFolder::GetRawProp(UInt32 index, PROPID propID, const void **data, UInt32 *dataSize, UInt32 *propType) {
    COM_TRY_BEGIN
    *data = nullptr;
    *dataSize = 0;
    *propType = 0;
    SyncWithAgent(false);
    if (index >= NumRows()) return E_INVALIDARG;
    IArchiveGetRawProps *rawProps = _agentSpec->GetArc().rawPropsHandler;
    if (!rawProps) return S_OK;
    const int arcIndex = GetRealIndex(index);
    if (arcIndex < 0) return S_OK;
    return rawProps->GetRawProp((UInt32)arcIndex, propID, data, dataSize, propType);
    COM_TRY_END
}

HRESULT CAgentFolder::GetNumRawProps(UInt32 *numProps) {
    COM_TRY_BEGIN
    *numProps = 0;
    IArchiveGetRawProps *rawProps = _agentSpec->GetArc().rawPropsHandler;
    if (!rawProps) return S_OK;
    return rawProps->GetNumRawProps(numProps);
    COM_TRY_END
}

HRESULT CAgentFolder::GetRawPropInfo(UInt32 index, BSTR *name, PROPID *propID) {
    COM_TRY_BEGIN
    IArchiveGetRawProps *rawProps = _agentSpec->GetArc().rawPropsHandler;
    if (!rawProps) return E_FAIL;
    return rawProps->GetRawPropInfo(index, name, propID);
    COM_TRY_END
}

HRESULT CAgentFolder::GetStream(UInt32 index, ISequentialInStream **stream) {
    COM_TRY_BEGIN
    *stream = nullptr;
    SyncWithAgent(false);
    if (index >= NumRows()) return E_INVALIDARG;
    CMyComPtr<IInArchiveGetStream> getStream;
    _agentSpec->GetArc().handler.QueryInterface(IID_IInArchiveGetStream, &getStream);
    if (!getStream) return S_OK;
    const int arcIndex = GetRealIndex(index);
    if (arcIndex < 0) return S_OK;
    return getStream->GetStream((UInt32)arcIndex, stream);
    COM_TRY_END
}

// ---------- sorting ----------

UInt64 CAgentFolder::GetEntryValue(unsigned dirIndex, unsigned position, PROPID propID) const {
    const int arcIndex = GetRealIndex_of_Entry(dirIndex, position);
    if (arcIndex < 0) return 0;
    bool defined;
    return Proxy_GetSize(_agentSpec->GetArchive(), (UInt32)arcIndex, propID, defined);
}

int CAgentFolder::CompareRawProps(UInt32 realIndex1, UInt32 realIndex2, PROPID propID) const {
    IArchiveGetRawProps *rawProps = _agentSpec->GetArc().rawPropsHandler;
    if (!rawProps) return 0;
    const void *p1 = nullptr, *p2 = nullptr;
    UInt32 size1 = 0, size2 = 0, type1 = 0, type2 = 0;
    if (rawProps->GetRawProp(realIndex1, propID, &p1, &size1, &type1) != S_OK) return 0;
    if (rawProps->GetRawProp(realIndex2, propID, &p2, &size2, &type2) != S_OK) return 0;
    const UInt32 common = size1 < size2 ? size1 : size2;
    const Byte *b1 = (const Byte *)p1;
    const Byte *b2 = (const Byte *)p2;
    for (UInt32 i = 0; i < common; i++)
        if (b1[i] != b2[i]) return b1[i] < b2[i] ? -1 : 1;
    if (size1 != size2) return size1 < size2 ? -1 : 1;
    return 0;
}

template <class T> static int CompareValues(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

static const wchar_t *ExtensionOf(const wchar_t *name) {
    const wchar_t *dot = wcsrchr(name, L'.');
    return dot ? dot : L"";
}

Int32 CAgentFolder::CompareItems(UInt32 index1, UInt32 index2, PROPID propID, Int32 propIsRaw) {
    SyncWithAgent(false);
    const UInt32 numRows = NumRows();
    if (index1 >= numRows || index2 >= numRows) return 0;
    try {
        unsigned dir1, pos1, dir2, pos2;
        ResolveRow(index1, dir1, pos1);
        ResolveRow(index2, dir2, pos2);

        // What an entry is: a folder (with its tree record) or a file.
        struct CEntry {
            bool IsDir;
            bool DirWithoutItem; // path tree only
            UInt64 Size, PackSize;
            UInt32 Crc;
            UInt32 NumSubDirs, NumSubFiles;
        };
        auto describe = [&](unsigned dirIndex, unsigned position) {
            CEntry e = {false, false, 0, 0, 0, 0, 0};
            if (_proxy2) {
                const CProxyFile2 &file = _proxy2->Files[_proxy2->Dirs[dirIndex].Items[position]];
                if (file.IsDir()) {
                    const CProxyDir2 &d = _proxy2->Dirs[(unsigned)file.DirIndex];
                    e = {true, false, d.Size, d.PackSize, d.Crc, d.NumSubDirs, d.NumSubFiles};
                }
            } else {
                const CProxyDir &dir = _proxy->Dirs[dirIndex];
                if (position < dir.SubDirs.Size()) {
                    const CProxyDir &d = _proxy->Dirs[dir.SubDirs[position]];
                    e = {true, !d.IsLeaf(), d.Size, d.PackSize, d.Crc, d.NumSubDirs, d.NumSubFiles};
                }
            }
            return e;
        };
        const CEntry e1 = describe(dir1, pos1);
        const CEntry e2 = describe(dir2, pos2);

        switch (propID) {
        case kpidName:
        case kpidExtension: {
            // The tree's own names: no copies while a large folder is sorted.
            const wchar_t *n1 = nullptr, *n2 = nullptr;
            unsigned len1 = 0, len2 = 0;
            GetItemName(index1, &n1, &len1);
            GetItemName(index2, &n2, &len2);
            if (!n1) n1 = L"";
            if (!n2) n2 = L"";
            if (propID == kpidName) return CompareFileNames_ForFolderList(n1, n2);
            return CompareFileNames_ForFolderList(ExtensionOf(n1), ExtensionOf(n2));
        }
        case kpidPrefix: {
            if (!_flatMode) return 0;
            if (_proxy2) {
                if (dir1 == dir2) return 0;
                return CompareFileNames_ForFolderList(_proxy2->GetDirPathPrefix(dir1), _proxy2->GetDirPathPrefix(dir2));
            }
            UString p1, p2;
            GetPrefix(index1, p1);
            GetPrefix(index2, p2);
            return CompareFileNames_ForFolderList(p1, p2);
        }
        case kpidIsDir:
            if (e1.IsDir == e2.IsDir) return 0;
            return e1.IsDir ? -1 : 1;
        case kpidSize:
        case kpidPackSize: {
            auto key = [&](const CEntry &e, unsigned dirIndex, unsigned position) -> UInt64 {
                if (e.IsDir) return _flatMode ? 0 : (propID == kpidSize ? e.Size : e.PackSize);
                return GetEntryValue(dirIndex, position, propID);
            };
            return CompareValues(key(e1, dir1, pos1), key(e2, dir2, pos2));
        }
        case kpidCRC: {
            auto key = [&](const CEntry &e, unsigned dirIndex, unsigned position) -> UInt64 {
                if (e.DirWithoutItem) return e.Crc;
                return GetEntryValue(dirIndex, position, kpidCRC);
            };
            return CompareValues(key(e1, dir1, pos1), key(e2, dir2, pos2));
        }
        case kpidNumSubDirs:
            return CompareValues(e1.IsDir ? e1.NumSubDirs : 0, e2.IsDir ? e2.NumSubDirs : 0);
        case kpidNumSubFiles:
            return CompareValues(e1.IsDir ? e1.NumSubFiles : 0, e2.IsDir ? e2.NumSubFiles : 0);
        default:
            break;
        }

        if (propIsRaw) {
            if (e1.DirWithoutItem || e2.DirWithoutItem) {
                if (e1.DirWithoutItem && e2.DirWithoutItem) return 0;
                return e1.DirWithoutItem ? -1 : 1;
            }
            return CompareRawProps((UInt32)GetRealIndex_of_Entry(dir1, pos1), (UInt32)GetRealIndex_of_Entry(dir2, pos2),
                                   propID);
        }

        NCOM::CPropVariant prop1, prop2;
        GetProperty(index1, propID, &prop1);
        GetProperty(index2, propID, &prop2);
        if (prop1.vt != prop2.vt) return CompareValues(prop1.vt, prop2.vt);
        if (prop1.vt == VT_BSTR)
            return MyStringCompareNoCase(prop1.bstrVal ? prop1.bstrVal : L"", prop2.bstrVal ? prop2.bstrVal : L"");
        return prop1.Compare(prop2);
    } catch (...) {
        return 0;
    }
}

// ---------- extraction ----------

void CAgentFolder::GetRealIndices(const UInt32 *indices, UInt32 numItems, bool includeAltStreams,
                                  bool includeFolderSubItemsInFlatMode, CUIntVector &realIndices) const {
    if (!_flatMode) {
        if (_proxy2)
            _proxy2->GetRealIndices(_proxyDirIndex, indices, numItems, includeAltStreams, realIndices);
        else
            _proxy->GetRealIndices(_proxyDirIndex, indices, numItems, realIndices);
        return;
    }

    realIndices.Clear();
    for (UInt32 i = 0; i < numItems; i++) {
        const CFlatItem &item = _items[indices[i]];
        if (_proxy2) {
            _proxy2->AddRealIndices_of_ArcItem(_proxy2->Dirs[item.DirIndex].Items[item.Position], includeAltStreams,
                                               realIndices);
            continue;
        }
        const CProxyDir &dir = _proxy->Dirs[item.DirIndex];
        const unsigned numDirs = dir.SubDirs.Size();
        if (item.Position >= numDirs) {
            realIndices.Add(dir.SubFiles[item.Position - numDirs]);
            continue;
        }
        const unsigned subDirIndex = dir.SubDirs[item.Position];
        if (includeFolderSubItemsInFlatMode)
            _proxy->AddRealIndices(subDirIndex, realIndices);
        else if (_proxy->Dirs[subDirIndex].IsLeaf())
            realIndices.Add((unsigned)_proxy->Dirs[subDirIndex].ArcIndex);
    }
    HeapSort(realIndices.NonConstData(), realIndices.Size());
    // In flat mode a folder and rows below it can be selected together: each item once.
    unsigned numUnique = 0;
    for (unsigned i = 0; i < realIndices.Size(); i++)
        if (numUnique == 0 || realIndices[numUnique - 1] != realIndices[i]) realIndices[numUnique++] = realIndices[i];
    realIndices.DeleteFrom(numUnique);
}

HRESULT CAgentFolder::Extract(const UInt32 *indices, UInt32 numItems, Int32 includeAltStreams,
                              Int32 replaceAltStreamCharsMode, NExtract::NPathMode::EEnum pathMode,
                              NExtract::NOverwriteMode::EEnum overwriteMode, const wchar_t *path, Int32 testMode,
                              IFolderArchiveExtractCallback *extractCallback2) {
    COM_TRY_BEGIN
    RINOK(SyncWithAgent(true));
    if (!AreRows(indices, numItems)) return E_INVALIDARG;
    CArchiveExtractCallback *extractCallbackSpec = new CArchiveExtractCallback;
    CMyComPtr<IArchiveExtractCallback> extractCallback = extractCallbackSpec;

    UStringVector pathParts;
    bool isAltStreamFolder = false;
    if (_proxy2)
        _proxy2->GetDirPathParts(_proxyDirIndex, pathParts, isAltStreamFolder);
    else
        _proxy->GetDirPathParts(_proxyDirIndex, pathParts);

    extractCallbackSpec->InitForMulti(false, pathMode, overwriteMode);

    const CArc &arc = _agentSpec->GetArc();
    if (extractCallback2) extractCallback2->SetTotal(arc.physicalSizeDefined ? arc.physicalSize : arc.inputSize);

    UString pathU;
    if (path) {
        pathU = path;
        if (!pathU.IsEmpty()) {
            NFile::NName::NormalizeDirPathPrefix(pathU);
            NFile::NDir::CreateComplexDir(pathU);
        }
    }

    CExtractNtOptions extractNtOptions;
    extractNtOptions.NtSecurity.Val = false;
    extractNtOptions.SymLinks.Val = true;
    extractNtOptions.HardLinks.Val = true;
    extractNtOptions.AltStreams.Val = (includeAltStreams != 0);
    extractNtOptions.AltStreams.Def = true;
    extractNtOptions.ReplaceColonForAltStream = (replaceAltStreamCharsMode != 0);
    extractNtOptions.WriteToAltStreamIfColon = false;

    extractCallbackSpec->Init(extractNtOptions, nullptr, &arc, extractCallback2, false, testMode != 0, pathU, pathParts,
                              isAltStreamFolder, (UInt64)(Int64)-1);

    if (_proxy2) {
        extractCallbackSpec->BaseParentFolderMode = true;
        extractCallbackSpec->BaseParentFolderIndex = (UInt32)_proxy2->Dirs[_proxyDirIndex].ArcIndex;
    }

    CUIntVector realIndices;
    GetRealIndices(indices, numItems, includeAltStreams != 0, false, realIndices);
    HRESULT result =
        _agentSpec->GetArchive()->Extract(realIndices.ConstData(), realIndices.Size(), testMode, extractCallback);
    if (result == S_OK) result = extractCallbackSpec->SetDirsTimes();
    return result;
    COM_TRY_END
}
