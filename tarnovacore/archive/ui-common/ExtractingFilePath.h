#pragma once

#include "common/MyString.h"

// Turns names stored in archives into names that are safe on the local file system.

// A name usable as one file name: ".", ".." and the empty name become "_", and a '/' becomes '_' so
// that a name taken from an archive can never reach into another folder.
UString Get_Correct_FsFile_Name(const UString &name);

// ':', '\', '/' and U+202E become '_' (a trailing ":$DATA" is kept); an empty name becomes "_".
void Correct_AltStream_Name(UString &name);

// Drops "." and ".." parts and empty inner parts; a file always ends in a non-empty part.
void Correct_FsPath(bool absIsAllowed, UStringVector &parts, bool isDir);

UString MakePathFromParts(const UStringVector &parts);

// True when the relative path names something strictly below its starting folder.
bool IsSafePath(const UString &path);
