#include "Wildcard.h"

bool g_CaseSensitive = true;

int CompareFileNames(const wchar_t *s1, const wchar_t *s2) throw() {
    if (g_CaseSensitive) return MyStringCompare(s1, s2);
    return MyStringCompareNoCase(s1, s2);
}

bool IsPath1PrefixedByPath2(const wchar_t *s1, const wchar_t *s2) throw() {
    if (g_CaseSensitive) return IsString1PrefixedByString2(s1, s2);
    return IsString1PrefixedByString2_NoCase(s1, s2);
}

bool DoesNameContainWildcard(const UString &path) {
    for (unsigned i = 0; i < path.Len(); i++) {
        const wchar_t c = path[i];
        if (c == '*' || c == '?') return true;
    }
    return false;
}

static inline bool CharsMatch(wchar_t m, wchar_t c, bool caseSensitive) {
    return m == c || (!caseSensitive && MyCharUpper(m) == MyCharUpper(c));
}

bool EnhancedMaskTest(const wchar_t *mask, const wchar_t *name) throw() {
    const bool caseSensitive = g_CaseSensitive;
    // Greedy match that remembers only the last star: a later star makes every earlier one
    // irrelevant, so the walk is bounded by mask length times name length.
    const wchar_t *starMask = nullptr;
    const wchar_t *starName = nullptr;
    for (;;) {
        const wchar_t m = *mask;
        if (m == '*') {
            starMask = ++mask;
            starName = name;
            continue;
        }
        const wchar_t c = *name;
        if (c == 0) {
            if (m == 0) return true;
        } else if (m != 0 && (m == '?' || CharsMatch(m, c, caseSensitive))) {
            mask++;
            name++;
            continue;
        }
        if (!starMask || *starName == 0) return false;
        mask = starMask;
        name = ++starName;
    }
}

bool DoesWildcardMatchName(const UString &mask, const UString &name) {
    return EnhancedMaskTest(mask, name);
}

void SplitPathToParts(const UString &path, UStringVector &pathParts) {
    pathParts.Clear();
    const unsigned len = path.Len();
    if (len == 0) return;
    UString name;
    unsigned prev = 0;
    for (unsigned i = 0; i < len; i++)
        if (IsCharDirLimiter(path[i])) {
            name.SetFrom(path.Ptr(prev), i - prev);
            pathParts.Add(name);
            prev = i + 1;
        }
    name.SetFrom(path.Ptr(prev), len - prev);
    pathParts.Add(name);
}

void SplitPathToParts_2(const UString &path, UString &dirPrefix, UString &name) {
    const unsigned pos = (unsigned)(path.ReverseFind_PathSepar() + 1);
    dirPrefix.SetFrom(path, pos);
    name = path.Ptr(pos);
}

void SplitPathToParts_Smart(const UString &path, UString &dirPrefix, UString &name) {
    unsigned end = path.Len();
    if (end != 0 && IsCharDirLimiter(path[end - 1])) end--;
    unsigned pos = end;
    while (pos != 0 && !IsCharDirLimiter(path[pos - 1]))
        pos--;
    dirPrefix.SetFrom(path, pos);
    name = path.Ptr(pos);
}

UString ExtractDirPrefixFromPath(const UString &path) {
    return path.Left((unsigned)(path.ReverseFind_PathSepar() + 1));
}

UString ExtractFileNameFromPath(const UString &path) {
    return UString(path.Ptr((unsigned)(path.ReverseFind_PathSepar() + 1)));
}

