#include "AgentProxy.h"

#include <map>
#include <vector>

#include "archive/common/StreamUtils.h"
#include "archive/ui-common/OpenArchive.h"
#include "base/Sort.h"
#include "common/UTFConvert.h"
#include "common/Wildcard.h"
#include "windows/PropVariant.h"

using namespace NWindows;

static const wchar_t *const kLongPathFolderName = L"[LONG_PATH]";
static const wchar_t *const kContentName = L"[Content]";
static const unsigned kMaxPathLevels = 1024;
static const UInt32 kProgressStep = 1 << 16;
static const UInt32 kProgressStep2 = 1 << 20;

static wchar_t *CopyName(const wchar_t *s, unsigned len) {
    wchar_t *p = new wchar_t[(size_t)len + 1];
    wmemcpy(p, s, len);
    p[len] = 0;
    return p;
}

UInt64 Proxy_GetSize(IInArchive *archive, UInt32 index, PROPID propID, bool &defined) {
    defined = false;
    NCOM::CPropVariant prop;
    if (archive->GetProperty(index, propID, &prop) != S_OK) throw 20120228;
    switch (prop.vt) {
    case VT_EMPTY:
        return 0;
    case VT_UI1:
        defined = true;
        return prop.bVal;
    case VT_UI2:
        defined = true;
        return prop.uiVal;
    case VT_UI4:
        defined = true;
        return prop.ulVal;
    case VT_UI8:
        defined = true;
        return prop.uhVal.QuadPart;
    default:
        throw 20120228;
    }
}

// Adds the item's CRC; false when the item leaves the folder's CRC sum undefined. An empty file
// needs no CRC.
static bool AddItemCrc(IInArchive *archive, UInt32 index, bool sizeDefined, UInt64 size, UInt32 &crc) {
    NCOM::CPropVariant prop;
    if (archive->GetProperty(index, kpidCRC, &prop) != S_OK) return false;
    if (prop.vt == VT_UI4) {
        crc += prop.ulVal;
        return true;
    }
    return prop.vt == VT_EMPTY && sizeDefined && size == 0;
}

void CProxyDir::Clear() {
    SubDirs.Clear();
    SubFiles.Clear();
}

void CProxyDir2::Clear() {
    Items.Clear();
    ParentDir = -1;
    PrefixLen = 0;
}

// ---------- CProxyArc ----------

void CProxyArc::FreeFiles() {
    delete[] Files;
    Files = nullptr;
    NumFiles = 0;
    _nameBlocks.clear();
    _namePos = nullptr;
    _nameLeft = 0;
}

const wchar_t *CProxyArc::StoreName(const wchar_t *s, unsigned len) {
    const size_t kBlock = 1 << 16;
    if ((size_t)len + 1 > _nameLeft) {
        const size_t size = (size_t)len + 1 > kBlock ? (size_t)len + 1 : kBlock;
        _nameBlocks.emplace_back(new wchar_t[size]);
        _namePos = _nameBlocks.back().get();
        _nameLeft = size;
    }
    wchar_t *p = _namePos;
    wmemcpy(p, s, len);
    p[len] = 0;
    _namePos += (size_t)len + 1;
    _nameLeft -= (size_t)len + 1;
    return p;
}

int CProxyArc::FindSubDir(unsigned dirIndex, const wchar_t *name, unsigned &insertPos) const {
    const CRecordVector<unsigned> &subDirs = Dirs[dirIndex].SubDirs;
    unsigned left = 0, right = subDirs.Size();
    for (;;) {
        if (left == right) {
            insertPos = left;
            return -1;
        }
        const unsigned mid = (left + right) / 2;
        const unsigned dirIndex2 = subDirs[mid];
        const int comp = CompareFileNames(name, Dirs[dirIndex2].Name);
        if (comp == 0) {
            insertPos = mid;
            return (int)dirIndex2;
        }
        if (comp < 0)
            right = mid;
        else
            left = mid + 1;
    }
}

