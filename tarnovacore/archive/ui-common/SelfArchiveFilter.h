#pragma once

// An update must never store the archive it writes (nor its temporary file): the scan of a folder that holds the
// archive finds it like any other file.
#include "DirItem.h"
#include "common/MyString.h"

// Drops the scanned files that are one of the given files on disk (the same file under any path or link) and returns
// how many were dropped.
unsigned RemoveFilesFromDirItems(CDirItems &dirItems, const UStringVector &paths);
