#pragma once

// The decompressed data of a single-stream archive as a seekable stream, so that the program can
// open the archive inside it (a tar inside a gzip). Data kept in memory by the open pass is read
// from there. Otherwise forward seeks decode and drop, and a backward seek starts a new decoding
// session; nothing is buffered beyond one block of the decoder.
#include "libarchive/ArchiveReader.h"
#include "streams/StreamDecoder.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <memory>
#include <vector>

namespace NPlugin {

class CDecodedInStream : public IInStream, public IStreamGetSize, public CMyUnknownImp {
    CMyComPtr<IInStream> _source;
    UInt64 _sourceSize;
    FormatSetupFunc _setup;
    int _filterCode;
    std::shared_ptr<const CDecodedChunks> _kept; // the whole decoded data, when the open pass kept it
    UInt64 _size;
    bool _sizeDefined;
    UInt64 _pos = 0;
    UInt64 _decodePos = 0;
    std::unique_ptr<CArchiveReader> _reader; // null after the end of what could be decoded
    std::unique_ptr<CStreamDecoder> _decoder; // instead of _reader for the streams it handles
    std::vector<Byte> _decoded;
    const Byte *_block = nullptr;            // the rest of the decoder's current block
    size_t _blockLeft = 0;

    HRESULT Restart();
    HRESULT DecodeForwardTo(UInt64 target, bool &reachedEnd);
    HRESULT LearnSize();
    HRESULT NextBytes(const Byte *&data, size_t &size);
    void Consume(size_t size);

public:
    CDecodedInStream(IInStream *source, UInt64 sourceSize, FormatSetupFunc setup, int filterCode, const UInt64 *size,
                     std::shared_ptr<const CDecodedChunks> kept);
    virtual ~CDecodedInStream() {}

    COM_UNKNOWN_IMP(IInStream, IStreamGetSize)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT GetSize(UInt64 *size) override;
};

} // namespace NPlugin
