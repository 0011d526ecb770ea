#pragma once

#include "MyString.h"

// Name comparison rule of the whole archive side; the archive command line changes it.
extern bool g_CaseSensitive;

int CompareFileNames(const wchar_t *s1, const wchar_t *s2) throw();
bool IsPath1PrefixedByPath2(const wchar_t *s1, const wchar_t *s2) throw();

bool DoesNameContainWildcard(const UString &path);
// Whole-name match with '*' and '?' only. Runs in O(mask x name) at worst: a mask with many
// stars never backtracks exponentially.
bool EnhancedMaskTest(const wchar_t *mask, const wchar_t *name) throw();
bool DoesWildcardMatchName(const UString &mask, const UString &name);

// Paths use '/' only; a path's parts are the texts between separators, empty ones included.
void SplitPathToParts(const UString &path, UStringVector &pathParts);
void SplitPathToParts_2(const UString &path, UString &dirPrefix, UString &name);
// Like SplitPathToParts_2, but one trailing '/' stays with the name ("a/b/" gives "a/" and "b/").
void SplitPathToParts_Smart(const UString &path, UString &dirPrefix, UString &name);
UString ExtractDirPrefixFromPath(const UString &path);
UString ExtractFileNameFromPath(const UString &path);

namespace NRecursedType {
enum EEnum {
    kRecursive,
    kWildcardOnlyRecursive,
    kNonRecursive,
};
}

namespace NWildcard {

bool IsDriveColonName(const wchar_t *s);
unsigned GetNumPrefixParts_if_DrivePath(const UStringVector &pathParts);

enum ECensorPathMode {
    k_RelatPath, // a common leading folder becomes the prefix
    k_FullPath,  // only the root of an absolute path becomes the prefix
    k_AbsPath,   // the whole path stays in the item
};

struct CItem {
    UStringVector PathParts;
    bool Recursive;
    bool ForFile;
    bool ForDir;
    bool WildcardMatching;

    CItem() : Recursive(false), ForFile(true), ForDir(true), WildcardMatching(false) {}
    bool AreAllAllowed() const;
    bool CheckPath(const UStringVector &pathParts, bool isFile) const;
};

class CCensorNode {
    CCensorNode *Parent;

    void SetParentOfSubNodes();

public:
    UString Name;
    CObjectVector<CCensorNode> SubNodes;
    CObjectVector<CItem> IncludeItems;
    CObjectVector<CItem> ExcludeItems;

    CCensorNode() : Parent(nullptr) {}
    CCensorNode(const UString &name, CCensorNode *parent) : Parent(parent), Name(name) {}
    // A copy keeps the parent pointer of its source, but its own sub-nodes point at the copy,
    // never back into the source tree.
    CCensorNode(const CCensorNode &node);
    CCensorNode &operator=(const CCensorNode &node);

    CCensorNode *GetParent() const { return Parent; }

    bool AreAllAllowed() const;
    int FindSubNode(const UString &name) const;

    void AddItemSimple(bool include, CItem &item);
    void AddItem(bool include, CItem &item, int ignoreWildcardIndex = -1);
    void AddItem(bool include, const UString &path, bool recursive, bool forFile, bool forDir, bool wildcardMatching);
    void AddItem2(bool include, const UString &path, bool recursive, bool wildcardMatching);

    bool NeedCheckSubDirs() const;
    bool AreThereIncludeItems() const;

    bool CheckPathCurrent(bool include, const UStringVector &pathParts, bool isFile) const;
    bool CheckPathVect(const UStringVector &pathParts, bool isFile, bool &include) const;
    // Tests this node and its ancestors; prepends each left node's name to pathParts.
    bool CheckPathToRoot(bool include, UStringVector &pathParts, bool isFile) const;

    void ExtendExclude(const CCensorNode &fromNodes);
};

struct CPair {
    UString Prefix;
    CCensorNode Head;

    explicit CPair(const UString &prefix) : Prefix(prefix) {}
};

struct CCensorPath {
    UString Path;
    bool Include;
    bool Recursive;
    bool WildcardMatching;

    CCensorPath() : Include(true), Recursive(false), WildcardMatching(true) {}
};

class CCensor {
public:
    CObjectVector<CPair> Pairs;
    CObjectVector<CCensorPath> CensorPaths;

    int FindPrefix(const UString &prefix) const;
    bool AllAreRelative() const { return Pairs.Size() == 1 && Pairs.Front().Prefix.IsEmpty(); }

    // Throws the 8-bit text "Empty file path" for an empty path.
    void AddItem(ECensorPathMode pathMode, bool include, const UString &path, bool recursive, bool wildcardMatching);
    void ExtendExclude();
    void AddPathsToCensor(ECensorPathMode censorPathMode);
    void AddPreItem(bool include, const UString &path, bool recursive, bool wildcardMatching);
};

} // namespace NWildcard
