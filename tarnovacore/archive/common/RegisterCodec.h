#pragma once

// Codecs and hashers compiled into the program itself; every look-up consults them before the
// plug-ins.
#include "archive/ICoder.h"

// Creators return a new object without a reference: an ICompressFilter when IsFilter, an
// ICompressCoder for one stream, else an ICompressCoder2.
typedef void *(*CreateCodecP)();
typedef IHasher *(*CreateHasherP)();

struct CCodecInfo {
    CreateCodecP CreateDecoder;
    CreateCodecP CreateEncoder;
    UInt64 Id;
    const char *Name;
    UInt32 NumStreams;
    bool IsFilter;
};

struct CHasherInfo {
    CreateHasherP CreateHasher;
    UInt64 Id;
    const char *Name;
    UInt32 DigestSize;
};

const unsigned kNumCodecsMax = 64;
const unsigned kNumHashersMax = 16;
extern unsigned g_NumCodecs;
extern const CCodecInfo *g_Codecs[kNumCodecsMax];
extern unsigned g_NumHashers;
extern const CHasherInfo *g_Hashers[kNumHashersMax];

// Append to the fixed tables; a full table ignores the call. Each returns the count.
unsigned RegisterCodec(const CCodecInfo *codecInfo) throw();
unsigned RegisterHasher(const CHasherInfo *hasher) throw();
