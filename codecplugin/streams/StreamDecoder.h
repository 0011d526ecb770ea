#pragma once

// Decodes a gzip, bzip2, xz or zstd stream with its own library rather than through libarchive,
// whose filters drop the part of a block decoded before a failure and do not check gzip trailers.
// Every byte the decoder produced comes out, also in front of a cut or damage; gzip members are
// checked against their CRC and length as they are read. Concatenated members and streams read as
// one; anything else behind the last of them is data after the end, reported but not decoded.
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <atomic>
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
    UInt64 _dataEnd = 0; // where the last whole stream ended, when data follows it
    bool _tail = false;
    std::unique_ptr<CImpl> _impl;

    HRESULT Fill(size_t need);
    HRESULT Step(Byte *out, size_t outSize, size_t &produced);
    HRESULT AfterStreamEnd();
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
    // After a clean end: whether bytes that are no stream of the format follow, and where they start.
    bool HasTail() const { return _tail; }
    UInt64 DataEnd() const { return _tail ? _dataEnd : _sourceSize; }
};

// How many decoded bytes the stream levels of one open may keep in memory together. A level inside
// another takes what the outer ones left, so that nesting does not multiply the memory.
class CKeepBudget {
    std::atomic<UInt64> _left;

public:
    explicit CKeepBudget(UInt64 bytes) : _left(bytes) {}
    bool Take(UInt64 n);
    void Give(UInt64 n) { _left += n; }
};

// The decoded bytes of a whole stream, kept so that the archive inside is listed and extracted
// without decoding the stream again: in memory as far as the budget goes, the rest in a temporary
// file that is gone when the last reader lets go of it.
class CDecodedChunks {
    struct CUnmap {
        void operator()(Byte *p) const;
    };
    class CKeeper;
    std::vector<std::unique_ptr<Byte, CUnmap>> _chunks;
    std::shared_ptr<CKeepBudget> _budget;
    UInt64 _size = 0;
    UInt64 _memSize = 0; // the first bytes, in _chunks; the rest is in the file
    int _fd = -1;
    UInt64 _fileLimit = 0;
    std::unique_ptr<CKeeper> _keeper; // takes the decoded bytes on their way into the store

    bool StartSpill();
    bool Keep(const Byte *data, size_t size);

public:
    static const size_t kChunkSize = 1 << 21;
    explicit CDecodedChunks(std::shared_ptr<CKeepBudget> budget);
    ~CDecodedChunks();
    CDecodedChunks(const CDecodedChunks &) = delete;
    CDecodedChunks &operator=(const CDecodedChunks &) = delete;

    // Valid after Finish, as is everything below that reads.
    UInt64 Size() const { return _size; }
    // Room for at least one byte at the end.
    Byte *Tail(size_t &room);
    // Takes n bytes written at Tail; false when neither memory nor the temporary file could take
    // them (noticed some blocks later).
    bool Grow(size_t n);
    // After the last Grow: everything is readable; false as for Grow.
    bool Finish();
    // Up to size bytes from pos; fewer only at the end or when the temporary file fails.
    size_t Copy(UInt64 pos, Byte *data, size_t size) const;
    // Calls f(data, n) over the whole data in order.
    template <typename F> HRESULT ForEach(F f) const {
        UInt64 left = _memSize;
        for (const auto &c : _chunks) {
            const size_t n = left < kChunkSize ? static_cast<size_t>(left) : kChunkSize;
            if (n == 0) break;
            const HRESULT res = f(c.get(), n);
            if (res != S_OK) return res;
            left -= n;
        }
        if (_size == _memSize) return S_OK;
        std::vector<Byte> buf(1 << 20);
        for (UInt64 pos = _memSize; pos < _size;) {
            const size_t n = Copy(pos, buf.data(), buf.size());
            if (n == 0) return E_FAIL;
            const HRESULT res = f(buf.data(), n);
            if (res != S_OK) return res;
            pos += n;
        }
        return S_OK;
    }
};

} // namespace NPlugin
