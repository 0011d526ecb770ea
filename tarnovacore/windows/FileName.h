#pragma once

#include "common/MyString.h"

typedef const wchar_t *CFSTR;

namespace NWindows {
namespace NFile {
namespace NName {

// Letter, ':', '/'.
bool IsDrivePath(const wchar_t *s) throw();
// Only a leading '/' counts: a drive path is not absolute by this test.
bool IsAbsolutePath(const wchar_t *s) throw();
unsigned GetRootPrefixSize(const wchar_t *s) throw();
int FindSepar(const wchar_t *s) throw();
void NormalizeDirPathPrefix(UString &dirPath);

// False only when the current folder cannot be read or ".." climbs above the start.
bool GetFullPath(CFSTR dirPrefix, CFSTR path, UString &fullPath);
bool GetFullPath(CFSTR path, UString &fullPath);

// The form the operating system gets: the multibyte text with a leading "c:" dropped.
AString GetOsPath(CFSTR path);
// The byte-per-unit form of a name that the locale conversion could not read back. False when
// the text does not decode or holds units above 255, or when the form is the same bytes.
bool GetLatin1RetryPath(const AString &osPath, AString &latin1Path);

} // namespace NName
} // namespace NFile
} // namespace NWindows