int CProxyArc::FindSubDir(unsigned dirIndex, const wchar_t *name) const {
    unsigned insertPos;
    return FindSubDir(dirIndex, name, insertPos);
}

unsigned CProxyArc::AddDir(unsigned dirIndex, int arcIndex, const UString &name) {
    unsigned insertPos;
    const int subDirIndex = FindSubDir(dirIndex, name, insertPos);
    if (subDirIndex >= 0) {
        if (arcIndex >= 0) {
            CProxyDir &item = Dirs[(unsigned)subDirIndex];
            if (item.ArcIndex < 0) item.ArcIndex = arcIndex;
        }
        return (unsigned)subDirIndex;
    }
    const unsigned newIndex = Dirs.Size();
    Dirs[dirIndex].SubDirs.Insert(insertPos, newIndex);
    CProxyDir &item = Dirs.AddNew();
    item.NameLen = name.Len();
    item.Name = CopyName(name, name.Len());
    item.ArcIndex = arcIndex;
    item.ParentDir = (int)dirIndex;
    return newIndex;
}

namespace {

struct CNameLess {
    bool operator()(const wchar_t *a, const wchar_t *b) const { return CompareFileNames(a, b) < 0; }
};

// Sub-folder look-up while the tree is built: a sorted vector with insertion by moving its tail
// turns quadratic when one folder gets many thousands of sub-folders in no particular order.
class CDirBuilder {
    CProxyArc &_arc;
    std::vector<std::map<const wchar_t *, unsigned, CNameLess>> _subDirs;

public:
    explicit CDirBuilder(CProxyArc &arc) : _arc(arc), _subDirs(1) {}

    unsigned AddDir(unsigned dirIndex, int arcIndex, const wchar_t *name, unsigned nameLen) {
        std::map<const wchar_t *, unsigned, CNameLess> &subDirs = _subDirs[dirIndex];
        const auto it = subDirs.find(name);
        if (it != subDirs.end()) {
            CProxyDir &item = _arc.Dirs[it->second];
            if (arcIndex >= 0 && item.ArcIndex < 0) item.ArcIndex = arcIndex;
            return it->second;
        }
        const unsigned newIndex = _arc.Dirs.Size();
        CProxyDir &item = _arc.Dirs.AddNew();
        item.NameLen = nameLen;
        item.Name = CopyName(name, nameLen);
        item.ArcIndex = arcIndex;
        item.ParentDir = (int)dirIndex;
        subDirs.emplace(item.Name, newIndex);
        _subDirs.emplace_back(); // last: it may move the look-up that subDirs refers to
        return newIndex;
    }

    // Moves the name-ordered look-ups into the folders' sorted sub-folder vectors.
    void Finish() {
        for (unsigned i = 0; i < _subDirs.size(); i++) {
            CRecordVector<unsigned> &v = _arc.Dirs[i].SubDirs;
            v.ClearAndReserve((unsigned)_subDirs[i].size());
            for (const auto &pair : _subDirs[i])
                v.AddInReserved(pair.second);
        }
    }
};

} // namespace

