// The update side of an opened archive: every edit becomes one run of the format's writer into a stream that the caller
// supplies. The archive file itself is never touched here.
#include <errno.h>

#include "Agent.h"
#include "AgentFolder.h"

#include "UpdateCallbackAgent.h"
#include "archive/common/CopyCoder.h"
#include "archive/common/FileStreams.h"
#include "archive/common/StreamUtils.h"
#include "archive/ui-common/DirItem.h"
#include "archive/ui-common/SelfArchiveFilter.h"
#include "archive/ui-common/UpdateCallback.h"
#include "archive/ui-common/UpdatePair.h"
#include "archive/ui-common/UpdateProduce.h"
#include "common/Wildcard.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"
#include "windows/TimeUtils.h"

using namespace NWindows;

namespace {

// Items that the action set drops are reported as deleted.
class CAgUpCallbackImp : public IUpdateProduceCallback {
    const CObjectVector<CArcItem> *_arcItems;
    IFolderArchiveUpdateCallback *_callback;

public:
    CAgUpCallbackImp(const CObjectVector<CArcItem> *arcItems, IFolderArchiveUpdateCallback *callback)
        : _arcItems(arcItems), _callback(callback) {}

    HRESULT ShowDeleteFile(unsigned arcIndex) override {
        if (!_callback) return S_OK;
        return _callback->DeleteOperation((*_arcItems)[arcIndex].Name);
    }
};

class CDirItemsCallback_AgentOut : public IDirItemsCallback {
public:
    CMyComPtr<IFolderScanProgress> FolderScanProgress;
    IFolderArchiveUpdateCallback *FolderArchiveUpdateCallback;
    HRESULT ScanResult;

    CDirItemsCallback_AgentOut() : FolderArchiveUpdateCallback(nullptr), ScanResult(S_OK) {}

    HRESULT ScanError(const UString &name, DWORD systemError) override {
        const HRESULT hres = HRESULT_FROM_WIN32(systemError);
        if (FolderScanProgress) return FolderScanProgress->ScanError(name, hres);
        ScanResult = hres;
        return hres;
    }

    HRESULT ScanProgress(const CDirItemsStat &st, const UString &path, bool isDir) override {
        if (FolderScanProgress)
            return FolderScanProgress->ScanProgress(st.NumDirs, st.NumFiles + st.NumAltStreams, st.GetTotalBytes(),
                                                    path, isDir ? 1 : 0);
        if (FolderArchiveUpdateCallback) return FolderArchiveUpdateCallback->SetNumFiles(st.NumFiles);
        return S_OK;
    }
};

} // namespace

static void SetInArchiveInterfaces(CAgent *agent, CArchiveUpdateCallback *upd) {
    if (agent->_archiveLink.isOpen && !agent->_archiveLink.levels.IsEmpty()) {
        upd->Arc = &agent->GetArc();
        upd->Archive = agent->GetArchive();
    }
}

static HRESULT EnumerateArchiveItems(CAgent *agent, const CProxyDir &item, const UString &prefix,
                                     CObjectVector<CArcItem> &arcItems) {
    const CArc &arc = agent->GetArc();
    for (unsigned i = 0; i < item.SubFiles.Size(); i++) {
        const unsigned arcIndex = item.SubFiles[i];
        const CProxyFile &fileItem = agent->_proxy->Files[arcIndex];
        CArcItem ai;
        RINOK(arc.GetItemMTime(arcIndex, ai.MTime, ai.HasMTime));
        RINOK(arc.GetItemSize(arcIndex, ai.Size, ai.HasSize));
        ai.IsDir = false;
        ai.Name = prefix;
        ai.Name += fileItem.Name;
        ai.Selected = true;
        ai.HandlerIndex = arcIndex;
        arcItems.Add(ai);
    }
    for (unsigned i = 0; i < item.SubDirs.Size(); i++) {
        const CProxyDir &dirItem = agent->_proxy->Dirs[item.SubDirs[i]];
        UString fullName = prefix;
        fullName += dirItem.Name;
        if (dirItem.ArcIndex >= 0) {
            CArcItem ai;
            RINOK(arc.GetItemMTime((unsigned)dirItem.ArcIndex, ai.MTime, ai.HasMTime));
            ai.IsDir = true;
            ai.HasSize = false;
            ai.Name = fullName;
            ai.Selected = true;
            ai.HandlerIndex = (UInt32)dirItem.ArcIndex;
            arcItems.Add(ai);
        }
        RINOK(EnumerateArchiveItems(agent, dirItem, fullName + L'/', arcItems));
    }
    return S_OK;
}

