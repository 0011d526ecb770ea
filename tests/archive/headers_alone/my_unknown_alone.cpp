// MyUnknown.h compiles with nothing included before it.
#include "common/MyUnknown.h"

static_assert(sizeof(IUnknown) == sizeof(void *), "an interface is one vtable pointer");