HRESULT CProxyArc::Load(const CArc &arc, IProgress *progress) {
    FreeFiles();
    Dirs.Clear();
    Dirs.AddNew();

    IInArchive *archive = arc.handler;
    UInt32 numItems = 0;
    RINOK(archive->GetNumberOfItems(&numItems));
    if (progress) RINOK(progress->SetTotal(numItems));

    Files = new CProxyFile[numItems];
    NumFiles = numItems;

    CDirBuilder builder(*this);
    UString path, comp;
    // Items mostly come folder by folder: the folder of the one before is found again without a look-up.
    UString lastPrefix;
    unsigned lastDir = 0;
    for (UInt32 i = 0; i < numItems; i++) {
        if (progress && (i & (kProgressStep - 1)) == 0) {
            const UInt64 currentItemIndex = i;
            RINOK(progress->SetCompleted(&currentItemIndex));
        }

        path.Empty();
        {
            NCOM::CPropVariant prop;
            RINOK(archive->GetProperty(i, kpidPath, &prop));
            if (prop.vt == VT_BSTR)
                path = prop.bstrVal;
            else if (prop.vt != VT_EMPTY)
                return E_FAIL;
        }
        if (path.IsEmpty()) RINOK(arc.GetDefaultItemPath(i, path));

        unsigned curItem = 0;
        unsigned level = 0;
        unsigned namePos = 0;
        const wchar_t *s = path.Ptr();
        const unsigned len = path.Len();
        const int lastSlash = path.ReverseFind(L'/');
        if (lastSlash >= 0 && !lastPrefix.IsEmpty() && (unsigned)lastSlash + 1 == lastPrefix.Len() &&
            wmemcmp(s, lastPrefix.Ptr(), lastPrefix.Len()) == 0) {
            curItem = lastDir;
            namePos = lastPrefix.Len();
        } else {
            for (unsigned j = 0; j < len; j++) {
                if (s[j] != L'/') continue;
                if (level < kMaxPathLevels) {
                    comp.SetFrom(s + namePos, j - namePos);
                    curItem = builder.AddDir(curItem, -1, comp, comp.Len());
                } else if (level == kMaxPathLevels)
                    curItem = builder.AddDir(curItem, -1, kLongPathFolderName, MyStringLen(kLongPathFolderName));
                level++;
                namePos = j + 1;
            }
            lastPrefix.SetFrom(s, namePos);
            lastDir = curItem;
        }

        bool isDir;
        RINOK(Archive_IsItem_Dir(archive, i, isDir));

        CProxyFile &f = Files[i];
        f.NameLen = len - namePos;
        f.Name = StoreName(s + namePos, f.NameLen);

        if (isDir)
            builder.AddDir(curItem, (int)i, f.Name, f.NameLen);
        else
            Dirs[curItem].SubFiles.Add(i);
    }
    builder.Finish();
    CalculateSizes(0, archive);
    return S_OK;
}

void CProxyArc::CalculateSizes(unsigned dirIndex, IInArchive *archive) {
    CProxyDir &dir = Dirs[dirIndex];
    dir.Size = dir.PackSize = 0;
    dir.Crc = 0;
    dir.CrcIsDefined = true;
    dir.NumSubDirs = dir.SubDirs.Size();
    dir.NumSubFiles = dir.SubFiles.Size();

    for (unsigned i = 0; i < dir.SubFiles.Size(); i++) {
        const UInt32 index = dir.SubFiles[i];
        bool sizeDefined, packDefined;
        const UInt64 size = Proxy_GetSize(archive, index, kpidSize, sizeDefined);
        dir.Size += size;
        dir.PackSize += Proxy_GetSize(archive, index, kpidPackSize, packDefined);
        if (!AddItemCrc(archive, index, sizeDefined, size, dir.Crc)) dir.CrcIsDefined = false;
    }

    for (unsigned i = 0; i < dir.SubDirs.Size(); i++) {
        const unsigned subDirIndex = dir.SubDirs[i];
        CalculateSizes(subDirIndex, archive);
        const CProxyDir &f = Dirs[subDirIndex];
        dir.Size += f.Size;
        dir.PackSize += f.PackSize;
        dir.NumSubFiles += f.NumSubFiles;
        dir.NumSubDirs += f.NumSubDirs;
        dir.Crc += f.Crc;
        if (!f.CrcIsDefined) dir.CrcIsDefined = false;
    }
}

void CProxyArc::GetDirPathParts(unsigned dirIndex, UStringVector &pathParts) const {
    pathParts.Clear();
    while (dirIndex != 0) {
        const CProxyDir &dir = Dirs[dirIndex];
        pathParts.Insert(0, UString(dir.Name));
        if (dir.ParentDir < 0) break;
        dirIndex = (unsigned)dir.ParentDir;
    }
}

UString CProxyArc::GetDirPath_as_Prefix(unsigned dirIndex) const {
    UString s;
    while (dirIndex != 0) {
        const CProxyDir &dir = Dirs[dirIndex];
        s.InsertAtFront(L'/');
        s.Insert(0, dir.Name);
        if (dir.ParentDir < 0) break;
        dirIndex = (unsigned)dir.ParentDir;
    }
    return s;
}