// Each item, then its streams, then its children, in listing order. Parent links from a handler can nest far deeper
// than a worker thread's stack allows, so the walk keeps a stack of its own; a folder's prefix is the name of the item
// already listed for it, not a copy per level.
static HRESULT EnumerateArchiveItems2(const CAgent *agent, unsigned rootDirIndex, const wchar_t *rootPrefix,
                                      CObjectVector<CArcItem> &arcItems) {
    struct CStep {
        unsigned Dir;
        unsigned Position;
        int PrefixItem; // the arcItems entry whose name (then Separator) starts every name here, -1 for rootPrefix
        wchar_t Separator;
    };
    const CArc &arc = agent->GetArc();
    const CProxyArc2 &tree = *agent->_proxy2;
    CRecordVector<CStep> stack;
    stack.Add(CStep{rootDirIndex, 0, -1, 0});
    while (!stack.IsEmpty()) {
        CStep &step = stack.Back();
        const CProxyDir2 &dir = tree.Dirs[step.Dir];
        if (step.Position == dir.Items.Size()) {
            stack.DeleteBack();
            continue;
        }
        const unsigned arcIndex = dir.Items[step.Position++];
        const CProxyFile2 &file = tree.Files[arcIndex];
        CArcItem ai;
        ai.HandlerIndex = arcIndex;
        if (step.PrefixItem < 0) {
            ai.Name = rootPrefix;
        } else {
            ai.Name = arcItems[(unsigned)step.PrefixItem].Name;
            ai.Name += step.Separator;
        }
        ai.Name += file.Name;
        ai.Selected = true;
        RINOK(arc.GetItemMTime(arcIndex, ai.MTime, ai.HasMTime));
        ai.IsDir = file.IsDir();
        ai.IsAltStream = file.IsAltStream;
        if (!ai.IsDir) RINOK(arc.GetItemSize(arcIndex, ai.Size, ai.HasSize));
        const int itemIndex = (int)arcItems.Add(ai);
        // Pushed in reverse: the streams are listed before the children.
        if (file.IsDir()) stack.Add(CStep{(unsigned)file.DirIndex, 0, itemIndex, L'/'});
        if (file.AltDirIndex >= 0) stack.Add(CStep{(unsigned)file.AltDirIndex, 0, itemIndex, L':'});
    }
    return S_OK;
}

// A new name is one path component; anything else would place items elsewhere in the archive.
static bool IsAllowedItemName(const wchar_t *name) {
    if (!name || name[0] == 0) return false;
    if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) return false;
    for (const wchar_t *p = name; *p; p++)
        if (*p == L'/') return false;
    return true;
}

// Whether path is name itself or lies below it.
static bool IsNameOrBelow(const UString &path, const UString &name) {
    if (!IsPath1PrefixedByPath2(path, name)) return false;
    const wchar_t c = path[name.Len()];
    return c == 0 || c == L'/';
}

// Two items of one name would lose one of them on extraction, and a file beside a folder of its name cannot be
// extracted at all. Items in skipSorted (the ones being renamed) do not count; a folder that only the paths below it
// imply counts as well.
static HRESULT RefuseTakenName(const CArc &arc, UInt32 numItems, const UString &name, const CUIntVector *skipSorted,
                               IFolderArchiveUpdateCallback *callback) {
    unsigned skipPos = 0;
    UString path;
    for (UInt32 i = 0; i < numItems; i++) {
        if (skipSorted && skipPos < skipSorted->Size() && (*skipSorted)[skipPos] == i) {
            skipPos++;
            continue;
        }
        RINOK(arc.GetItemPath2(i, path));
        if (!IsNameOrBelow(path, name)) continue;
        if (callback) {
            UString s(L"An item of this name is already in the archive; choose another name: ");
            s += name;
            RINOK(callback->UpdateErrorMessage(s));
        }
        return EEXIST;
    }
    return S_OK;
}

