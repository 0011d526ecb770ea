#include "sevenzip/SevenZipDecoder.h"

#include "PropVariantUtils.h"
#include "coders/LzmaCoder.h"
#include "sevenzip/SevenZipKey.h"
#include "common/MyCom.h"

#include <bzlib.h>
#include <lzma.h>
#include <openssl/evp.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

namespace NPlugin {

using namespace NSevenZip;

namespace {

const size_t kInBlock = 1 << 16;

class CPackSource : public CSevenZipSource {
    CMyComPtr<IInStream> _stream;
    UInt64 _pos;
    UInt64 _left;
    EDecodeError *_error;

public:
    CPackSource(IInStream *stream, UInt64 pos, UInt64 size, EDecodeError *error)
        : _stream(stream), _pos(pos), _left(size), _error(error) {}
    HRESULT Read(Byte *data, size_t size, size_t &got) override {
        got = 0;
        if (size > _left) size = static_cast<size_t>(_left);
        if (size == 0) return S_OK;
        // Sought every time: nothing else reads this stream meanwhile, but its position is not ours.
        RINOK_PLUGIN(_stream->Seek(static_cast<Int64>(_pos), STREAM_SEEK_SET, nullptr));
        while (got < size) {
            UInt32 n = 0;
            const UInt32 want = static_cast<UInt32>(size - got > (1u << 30) ? (1u << 30) : size - got);
            RINOK_PLUGIN(_stream->Read(data + got, want, &n));
            if (n == 0) break;
            got += n;
        }
        _pos += got;
        _left -= got;
        if (got == 0) {
            *_error = EDecodeError::kUnexpectedEnd;
            return S_FALSE;
        }
        return S_OK;
    }
};

// A coder fed from the stage before it, giving at most outSize bytes.
class CCodecSource : public CSevenZipSource {
protected:
    std::unique_ptr<CSevenZipSource> _up;
    EDecodeError *_error;
    UInt64 _outSize;
    UInt64 _produced = 0;
    Byte _in[kInBlock];
    size_t _inPos = 0, _inSize = 0;
    bool _inEnd = false;
    bool _ended = false;

    enum EStep { kContinue, kEnd, kBad };
    virtual EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
                       bool finish) = 0;

    HRESULT Fail(EDecodeError e) {
        if (*_error == EDecodeError::kNone) *_error = e;
        return S_FALSE;
    }

public:
    CCodecSource(std::unique_ptr<CSevenZipSource> up, UInt64 outSize, EDecodeError *error)
        : _up(std::move(up)), _error(error), _outSize(outSize) {}

    HRESULT Read(Byte *data, size_t size, size_t &got) override {
        got = 0;
        while (got < size && _produced < _outSize) {
            if (_ended) return Fail(EDecodeError::kData); // the coder's data ended short of its size
            // Refilled before it runs dry: AES needs whole blocks of 16 bytes.
            if (_inSize - _inPos < 16 && !_inEnd) {
                const size_t left = _inSize - _inPos;
                memmove(_in, _in + _inPos, left);
                _inPos = 0;
                size_t n = 0;
                RINOK_PLUGIN(_up->Read(_in + left, sizeof(_in) - left, n));
                _inSize = left + n;
                if (n == 0) _inEnd = true;
            }
            size_t outAvail = size - got;
            if (outAvail > _outSize - _produced) outAvail = static_cast<size_t>(_outSize - _produced);
            size_t inUsed = 0, outUsed = 0;
            const EStep s = Step(_in + _inPos, _inSize - _inPos, inUsed, data + got, outAvail, outUsed, _inEnd);
            _inPos += inUsed;
            got += outUsed;
            _produced += outUsed;
            if (s == kBad) return Fail(_inEnd ? EDecodeError::kUnexpectedEnd : EDecodeError::kData);
            if (s == kEnd) _ended = true;
            if (inUsed == 0 && outUsed == 0 && _inEnd && s == kContinue) return Fail(EDecodeError::kUnexpectedEnd);
        }
        return S_OK;
    }
};

class CLzmaSource : public CCodecSource {
    lzma_stream _strm = LZMA_STREAM_INIT;
    bool _active = false;

public:
    CLzmaSource(std::unique_ptr<CSevenZipSource> up, UInt64 outSize, EDecodeError *error)
        : CCodecSource(std::move(up), outSize, error) {}
    ~CLzmaSource() override {
        if (_active) lzma_end(&_strm);
    }
    HRESULT Init(const lzma_filter *filters) {
        const lzma_ret r = lzma_raw_decoder(&_strm, filters);
        if (r == LZMA_MEM_ERROR) return E_OUTOFMEMORY;
        if (r != LZMA_OK) return Fail(EDecodeError::kUnsupported);
        _active = true;
        return S_OK;
    }
    EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
               bool finish) override {
        _strm.next_in = in;
        _strm.avail_in = inAvail;
        _strm.next_out = out;
        _strm.avail_out = outAvail;
        const lzma_ret r = lzma_code(&_strm, finish ? LZMA_FINISH : LZMA_RUN);
        inUsed = inAvail - _strm.avail_in;
        outUsed = outAvail - _strm.avail_out;
        if (r == LZMA_STREAM_END) return kEnd;
        if (r == LZMA_OK) return kContinue;
        // Buffer error: no progress possible, which at the end of input means it ran out.
        if (r == LZMA_BUF_ERROR && finish) return kBad;
        return r == LZMA_BUF_ERROR ? kContinue : kBad;
    }
};

