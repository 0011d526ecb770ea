#pragma once

#include "archive/ICoder.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

namespace NCompress {

// The coder of the "copy" method: moves bytes unchanged in fixed blocks, reporting after each.
class CCopyCoder : public ICompressCoder,
                   public ICompressSetInStream,
                   public ISequentialInStream,
                   public ICompressGetInStreamProcessedSize,
                   public CMyUnknownImp {
    Byte *_buf;
    CMyComPtr<ISequentialInStream> _inStream;

public:
    UInt64 TotalSize;

    CCopyCoder() : _buf(nullptr), TotalSize(0) {}
    CCopyCoder(const CCopyCoder &) = delete;
    CCopyCoder &operator=(const CCopyCoder &) = delete;
    ~CCopyCoder() override;

    COM_UNKNOWN_IMP(ICompressCoder, ICompressSetInStream, ISequentialInStream, ICompressGetInStreamProcessedSize)

    HRESULT Code(ISequentialInStream *inStream, ISequentialOutStream *outStream, const UInt64 *inSize,
                 const UInt64 *outSize, ICompressProgressInfo *progress) override;
    HRESULT SetInStream(ISequentialInStream *inStream) override;
    HRESULT ReleaseInStream() override;
    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT GetInStreamProcessedSize(UInt64 *value) override;
};

HRESULT CopyStream(ISequentialInStream *inStream, ISequentialOutStream *outStream, ICompressProgressInfo *progress);
// E_FAIL when the input ends before size bytes came.
HRESULT CopyStream_ExactSize(ISequentialInStream *inStream, ISequentialOutStream *outStream, UInt64 size,
                             ICompressProgressInfo *progress);

} // namespace NCompress
