#pragma once

#include "common/MyWindows.h"

// "YYYY-MM-DD hh:mm:ss" and its NUL take 20 characters; a five-digit year takes one more.
const unsigned kTimeStringSize = 21;
// Room for any short text of a value: 20 digits and a sign, or a time with a five-digit year.
const unsigned kPropVariantShortStringSize = 32;

// The calendar fields of the UTC time, without conversion to local time. False (and an empty
// text) when the time cannot be broken into fields.
bool ConvertFileTimeToString(const FILETIME &ft, char *s, bool includeTime = true, bool includeSeconds = true) throw();
bool ConvertFileTimeToString(const FILETIME &ft, wchar_t *s, bool includeTime = true,
                             bool includeSeconds = true) throw();

// An unsigned number of any width into value; false (value untouched) for any other type.
bool ConvertPropVariantToUInt64(const PROPVARIANT &prop, UInt64 &value) throw();

// Numbers in decimal, booleans as "+" or "-", texts as "?", other types as "?:" and the type code.
void ConvertPropVariantToShortString(const PROPVARIANT &prop, char *dest) throw();
void ConvertPropVariantToShortString(const PROPVARIANT &prop, wchar_t *dest) throw();
