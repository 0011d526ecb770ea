#pragma once

// Progress adapters.
#include "LocalProgress.h"
