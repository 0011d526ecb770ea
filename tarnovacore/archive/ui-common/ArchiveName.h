#pragma once

#include "common/MyString.h"

// The proposed name of a new archive for the source path: the parent folder's name (fromPrev) or the
// item's own name, without its extension for a file unless keepName; "Archive" when nothing is found.
UString CreateArchiveName(const UString &path, bool fromPrev, bool keepName);
