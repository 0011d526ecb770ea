#pragma once

#include "common/MyString.h"
#include "common/MyWindows.h"

// Short texts of item property values for file lists and property views. `full` adds seconds to
// times. dest of the 8-bit forms needs room for 64 characters.
void ConvertPropertyToShortString(char *dest, const PROPVARIANT &prop, PROPID propID, bool full = true) throw();
void ConvertPropertyToString(UString &dest, const PROPVARIANT &prop, PROPID propID, bool full = true);

// Windows attribute letters, and the POSIX text of the high half when there is one.
void ConvertWinAttribToString(char *dest, UInt32 attrib) throw();
// "drwxr-xr-x": type character and permissions with set-id and sticky bits.
void ConvertPosixAttribToString(char *dest, UInt32 mode) throw();

// Owner, group, ACL entry counts and size of a self-relative security descriptor.
void ConvertNtSecureToString(const Byte *data, UInt32 size, AString &text);
