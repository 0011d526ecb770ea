#pragma once

#include "MyString.h"

// Decodes [src, srcLim); with dest null it only counts the characters. False when any
// ill-formed sequence was replaced by U+FFFD.
bool Utf8_To_Utf16(wchar_t *dest, size_t *destLen, const char *src, const char *srcLim) throw();
bool ConvertUTF8ToUnicode(const AString &utf8, UString &dest);
void ConvertUnicodeToUTF8(const UString &src, AString &dest);
bool CheckUTF8(const char *src, bool allowReduced = false) throw();
