#pragma once

// The memory streams together, for code that uses several of them.
#include "BufInStream.h"
#include "BufPtrSeqOutStream.h"
#include "BufferInStream.h"
#include "ByteDynBuffer.h"
#include "CachedInStream.h"
#include "DynBufSeqOutStream.h"
#include "SequentialOutStreamSizeCount.h"