static CUpdatePair2 UnchangedPair(UInt32 arcIndex) {
    CUpdatePair2 up;
    up.HasNewData = false;
    up.HasNewProps = false;
    up.KeepArcProps = true;
    up.DiskIndex = -1;
    up.ArchiveIndex = (Int32)arcIndex;
    return up;
}

HRESULT CAgent::SetFolder(IFolderFolder *folder) {
    COM_TRY_BEGIN
    _updatePathPrefix.Empty();
    _updatePathPrefix_is_AltFolder = false;
    _agentFolder = nullptr;
    if (!folder) return S_OK;
    {
        CMyComPtr<IArchiveFolderInternal> afi;
        RINOK(folder->QueryInterface(IID_IArchiveFolderInternal, reinterpret_cast<void **>(&afi)));
        if (afi) RINOK(afi->GetAgentFolder(&_agentFolder));
        if (!_agentFolder) return E_FAIL;
        if (_agentFolder->_agentSpec != this) {
            _agentFolder = nullptr;
            return E_INVALIDARG;
        }
        // The edit reads the folder's place and rows in the agent's tree.
        const HRESULT res = _agentFolder->SyncWithAgent(true);
        if (res != S_OK) {
            _agentFolder = nullptr;
            return res;
        }
    }
    if (_proxy2)
        _updatePathPrefix = _proxy2->GetDirPath_as_Prefix(_agentFolder->_proxyDirIndex, _updatePathPrefix_is_AltFolder);
    else if (_proxy)
        _updatePathPrefix = _proxy->GetDirPath_as_Prefix(_agentFolder->_proxyDirIndex);
    return S_OK;
    COM_TRY_END
}

HRESULT CAgent::SetFiles(const wchar_t *folderPrefix, const wchar_t *const *names, UInt32 numNames) {
    COM_TRY_BEGIN
    _folderPrefix = folderPrefix;
    _names.Clear();
    for (UInt32 i = 0; i < numNames; i++)
        _names.Add(UString(names[i]));
    return S_OK;
    COM_TRY_END
}

