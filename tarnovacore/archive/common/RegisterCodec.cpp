#include "RegisterCodec.h"

unsigned g_NumCodecs = 0;
const CCodecInfo *g_Codecs[kNumCodecsMax];
unsigned g_NumHashers = 0;
const CHasherInfo *g_Hashers[kNumHashersMax];

unsigned RegisterCodec(const CCodecInfo *codecInfo) throw() {
    if (g_NumCodecs < kNumCodecsMax) g_Codecs[g_NumCodecs++] = codecInfo;
    return g_NumCodecs;
}

unsigned RegisterHasher(const CHasherInfo *hasher) throw() {
    if (g_NumHashers < kNumHashersMax) g_Hashers[g_NumHashers++] = hasher;
    return g_NumHashers;
}
