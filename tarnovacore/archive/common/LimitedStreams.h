#pragma once

// The window and tail streams together, for code that uses several of them.
#include "ClusterInStream.h"
#include "ExtentsStream.h"
#include "LimitedCachedInStream.h"
#include "LimitedInStream.h"
#include "LimitedSequentialInStream.h"
#include "LimitedSequentialOutStream.h"
#include "TailInStream.h"
#include "TailOutStream.h"
