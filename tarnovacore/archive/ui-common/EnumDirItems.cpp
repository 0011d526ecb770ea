#include "EnumDirItems.h"

#include <errno.h>

#include "archive/common/StreamUtils.h"

using namespace NWindows;
using namespace NFile;
using namespace NFind;

void CDirItems::AddDirFileInfo(int phyParent, int logParent, int secureIndex, const CFileInfo &fi) {
    CDirItem &di = Items.AddNew();
    di.Size = fi.Size;
    di.CTime = fi.CTime;
    di.ATime = fi.ATime;
    di.MTime = fi.MTime;
    di.Attrib = fi.Attrib;
    di.IsAltStream = fi.IsAltStream;
    di.PhyParent = phyParent;
    di.LogParent = logParent;
    di.SecureIndex = secureIndex;
    di.Name = fi.Name;
    if (fi.IsDir())
        Stat.NumDirs++;
    else if (fi.IsAltStream) {
        Stat.NumAltStreams++;
        Stat.AltStreamsSize += fi.Size;
    } else {
        Stat.NumFiles++;
        Stat.FilesSize += fi.Size;
    }
}

HRESULT CDirItems::AddError(const UString &path, DWORD errorCode) {
    Stat.NumErrors++;
    if (Callback) return Callback->ScanError(path, errorCode);
    return S_OK;
}

HRESULT CDirItems::AddError(const UString &path) {
    return AddError(path, (DWORD)errno);
}

HRESULT CDirItems::ScanProgress(const UString &path) {
    if (Callback) return Callback->ScanProgress(Stat, path, true);
    return S_OK;
}

int CDirItems::AddPrefix(int phyParent, int logParent, const UString &prefix) {
    PhyParents.Add(phyParent);
    LogParents.Add(logParent);
    return (int)Prefixes.Add(prefix);
}

void CDirItems::DeleteLastPrefix() {
    PhyParents.DeleteBack();
    LogParents.DeleteBack();
    Prefixes.DeleteBack();
}

unsigned CDirItems::PrefixesPathLen(const CIntVector &parents, int index, const UString &name) const {
    unsigned len = name.Len();
    for (int i = index; i >= 0; i = parents[(unsigned)i])
        len += Prefixes[(unsigned)i].Len();
    return len;
}

void CDirItems::WritePrefixesPath(const CIntVector &parents, int index, const UString &name, wchar_t *p) const {
    p -= name.Len();
    wmemcpy(p, name.Ptr(), name.Len());
    for (int i = index; i >= 0; i = parents[(unsigned)i]) {
        const UString &s = Prefixes[(unsigned)i];
        p -= s.Len();
        wmemcpy(p, s.Ptr(), s.Len());
    }
}

void CDirItems::GetPrefixesPath(const CIntVector &parents, int index, const UString &name, UString &path) const {
    const unsigned len = PrefixesPathLen(parents, index, name);
    WritePrefixesPath(parents, index, name, path.GetBuf_SetEnd(len) + len);
}

UString CDirItems::GetPrefixesPath(const CIntVector &parents, int index, const UString &name) const {
    UString path;
    GetPrefixesPath(parents, index, name, path);
    return path;
}

UString CDirItems::GetPhyPath(unsigned index) const {
    const CDirItem &di = Items[index];
    return GetPrefixesPath(PhyParents, di.PhyParent, di.Name);
}

UString CDirItems::GetLogPath(unsigned index) const {
    const CDirItem &di = Items[index];
    return GetPrefixesPath(LogParents, di.LogParent, di.Name);
}

void CDirItems::GetPhyPath(unsigned index, UString &path) const {
    const CDirItem &di = Items[index];
    GetPrefixesPath(PhyParents, di.PhyParent, di.Name, path);
}

void CDirItems::GetLogPath(unsigned index, UString &path) const {
    const CDirItem &di = Items[index];
    GetPrefixesPath(LogParents, di.LogParent, di.Name, path);
}

unsigned CDirItems::GetLogPathLen(unsigned index) const {
    const CDirItem &di = Items[index];
    return PrefixesPathLen(LogParents, di.LogParent, di.Name);
}