// The pairing throws text exceptions: they pass to the caller, who reports them.
HRESULT CAgent::DoOperation(CObjectVector<UString> *requestedPaths, CObjectVector<UString> *processedPaths,
                            CCodecs *codecs, Int32 formatIndex, ISequentialOutStream *outArchiveStream,
                            const Byte *stateActions, const wchar_t *sfxModule,
                            IFolderArchiveUpdateCallback *updateCallback100) {
    if (!CanUpdate()) return E_NOTIMPL;

    NUpdateArchive::CActionSet actionSet;
    for (unsigned i = 0; i < NUpdateArchive::kNumPairStates; i++)
        actionSet.StateActions[i] = (NUpdateArchive::EPairAction)stateActions[i];

    CDirItemsCallback_AgentOut enumCallback;
    if (updateCallback100) {
        enumCallback.FolderArchiveUpdateCallback = updateCallback100;
        updateCallback100->QueryInterface(IID_IFolderScanProgress,
                                          reinterpret_cast<void **>(&enumCallback.FolderScanProgress));
    }

    CDirItems dirItems;
    dirItems.Callback = &enumCallback;
    {
        UString folderPrefix = _folderPrefix;
        NFile::NName::NormalizeDirPathPrefix(folderPrefix);
        RINOK(dirItems.EnumerateItems2(folderPrefix, _updatePathPrefix, _names, requestedPaths));
        {
            UStringVector self;
            self.Add(_archiveFilePath);
            self.Add(_outArchivePath);
            if (RemoveFilesFromDirItems(dirItems, self) != 0 && processedPaths) {
                // Moving the archive into itself would delete it once it is written.
                if (updateCallback100) {
                    UString s(L"The archive cannot be moved into itself: ");
                    s += _archiveFilePath;
                    RINOK(updateCallback100->UpdateErrorMessage(s));
                }
                return E_INVALIDARG;
            }
        }
        if (_updatePathPrefix_is_AltFolder) {
            for (unsigned i = 0; i < dirItems.Items.Size(); i++) {
                CDirItem &item = dirItems.Items[i];
                if (item.IsDir()) return E_NOTIMPL;
                item.IsAltStream = true;
            }
        }
    }

    const bool isOpen = _archiveLink.isOpen && !_archiveLink.levels.IsEmpty();
    CMyComPtr<IOutArchive> outArchive;
    if (isOpen) {
        RINOK(GetArchive()->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&outArchive)));
    } else {
        if (formatIndex < 0 || !codecs) return E_FAIL;
        RINOK(codecs->CreateOutArchive((unsigned)formatIndex, outArchive));
        CMyComPtr<ISetCompressCodecsInfo> setCompressCodecsInfo;
        outArchive.QueryInterface(IID_ISetCompressCodecsInfo, &setCompressCodecsInfo);
        if (setCompressCodecsInfo) RINOK(setCompressCodecsInfo->SetCompressCodecsInfo(codecs));
    }
    if (!outArchive) return E_FAIL;

    UInt32 fileTimeType = 0;
    RINOK(outArchive->GetTimeKind(&fileTimeType));
    if (fileTimeType > NFileTimeType::kDOS) return E_FAIL;

    CObjectVector<CArcItem> arcItems;
    if (isOpen) {
        RINOK(ReadItems());
        if (_proxy2) {
            RINOK(EnumerateArchiveItems2(this, k_Proxy2_RootDirIndex, L"", arcItems));
            RINOK(EnumerateArchiveItems2(this, k_Proxy2_AltRootDirIndex, L":", arcItems));
        } else {
            RINOK(EnumerateArchiveItems(this, _proxy->Dirs[0], UString(), arcItems));
        }
    }

    CRecordVector<CUpdatePair2> updatePairs2;
    {
        CRecordVector<CUpdatePair> updatePairs;
        CDirItemNames names;
        names.Fill(dirItems);
        GetUpdatePairInfoList(dirItems, arcItems, (Int32)fileTimeType, updatePairs, &names);
        CAgUpCallbackImp upCallback(&arcItems, updateCallback100);
        UpdateProduce(updatePairs, actionSet, updatePairs2, &upCallback);
        CheckStoredNames(updatePairs2, dirItems, arcItems, &names);
    }

    UInt32 numFiles = 0;
    for (unsigned i = 0; i < updatePairs2.Size(); i++)
        if (updatePairs2[i].HasNewData) numFiles++;
    if (updateCallback100) RINOK(updateCallback100->SetNumFiles(numFiles));

    CUpdateCallbackAgent updateCallbackAgent;
    updateCallbackAgent.SetCallback(updateCallback100);
    CArchiveUpdateCallback *updateCallbackImpl = new CArchiveUpdateCallback;
    CMyComPtr<IArchiveUpdateCallback> updateCallback(updateCallbackImpl);

    updateCallbackImpl->DirItems = &dirItems;
    updateCallbackImpl->ArcItems = &arcItems;
    updateCallbackImpl->Records = &updatePairs2;
    SetInArchiveInterfaces(this, updateCallbackImpl);
    updateCallbackImpl->Callback = &updateCallbackAgent;

    CRecordVector<Byte> processedItems;
    if (processedPaths) {
        for (unsigned i = 0; i < dirItems.Items.Size(); i++)
            processedItems.Add(kProcessed_None);
        updateCallbackImpl->ProcessedFlags = processedItems.IsEmpty() ? nullptr : &processedItems[0];
    }

    CMyComPtr<ISetProperties> setProperties;
    if (outArchive->QueryInterface(IID_ISetProperties, reinterpret_cast<void **>(&setProperties)) == S_OK &&
        setProperties) {
        if (m_PropNames.IsEmpty()) {
            RINOK(setProperties->SetProperties(nullptr, nullptr, 0));
        } else {
            // One contiguous array for the writer; the values stay owned by the stored list.
            CRecordVector<const wchar_t *> names;
            CRecordVector<PROPVARIANT> values;
            for (unsigned i = 0; i < m_PropNames.Size(); i++) {
                names.Add(m_PropNames[i]);
                values.Add(m_PropValues[i]);
            }
            RINOK(setProperties->SetProperties(&names[0], &values[0], names.Size()));
        }
    }
    // Stored properties apply to one update only.
    m_PropNames.Clear();
    m_PropValues.Clear();

    if (sfxModule) {
        CInFileStream *sfxStreamImpl = new CInFileStream;
        CMyComPtr<IInStream> sfxStream(sfxStreamImpl);
        if (!sfxStreamImpl->Open(sfxModule)) return E_FAIL;
        RINOK(NCompress::CopyStream(sfxStream, outArchiveStream, nullptr));
    }

    const HRESULT res = outArchive->WriteArchive(outArchiveStream, updatePairs2.Size(), updateCallback);
    if (res == S_OK && processedPaths) {
        // A writer may report nothing for an empty file; it is in the archive all the same.
        for (unsigned i = 0; i < updatePairs2.Size(); i++) {
            const CUpdatePair2 &up = updatePairs2[i];
            if (up.HasNewData && up.DiskIndex >= 0) {
                const CDirItem &di = dirItems.Items[(unsigned)up.DiskIndex];
                if (!di.IsDir() && di.Size == 0 && processedItems[(unsigned)up.DiskIndex] == kProcessed_None)
                    processedItems[(unsigned)up.DiskIndex] = kProcessed_Opened;
            }
        }
        for (unsigned i = 0; i < dirItems.Items.Size(); i++)
            if (processedItems[i] == kProcessed_Opened) processedPaths->Add(dirItems.GetPhyPath(i));
    }
    return res;
}

