#pragma once

// The decompressed data of a single-stream archive as a seekable stream, so that the program can
// open the archive inside it (a tar inside a gzip). Forward seeks decode and drop; a backward seek
// starts a new decoding session. Nothing is buffered beyond libarchive's own blocks.
#include "ArchiveReader.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <memory>

namespace NPlugin {

class CDecodedInStream : public IInStream, public IStreamGetSize, public CMyUnknownImp {
    CMyComPtr<IInStream> _source;
    UInt64 _sourceSize;
    FormatSetupFunc _setup;
    UInt64 _size;
    bool _sizeDefined;
    UInt64 _pos = 0;
    UInt64 _decodePos = 0;
    std::unique_ptr<CArchiveReader> _reader; // null after the end of what could be decoded
    const Byte *_block = nullptr;            // the rest of the decoder's current block
    size_t _blockLeft = 0;

    HRESULT Restart();
    HRESULT DecodeForwardTo(UInt64 target, bool &reachedEnd);
    HRESULT LearnSize();
    HRESULT NextBytes(const Byte *&data, size_t &size);
    void Consume(size_t size);

public:
    CDecodedInStream(IInStream *source, UInt64 sourceSize, FormatSetupFunc setup, const UInt64 *size);
    virtual ~CDecodedInStream() {}

    COM_UNKNOWN_IMP(IInStream, IStreamGetSize)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT GetSize(UInt64 *size) override;
};

} // namespace NPlugin
