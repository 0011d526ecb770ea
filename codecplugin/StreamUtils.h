#pragma once

// Loops over the stream contract: reads and writes may move fewer bytes than asked.
#include "archive/IStream.h"

#include <functional>

namespace NPlugin {

// Writes everything; a write that accepts nothing of a non-empty request is E_FAIL.
HRESULT WriteStreamAll(ISequentialOutStream *stream, const void *data, size_t size);
// Reads until size bytes came or the data ended.
HRESULT ReadStreamMax(ISequentialInStream *stream, void *data, size_t size, size_t &processed);
// Copies the first size bytes of a stream (what lies in front of an archive) to out.
HRESULT CopyStreamStart(IInStream *in, UInt64 size, ISequentialOutStream *out);
// The length of a seekable stream; the position is put back to 0.
HRESULT GetStreamSize(IInStream *stream, UInt64 &size);
// IInStream::Seek on a position within data of the given size; a position past the end is allowed.
HRESULT SeekPosition(Int64 offset, UInt32 seekOrigin, UInt64 size, UInt64 &pos, UInt64 *newPosition);
// Seeks to pos, then reads as ReadStreamMax does.
HRESULT ReadStreamAt(IInStream *in, UInt64 pos, void *data, size_t size, size_t &processed);

// The descriptor behind a stream over a plain file, or -1.
int StreamFileDescriptor(IUnknown *stream);
// Copies size bytes between two plain files in the kernel (copy_file_range), in pieces of a few MiB
// with step(bytes copied so far) after each, and moves neither file position. copied tells how far
// it got; S_FALSE when the kernel cannot copy between these two files (another file system, an old
// kernel), and the rest is for a copy through buffers. E_FAIL when the input ends early.
HRESULT KernelCopyRange(int inFd, UInt64 inPos, int outFd, UInt64 outPos, UInt64 size, UInt64 &copied,
                        const std::function<HRESULT(UInt64)> &step);

// Little-endian fields of on-disk records.
inline UInt16 Get16(const Byte *p) { return static_cast<UInt16>(p[0] | (p[1] << 8)); }
inline UInt32 Get32(const Byte *p) {
    return static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8) | (static_cast<UInt32>(p[2]) << 16) |
           (static_cast<UInt32>(p[3]) << 24);
}
inline UInt64 Get64(const Byte *p) { return static_cast<UInt64>(Get32(p)) | (static_cast<UInt64>(Get32(p + 4)) << 32); }

} // namespace NPlugin
