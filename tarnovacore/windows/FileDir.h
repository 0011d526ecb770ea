#pragma once

#include "DelayedSymLink.h"
#include "FileIO.h"
#include "FileName.h"
#include "common/MyVector.h"
#include "common/MyWindows.h"

namespace NWindows {
namespace NFile {
namespace NDir {

// "c:" followed by the current folder.
bool GetCurrentDir(UString &path);
// chdir on the converted text as it is: a "c:" in front is not dropped here.
bool SetCurrentDir(CFSTR path);
bool MyGetFullPathName(CFSTR path, UString &resFullPath);
// On failure the path is split as given and the failure is still returned.
bool GetFullPathAndSplit(CFSTR path, UString &resDirPrefix, UString &resFileName);
bool GetOnlyDirPrefix(CFSTR path, UString &resDirPrefix);
bool MyGetTempPath(UString &path);

bool CreateDir(CFSTR path);
bool CreateComplexDir(CFSTR path);
bool RemoveDir(CFSTR path);
bool DeleteFileAlways(CFSTR path);
// Replaces an existing target. Across file systems the copy goes to a temporary name beside the
// target first, so a failure never leaves a partial file under the target's name.
bool MyMoveFile(CFSTR existFileName, CFSTR newFileName);
bool SetDirTime(CFSTR path, const FILETIME *cTime, const FILETIME *aTime, const FILETIME *mTime);
bool SetFileAttrib(CFSTR path, DWORD attrib, CObjectVector<CDelayedSymLink> *delayedSymLinks = nullptr);
// Neither form ever descends through a symbolic link.
bool RemoveDirWithSubItems(const UString &path);
bool RemoveDirectoryWithSubItems(const UString &path);

// Makes a free name from prefix (with 8 hex digits when addRandom, and always from the second
// attempt on) and creates it: as a new file through outFile, or as a folder when outFile is null.
bool CreateTempName(CFSTR prefix, bool addRandom, UString &path, NIO::COutFile *outFile);

} // namespace NDir
} // namespace NFile
} // namespace NWindows

// Changes the path into a free variant (base_N.ext); true when the final name is free.
bool AutoRenamePath(UString &path);

// The Win32-style form: the length written, or 0 when the result does not fit.
DWORD GetFullPathNameW(const wchar_t *name, DWORD bufferLength, wchar_t *buffer, wchar_t **filePart);
