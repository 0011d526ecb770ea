#pragma once

#include "common/MyTypes.h"

namespace NWindows {
namespace NSystem {

// Configured processors (not only the online ones), at least 1.
UInt32 GetNumberOfProcessors();

// Installed memory from "/proc/meminfo"; 4 GiB when that cannot be opened. Always true.
bool GetRamSize(UInt64 &size);

// The parsers behind GetRamSize, for any meminfo file or text: a "MemTotal: n" line (kB) sets
// the size, an old-style "Mem: n" line (bytes) adds to it, and a text with neither yields 0.
// GetRamSizeFromFile keeps 4 GiB and returns false when the file cannot be opened.
bool GetRamSizeFromFile(const char *path, UInt64 &size);
UInt64 ParseMemInfo(const char *text);

} // namespace NSystem
} // namespace NWindows
