#pragma once

// Checks on an item's name made before the item is opened or handed to another program.
#include "common/MyString.h"

// Extensions of files that are started with their program even when they could be opened as an
// archive (documents that are zip files inside), each between single spaces.
extern const char *const kStartExtensions;

// True when the name is disguised (a right-to-left override mark, or runs of five spaces that
// push the real extension out of sight); message then holds the warning to show, with the
// cleaned name and the name as it stands.
bool GetSuspiciousNameMessage(const UString &name, UString &message);

// True when the text after the name's last "." is one of the space-separated words of list
// (ASCII only, "A" to "Z" compared as lower case).
bool FindExt(const char *list, const UString &name);