class CDeflateSource : public CCodecSource {
    z_stream _z;
    bool _active = false;

public:
    CDeflateSource(std::unique_ptr<CSevenZipSource> up, UInt64 outSize, EDecodeError *error)
        : CCodecSource(std::move(up), outSize, error) {
        memset(&_z, 0, sizeof(_z));
        _active = inflateInit2(&_z, -15) == Z_OK;
    }
    ~CDeflateSource() override {
        if (_active) inflateEnd(&_z);
    }
    bool Ok() const { return _active; }
    EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
               bool) override {
        _z.next_in = const_cast<Byte *>(in);
        _z.avail_in = static_cast<uInt>(inAvail);
        _z.next_out = out;
        _z.avail_out = static_cast<uInt>(outAvail);
        const int r = inflate(&_z, Z_NO_FLUSH);
        inUsed = inAvail - _z.avail_in;
        outUsed = outAvail - _z.avail_out;
        if (r == Z_STREAM_END) return kEnd;
        if (r == Z_OK || (r == Z_BUF_ERROR && inAvail != 0)) return kContinue;
        if (r == Z_BUF_ERROR) return kContinue; // more input may come; the caller sees the end
        return kBad;
    }
};

class CBzip2Source : public CCodecSource {
    bz_stream _bz;
    bool _active = false;

public:
    CBzip2Source(std::unique_ptr<CSevenZipSource> up, UInt64 outSize, EDecodeError *error)
        : CCodecSource(std::move(up), outSize, error) {
        memset(&_bz, 0, sizeof(_bz));
        _active = BZ2_bzDecompressInit(&_bz, 0, 0) == BZ_OK;
    }
    ~CBzip2Source() override {
        if (_active) BZ2_bzDecompressEnd(&_bz);
    }
    bool Ok() const { return _active; }
    EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
               bool) override {
        _bz.next_in = const_cast<char *>(reinterpret_cast<const char *>(in));
        _bz.avail_in = static_cast<unsigned>(inAvail);
        _bz.next_out = reinterpret_cast<char *>(out);
        _bz.avail_out = static_cast<unsigned>(outAvail);
        const int r = BZ2_bzDecompress(&_bz);
        inUsed = inAvail - _bz.avail_in;
        outUsed = outAvail - _bz.avail_out;
        if (r == BZ_STREAM_END) {
            // Streams one after another (parallel writers join them so): the next one starts anew.
            BZ2_bzDecompressEnd(&_bz);
            memset(&_bz, 0, sizeof(_bz));
            _active = BZ2_bzDecompressInit(&_bz, 0, 0) == BZ_OK;
            if (!_active) return kBad;
            return kContinue;
        }
        return r == BZ_OK ? kContinue : kBad;
    }
};

class CCopySource : public CCodecSource {
public:
    using CCodecSource::CCodecSource;
    EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
               bool) override {
        const size_t n = inAvail < outAvail ? inAvail : outAvail;
        memcpy(out, in, n);
        inUsed = outUsed = n;
        return kContinue;
    }
};

