#pragma once

#include "WorkDirInfo.h"
#include "common/MyString.h"

// The folder (ending in '/', or empty for the current folder) in which a temporary file for path is
// made; fileName gets the last component of path. Throws 141717 when there is no temporary folder.
UString GetWorkDir(const NWorkDir::CInfo &workDirInfo, const UString &path, UString &fileName);
