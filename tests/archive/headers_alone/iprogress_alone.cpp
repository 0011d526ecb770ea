// IProgress.h compiles with nothing included before it.
#include "archive/IProgress.h"

static_assert(sizeof(IProgress) == sizeof(void *), "complete on its own");