int CProxyArc::GetRealIndex(unsigned dirIndex, unsigned index) const {
    const CProxyDir &dir = Dirs[dirIndex];
    const unsigned numDirItems = dir.SubDirs.Size();
    if (index < numDirItems) return Dirs[dir.SubDirs[index]].ArcIndex;
    return (int)dir.SubFiles[index - numDirItems];
}

void CProxyArc::AddRealIndices(unsigned dirIndex, CRecordVector<UInt32> &realIndices) const {
    const CProxyDir &dir = Dirs[dirIndex];
    if (dir.IsLeaf()) realIndices.Add((UInt32)dir.ArcIndex);
    for (unsigned i = 0; i < dir.SubDirs.Size(); i++)
        AddRealIndices(dir.SubDirs[i], realIndices);
    for (unsigned i = 0; i < dir.SubFiles.Size(); i++)
        realIndices.Add(dir.SubFiles[i]);
}

void CProxyArc::GetRealIndices(unsigned dirIndex, const UInt32 *indices, UInt32 numItems,
                               CRecordVector<UInt32> &realIndices) const {
    const CProxyDir &dir = Dirs[dirIndex];
    const unsigned numDirItems = dir.SubDirs.Size();
    realIndices.Clear();
    for (UInt32 i = 0; i < numItems; i++) {
        const UInt32 index = indices[i];
        if (index < numDirItems)
            AddRealIndices(dir.SubDirs[index], realIndices);
        else
            realIndices.Add(dir.SubFiles[index - numDirItems]);
    }
    HeapSort(realIndices.NonConstData(), realIndices.Size());
}

// ---------- CProxyArc2 ----------

void CProxyArc2::FreeFiles() {
    delete[] Files;
    Files = nullptr;
    NumFiles = 0;
    NamesBorrowed = false;
}

void CProxyArc2::OwnNames() {
    if (!NamesBorrowed) return;
    for (unsigned i = 0; i < NumFiles; i++) {
        CProxyFile2 &file = Files[i];
        if (file.NeedDeleteName) continue;
        file.Name = CopyName(file.Name, file.NameLen);
        file.NeedDeleteName = true;
    }
    NamesBorrowed = false;
}

bool CProxyArc2::IsAltDir(unsigned dirIndex) const {
    if (dirIndex == k_Proxy2_RootDirIndex) return false;
    if (dirIndex == k_Proxy2_AltRootDirIndex) return true;
    const CProxyDir2 &dir = Dirs[dirIndex];
    return Files[(unsigned)dir.ArcIndex].AltDirIndex == (int)dirIndex;
}

void CProxyArc2::GetDirPathParts(unsigned dirIndex, UStringVector &pathParts, bool &isAltStreamDir) const {
    pathParts.Clear();
    isAltStreamDir = false;
    if (dirIndex == k_Proxy2_RootDirIndex) return;
    if (dirIndex == k_Proxy2_AltRootDirIndex) {
        isAltStreamDir = true;
        return;
    }
    // Parent links are the handler's word: a crafted cycle must not walk forever. Collected from the bottom up and
    // turned round once: inserting at the front would move every part again at each level.
    UStringVector upward;
    unsigned steps = 0;
    while (dirIndex >= k_Proxy2_AltRootDirIndex + 1 && steps++ <= NumFiles) {
        const CProxyDir2 &dir = Dirs[dirIndex];
        const unsigned arcIndex = (unsigned)dir.ArcIndex;
        const CProxyFile2 &file = Files[arcIndex];
        if (upward.IsEmpty() && (int)dirIndex == file.AltDirIndex) isAltStreamDir = true;
        upward.Add(UString(file.Name));
        const int par = file.Parent;
        if (par < 0) break;
        const CProxyFile2 &parentFile = Files[(unsigned)par];
        const int next = parentFile.GetDirIndex(file.IsAltStream);
        if (next < 0) break;
        dirIndex = (unsigned)next;
    }
    pathParts.ClearAndReserve(upward.Size());
    for (unsigned i = upward.Size(); i != 0; i--)
        pathParts.AddInReserved(upward[i - 1]);
}

