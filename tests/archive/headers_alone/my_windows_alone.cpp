// MyWindows.h compiles with nothing included before it.
#include "common/MyWindows.h"

static_assert(sizeof(PROPVARIANT) == 16, "complete on its own");
