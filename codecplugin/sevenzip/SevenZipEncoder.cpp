#include "sevenzip/SevenZipEncoder.h"

#include "coders/ParallelBlockEncoder.h"
#include "PropVariantUtils.h"

#include <bzlib.h>
#include <openssl/evp.h>
#include <string.h>
#include <zlib.h>

namespace NPlugin {

using namespace NSevenZip;

namespace {

const size_t kOutBlock = 1 << 16;

// Counts what passes on to the next stage.
class CCountingSink : public CSevenZipSink {
    CSevenZipSink *_next;

public:
    UInt64 count = 0;
    explicit CCountingSink(CSevenZipSink *next) : _next(next) {}
    HRESULT Write(const Byte *data, size_t size) override {
        count += size;
        return _next->Write(data, size);
    }
    HRESULT Finish() override { return _next->Finish(); }
};

class CPassSink : public CSevenZipSink {
    CSevenZipSink *_next;

public:
    explicit CPassSink(CSevenZipSink *next) : _next(next) {}
    HRESULT Write(const Byte *data, size_t size) override { return _next->Write(data, size); }
    HRESULT Finish() override { return _next->Finish(); }
};

class CLzmaSink : public CSevenZipSink {
    CSevenZipSink *_next;
    lzma_stream _strm = LZMA_STREAM_INIT;
    bool _active = false;
    Byte _out[kOutBlock];

    HRESULT Run(const Byte *data, size_t size, lzma_action action) {
        _strm.next_in = data;
        _strm.avail_in = size;
        for (;;) {
            _strm.next_out = _out;
            _strm.avail_out = sizeof(_out);
            const lzma_ret r = lzma_code(&_strm, action);
            const size_t n = sizeof(_out) - _strm.avail_out;
            if (n) RINOK_PLUGIN(_next->Write(_out, n));
            if (r == LZMA_STREAM_END) return S_OK;
            if (r != LZMA_OK) return r == LZMA_MEM_ERROR ? E_OUTOFMEMORY : E_FAIL;
            if (action == LZMA_RUN && _strm.avail_in == 0) return S_OK;
        }
    }

public:
    explicit CLzmaSink(CSevenZipSink *next) : _next(next) {}
    ~CLzmaSink() override {
        if (_active) lzma_end(&_strm);
    }
    HRESULT Init(const lzma_filter *filters) {
        const lzma_ret r = lzma_raw_encoder(&_strm, filters);
        if (r != LZMA_OK) return r == LZMA_MEM_ERROR ? E_OUTOFMEMORY : E_INVALIDARG;
        _active = true;
        return S_OK;
    }
    HRESULT Write(const Byte *data, size_t size) override { return size ? Run(data, size, LZMA_RUN) : S_OK; }
    HRESULT Finish() override {
        RINOK_PLUGIN(Run(nullptr, 0, LZMA_FINISH));
        return _next->Finish();
    }
};

class CDeflateSink : public CSevenZipSink {
    CSevenZipSink *_next;
    z_stream _z;
    bool _active = false;
    Byte _out[kOutBlock];

