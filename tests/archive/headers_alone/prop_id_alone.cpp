// PropID.h compiles with nothing included before it.
#include "archive/PropID.h"

static_assert(kpidIsDir == 6, "complete on its own");
