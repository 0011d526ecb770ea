#pragma once

#include "common/MyString.h"

namespace NWindows {
namespace NError {

// The text shown to users for a system error number or an HRESULT. Safe on any thread.
UString MyFormatMessage(UInt32 errorCode);

} // namespace NError
} // namespace NWindows
