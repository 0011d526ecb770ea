// IArchive.h compiles with nothing included before it.
#include "archive/IArchive.h"

static_assert(sizeof(IOutArchive) == sizeof(void *) && kpidPath == 3, "complete on its own");
