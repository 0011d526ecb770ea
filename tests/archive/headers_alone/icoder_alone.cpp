// ICoder.h compiles with nothing included before it.
#include "archive/ICoder.h"

static_assert(sizeof(IHashers) == sizeof(void *), "complete on its own");
