// IStreamFileDescriptor.h compiles with nothing included before it.
#include "archive/IStreamFileDescriptor.h"

static_assert(sizeof(IStreamFileDescriptor) == sizeof(void *) && IID_IStreamFileDescriptor.Data4[3] == 0x03,
              "complete on its own");
