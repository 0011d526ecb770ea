#pragma once

#include "common/MyString.h"

namespace NWindows {
namespace NFile {
namespace NDir {

// A placeholder file (its content is a link target) that extraction turns into a symbolic link
// only at the end, and only when the file is still the one that was written.
class CDelayedSymLink {
    AString _source;
    UInt64 _dev;
    UInt64 _ino;

public:
    explicit CDelayedSymLink(const char *osPath);
    const AString &GetOsPath() const { return _source; }
    bool Create();
};

// Replaces the placeholder at osPath by a symbolic link to the text it holds.
bool ConvertPlaceholderToSymLink(const char *osPath);

} // namespace NDir
} // namespace NFile
} // namespace NWindows
