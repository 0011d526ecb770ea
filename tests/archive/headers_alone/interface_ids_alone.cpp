// InterfaceIds.h compiles with nothing included before it.
#include "common/InterfaceIds.h"

static_assert(IID_IProgress.Data4[5] == 0x05, "complete on its own");
