#include "RegisterArc.h"

unsigned g_NumArcs = 0;
const CArcInfo *g_Arcs[kNumArcsMax];

unsigned RegisterArc(const CArcInfo *arcInfo) throw() {
    if (g_NumArcs < kNumArcsMax) g_Arcs[g_NumArcs++] = arcInfo;
    return g_NumArcs;
}
