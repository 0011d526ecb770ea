#pragma once

// Fixed-width names used across the core and the plug-in boundary. Self-contained on purpose:
// the plug-in compiles against the interface headers, which include this and nothing else.
#include <stddef.h>
#include <stdint.h>

typedef uint8_t Byte;
typedef int16_t Int16;
typedef uint16_t UInt16;
typedef int32_t Int32;
typedef uint32_t UInt32;
typedef int64_t Int64;
typedef uint64_t UInt64;
typedef int BoolInt;

#define True 1
#define False 0

#ifndef ARRAY_SIZE
#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))
#endif