class CAesSource : public CCodecSource {
    EVP_CIPHER_CTX *_ctx;

public:
    CAesSource(std::unique_ptr<CSevenZipSource> up, UInt64 outSize, EDecodeError *error, const Byte key[32],
               const Byte iv[16])
        : CCodecSource(std::move(up), outSize, error), _ctx(EVP_CIPHER_CTX_new()) {
        if (_ctx && EVP_DecryptInit_ex(_ctx, EVP_aes_256_cbc(), nullptr, key, iv) == 1)
            EVP_CIPHER_CTX_set_padding(_ctx, 0);
    }
    ~CAesSource() override { EVP_CIPHER_CTX_free(_ctx); }
    bool Ok() const { return _ctx != nullptr; }
    EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
               bool finish) override {
        inUsed = outUsed = 0;
        // Whole blocks only; a tail shorter than a block waits for more input.
        size_t n = (inAvail < outAvail ? inAvail : outAvail) & ~static_cast<size_t>(15);
        if (n == 0) {
            if (outAvail < 16 && inAvail >= 16) {
                // The caller wants the last few bytes: decrypt one block aside.
                Byte block[16];
                int len = 0;
                if (EVP_DecryptUpdate(_ctx, block, &len, in, 16) != 1 || len != 16) return kBad;
                memcpy(out, block, outAvail);
                inUsed = 16;
                outUsed = outAvail;
                return kContinue;
            }
            return finish && inAvail != 0 ? kBad : kContinue;
        }
        int len = 0;
        if (EVP_DecryptUpdate(_ctx, out, &len, in, static_cast<int>(n)) != 1 || static_cast<size_t>(len) != n)
            return kBad;
        inUsed = outUsed = n;
        return kContinue;
    }
};

// Feeds a branch filter or Delta standing on its own: liblzma runs filters only in front of LZMA2, so
// the input is framed as uncompressed LZMA2 chunks.
class CLzma2FrameSource : public CSevenZipSource {
    std::unique_ptr<CSevenZipSource> _up;
    Byte _chunk[3 + kInBlock];
    size_t _pos = 0, _size = 0;
    bool _first = true, _done = false;

public:
    explicit CLzma2FrameSource(std::unique_ptr<CSevenZipSource> up) : _up(std::move(up)) {}
    HRESULT Read(Byte *data, size_t size, size_t &got) override {
        got = 0;
        while (got < size) {
            if (_pos == _size) {
                if (_done) return S_OK;
                size_t n = 0;
                RINOK_PLUGIN(_up->Read(_chunk + 3, kInBlock, n));
                _pos = 0;
                if (n == 0) {
                    _chunk[0] = 0;
                    _size = 1;
                    _done = true;
                } else {
                    _chunk[0] = _first ? 1 : 2;
                    _chunk[1] = static_cast<Byte>((n - 1) >> 8);
                    _chunk[2] = static_cast<Byte>(n - 1);
                    _size = 3 + n;
                    _first = false;
                }
            }
            const size_t n = size - got < _size - _pos ? size - got : _size - _pos;
            memcpy(data + got, _chunk + _pos, n);
            got += n;
            _pos += n;
        }
        return S_OK;
    }
};

bool IsLzmaFilter(UInt64 id, lzma_vli &out) {
    switch (id) {
    case kMethodX86:
        out = LZMA_FILTER_X86;
        return true;
    case kMethodPpc:
        out = LZMA_FILTER_POWERPC;
        return true;
    case kMethodIa64:
        out = LZMA_FILTER_IA64;
        return true;
    case kMethodArm:
        out = LZMA_FILTER_ARM;
        return true;
    case kMethodArmt:
        out = LZMA_FILTER_ARMTHUMB;
        return true;
    case kMethodSparc:
        out = LZMA_FILTER_SPARC;
        return true;
#ifdef LZMA_FILTER_ARM64
    case kMethodArm64:
        out = LZMA_FILTER_ARM64;
        return true;
#endif
    case kMethodDelta:
        out = LZMA_FILTER_DELTA;
        return true;
    case kMethodLzma:
        out = LZMA_FILTER_LZMA1;
        return true;
    case kMethodLzma2:
        out = LZMA_FILTER_LZMA2;
        return true;
    default:
        return false;
    }
}

