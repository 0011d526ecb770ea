#pragma once

// Entry names as the program sees them. Names marked or valid as UTF-8 are decoded as UTF-8 (one
// character per code point, 4-byte characters included); unmarked legacy names are decoded as
// GB18030 when that decodes cleanly, else as CP437. With the program's UTF-16 conversion off, the
// bytes pass one character each.
#include <string>

struct archive_entry;

namespace NPlugin {

bool IsValidUtf8(const std::string &s);
std::wstring Utf8ToWide(const std::string &s);
std::string WideToUtf8(const wchar_t *s);
bool DecodeGb18030(const std::string &s, std::wstring &out);
std::wstring DecodeCp437(const std::string &s);
std::wstring BytesAsChars(const std::string &s);

// utf8: libarchive's UTF-8 form (may be null); raw: its byte form (may be null).
std::wstring DecodeName(const char *utf8, const char *raw, bool utf16Conversion);

// The three names of an entry; call inside a CUtf8LocaleScope.
std::wstring EntryPath(archive_entry *entry, bool utf16Conversion);
std::wstring EntrySymlink(archive_entry *entry, bool utf16Conversion);
std::wstring EntryHardlink(archive_entry *entry, bool utf16Conversion);

} // namespace NPlugin
