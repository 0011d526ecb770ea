#include "streams/StreamDecoder.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "archive/IArchive.h"

#include <archive.h>
#include <bzlib.h>
#include <lzma.h>
#include <string.h>
#include <sys/mman.h>
#include <zlib.h>

#include <algorithm>

namespace NPlugin {

namespace {
using namespace NArchive::NExtract;

const size_t kInSize = 1 << 18;
} // namespace

struct CStreamDecoder::CImpl {
    int filterCode;
    z_stream z;
    bz_stream bz;
    lzma_stream xz = LZMA_STREAM_INIT;
    bool active = false;

    explicit CImpl(int code) : filterCode(code) {
        memset(&z, 0, sizeof(z));
        memset(&bz, 0, sizeof(bz));
    }
    ~CImpl() { Stop(); }

    HRESULT Start() {
        Stop();
        int r = 0;
        switch (filterCode) {
        case ARCHIVE_FILTER_GZIP:
            r = inflateInit2(&z, 16 + MAX_WBITS) == Z_OK ? 0 : 1;
            break;
        case ARCHIVE_FILTER_BZIP2:
            r = BZ2_bzDecompressInit(&bz, 0, 0) == BZ_OK ? 0 : 1;
            break;
        default:
            r = lzma_stream_decoder(&xz, UINT64_MAX, LZMA_CONCATENATED) == LZMA_OK ? 0 : 1;
            break;
        }
        if (r != 0) return E_OUTOFMEMORY;
        active = true;
        return S_OK;
    }
    void Stop() {
        if (!active) return;
        active = false;
        switch (filterCode) {
        case ARCHIVE_FILTER_GZIP:
            inflateEnd(&z);
            break;
        case ARCHIVE_FILTER_BZIP2:
            BZ2_bzDecompressEnd(&bz);
            break;
        default:
            lzma_end(&xz);
            break;
        }
    }
};

bool CStreamDecoder::Handles(int filterCode) {
    return filterCode == ARCHIVE_FILTER_GZIP || filterCode == ARCHIVE_FILTER_BZIP2 || filterCode == ARCHIVE_FILTER_XZ;
}

CStreamDecoder::CStreamDecoder(IInStream *source, UInt64 sourceSize, int filterCode)
    : _source(source), _sourceSize(sourceSize), _in(kInSize), _result(NOperationResult::kOK),
      _impl(new CImpl(filterCode)) {}

CStreamDecoder::~CStreamDecoder() {}

void CStreamDecoder::End(Int32 result) {
    _ended = true;
    _result = result;
    _impl->Stop();
}

// Keeps at least `need` unread bytes in the buffer unless the input ends first. The source may be
// shared with other readers, so each read seeks to where this one left off.
HRESULT CStreamDecoder::Fill(size_t need) {
    if (_inLen - _inPos >= need || _inputEnded) return S_OK;
    memmove(_in.data(), _in.data() + _inPos, _inLen - _inPos);
    _inLen -= _inPos;
    _inPos = 0;
    while (_inLen < need && !_inputEnded) {
        size_t got = 0;
        const size_t want = static_cast<size_t>(std::min<UInt64>(_in.size() - _inLen, _sourceSize - _sourcePos));
        if (want != 0) {
            RINOK_PLUGIN(_source->Seek(static_cast<Int64>(_sourcePos), STREAM_SEEK_SET, nullptr));
            RINOK_PLUGIN(ReadStreamMax(_source, _in.data() + _inLen, want, got));
        }
        if (got == 0) _inputEnded = true;
        _inLen += got;
        _sourcePos += got;
    }
    return S_OK;
}

// One call of the library. At the end of a member or stream, another one right behind it is read
// on; anything else there is ignored, as gzip and bzip2 do.
HRESULT CStreamDecoder::Step(Byte *out, size_t outSize, size_t &produced) {
    produced = 0;
    RINOK_PLUGIN(Fill(1));
    const size_t avail = _inLen - _inPos;
    Byte *in = _in.data() + _inPos;
    size_t used = 0;
    bool streamEnd = false;
    switch (_impl->filterCode) {
    case ARCHIVE_FILTER_GZIP: {
        z_stream &z = _impl->z;
        z.next_in = in;
        z.avail_in = static_cast<uInt>(avail);
        z.next_out = out;
        z.avail_out = static_cast<uInt>(std::min<size_t>(outSize, 1u << 30));
        const uInt outBefore = z.avail_out;
        const int r = inflate(&z, Z_NO_FLUSH);
        used = avail - z.avail_in;
        produced = outBefore - z.avail_out;
        if (r == Z_STREAM_END) {
            streamEnd = true;
        } else if (r == Z_MEM_ERROR) {
            return E_OUTOFMEMORY;
        } else if (r == Z_BUF_ERROR || (r == Z_OK && used == 0 && produced == 0)) {
            if (_inputEnded && avail == used) End(NOperationResult::kUnexpectedEnd);
        } else if (r != Z_OK) {
            const char *msg = z.msg ? z.msg : "";
            End(strstr(msg, "check") && !strstr(msg, "header") ? NOperationResult::kCRCError
                                                               : NOperationResult::kDataError);
        }
        break;
    }
    case ARCHIVE_FILTER_BZIP2: {
        bz_stream &bz = _impl->bz;
        bz.next_in = reinterpret_cast<char *>(in);
        bz.avail_in = static_cast<unsigned>(avail);
        bz.next_out = reinterpret_cast<char *>(out);
        bz.avail_out = static_cast<unsigned>(std::min<size_t>(outSize, 1u << 30));
        const unsigned outBefore = bz.avail_out;
        const int r = BZ2_bzDecompress(&bz);
        used = avail - bz.avail_in;
        produced = outBefore - bz.avail_out;
        if (r == BZ_STREAM_END) {
            streamEnd = true;
        } else if (r == BZ_MEM_ERROR) {
            return E_OUTOFMEMORY;
        } else if (r == BZ_OK) {
            if (used == 0 && produced == 0 && _inputEnded && avail == 0) End(NOperationResult::kUnexpectedEnd);
        } else {
            End(NOperationResult::kDataError);
        }
        break;
    }
    default: {
        lzma_stream &xz = _impl->xz;
        xz.next_in = in;
        xz.avail_in = avail;
        xz.next_out = out;
        xz.avail_out = outSize;
        const lzma_ret r = lzma_code(&xz, _inputEnded ? LZMA_FINISH : LZMA_RUN);
        used = avail - xz.avail_in;
        produced = outSize - xz.avail_out;
        if (r == LZMA_STREAM_END) {
            _inPos += used;
            End(NOperationResult::kOK);
            return S_OK;
        }
        if (r == LZMA_MEM_ERROR) return E_OUTOFMEMORY;
        if (r == LZMA_BUF_ERROR) {
            if (_inputEnded) End(NOperationResult::kUnexpectedEnd);
        } else if (r != LZMA_OK) {
            End(NOperationResult::kDataError);
        }
        break;
    }
    }
    _inPos += used;
    if (!streamEnd) return S_OK;
    const bool gzip = _impl->filterCode == ARCHIVE_FILTER_GZIP;
    RINOK_PLUGIN(Fill(gzip ? 2 : 3));
    const Byte *next = _in.data() + _inPos;
    const bool another = gzip ? _inLen - _inPos >= 2 && next[0] == 0x1F && next[1] == 0x8B
                              : _inLen - _inPos >= 3 && memcmp(next, "BZh", 3) == 0;
    if (!another) {
        End(NOperationResult::kOK);
        return S_OK;
    }
    if (gzip) {
        if (inflateReset(&_impl->z) != Z_OK) return E_FAIL;
        return S_OK;
    }
    return _impl->Start();
}

HRESULT CStreamDecoder::Read(Byte *data, size_t size, size_t &got) {
    got = 0;
    if (!_ended && !_impl->active) RINOK_PLUGIN(_impl->Start());
    while (got < size && !_ended) {
        size_t produced = 0;
        RINOK_PLUGIN(Step(data + got, size - got, produced));
        got += produced;
    }
    return S_OK;
}

void CDecodedChunks::CUnmap::operator()(Byte *p) const {
    munmap(p, kChunkSize);
}

// Chunks are mapped with their pages in place: one call instead of a page fault per page.
Byte *CDecodedChunks::Tail(size_t &room) {
    const size_t used = static_cast<size_t>(_size % kChunkSize);
    if (used == 0 && _size / kChunkSize == _chunks.size()) {
        void *p = mmap(nullptr, kChunkSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (p == MAP_FAILED) return nullptr;
        _chunks.emplace_back(static_cast<Byte *>(p));
    }
    room = kChunkSize - used;
    return _chunks[static_cast<size_t>(_size / kChunkSize)].get() + used;
}

size_t CDecodedChunks::Copy(UInt64 pos, Byte *data, size_t size) const {
    size_t done = 0;
    while (done < size && pos < _size) {
        const size_t chunk = static_cast<size_t>(pos / kChunkSize), off = static_cast<size_t>(pos % kChunkSize);
        const size_t n = static_cast<size_t>(std::min<UInt64>({size - done, kChunkSize - off, _size - pos}));
        memcpy(data + done, _chunks[chunk].get() + off, n);
        done += n;
        pos += n;
    }
    return done;
}

} // namespace NPlugin