bool IsKnown(UInt64 id) {
    lzma_vli v;
    return IsLzmaFilter(id, v) || id == kMethodCopy || id == kMethodDeflate || id == kMethodBzip2 || id == kMethodAes;
}

// The coders of a folder from the one giving its data down to the packed stream; empty when the
// folder is not a simple chain.
bool Chain(const CFolder &f, std::vector<size_t> &coders, std::vector<UInt64> &outSizes, UInt32 &packIndex) {
    coders.clear();
    outSizes.clear();
    if (f.packedStreams.size() != 1) return false;
    for (const CCoder &c : f.coders)
        if (c.numInStreams != 1 || c.numOutStreams != 1) return false;
    // With one in and one out each, coder i has in stream i and out stream i.
    size_t out = static_cast<size_t>(f.MainOutStream());
    for (size_t guard = 0; guard <= f.coders.size(); guard++) {
        if (out >= f.coders.size() || out >= f.unpackSizes.size()) return false;
        coders.push_back(out);
        outSizes.push_back(f.unpackSizes[out]);
        const UInt32 in = static_cast<UInt32>(out);
        if (f.packedStreams[0] == in) {
            packIndex = 0;
            return true;
        }
        bool found = false;
        for (const CBindPair &bp : f.bindPairs)
            if (bp.inIndex == in) {
                out = bp.outIndex;
                found = true;
                break;
            }
        if (!found) return false;
    }
    return false;
}

struct CFilterOptions {
    lzma_filter filters[LZMA_FILTERS_MAX + 1];
    size_t count = 0;
    CFilterOptions() {
        for (lzma_filter &f : filters) {
            f.id = LZMA_VLI_UNKNOWN;
            f.options = nullptr;
        }
    }
    ~CFilterOptions() {
        for (lzma_filter &f : filters)
            free(f.options);
    }
    bool Add(lzma_vli id, const std::vector<Byte> &props) {
        if (count >= LZMA_FILTERS_MAX) return false;
        lzma_filter &f = filters[count];
        f.id = id;
        if (lzma_properties_decode(&f, nullptr, props.data(), props.size()) != LZMA_OK) {
            f.id = LZMA_VLI_UNKNOWN;
            return false;
        }
        count++;
        return true;
    }
    bool AddFramingLzma2() {
        if (count >= LZMA_FILTERS_MAX) return false;
        lzma_options_lzma *opt = static_cast<lzma_options_lzma *>(calloc(1, sizeof(lzma_options_lzma)));
        if (!opt) return false;
        opt->dict_size = 1 << 20;
        filters[count].id = LZMA_FILTER_LZMA2;
        filters[count].options = opt;
        count++;
        return true;
    }
};

} // namespace

bool CSevenZipDecoder::Supports(const CFolder &folder) {
    std::vector<size_t> coders;
    std::vector<UInt64> sizes;
    UInt32 pack = 0;
    if (!Chain(folder, coders, sizes, pack)) return false;
    for (const CCoder &c : folder.coders)
        if (!IsKnown(c.methodId)) return false;
    return true;
}

bool CSevenZipDecoder::IsEncrypted(const CFolder &folder) {
    return folder.Uses(kMethodAes);
}

