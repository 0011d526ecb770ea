#pragma once

#include "MyString.h"

// Locale conversions of names and console text. The code page is ignored: the process
// locale decides, under the switch below.
extern int global_use_utf16_conversion;

UString MultiByteToUnicodeString(const AString &src, UInt32 codePage = 0);
void MultiByteToUnicodeString2(UString &dest, const AString &src, UInt32 codePage = 0);
AString UnicodeStringToMultiByte(const UString &src, UInt32 codePage = 0);
void UnicodeStringToMultiByte2(AString &dest, const UString &src, UInt32 codePage = 0);

inline const wchar_t *GetUnicodeString(const wchar_t *u) { return u; }
inline const UString &GetUnicodeString(const UString &u) { return u; }
inline UString GetUnicodeString(const AString &a) { return MultiByteToUnicodeString(a); }
inline AString GetSystemString(const UString &u) { return UnicodeStringToMultiByte(u); }