UString CProxyArc2::GetDirPathPrefix(unsigned dirIndex) const {
    // The links were set by one walk from folders 0 and 1, so they end there; a folder out of reach has none.
    CRecordVector<unsigned> chain;
    unsigned top = dirIndex;
    while (top > k_Proxy2_AltRootDirIndex && Dirs[top].ParentDir >= 0) {
        chain.Add(top);
        top = (unsigned)Dirs[top].ParentDir;
    }
    UString s;
    if (top > k_Proxy2_AltRootDirIndex) return s;
    s.GetBuf(Dirs[dirIndex].PrefixLen);
    if (top == k_Proxy2_AltRootDirIndex) s += L':';
    for (unsigned i = chain.Size(); i != 0; i--) {
        const unsigned d = chain[i - 1];
        const CProxyFile2 &file = Files[(unsigned)Dirs[d].ArcIndex];
        s += file.Name;
        s += (file.AltDirIndex == (int)d ? L':' : L'/');
    }
    return s;
}

UString CProxyArc2::GetDirPath_as_Prefix(unsigned dirIndex, bool &isAltStreamDir) const {
    isAltStreamDir = false;
    const CProxyDir2 &dir = Dirs[dirIndex];
    if (dirIndex == k_Proxy2_AltRootDirIndex)
        isAltStreamDir = true;
    else if (dirIndex != k_Proxy2_RootDirIndex && Files[(unsigned)dir.ArcIndex].AltDirIndex == (int)dirIndex)
        isAltStreamDir = true;
    return GetDirPathPrefix(dirIndex);
}

int CProxyArc2::FindItem(unsigned dirIndex, const wchar_t *name, bool foldersOnly) const {
    const CProxyDir2 &dir = Dirs[dirIndex];
    for (unsigned i = 0; i < dir.Items.Size(); i++) {
        const CProxyFile2 &file = Files[dir.Items[i]];
        if (foldersOnly && !file.IsDir()) continue;
        if (CompareFileNames(file.Name, name) == 0) return (int)i;
    }
    return -1;
}

bool CProxyArc2::IsThere_SubDir(unsigned dirIndex, const UString &name) const {
    return FindItem(dirIndex, name, true) >= 0;
}

void CProxyArc2::AddRealIndices_of_ArcItem(unsigned arcIndex, bool includeAltStreams,
                                           CRecordVector<UInt32> &realIndices) const {
    // Depth first with a stack of our own: a parent chain from the handler can be very deep.
    CRecordVector<unsigned> stack;
    stack.Add(arcIndex);
    while (!stack.IsEmpty()) {
        const unsigned index = stack.Back();
        stack.DeleteBack();
        realIndices.Add(index);
        const CProxyFile2 &file = Files[index];
        if (includeAltStreams && file.AltDirIndex >= 0) {
            const CRecordVector<unsigned> &items = Dirs[(unsigned)file.AltDirIndex].Items;
            for (unsigned i = items.Size(); i != 0; i--)
                stack.Add(items[i - 1]);
        }
        if (file.DirIndex >= 0) {
            const CRecordVector<unsigned> &items = Dirs[(unsigned)file.DirIndex].Items;
            for (unsigned i = items.Size(); i != 0; i--)
                stack.Add(items[i - 1]);
        }
    }
}

void CProxyArc2::AddRealIndices_of_Dir(unsigned dirIndex, bool includeAltStreams,
                                       CRecordVector<UInt32> &realIndices) const {
    const CRecordVector<unsigned> &items = Dirs[dirIndex].Items;
    for (unsigned i = 0; i < items.Size(); i++)
        AddRealIndices_of_ArcItem(items[i], includeAltStreams, realIndices);
}