HRESULT CSevenZipDecoder::Init(IInStream *stream, const CDatabase &db, size_t folderIndex, const AesKeyFunc &key) {
    _error = EDecodeError::kNone;
    _top.reset();
    const CFolder &f = db.folders[folderIndex];
    std::vector<size_t> coders;
    std::vector<UInt64> outSizes;
    UInt32 pack = 0;
    if (!Chain(f, coders, outSizes, pack) || f.firstPackStream + pack >= db.packSizes.size()) {
        _error = EDecodeError::kUnsupported;
        return S_FALSE;
    }
    const UInt32 packStream = f.firstPackStream + pack;
    std::unique_ptr<CSevenZipSource> src(
        new CPackSource(stream, db.packStreamOffsets[packStream], db.packSizes[packStream], &_error));

    // From the packed end up; a run of filters ending in LZMA or LZMA2 becomes one liblzma chain.
    for (size_t k = coders.size(); k-- > 0;) {
        const CCoder &c = f.coders[coders[k]];
        const UInt64 outSize = outSizes[k];
        lzma_vli lid;
        if (IsLzmaFilter(c.methodId, lid)) {
            CFilterOptions opts;
            const bool compressing = lid == LZMA_FILTER_LZMA1 || lid == LZMA_FILTER_LZMA2;
            // Filters standing above this coder join its chain (outermost first in liblzma).
            size_t top = k;
            if (compressing)
                while (top > 0) {
                    lzma_vli next;
                    const CCoder &above = f.coders[coders[top - 1]];
                    if (!IsLzmaFilter(above.methodId, next) || next == LZMA_FILTER_LZMA1 || next == LZMA_FILTER_LZMA2 ||
                        top - 1 + 4 <= k)
                        break;
                    top--;
                }
            for (size_t j = top; j <= k; j++) {
                lzma_vli id = LZMA_VLI_UNKNOWN;
                IsLzmaFilter(f.coders[coders[j]].methodId, id);
                if (!opts.Add(id, f.coders[coders[j]].props)) {
                    _error = EDecodeError::kUnsupported;
                    return S_FALSE;
                }
            }
            // The compressing coder is the last of the chain; its output is outSizes[k].
            if (compressing) CapDecoderDictionary(opts.filters[opts.count - 1], outSize);
            if (!compressing) {
                if (!opts.AddFramingLzma2()) return E_OUTOFMEMORY;
                src.reset(new CLzma2FrameSource(std::move(src)));
            }
            CLzmaSource *lz = new CLzmaSource(std::move(src), outSizes[top], &_error);
            src.reset(lz);
            RINOK_PLUGIN(lz->Init(opts.filters));
            k = top;
            continue;
        }
        switch (c.methodId) {
        case kMethodCopy:
            src.reset(new CCopySource(std::move(src), outSize, &_error));
            break;
        case kMethodDeflate: {
            CDeflateSource *d = new CDeflateSource(std::move(src), outSize, &_error);
            src.reset(d);
            if (!d->Ok()) return E_OUTOFMEMORY;
            break;
        }
        case kMethodBzip2: {
            CBzip2Source *b = new CBzip2Source(std::move(src), outSize, &_error);
            src.reset(b);
            if (!b->Ok()) return E_OUTOFMEMORY;
            break;
        }
        case kMethodAes: {
            CSevenZipAesProps props;
            if (!props.Parse(c.props)) {
                _error = EDecodeError::kUnsupported;
                return S_FALSE;
            }
            Byte k32[32];
            const HRESULT res = key(c, k32);
            if (res == S_FALSE) {
                _error = EDecodeError::kNoPassword;
                return S_FALSE;
            }
            RINOK_PLUGIN(res);
            CAesSource *a = new CAesSource(std::move(src), outSize, &_error, k32, props.iv);
            memset(k32, 0, sizeof(k32));
            src.reset(a);
            if (!a->Ok()) return E_OUTOFMEMORY;
            break;
        }
        default:
            _error = EDecodeError::kUnsupported;
            return S_FALSE;
        }
    }
    _top = std::move(src);
    return S_OK;
}

HRESULT CSevenZipDecoder::Read(Byte *data, size_t size, size_t &got) {
    got = 0;
    if (!_top) return S_FALSE;
    return _top->Read(data, size, got);
}

HRESULT DecodeFolderToMemory(IInStream *stream, const CDatabase &db, size_t folderIndex, const AesKeyFunc &key,
                             std::vector<Byte> &out, EDecodeError &error) {
    const CFolder &f = db.folders[folderIndex];
    const UInt64 size = f.UnpackSize();
    error = EDecodeError::kNone;
    if (size > (static_cast<UInt64>(1) << 31)) {
        error = EDecodeError::kUnsupported;
        return S_FALSE;
    }
    CSevenZipDecoder decoder;
    HRESULT res = decoder.Init(stream, db, folderIndex, key);
    if (res == S_OK) {
        out.resize(static_cast<size_t>(size));
        size_t got = 0;
        res = decoder.Read(out.data(), out.size(), got);
        if (res == S_OK && got != out.size()) {
            res = S_FALSE;
            *decoder.ErrorSlot() = EDecodeError::kUnexpectedEnd;
        }
    }
    error = decoder.Error();
    if (res != S_OK) return res;
    if (f.crcDefined && Crc32(out.data(), out.size()) != f.crc) {
        error = EDecodeError::kData;
        return S_FALSE;
    }
    return S_OK;
}

} // namespace NPlugin
