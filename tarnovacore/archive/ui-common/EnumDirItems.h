#pragma once

#include "DirItem.h"
#include "common/Wildcard.h"

// Walks the file system as the censor asks and adds what it includes. With pathMode k_AbsPath the
// logical paths are the physical ones; otherwise they start with addPathPrefix.
HRESULT EnumerateItems(const NWildcard::CCensor &censor, NWildcard::ECensorPathMode pathMode,
                       const UString &addPathPrefix, CDirItems &dirItems);
