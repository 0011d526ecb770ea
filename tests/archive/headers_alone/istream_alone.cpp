// IStream.h compiles with nothing included before it.
#include "archive/IStream.h"

static_assert(sizeof(IInStream) == sizeof(void *) && STREAM_SEEK_END == 2, "complete on its own");