unsigned CDirItems::WriteLogPath(unsigned index, wchar_t *dest) const {
    const CDirItem &di = Items[index];
    const unsigned len = PrefixesPathLen(LogParents, di.LogParent, di.Name);
    WritePrefixesPath(LogParents, di.LogParent, di.Name, dest + len);
    return len;
}

void CDirItems::ReserveDown() {
    Prefixes.ReserveDown();
    Items.ReserveDown();
}

HRESULT CDirItems::EnumerateDir(int phyParent, int logParent, const UString &phyPrefix) {
    RINOK(ScanProgress(phyPrefix));
    CEnumerator enumerator(phyPrefix + L'*');
    CFileInfo fi; // one for all entries: its name buffer is reused
    for (unsigned ttt = 0;; ttt++) {
        bool found;
        if (!enumerator.Next(fi, found)) return AddError(phyPrefix);
        if (!found) return S_OK;
        AddDirFileInfo(phyParent, logParent, -1, fi);
        if (Callback && (ttt & 0xFFF) == 0xFFF) RINOK(ScanProgress(phyPrefix));
        if (fi.IsDir()) {
            const UString name = fi.Name + L'/';
            const int parent = AddPrefix(phyParent, logParent, name);
            RINOK(EnumerateDir(parent, parent, phyPrefix + name));
        }
    }
}

HRESULT CDirItems::FollowSymLinks() {
    CUIntVector dropped;
    for (unsigned i = 0; i < Items.Size(); i++) {
        CDirItem &di = Items[i];
        if (!di.IsSymLink() || di.IsAltStream) continue;
        const UString path = GetPhyPath(i);
        Stat.NumFiles--;
        Stat.FilesSize -= di.Size;
        CFileInfo fi;
        if (!FindExactPath(path, fi, ELinkRule::kFollow)) {
            dropped.Add(i);
            RINOK(AddError(path));
            continue;
        }
        di.Size = fi.Size;
        di.CTime = fi.CTime;
        di.ATime = fi.ATime;
        di.MTime = fi.MTime;
        di.Attrib = fi.Attrib;
        if (di.IsDir()) {
            Stat.NumDirs++;
        } else {
            Stat.NumFiles++;
            Stat.FilesSize += di.Size;
        }
    }
    for (unsigned k = dropped.Size(); k != 0;)
        Items.Delete(dropped[--k]);
    return S_OK;
}

HRESULT CDirItems::EnumerateItems2(const UString &phyPrefix, const UString &logPrefix, const UStringVector &filePaths,
                                   UStringVector *requestedPaths) {
    const int phyParent = phyPrefix.IsEmpty() ? -1 : AddPrefix(-1, -1, phyPrefix);
    const int logParent = logPrefix.IsEmpty() ? -1 : AddPrefix(-1, -1, logPrefix);

    for (unsigned i = 0; i < filePaths.Size(); i++) {
        const UString &filePath = filePaths[i];
        const UString phyPath = phyPrefix + filePath;
        CFileInfo fi;
        if (!fi.Find(phyPath)) {
            const HRESULT res = AddError(phyPath);
            if (res != S_OK) return res;
            continue;
        }
        if (requestedPaths) requestedPaths->Add(phyPath);

        const int delimiter = filePath.ReverseFind_PathSepar();
        int phyParentCur = phyParent;
        UString phyPrefixCur;
        if (delimiter >= 0) {
            phyPrefixCur = filePath.Left((unsigned)delimiter + 1);
            phyParentCur = AddPrefix(phyParent, logParent, phyPrefixCur);
        }
        AddDirFileInfo(phyParentCur, logParent, -1, fi);
        if (fi.IsDir()) {
            const UString name = fi.Name + L'/';
            const int parent = AddPrefix(phyParentCur, logParent, name);
            RINOK(EnumerateDir(parent, parent, phyPrefix + phyPrefixCur + name));
        }
    }
    ReserveDown();
    return S_OK;
}

