#pragma once

// The compression methods the plug-in offers as coders, with their method ids.
#include "archive/ICoder.h"

namespace NPlugin {

UInt32 GetNumMethods();
HRESULT GetMethodProperty(UInt32 index, PROPID propID, PROPVARIANT *value);
HRESULT CreateMethodCoder(UInt32 index, bool encode, const GUID &iid, void **outObject);
// CLASS_E_CLASSNOTAVAILABLE when the id is not one of the coders' class ids.
HRESULT CreateCoderByClassId(const GUID &classId, const GUID &iid, void **outObject);

} // namespace NPlugin
