#pragma once

#include "common/MyString.h"
#include "common/Wildcard.h"

// One "rename these archive items" request: a path (and everything under it) gets a new prefix.
struct CRenamePair {
    UString FromPath;
    UString ToPath;
    bool MatchWildcards;
    NRecursedType::EEnum Recursion;

    CRenamePair() : MatchWildcards(false), Recursion(NRecursedType::kRecursive) {}

    // Only plain, non-recursive paths can be renamed.
    bool Prepare();
    // True when src is FromPath or lies under it; dest gets ToPath + the rest of src.
    bool GetNewPath(bool isFolder, const UString &src, UString &dest) const;
};
