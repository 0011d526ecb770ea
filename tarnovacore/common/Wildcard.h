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