namespace NWildcard {

bool IsDriveColonName(const wchar_t *s) {
    const wchar_t c = s[0];
    return c != 0 && s[1] == ':' && s[2] == 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
}

unsigned GetNumPrefixParts_if_DrivePath(const UStringVector &pathParts) {
    if (pathParts.IsEmpty()) return 0;
    if (IsDriveColonName(pathParts[0])) return 1;
    if (pathParts.Size() >= 4 && pathParts[0].IsEmpty() && pathParts[1].IsEmpty() && pathParts[2] == L"?" &&
        IsDriveColonName(pathParts[3]))
        return 4;
    return 0;
}

bool CItem::AreAllAllowed() const {
    return ForFile && ForDir && WildcardMatching && PathParts.Size() == 1 && PathParts.Front() == L"*";
}

bool CItem::CheckPath(const UStringVector &pathParts, bool isFile) const {
    if (pathParts.Size() < PathParts.Size()) return false;
    const unsigned delta = pathParts.Size() - PathParts.Size();

    // Window of offsets at which the item's parts are laid over the path.
    unsigned start = 0;
    unsigned finish = 0;
    if (!isFile) {
        if (!ForDir) return false;
        if (Recursive) finish = delta;
    } else if (ForDir) {
        // A folder item takes the files inside the folder it matches.
        if (!ForFile && delta == 0) return false;
        if (Recursive) finish = ForFile ? delta : delta - 1;
    } else {
        if (!ForFile) return false;
        if (Recursive)
            start = finish = delta;
        else if (delta != 0)
            return false;
    }

    for (unsigned d = start; d <= finish; d++) {
        unsigned i;
        for (i = 0; i < PathParts.Size(); i++) {
            const UString &mask = PathParts[i];
            const UString &name = pathParts[i + d];
            if (WildcardMatching) {
                if (!DoesWildcardMatchName(mask, name)) break;
            } else if (CompareFileNames(mask, name) != 0)
                break;
        }
        if (i == PathParts.Size()) return true;
    }
    return false;
}

CCensorNode::CCensorNode(const CCensorNode &node)
    : Parent(node.Parent), Name(node.Name), SubNodes(node.SubNodes), IncludeItems(node.IncludeItems),
      ExcludeItems(node.ExcludeItems) {
    SetParentOfSubNodes();
}

CCensorNode &CCensorNode::operator=(const CCensorNode &node) {
    if (this != &node) {
        Parent = node.Parent;
        Name = node.Name;
        SubNodes = node.SubNodes;
        IncludeItems = node.IncludeItems;
        ExcludeItems = node.ExcludeItems;
        SetParentOfSubNodes();
    }
    return *this;
}

// Deep copies of sub-nodes still point at the source's nodes; one level is enough, since each
// sub-node's copy constructor already fixed its own children.
void CCensorNode::SetParentOfSubNodes() {
    FOR_VECTOR(i, SubNodes)
    SubNodes[i].Parent = this;
}

bool CCensorNode::AreAllAllowed() const {
    return Name.IsEmpty() && SubNodes.IsEmpty() && ExcludeItems.IsEmpty() && IncludeItems.Size() == 1 &&
           IncludeItems.Front().AreAllAllowed();
}

int CCensorNode::FindSubNode(const UString &name) const {
    FOR_VECTOR(i, SubNodes)
    if (CompareFileNames(SubNodes[i].Name, name) == 0) return (int)i;
    return -1;
}

void CCensorNode::AddItemSimple(bool include, CItem &item) {
    if (include)
        IncludeItems.Add(item);
    else
        ExcludeItems.Add(item);
}

void CCensorNode::AddItem(bool include, CItem &item, int ignoreWildcardIndex) {
    if (item.PathParts.Size() <= 1) {
        if (item.PathParts.Size() != 0 && item.WildcardMatching) {
            if (!DoesNameContainWildcard(item.PathParts.Front())) item.WildcardMatching = false;
        }
        AddItemSimple(include, item);
        return;
    }
    const UString &front = item.PathParts.Front();

    // A wildcard in a folder part cannot name one sub-node: the item stays here whole.
    if (item.WildcardMatching && ignoreWildcardIndex != 0 && DoesNameContainWildcard(front)) {
        AddItemSimple(include, item);
        return;
    }
    int index = FindSubNode(front);
    if (index < 0) index = (int)SubNodes.Add(CCensorNode(front, this));
    item.PathParts.Delete(0);
    SubNodes[(unsigned)index].AddItem(include, item, ignoreWildcardIndex - 1);
}

void CCensorNode::AddItem(bool include, const UString &path, bool recursive, bool forFile, bool forDir,
                          bool wildcardMatching) {
    CItem item;
    SplitPathToParts(path, item.PathParts);
    item.Recursive = recursive;
    item.ForFile = forFile;
    item.ForDir = forDir;
    item.WildcardMatching = wildcardMatching;
    AddItem(include, item);
}

void CCensorNode::AddItem2(bool include, const UString &path, bool recursive, bool wildcardMatching) {
    if (path.IsEmpty()) return;
    bool forFile = true;
    bool forFolder = true;
    UString path2(path);
    if (IsCharDirLimiter(path.Back())) {
        path2.DeleteBack();
        forFile = false;
    }
    AddItem(include, path2, recursive, forFile, forFolder, wildcardMatching);
}

bool CCensorNode::NeedCheckSubDirs() const {
    FOR_VECTOR(i, IncludeItems) {
        const CItem &item = IncludeItems[i];
        if (item.Recursive || item.PathParts.Size() > 1) return true;
    }
    return false;
}

bool CCensorNode::AreThereIncludeItems() const {
    if (!IncludeItems.IsEmpty()) return true;
    FOR_VECTOR(i, SubNodes)
    if (SubNodes[i].AreThereIncludeItems()) return true;
    return false;
}

bool CCensorNode::CheckPathCurrent(bool include, const UStringVector &pathParts, bool isFile) const {
    const CObjectVector<CItem> &items = include ? IncludeItems : ExcludeItems;
    FOR_VECTOR(i, items)
    if (items[i].CheckPath(pathParts, isFile)) return true;
    return false;
}

bool CCensorNode::CheckPathVect(const UStringVector &pathParts, bool isFile, bool &include) const {
    if (CheckPathCurrent(false, pathParts, isFile)) {
        include = false;
        return true;
    }
    include = true;
    const bool found = CheckPathCurrent(true, pathParts, isFile);
    if (pathParts.Size() <= 1) return found;
    const int index = FindSubNode(pathParts.Front());
    if (index >= 0) {
        UStringVector pathParts2 = pathParts;
        pathParts2.Delete(0);
        if (SubNodes[(unsigned)index].CheckPathVect(pathParts2, isFile, include)) return true;
        include = true;
    }
    return found;
}

bool CCensorNode::CheckPathToRoot(bool include, UStringVector &pathParts, bool isFile) const {
    if (CheckPathCurrent(include, pathParts, isFile)) return true;
    if (!Parent) return false;
    pathParts.Insert(0, Name);
    return Parent->CheckPathToRoot(include, pathParts, isFile);
}

void CCensorNode::ExtendExclude(const CCensorNode &fromNodes) {
    ExcludeItems += fromNodes.ExcludeItems;
    FOR_VECTOR(i, fromNodes.SubNodes) {
        const CCensorNode &node = fromNodes.SubNodes[i];
        int subNodeIndex = FindSubNode(node.Name);
        if (subNodeIndex < 0) subNodeIndex = (int)SubNodes.Add(CCensorNode(node.Name, this));
        SubNodes[(unsigned)subNodeIndex].ExtendExclude(node);
    }
}

int CCensor::FindPrefix(const UString &prefix) const {
    FOR_VECTOR(i, Pairs)
    if (CompareFileNames(Pairs[i].Prefix, prefix) == 0) return (int)i;
    return -1;
}

void CCensor::AddItem(ECensorPathMode pathMode, bool include, const UString &path, bool recursive,
                      bool wildcardMatching) {
    if (path.IsEmpty()) throw "Empty file path";

    UStringVector pathParts;
    SplitPathToParts(path, pathParts);

    bool forFile = true;
    if (pathParts.Back().IsEmpty()) {
        forFile = false;
        pathParts.DeleteBack();
    }

    // In "//?/..." the '?' is a path marker, not a wildcard.
    int ignoreWildcardIndex = -1;
    if (pathMode == k_AbsPath && pathParts.Size() >= 3 && pathParts[0].IsEmpty() && pathParts[1].IsEmpty() &&
        pathParts[2] == L"?")
        ignoreWildcardIndex = 2;

    UString prefix;
    if (pathMode != k_AbsPath) {
        const bool isAbs = !pathParts.IsEmpty() && pathParts.Front().IsEmpty();
        const unsigned numPrefixParts = isAbs ? 1 : 0;
        unsigned numSkipParts = numPrefixParts;
        if (pathMode != k_FullPath && isAbs && pathParts.Size() >= 2) numSkipParts = pathParts.Size() - 1;

        // Parts up to a "." or ".." cannot be matched against stored names: they go to the prefix.
        if (pathParts.Size() > numPrefixParts) {
            int dotsIndex = -1;
            for (unsigned i = numPrefixParts; i < pathParts.Size(); i++) {
                const UString &part = pathParts[i];
                if (part == L".." || part == L".") dotsIndex = (int)i;
            }
            if (dotsIndex >= 0) {
                if ((unsigned)dotsIndex == pathParts.Size() - 1)
                    numSkipParts = pathParts.Size();
                else
                    numSkipParts = pathParts.Size() - 1;
            }
        }

        for (unsigned i = 0; i < numSkipParts; i++) {
            const UString &front = pathParts.Front();
            if (wildcardMatching && i >= numPrefixParts && DoesNameContainWildcard(front)) break;
            prefix += front;
            prefix.Add_PathSepar();
            pathParts.Delete(0);
        }

        if (pathParts.IsEmpty() || (pathParts.Size() == 1 && pathParts[0].IsEmpty())) {
            pathParts.Clear();
            pathParts.Add(UString(L"*"));
            forFile = true;
            wildcardMatching = true;
            recursive = false;
        }
    }

    int index = FindPrefix(prefix);
    if (index < 0) index = (int)Pairs.Add(CPair(prefix));

    CItem item;
    item.PathParts = pathParts;
    item.ForDir = true;
    item.ForFile = forFile;
    item.Recursive = recursive;
    item.WildcardMatching = wildcardMatching;
    Pairs[(unsigned)index].Head.AddItem(include, item, ignoreWildcardIndex);
}

void CCensor::ExtendExclude() {
    unsigned i;
    for (i = 0; i < Pairs.Size(); i++)
        if (Pairs[i].Prefix.IsEmpty()) break;
    if (i == Pairs.Size()) return;
    const unsigned index = i;
    for (i = 0; i < Pairs.Size(); i++)
        if (index != i) Pairs[i].Head.ExtendExclude(Pairs[index].Head);
}

void CCensor::AddPathsToCensor(ECensorPathMode censorPathMode) {
    FOR_VECTOR(i, CensorPaths) {
        const CCensorPath &cp = CensorPaths[i];
        AddItem(censorPathMode, cp.Include, cp.Path, cp.Recursive, cp.WildcardMatching);
    }
    CensorPaths.Clear();
}

void CCensor::AddPreItem(bool include, const UString &path, bool recursive, bool wildcardMatching) {
    CCensorPath &cp = CensorPaths.AddNew();
    cp.Path = path;
    cp.Include = include;
    cp.Recursive = recursive;
    cp.WildcardMatching = wildcardMatching;
}

} // namespace NWildcard