void CProxyArc2::GetRealIndices(unsigned dirIndex, const UInt32 *indices, UInt32 numItems, bool includeAltStreams,
                                CRecordVector<UInt32> &realIndices) const {
    const CProxyDir2 &dir = Dirs[dirIndex];
    realIndices.Clear();
    for (UInt32 i = 0; i < numItems; i++)
        AddRealIndices_of_ArcItem(dir.Items[indices[i]], includeAltStreams, realIndices);
    HeapSort(realIndices.NonConstData(), realIndices.Size());
}

HRESULT CProxyArc2::Load(const CArc &arc, IProgress *progress) {
    IArchiveGetRawProps *rawProps = arc.rawPropsHandler;
    if (!rawProps) return E_FAIL;
    IInArchive *archive = arc.handler;

    Dirs.Clear();
    FreeFiles();

    UInt32 numItems = 0;
    RINOK(archive->GetNumberOfItems(&numItems));
    if (progress) RINOK(progress->SetTotal(numItems));

    Dirs.AddNew();               // the root
    Dirs.AddNew().PrefixLen = 1; // the root's streams: ":"

    Files = new CProxyFile2[numItems];
    NumFiles = numItems;

    for (UInt32 i = 0; i < numItems; i++) {
        if (progress && (i & (kProgressStep2 - 1)) == 0) {
            const UInt64 currentItemIndex = i;
            RINOK(progress->SetCompleted(&currentItemIndex));
        }

        CProxyFile2 &file = Files[i];
        const void *p = nullptr;
        UInt32 size = 0;
        UInt32 propType = 0;
        RINOK(rawProps->GetRawProp(i, kpidName, &p, &size, &propType));

        if (p && propType == NPropDataType::kUtf32z) {
            // Too short to hold even the terminating zero: an empty name, not the handler's bytes.
            const bool hasText = size >= sizeof(wchar_t);
            file.Name = hasText ? (const wchar_t *)p : L"";
            file.NameLen = hasText ? size / (UInt32)sizeof(wchar_t) - 1 : 0;
            if (hasText) NamesBorrowed = true;
        } else if (p && propType == NPropDataType::kUtf8z) {
            const char *text = (const char *)p;
            unsigned textLen = 0;
            while (textLen < size && text[textLen] != 0)
                textLen++;
            AString utf8;
            utf8.SetFrom(text, textLen);
            UString name;
            ConvertUTF8ToUnicode(utf8, name);
            file.Name = CopyName(name, name.Len());
            file.NameLen = name.Len();
            file.NeedDeleteName = true;
        } else {
            NCOM::CPropVariant prop;
            RINOK(archive->GetProperty(i, kpidName, &prop));
            const wchar_t *s;
            if (prop.vt == VT_BSTR)
                s = prop.bstrVal ? prop.bstrVal : L"";
            else if (prop.vt == VT_EMPTY)
                s = kContentName;
            else
                return E_FAIL;
            const unsigned len = MyStringLen(s);
            file.Name = CopyName(s, len);
            file.NameLen = len;
            file.NeedDeleteName = true;
        }

        UInt32 parent = (UInt32)(Int32)-1;
        UInt32 parentType = 0;
        RINOK(rawProps->GetParent(i, &parent, &parentType));
        // An index past the item list would be read as a record that does not exist.
        if (parent != (UInt32)(Int32)-1 && parent >= numItems) return E_FAIL;
        file.Parent = (Int32)parent;

        if (arc.mayHaveDeleted) {
            bool isDeleted = false;
            RINOK(Archive_IsItem_Deleted(archive, i, isDeleted));
        }

        bool isDir;
        RINOK(Archive_IsItem_Dir(archive, i, isDir));
        if (isDir) {
            file.DirIndex = (int)Dirs.Size();
            Dirs.AddNew().ArcIndex = (int)i;
        }
        if (arc.mayHaveAltStreams) RINOK(Archive_IsItem_AltStream(archive, i, file.IsAltStream));
    }

    for (UInt32 i = 0; i < numItems; i++) {
        CProxyFile2 &file = Files[i];
        unsigned dirIndex;
        if (file.IsAltStream) {
            if (file.Parent < 0)
                dirIndex = k_Proxy2_AltRootDirIndex;
            else {
                CProxyFile2 &parentFile = Files[(unsigned)file.Parent];
                if (parentFile.AltDirIndex < 0) {
                    parentFile.AltDirIndex = (int)Dirs.Size();
                    Dirs.AddNew().ArcIndex = file.Parent;
                }
                dirIndex = (unsigned)parentFile.AltDirIndex;
            }
        } else {
            if (file.Parent < 0)
                dirIndex = k_Proxy2_RootDirIndex;
            else {
                const int parentDir = Files[(unsigned)file.Parent].DirIndex;
                if (parentDir < 0) return E_FAIL;
                dirIndex = (unsigned)parentDir;
            }
        }
        Dirs[dirIndex].Items.Add(i);
    }

    CalculateSizes(k_Proxy2_RootDirIndex, archive);
    CalculateSizes(k_Proxy2_AltRootDirIndex, archive);
    return S_OK;
}