namespace {

HRESULT EnumerateDirItems(const NWildcard::CCensorNode &curNode, int phyParent, int logParent, const UString &phyPrefix,
                          const UStringVector &addArchivePrefix, CDirItems &dirItems, bool enterToSubFolders);

HRESULT EnumerateDirItems_Spec(const NWildcard::CCensorNode &curNode, int phyParent, int logParent,
                               const UString &curFolderName, const UString &phyPrefix,
                               const UStringVector &addArchivePrefix, CDirItems &dirItems, bool enterToSubFolders) {
    const UString name = curFolderName + L'/';
    const int parent = dirItems.AddPrefix(phyParent, logParent, name);
    const unsigned numItems = dirItems.Items.Size();
    const HRESULT res =
        EnumerateDirItems(curNode, parent, parent, phyPrefix + name, addArchivePrefix, dirItems, enterToSubFolders);
    // A folder that gave nothing keeps no prefix: deeper empty folders have dropped theirs already.
    if (numItems == dirItems.Items.Size()) dirItems.DeleteLastPrefix();
    return res;
}

bool CanUseDirectNames(const NWildcard::CCensorNode &curNode) {
    for (unsigned i = 0; i < curNode.IncludeItems.Size(); i++) {
        const NWildcard::CItem &item = curNode.IncludeItems[i];
        if (item.Recursive || item.PathParts.Size() != 1) return false;
        if (DoesNameContainWildcard(item.PathParts.Front())) return false;
    }
    return true;
}

HRESULT EnumerateDirectNames(const NWildcard::CCensorNode &curNode, int phyParent, int logParent,
                             const UString &phyPrefix, CDirItems &dirItems) {
    CBoolVector needEnterVector;
    for (unsigned i = 0; i < curNode.SubNodes.Size(); i++)
        needEnterVector.Add(true);

    for (unsigned i = 0; i < curNode.IncludeItems.Size(); i++) {
        const NWildcard::CItem &item = curNode.IncludeItems[i];
        const UString &name = item.PathParts.Front();
        UString fullPath = phyPrefix + name;
        if (phyPrefix.IsEmpty() && name.IsEmpty() && !item.ForFile) fullPath = L"/";
        // A name that may be a file is taken as it is, so a named link is stored as the link a
        // folder scan would find (unless links are followed); a name that must be a folder
        // ("name/") goes through a link to the folder.
        CFileInfo fi;
        if (!fi.Find(fullPath, !item.ForFile)) {
            RINOK(dirItems.AddError(fullPath));
            continue;
        }
        const bool isDir = fi.IsDir();
        if ((isDir && !item.ForDir) || (!isDir && !item.ForFile)) {
            RINOK(dirItems.AddError(fullPath, (DWORD)E_FAIL));
            continue;
        }
        {
            UStringVector pathParts;
            pathParts.Add(fi.Name);
            if (curNode.CheckPathToRoot(false, pathParts, !isDir)) continue;
        }
        dirItems.AddDirFileInfo(phyParent, logParent, -1, fi);
        if (!isDir) continue;

        UStringVector addArchivePrefixNew;
        const NWildcard::CCensorNode *nextNode = nullptr;
        const int index = curNode.FindSubNode(name);
        if (index >= 0) {
            needEnterVector[(unsigned)index] = false;
            nextNode = &curNode.SubNodes[(unsigned)index];
        } else {
            nextNode = &curNode;
            addArchivePrefixNew.Add(name);
        }
        RINOK(EnumerateDirItems_Spec(*nextNode, phyParent, logParent, fi.Name, phyPrefix, addArchivePrefixNew, dirItems,
                                     true));
    }

    for (unsigned i = 0; i < curNode.SubNodes.Size(); i++) {
        if (!needEnterVector[i]) continue;
        const NWildcard::CCensorNode &nextNode = curNode.SubNodes[i];
        const UString fullPath = phyPrefix + nextNode.Name;
        if (!(phyPrefix.IsEmpty() && nextNode.Name.IsEmpty())) {
            CFileInfo fi;
            if (!fi.Find(fullPath, true)) {
                if (!nextNode.AreThereIncludeItems()) continue;
                RINOK(dirItems.AddError(fullPath));
                continue;
            }
            if (!fi.IsDir()) {
                RINOK(dirItems.AddError(fullPath, (DWORD)E_FAIL));
                continue;
            }
        }
        RINOK(EnumerateDirItems_Spec(nextNode, phyParent, logParent, nextNode.Name, phyPrefix, UStringVector(),
                                     dirItems, false));
    }
    return S_OK;
}

HRESULT EnumerateDirItems(const NWildcard::CCensorNode &curNode, int phyParent, int logParent, const UString &phyPrefix,
                          const UStringVector &addArchivePrefix, CDirItems &dirItems, bool enterToSubFolders) {
    if (!enterToSubFolders && curNode.NeedCheckSubDirs()) enterToSubFolders = true;
    RINOK(dirItems.ScanProgress(phyPrefix));

    // Names without wildcards are looked up one by one: the folder itself may be huge or unreadable.
    if (addArchivePrefix.IsEmpty() && !enterToSubFolders && CanUseDirectNames(curNode))
        return EnumerateDirectNames(curNode, phyParent, logParent, phyPrefix, dirItems);

    CEnumerator enumerator(phyPrefix + L'*');
    UStringVector parts = addArchivePrefix;
    CFileInfo fi; // one for all entries: its name buffer is reused
    for (unsigned ttt = 0;; ttt++) {
        bool found;
        if (!enumerator.Next(fi, found)) {
            RINOK(dirItems.AddError(phyPrefix));
            break;
        }
        if (!found) break;
        if (dirItems.Callback && (ttt & 0xFFF) == 0xFFF) RINOK(dirItems.ScanProgress(phyPrefix));

        const bool isDir = fi.IsDir();
        // One vector of path parts serves every entry: the entry's name goes on its end and comes
        // off again, and what the censor check puts in front for the parent nodes is taken back.
        parts.Add(fi.Name);
        const auto checkToRoot = [&](bool include) {
            const unsigned size = parts.Size();
            const bool matched = curNode.CheckPathToRoot(include, parts, !isDir);
            parts.DeleteFrontal(parts.Size() - size);
            return matched;
        };
        if (checkToRoot(false)) {
            parts.DeleteBack();
            continue;
        }
        bool enterToSubFolders2 = enterToSubFolders;
        if (checkToRoot(true)) {
            dirItems.AddDirFileInfo(phyParent, logParent, -1, fi);
            enterToSubFolders2 = true;
        }
        const NWildcard::CCensorNode *nextNode = nullptr;
        if (isDir && addArchivePrefix.IsEmpty()) {
            const int index = curNode.FindSubNode(fi.Name);
            if (index >= 0) nextNode = &curNode.SubNodes[(unsigned)index];
        }
        HRESULT res = S_OK;
        if (nextNode)
            res = EnumerateDirItems_Spec(*nextNode, phyParent, logParent, fi.Name, phyPrefix, UStringVector(), dirItems,
                                         enterToSubFolders2);
        else if (isDir && enterToSubFolders2)
            res = EnumerateDirItems_Spec(curNode, phyParent, logParent, fi.Name, phyPrefix, parts, dirItems,
                                         enterToSubFolders2);
        parts.DeleteBack();
        RINOK(res);
    }
    return S_OK;
}

} // namespace

HRESULT EnumerateItems(const NWildcard::CCensor &censor, NWildcard::ECensorPathMode pathMode,
                       const UString &addPathPrefix, CDirItems &dirItems) {
    for (unsigned i = 0; i < censor.Pairs.Size(); i++) {
        const NWildcard::CPair &pair = censor.Pairs[i];
        const int phyParent = pair.Prefix.IsEmpty() ? -1 : dirItems.AddPrefix(-1, -1, pair.Prefix);
        int logParent = -1;
        if (pathMode == NWildcard::k_AbsPath)
            logParent = phyParent;
        else if (!addPathPrefix.IsEmpty())
            logParent = dirItems.AddPrefix(-1, -1, addPathPrefix);
        RINOK(EnumerateDirItems(pair.Head, phyParent, logParent, pair.Prefix, UStringVector(), dirItems, false));
    }
    dirItems.ReserveDown();
    return S_OK;
}