    HRESULT Run(const Byte *data, size_t size, int flush) {
        _z.next_in = const_cast<Byte *>(data);
        _z.avail_in = static_cast<uInt>(size);
        for (;;) {
            _z.next_out = _out;
            _z.avail_out = sizeof(_out);
            const int r = deflate(&_z, flush);
            const size_t n = sizeof(_out) - _z.avail_out;
            if (n) RINOK_PLUGIN(_next->Write(_out, n));
            if (r == Z_STREAM_END) return S_OK;
            if (r != Z_OK && r != Z_BUF_ERROR) return E_FAIL;
            if (flush == Z_NO_FLUSH && _z.avail_in == 0) return S_OK;
        }
    }

public:
    CDeflateSink(CSevenZipSink *next, int level) : _next(next) {
        memset(&_z, 0, sizeof(_z));
        _active = deflateInit2(&_z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~CDeflateSink() override {
        if (_active) deflateEnd(&_z);
    }
    bool Ok() const { return _active; }
    HRESULT Write(const Byte *data, size_t size) override {
        // zlib counts in 32 bits.
        while (size != 0) {
            const size_t n = size > (1u << 30) ? (1u << 30) : size;
            RINOK_PLUGIN(Run(data, n, Z_NO_FLUSH));
            data += n;
            size -= n;
        }
        return S_OK;
    }
    HRESULT Finish() override {
        RINOK_PLUGIN(Run(nullptr, 0, Z_FINISH));
        return _next->Finish();
    }
};

class CBzip2Sink : public CSevenZipSink {
    CSevenZipSink *_next;
    bz_stream _bz;
    bool _active = false;
    char _out[kOutBlock];

    HRESULT Run(const Byte *data, size_t size, int action) {
        _bz.next_in = const_cast<char *>(reinterpret_cast<const char *>(data));
        _bz.avail_in = static_cast<unsigned>(size);
        for (;;) {
            _bz.next_out = _out;
            _bz.avail_out = sizeof(_out);
            const int r = BZ2_bzCompress(&_bz, action);
            const size_t n = sizeof(_out) - _bz.avail_out;
            if (n) RINOK_PLUGIN(_next->Write(reinterpret_cast<Byte *>(_out), n));
            if (r == BZ_STREAM_END) return S_OK;
            if (r != BZ_RUN_OK && r != BZ_FINISH_OK) return E_FAIL;
            if (action == BZ_RUN && _bz.avail_in == 0) return S_OK;
        }
    }

public:
    CBzip2Sink(CSevenZipSink *next, int blockSize) : _next(next) {
        memset(&_bz, 0, sizeof(_bz));
        _active = BZ2_bzCompressInit(&_bz, blockSize, 0, 0) == BZ_OK;
    }
    ~CBzip2Sink() override {
        if (_active) BZ2_bzCompressEnd(&_bz);
    }
    bool Ok() const { return _active; }
    HRESULT Write(const Byte *data, size_t size) override {
        while (size != 0) {
            const size_t n = size > (1u << 30) ? (1u << 30) : size;
            RINOK_PLUGIN(Run(data, n, BZ_RUN));
            data += n;
            size -= n;
        }
        return S_OK;
    }
    HRESULT Finish() override {
        RINOK_PLUGIN(Run(nullptr, 0, BZ_FINISH));
        return _next->Finish();
    }
};

// AES-256-CBC; the last block is filled with zeros (the unpack size says where the data ends).
class CAesSink : public CSevenZipSink {
    CSevenZipSink *_next;
    EVP_CIPHER_CTX *_ctx;
    Byte _pending[16];
    size_t _numPending = 0;
    std::vector<Byte> _out;

public:
    CAesSink(CSevenZipSink *next, const Byte key[32], const Byte iv[16]) : _next(next), _ctx(EVP_CIPHER_CTX_new()) {
        if (_ctx && EVP_EncryptInit_ex(_ctx, EVP_aes_256_cbc(), nullptr, key, iv) == 1)
            EVP_CIPHER_CTX_set_padding(_ctx, 0);
        else {
            EVP_CIPHER_CTX_free(_ctx);
            _ctx = nullptr;
        }
    }
    ~CAesSink() override { EVP_CIPHER_CTX_free(_ctx); }
    bool Ok() const { return _ctx != nullptr; }
    HRESULT Crypt(const Byte *data, size_t size) {
        _out.resize(size);
        int len = 0;
        if (EVP_EncryptUpdate(_ctx, _out.data(), &len, data, static_cast<int>(size)) != 1 ||
            static_cast<size_t>(len) != size)
            return E_FAIL;
        return _next->Write(_out.data(), size);
    }
    HRESULT Write(const Byte *data, size_t size) override {
        if (_numPending) {
            const size_t n = std::min(size, 16 - _numPending);
            memcpy(_pending + _numPending, data, n);
            _numPending += n;
            data += n;
            size -= n;
            if (_numPending < 16) return S_OK;
            RINOK_PLUGIN(Crypt(_pending, 16));
            _numPending = 0;
        }
        while (size >= 16) {
            const size_t n = std::min<size_t>(size & ~static_cast<size_t>(15), 1 << 20);
            RINOK_PLUGIN(Crypt(data, n));
            data += n;
            size -= n;
        }
        memcpy(_pending, data, size);
        _numPending = size;
        return S_OK;
    }
    HRESULT Finish() override {
        if (_numPending) {
            memset(_pending + _numPending, 0, 16 - _numPending);
            RINOK_PLUGIN(Crypt(_pending, 16));
            _numPending = 0;
        }
        return _next->Finish();
    }
};

std::vector<Byte> FilterProps(const lzma_filter &filter) {
    uint32_t size = 0;
    std::vector<Byte> props;
    if (lzma_properties_size(&size, &filter) != LZMA_OK) return props;
    props.resize(size);
    if (size && lzma_properties_encode(&filter, props.data()) != LZMA_OK) props.clear();
    return props;
}

} // namespace

bool LzmaOptionsFor(int level, UInt64 dictionary, lzma_options_lzma &options) {
    const uint32_t preset = static_cast<uint32_t>(level < 0 ? 5 : (level > 9 ? 9 : level));
    if (lzma_lzma_preset(&options, preset)) return false;
    if (dictionary != 0) {
        options.dict_size =
            static_cast<uint32_t>(std::min<UInt64>(std::max<UInt64>(dictionary, LZMA_DICT_SIZE_MIN), 1536u << 20));
    }
    return true;
}

CSevenZipEncoder::~CSevenZipEncoder() {
    // Stages hold pointers to the ones after them: the first is freed first.
    for (auto &s : _stages)
        s.reset();
}

HRESULT CSevenZipEncoder::Init(const CSevenZipMethod &m, CSevenZipSink *sink, CEncodeProgress *progress) {
    _encrypt = m.encrypt;
    _progress = progress;
    _parallel = false;
    CSevenZipSink *next = sink;
    std::vector<std::unique_ptr<CSevenZipSink>> stages; // innermost first while building
    if (m.encrypt) {
        CAesSink *aes = new CAesSink(next, m.key, m.aes.iv);
        stages.emplace_back(aes);
        if (!aes->Ok()) return E_FAIL;
        CCountingSink *count = new CCountingSink(aes);
        stages.emplace_back(count);
        _codedSize = &count->count;
        next = count;
        _aes.methodId = kMethodAes;
        _aes.props = m.aes.Bytes();
    }
    _main = CCoder();
    switch (m.method) {
    case EWriteMethod::kCopy:
        _main.methodId = kMethodCopy;
        stages.emplace_back(new CPassSink(next));
        break;
    case EWriteMethod::kDeflate: {
        _main.methodId = kMethodDeflate;
        CDeflateSink *d = new CDeflateSink(next, m.level < 0 ? 6 : std::min(m.level, 9));
        stages.emplace_back(d);
        if (!d->Ok()) return E_OUTOFMEMORY;
        break;
    }
    case EWriteMethod::kBzip2: {
        _main.methodId = kMethodBzip2;
        const int block = m.level >= 5 || m.level < 0 ? 9 : (m.level >= 3 ? 5 : 1);
        if (m.threads > 1) {
            CBzip2MtEncoder *mt = new CBzip2MtEncoder(next, block, m.threads);
            stages.emplace_back(mt);
            mt->SetProgress(progress);
            _parallel = true;
            break;
        }
        CBzip2Sink *b = new CBzip2Sink(next, block);
        stages.emplace_back(b);
        if (!b->Ok()) return E_OUTOFMEMORY;
        break;
    }
    case EWriteMethod::kLzma:
    case EWriteMethod::kLzma2:
    default: {
        lzma_options_lzma opt;
        if (!LzmaOptionsFor(m.level, m.dictionary, opt)) return E_INVALIDARG;
        const bool lzma2 = m.method != EWriteMethod::kLzma;
        lzma_filter filters[2] = {{lzma2 ? LZMA_FILTER_LZMA2 : LZMA_FILTER_LZMA1, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
        _main.methodId = lzma2 ? kMethodLzma2 : kMethodLzma;
        _main.props = FilterProps(filters[0]);
        if (lzma2 && m.threads > 1) {
            CLzma2MtEncoder *mt = new CLzma2MtEncoder(next, opt, m.threads, m.expectedSize);
            stages.emplace_back(mt);
            mt->SetProgress(progress);
            _parallel = true;
        } else {
            CLzmaSink *l = new CLzmaSink(next);
            stages.emplace_back(l);
            RINOK_PLUGIN(l->Init(filters));
        }
        break;
    }
    }
    _top = stages.back().get();
    // Kept so that the outermost stage is destroyed first.
    for (size_t i = stages.size(); i-- > 0;)
        _stages.push_back(std::move(stages[i]));
    _inSize = 0;
    return S_OK;
}

HRESULT CSevenZipEncoder::Write(const Byte *data, size_t size) {
    _inSize += size;
    RINOK_PLUGIN(_top->Write(data, size));
    // A coder on this thread has coded what it took (but for what it keeps in its window).
    return _progress && !_parallel ? _progress->EncodeProgress(size, size) : S_OK;
}

HRESULT CSevenZipEncoder::Finish(CFolder &folder) {
    RINOK_PLUGIN(_top->Finish());
    folder = CFolder();
    if (_encrypt) {
        // The cipher first, as the packed stream's reader: some readers take the coders in that order.
        folder.coders.push_back(_aes);
        folder.unpackSizes.push_back(*_codedSize);
        folder.bindPairs.push_back(CBindPair{1, 0});
    }
    folder.coders.push_back(_main);
    folder.unpackSizes.push_back(_inSize);
    folder.packedStreams.push_back(0);
    return S_OK;
}

} // namespace NPlugin
