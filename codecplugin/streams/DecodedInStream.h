#pragma once

// The decompressed data of a single-stream archive as a seekable stream, so that the program can
// open the archive inside it (a tar inside a gzip). Data kept by the open pass is read from there.
// Otherwise forward seeks decode and drop, and a backward seek starts a new decoding session;
// nothing is buffered beyond one block of the decoder.
#include "streams/StreamDecoder.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <memory>
#include <vector>

namespace NPlugin {

// Private to the plug-in: a decoded stream hands the keep budget of its open to a stream level
// opened inside it.
struct IDecodedStreamBudget : public IUnknown {
    virtual std::shared_ptr<CKeepBudget> KeepBudget() = 0;
};
inline constexpr GUID IID_IDecodedStreamBudget = {
    0x6A3C90E1, 0x52B7, 0x4D0F, {0x9E, 0x21, 0x7B, 0x44, 0xC5, 0x08, 0xA3, 0x6D}};

class CDecodedInStream : public IInStream, public IStreamGetSize, public IDecodedStreamBudget, public CMyUnknownImp {
    CMyComPtr<IInStream> _source;
    UInt64 _sourceSize;
    int _filterCode;
    std::shared_ptr<const CDecodedChunks> _kept; // the whole decoded data, when the open pass kept it
    std::shared_ptr<CKeepBudget> _budget;
    UInt64 _size;
    bool _sizeDefined;
    UInt64 _pos = 0;
    UInt64 _decodePos = 0;
    std::unique_ptr<CStreamDecoder> _decoder; // null after the end of what could be decoded
    std::vector<Byte> _decoded;
    const Byte *_block = nullptr; // the rest of the decoder's current block
    size_t _blockLeft = 0;

    void Restart();
    HRESULT DecodeForwardTo(UInt64 target, bool &reachedEnd);
    HRESULT LearnSize();
    HRESULT NextBytes(const Byte *&data, size_t &size);
    void Consume(size_t size);

public:
    CDecodedInStream(IInStream *source, UInt64 sourceSize, int filterCode, const UInt64 *size,
                     std::shared_ptr<const CDecodedChunks> kept, std::shared_ptr<CKeepBudget> budget);
    virtual ~CDecodedInStream() {}

    COM_UNKNOWN_IMP(IInStream, IStreamGetSize, IDecodedStreamBudget)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT GetSize(UInt64 *size) override;
    std::shared_ptr<CKeepBudget> KeepBudget() override { return _budget; }
};

} // namespace NPlugin