HRESULT CAgent::DoOperation2(CObjectVector<UString> *requestedPaths, CObjectVector<UString> *processedPaths,
                             ISequentialOutStream *outArchiveStream, const Byte *stateActions, const wchar_t *sfxModule,
                             IFolderArchiveUpdateCallback *updateCallback100) {
    return DoOperation(requestedPaths, processedPaths, g_CodecsObj, -1, outArchiveStream, stateActions, sfxModule,
                       updateCallback100);
}

HRESULT CAgent::CommonUpdate(ISequentialOutStream *outArchiveStream, unsigned numUpdateItems,
                             IArchiveUpdateCallback *updateCallback) {
    if (!CanUpdate()) return E_NOTIMPL;
    if (!GetArchive()) return E_FAIL;
    CMyComPtr<IOutArchive> outArchive;
    RINOK(GetArchive()->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&outArchive)));
    return outArchive->WriteArchive(outArchiveStream, numUpdateItems, updateCallback);
}

HRESULT CAgent::DeleteItems(ISequentialOutStream *outArchiveStream, const UInt32 *indices, UInt32 numItems,
                            IFolderArchiveUpdateCallback *updateCallback100) {
    if (!CanUpdate()) return E_NOTIMPL;
    if (!_agentFolder || !GetArchive()) return E_FAIL;
    if (!_agentFolder->AreRows(indices, numItems)) return E_INVALIDARG;
    CRecordVector<CUpdatePair2> updatePairs;
    CUpdateCallbackAgent updateCallbackAgent;
    updateCallbackAgent.SetCallback(updateCallback100);
    CArchiveUpdateCallback *updateCallbackImpl = new CArchiveUpdateCallback;
    CMyComPtr<IArchiveUpdateCallback> updateCallback(updateCallbackImpl);

    // A deleted file takes its alternate streams along; a folder listed in flat mode goes without the items listed
    // beside it.
    CUIntVector realIndices;
    _agentFolder->GetRealIndices(indices, numItems, true, false, realIndices);
    UInt32 numItemsInArchive;
    RINOK(GetArchive()->GetNumberOfItems(&numItemsInArchive));

    unsigned curIndex = 0;
    UString fullPath;
    for (UInt32 i = 0; i < numItemsInArchive; i++) {
        if (curIndex < realIndices.Size() && realIndices[curIndex] == i) {
            RINOK(GetArc().GetItemPath2(i, fullPath));
            if (updateCallback100) RINOK(updateCallback100->DeleteOperation(fullPath));
            curIndex++;
            continue;
        }
        updatePairs.Add(UnchangedPair(i));
    }
    updateCallbackImpl->Records = &updatePairs;
    updateCallbackImpl->Callback = &updateCallbackAgent;
    SetInArchiveInterfaces(this, updateCallbackImpl);
    return CommonUpdate(outArchiveStream, updatePairs.Size(), updateCallback);
}

