// IPassword.h compiles with nothing included before it.
#include "archive/IPassword.h"

static_assert(sizeof(ICryptoGetTextPassword2) == sizeof(void *), "complete on its own");