void CProxyArc2::CalculateSizes(unsigned rootDirIndex, IInArchive *archive) {
    // Pre-order with a stack of our own (a parent chain from the handler can be very deep), then
    // the sums of each folder added to its parent in reverse order.
    struct CStep {
        unsigned Dir;
        int SumInto; // the folder that adds this folder's sums, -1 for a stream folder or the start
    };
    CRecordVector<CStep> order;
    CRecordVector<unsigned> stack;
    stack.Add(rootDirIndex);
    order.Add(CStep{rootDirIndex, -1});

    while (!stack.IsEmpty()) {
        const unsigned dirIndex = stack.Back();
        stack.DeleteBack();
        CProxyDir2 &dir = Dirs[dirIndex];
        dir.Size = dir.PackSize = 0;
        dir.CrcIsDefined = true;
        dir.Crc = 0;
        dir.NumSubDirs = dir.NumSubFiles = 0;

        for (unsigned i = 0; i < dir.Items.Size(); i++) {
            const UInt32 index = dir.Items[i];
            bool sizeDefined, packDefined;
            const UInt64 size = Proxy_GetSize(archive, index, kpidSize, sizeDefined);
            dir.Size += size;
            dir.PackSize += Proxy_GetSize(archive, index, kpidPackSize, packDefined);
            if (!AddItemCrc(archive, index, sizeDefined, size, dir.Crc)) dir.CrcIsDefined = false;

            const CProxyFile2 &subFile = Files[index];
            if (subFile.DirIndex < 0)
                dir.NumSubFiles++;
            else {
                dir.NumSubDirs++;
                CProxyDir2 &f = Dirs[(unsigned)subFile.DirIndex];
                f.ParentDir = (int)dirIndex;
                f.PrefixLen = dir.PrefixLen + subFile.NameLen + 1;
                order.Add(CStep{(unsigned)subFile.DirIndex, (int)dirIndex});
                stack.Add((unsigned)subFile.DirIndex);
            }
            if (subFile.AltDirIndex >= 0) {
                CProxyDir2 &f = Dirs[(unsigned)subFile.AltDirIndex];
                f.ParentDir = (int)dirIndex;
                f.PrefixLen = dir.PrefixLen + subFile.NameLen + 1;
                order.Add(CStep{(unsigned)subFile.AltDirIndex, -1});
                stack.Add((unsigned)subFile.AltDirIndex);
            }
        }
    }

    for (unsigned i = order.Size(); i != 0; i--) {
        const CStep &step = order[i - 1];
        if (step.SumInto < 0) continue;
        const CProxyDir2 &f = Dirs[step.Dir];
        CProxyDir2 &dir = Dirs[(unsigned)step.SumInto];
        dir.Size += f.Size;
        dir.PackSize += f.PackSize;
        dir.NumSubFiles += f.NumSubFiles;
        dir.NumSubDirs += f.NumSubDirs;
        dir.Crc += f.Crc;
        if (!f.CrcIsDefined) dir.CrcIsDefined = false;
    }
}
