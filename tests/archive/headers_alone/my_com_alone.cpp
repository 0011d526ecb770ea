// MyCom.h compiles with nothing included before it.
#include "common/MyCom.h"

static_assert(sizeof(CMyComPtr<IUnknown>) == sizeof(void *), "complete on its own");
