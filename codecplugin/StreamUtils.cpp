#include "StreamUtils.h"

#include "PropVariantUtils.h"
#include "archive/IStreamFileDescriptor.h"
#include "common/MyCom.h"

#include <algorithm>
#include <errno.h>
#include <unistd.h>
#include <vector>

namespace NPlugin {

HRESULT WriteStreamAll(ISequentialOutStream *stream, const void *data, size_t size) {
    const Byte *p = static_cast<const Byte *>(data);
    while (size != 0) {
        const UInt32 chunk = size > (1u << 30) ? (1u << 30) : static_cast<UInt32>(size);
        UInt32 done = 0;
        const HRESULT res = stream->Write(p, chunk, &done);
        if (res != S_OK) return res;
        if (done == 0) return E_FAIL;
        p += done;
        size -= done;
    }
    return S_OK;
}

HRESULT ReadStreamMax(ISequentialInStream *stream, void *data, size_t size, size_t &processed) {
    processed = 0;
    Byte *p = static_cast<Byte *>(data);
    while (size != 0) {
        const UInt32 chunk = size > (1u << 30) ? (1u << 30) : static_cast<UInt32>(size);
        UInt32 done = 0;
        const HRESULT res = stream->Read(p, chunk, &done);
        processed += done;
        if (res != S_OK) return res;
        if (done == 0) break;
        p += done;
        size -= done;
    }
    return S_OK;
}

HRESULT CopyStreamStart(IInStream *in, UInt64 size, ISequentialOutStream *out) {
    RINOK_PLUGIN(in->Seek(0, STREAM_SEEK_SET, nullptr));
    std::vector<Byte> buf(1 << 18);
    for (UInt64 left = size; left != 0;) {
        size_t got = 0;
        RINOK_PLUGIN(ReadStreamMax(in, buf.data(), static_cast<size_t>(std::min<UInt64>(left, buf.size())), got));
        if (got == 0) return E_FAIL;
        RINOK_PLUGIN(WriteStreamAll(out, buf.data(), got));
        left -= got;
    }
    return S_OK;
}

HRESULT GetStreamSize(IInStream *stream, UInt64 &size) {
    size = 0;
    HRESULT res = stream->Seek(0, STREAM_SEEK_END, &size);
    if (res != S_OK) return res;
    return stream->Seek(0, STREAM_SEEK_SET, nullptr);
}

HRESULT SeekPosition(Int64 offset, UInt32 seekOrigin, UInt64 size, UInt64 &pos, UInt64 *newPosition) {
    Int64 base;
    switch (seekOrigin) {
    case STREAM_SEEK_SET:
        base = 0;
        break;
    case STREAM_SEEK_CUR:
        base = static_cast<Int64>(pos);
        break;
    case STREAM_SEEK_END:
        base = static_cast<Int64>(size);
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    const Int64 target = base + offset;
    if (target < 0) return HRESULT_WIN32_ERROR_NEGATIVE_SEEK;
    pos = static_cast<UInt64>(target);
    if (newPosition) *newPosition = pos;
    return S_OK;
}

HRESULT ReadStreamAt(IInStream *in, UInt64 pos, void *data, size_t size, size_t &processed) {
    processed = 0;
    const HRESULT res = in->Seek(static_cast<Int64>(pos), STREAM_SEEK_SET, nullptr);
    if (res != S_OK) return res;
    return ReadStreamMax(in, data, size, processed);
}

int StreamFileDescriptor(IUnknown *stream) {
    if (!stream) return -1;
    CMyComPtr<IStreamFileDescriptor> file;
    stream->QueryInterface(IID_IStreamFileDescriptor, reinterpret_cast<void **>(&file));
    int fd = -1;
    if (!file || file->GetFileDescriptor(&fd) != S_OK) return -1;
    return fd;
}

HRESULT KernelCopyRange(int inFd, UInt64 inPos, int outFd, UInt64 outPos, UInt64 size, UInt64 &copied,
                        const std::function<HRESULT(UInt64)> &step) {
    // Small enough that a stop is seen soon, large enough that the calls cost nothing.
    const UInt64 kPiece = 8 << 20;
    copied = 0;
    if (inFd < 0 || outFd < 0) return S_FALSE;
    loff_t in = static_cast<loff_t>(inPos), out = static_cast<loff_t>(outPos);
    while (copied < size) {
        const ssize_t n =
            copy_file_range(inFd, &in, outFd, &out, static_cast<size_t>(std::min(size - copied, kPiece)), 0);
        if (n < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            // Other file systems, an old kernel, a file opened for appending.
            if (error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF)
                return S_FALSE;
            return HRESULT_FROM_ERRNO(error);
        }
        if (n == 0) return E_FAIL;
        copied += static_cast<UInt64>(n);
        if (step) RINOK_PLUGIN(step(copied));
    }
    return S_OK;
}

} // namespace NPlugin
