#include "CopyCoder.h"

#include "StreamUtils.h"
#include "base/Alloc.h"

namespace NCompress {

static const UInt32 kBufSize = 1 << 17;

CCopyCoder::~CCopyCoder() {
    MidFree(_buf);
}

HRESULT CCopyCoder::Code(ISequentialInStream *inStream, ISequentialOutStream *outStream, const UInt64 * /* inSize */,
                         const UInt64 *outSize, ICompressProgressInfo *progress) {
    if (!_buf) {
        _buf = static_cast<Byte *>(MidAlloc(kBufSize));
        if (!_buf) return E_OUTOFMEMORY;
    }
    TotalSize = 0;
    for (;;) {
        UInt32 size = kBufSize;
        if (outSize) {
            const UInt64 rem = *outSize - TotalSize;
            if (rem < kBufSize) {
                if (rem == 0) return S_OK;
                size = (UInt32)rem;
            }
        }
        UInt32 processed = 0;
        const HRESULT readRes = inStream->Read(_buf, size, &processed);
        if (processed > size) processed = size;
        if (processed == 0) return readRes;

        if (outStream) {
            UInt32 pos = 0;
            while (pos < processed) {
                UInt32 written = 0;
                const HRESULT res = outStream->Write(_buf + pos, processed - pos, &written);
                if (written > processed - pos) written = processed - pos;
                pos += written;
                TotalSize += written;
                RINOK(res);
                if (written == 0) return E_FAIL;
            }
        } else
            TotalSize += processed;

        // The bytes that came with a failure are written first, then the failure counts.
        RINOK(readRes);
        if (progress) RINOK(progress->SetRatioInfo(&TotalSize, &TotalSize));
    }
}

HRESULT CCopyCoder::SetInStream(ISequentialInStream *inStream) {
    _inStream = inStream;
    TotalSize = 0;
    return S_OK;
}

HRESULT CCopyCoder::ReleaseInStream() {
    _inStream.Release();
    return S_OK;
}

HRESULT CCopyCoder::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (!_inStream) return E_FAIL;
    UInt32 realProcessed = 0;
    const HRESULT res = _inStream->Read(data, size, &realProcessed);
    TotalSize += realProcessed;
    if (processedSize) *processedSize = realProcessed;
    return res;
}

HRESULT CCopyCoder::GetInStreamProcessedSize(UInt64 *value) {
    *value = TotalSize;
    return S_OK;
}

HRESULT CopyStream(ISequentialInStream *inStream, ISequentialOutStream *outStream, ICompressProgressInfo *progress) {
    CMyComPtr<ICompressCoder> coder = new CCopyCoder;
    return coder->Code(inStream, outStream, nullptr, nullptr, progress);
}

HRESULT CopyStream_ExactSize(ISequentialInStream *inStream, ISequentialOutStream *outStream, UInt64 size,
                             ICompressProgressInfo *progress) {
    CCopyCoder *impl = new CCopyCoder;
    CMyComPtr<ICompressCoder> coder = impl;
    RINOK(coder->Code(inStream, outStream, nullptr, &size, progress));
    return impl->TotalSize == size ? S_OK : E_FAIL;
}

} // namespace NCompress
