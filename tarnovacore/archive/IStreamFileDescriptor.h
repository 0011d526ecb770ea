#pragma once

// Optional on streams over a file: the descriptor behind the stream, so that a plug-in can have the
// kernel copy a range between two files (copy_file_range) instead of reading and writing it.
// Part of the binary contract with the plug-in: self-contained.
//
// Only a stream whose position is the descriptor's file position answers, never one that buffers,
// counts or shifts positions of its own. The descriptor stays the stream's: the caller never closes
// it, writes through it only at explicit offsets, and afterwards sets the stream's position with Seek.
#include "IStream.h"

// 03 0A
struct IStreamFileDescriptor : public IUnknown {
    // S_OK with the descriptor; S_FALSE with -1 when the stream has none (closed, or a link's text).
    virtual HRESULT GetFileDescriptor(int *fd) = 0;
};
