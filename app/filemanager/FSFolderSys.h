#pragma once

// The disk side of the file-system folder: paths in the operating system's form, the last
// error as a result, and files replaced whole through a temporary name beside them.
#include <sys/stat.h>

#include "common/MyString.h"
#include "common/MyWindows.h"

namespace NFsFolder {

// The last system error number as a folder result; E_FAIL when none is set.
HRESULT LastErrorResult();

// The operating system's form of a path that should exist: names listed from disk that the
// locale could not decode come back as one unit per byte, and are tried in that form too.
AString GetExistingOsPath(const UString &path);
bool StatExisting(const UString &path, bool noFollow, struct stat &st);

// rename() that fails with EEXIST instead of replacing an existing target.
bool RenameNoReplace(const UString &from, const UString &to);

// Creates a fresh temporary file in the folder of destOs (mode 0600); -1 on failure.
int CreateTempFileBeside(const AString &destOs, AString &tempOs);

// Writes data to a temporary file beside the path and renames it over the path, keeping the
// old file's permissions. On failure the old file stays untouched and errno tells why.
bool ReplaceFileContents(const UString &path, const char *data, size_t size);

} // namespace NFsFolder