HRESULT CAgent::CreateFolder(ISequentialOutStream *outArchiveStream, const wchar_t *folderName,
                             IFolderArchiveUpdateCallback *updateCallback100) {
    if (!CanUpdate()) return E_NOTIMPL;
    if (!IsAllowedItemName(folderName)) return E_INVALIDARG;
    if (!_agentFolder || !GetArchive()) return E_FAIL;
    CRecordVector<CUpdatePair2> updatePairs;
    CDirItems dirItems;
    CUpdateCallbackAgent updateCallbackAgent;
    updateCallbackAgent.SetCallback(updateCallback100);
    CArchiveUpdateCallback *updateCallbackImpl = new CArchiveUpdateCallback;
    CMyComPtr<IArchiveUpdateCallback> updateCallback(updateCallbackImpl);

    UInt32 numItemsInArchive;
    RINOK(GetArchive()->GetNumberOfItems(&numItemsInArchive));
    UString newFolderPath;
    {
        bool isAltStreamFolder = false;
        if (_proxy2)
            newFolderPath = _proxy2->GetDirPath_as_Prefix(_agentFolder->_proxyDirIndex, isAltStreamFolder);
        else
            newFolderPath = _proxy->GetDirPath_as_Prefix(_agentFolder->_proxyDirIndex);
        newFolderPath += folderName;
    }
    RINOK(RefuseTakenName(GetArc(), numItemsInArchive, newFolderPath, nullptr, updateCallback100));
    for (UInt32 i = 0; i < numItemsInArchive; i++)
        updatePairs.Add(UnchangedPair(i));
    {
        CUpdatePair2 up;
        up.HasNewData = true;
        up.HasNewProps = true;
        up.KeepArcProps = false;
        up.DiskIndex = 0;
        updatePairs.Add(up);
    }

    {
        CDirItem di;
        di.Attrib = FILE_ATTRIBUTE_DIRECTORY;
        di.Size = 0;
        di.Name = newFolderPath;
        FILETIME ft;
        NTime::GetCurUtcFileTime(ft);
        di.CTime = di.ATime = di.MTime = ft;
        dirItems.Items.Add(di);
    }

    updateCallbackImpl->Callback = &updateCallbackAgent;
    updateCallbackImpl->DirItems = &dirItems;
    updateCallbackImpl->Records = &updatePairs;
    SetInArchiveInterfaces(this, updateCallbackImpl);
    return CommonUpdate(outArchiveStream, updatePairs.Size(), updateCallback);
}

