#pragma once

#include "common/MyString.h"

// The name of the single item inside an archive named fileName whose handler gives no name.
UString GetDefaultName2(const UString &fileName, const UString &extension, const UString &addSubExtension);
