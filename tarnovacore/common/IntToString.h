#pragma once

#include "MyTypes.h"

// The caller supplies the buffer; every result is NUL-terminated. Each returns the end.
char *ConvertUInt32ToString(UInt32 value, char *s) throw();
char *ConvertUInt64ToString(UInt64 value, char *s) throw();
wchar_t *ConvertUInt32ToString(UInt32 value, wchar_t *s) throw();
wchar_t *ConvertUInt64ToString(UInt64 value, wchar_t *s) throw();
void ConvertInt64ToString(Int64 value, char *s) throw();
void ConvertInt64ToString(Int64 value, wchar_t *s) throw();

void ConvertUInt64ToOct(UInt64 value, char *s) throw();
void ConvertUInt32ToHex(UInt32 value, char *s) throw();
void ConvertUInt64ToHex(UInt64 value, char *s) throw();
void ConvertUInt32ToHex8Digits(UInt32 value, char *s) throw();
void ConvertUInt32ToHex8Digits(UInt32 value, wchar_t *s) throw();