HRESULT CAgent::RenameItem(ISequentialOutStream *outArchiveStream, const UInt32 *indices, UInt32 numItems,
                           const wchar_t *newItemName, IFolderArchiveUpdateCallback *updateCallback100) {
    if (!CanUpdate()) return E_NOTIMPL;
    if (numItems != 1) return E_INVALIDARG;
    if (!IsAllowedItemName(newItemName)) return E_INVALIDARG;
    if (!_archiveLink.isOpen || !_agentFolder || !GetArchive()) return E_FAIL;
    if (!_agentFolder->AreRows(indices, numItems)) return E_INVALIDARG;
    CRecordVector<CUpdatePair2> updatePairs;
    CUpdateCallbackAgent updateCallbackAgent;
    updateCallbackAgent.SetCallback(updateCallback100);
    CArchiveUpdateCallback *updateCallbackImpl = new CArchiveUpdateCallback;
    CMyComPtr<IArchiveUpdateCallback> updateCallback(updateCallbackImpl);

    CUIntVector realIndices;
    _agentFolder->GetRealIndices(indices, numItems, true, true, realIndices);
    const int mainRealIndex = _agentFolder->GetRealIndex(indices[0]);

    const UString fullPrefix = _agentFolder->GetFullPrefix(indices[0]);
    const UString oldItemPath = fullPrefix + _agentFolder->GetName(indices[0]);
    const UString newItemPath = fullPrefix + newItemName;

    UStringVector newNames;
    unsigned curIndex = 0;
    UInt32 numItemsInArchive;
    RINOK(GetArchive()->GetNumberOfItems(&numItemsInArchive));
    // The item and everything below it move along, so they never stand in the way.
    RINOK(RefuseTakenName(GetArc(), numItemsInArchive, newItemPath, &realIndices, updateCallback100));

    for (UInt32 i = 0; i < numItemsInArchive; i++) {
        CUpdatePair2 up = UnchangedPair(i);
        if (curIndex < realIndices.Size() && realIndices[curIndex] == i) {
            up.HasNewProps = true;
            RINOK(Archive_GetItemBoolProp(GetArchive(), i, kpidIsAnti, up.Anti));
            UString oldFullPath;
            RINOK(GetArc().GetItemPath2(i, oldFullPath));
            if (!IsPath1PrefixedByPath2(oldFullPath, oldItemPath)) return E_INVALIDARG;
            up.RenameIndex = (Int32)newNames.Add(newItemPath + oldFullPath.Ptr(oldItemPath.Len()));
            up.IsRenameTarget = ((Int32)i == mainRealIndex);
            curIndex++;
        }
        updatePairs.Add(up);
    }

    updateCallbackImpl->Callback = &updateCallbackAgent;
    updateCallbackImpl->Records = &updatePairs;
    updateCallbackImpl->NewNames = &newNames;
    SetInArchiveInterfaces(this, updateCallbackImpl);
    return CommonUpdate(outArchiveStream, updatePairs.Size(), updateCallback);
}

HRESULT CAgent::UpdateOneFile(ISequentialOutStream *outArchiveStream, const UInt32 *indices, UInt32 numItems,
                              const wchar_t *diskFilePath, IFolderArchiveUpdateCallback *updateCallback100) {
    if (!CanUpdate()) return E_NOTIMPL;
    if (!_agentFolder || !GetArchive()) return E_FAIL;
    if (!_agentFolder->AreRows(indices, numItems)) return E_INVALIDARG;
    CRecordVector<CUpdatePair2> updatePairs;
    CDirItems dirItems;
    CUpdateCallbackAgent updateCallbackAgent;
    updateCallbackAgent.SetCallback(updateCallback100);
    CArchiveUpdateCallback *updateCallbackImpl = new CArchiveUpdateCallback;
    CMyComPtr<IArchiveUpdateCallback> updateCallback(updateCallbackImpl);

    CUIntVector realIndices;
    _agentFolder->GetRealIndices(indices, numItems, false, false, realIndices);
    if (realIndices.Size() != 1) return E_FAIL;
    const UInt32 realIndex = realIndices[0];

    {
        UStringVector filePaths;
        filePaths.Add(UString(diskFilePath));
        dirItems.EnumerateItems2(UString(), UString(), filePaths, nullptr);
        if (dirItems.Items.Size() != 1) return E_FAIL;
    }

    UInt32 numItemsInArchive;
    RINOK(GetArchive()->GetNumberOfItems(&numItemsInArchive));
    for (UInt32 i = 0; i < numItemsInArchive; i++) {
        CUpdatePair2 up = UnchangedPair(i);
        if (realIndex == i) {
            up.DiskIndex = 0;
            up.HasNewData = true;
            up.HasNewProps = true;
            up.KeepArcProps = false;
        }
        updatePairs.Add(up);
    }
    updateCallbackImpl->DirItems = &dirItems;
    updateCallbackImpl->Callback = &updateCallbackAgent;
    updateCallbackImpl->Records = &updatePairs;
    SetInArchiveInterfaces(this, updateCallbackImpl);
    // The replaced item keeps its name and place in the archive.
    updateCallbackImpl->KeepArcNames = true;
    return CommonUpdate(outArchiveStream, updatePairs.Size(), updateCallback);
}

HRESULT CAgent::SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) {
    COM_TRY_BEGIN
    m_PropNames.Clear();
    m_PropValues.Clear();
    for (UInt32 i = 0; i < numProps; i++) {
        m_PropNames.Add(UString(names[i]));
        m_PropValues.Add(NCOM::CPropVariant(values[i]));
    }
    return S_OK;
    COM_TRY_END
}
