#pragma once

// Decodes a gzip, bzip2 or xz stream with its own library rather than through libarchive, whose
// filters drop the part of a block decoded before a failure and do not check gzip trailers. Every
// byte the decoder produced comes out, also in front of a cut or damage; gzip members are checked
// against their CRC and length as they are read. Concatenated members and streams read as one.
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <memory>
#include <vector>

namespace NPlugin {

class CStreamDecoder {
    struct CImpl;
    CMyComPtr<IInStream> _source;
    UInt64 _sourceSize;
    UInt64 _sourcePos = 0;
    std::vector<Byte> _in;
    size_t _inPos = 0;
    size_t _inLen = 0;
    bool _inputEnded = false;
    bool _ended = false;
    Int32 _result;
    std::unique_ptr<CImpl> _impl;

    HRESULT Fill(size_t need);
    HRESULT Step(Byte *out, size_t outSize, size_t &produced);
    void End(Int32 result);

public:
    // Whether streams of this libarchive filter code are decoded here.
    static bool Handles(int filterCode);

    CStreamDecoder(IInStream *source, UInt64 sourceSize, int filterCode);
    ~CStreamDecoder();
    CStreamDecoder(const CStreamDecoder &) = delete;
    CStreamDecoder &operator=(const CStreamDecoder &) = delete;

    // Fills data as far as the stream goes; got < size only at the end, after which Result() tells
    // how the stream ended. Failures of the source are returned.
    HRESULT Read(Byte *data, size_t size, size_t &got);
    bool Ended() const { return _ended; }
    // An operation result: kOK, kCRCError, kDataError or kUnexpectedEnd.
    Int32 Result() const { return _result; }
    UInt64 InProcessed() const { return _sourcePos - (_inLen - _inPos); }
};

// The decoded bytes of a whole stream, kept in memory when they are few enough, so that the archive
// inside is listed and extracted without decoding the stream again.
class CDecodedChunks {
    struct CUnmap {
        void operator()(Byte *p) const;
    };
    std::vector<std::unique_ptr<Byte, CUnmap>> _chunks;
    UInt64 _size = 0;

public:
    static const size_t kChunkSize = 1 << 21;
    UInt64 Size() const { return _size; }
    // Room for at least one byte at the end; null when memory runs out.
    Byte *Tail(size_t &room);
    void Grow(size_t n) { _size += n; }
    // Up to size bytes from pos; fewer only at the end.
    size_t Copy(UInt64 pos, Byte *data, size_t size) const;
    template <typename F> HRESULT ForEach(F f) const {
        UInt64 left = _size;
        for (const auto &c : _chunks) {
            const size_t n = left < kChunkSize ? static_cast<size_t>(left) : kChunkSize;
            if (n == 0) break;
            const HRESULT res = f(c.get(), n);
            if (res != S_OK) return res;
            left -= n;
        }
        return S_OK;
    }
};

} // namespace NPlugin
