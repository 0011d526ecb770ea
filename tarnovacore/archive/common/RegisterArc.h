#pragma once

// Formats compiled into the program itself. The registry turns each registered descriptor into a
// format before it loads any plug-in library.
#include "archive/IArchive.h"

typedef IInArchive *(*Func_CreateInArchive)();
typedef IOutArchive *(*Func_CreateOutArchive)();

struct CArcInfo {
    UInt32 Flags;
    Byte Id;
    // With NArcInfoFlags::kMultiSignature the bytes are a list: a length byte, then that many bytes.
    unsigned SignatureSize;
    const Byte *Signature;
    UInt32 SignatureOffset;
    const char *Name;
    // Extensions and their paired extensions, separated by spaces.
    const char *Ext;
    const char *AddExt;
    Func_CreateInArchive CreateInArchive;
    Func_CreateOutArchive CreateOutArchive;
    Func_IsArc IsArc;
};

const unsigned kNumArcsMax = 64;
extern unsigned g_NumArcs;
extern const CArcInfo *g_Arcs[kNumArcsMax];

// Appends to the fixed table; a full table ignores the call. Returns the count.
unsigned RegisterArc(const CArcInfo *arcInfo) throw();
