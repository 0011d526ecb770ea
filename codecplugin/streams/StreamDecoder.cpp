#include "streams/StreamDecoder.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "archive/IArchive.h"

#include <archive.h>
#include <bzlib.h>
#include <errno.h>
#include <fcntl.h>
#include <lzma.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <thread>

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
    ZSTD_DCtx *zstd = nullptr;
    bool active = false;

    explicit CImpl(int code) : filterCode(code) {
        memset(&z, 0, sizeof(z));
        memset(&bz, 0, sizeof(bz));
    }
    ~CImpl() {
        Stop();
        ZSTD_freeDCtx(zstd);
    }

    HRESULT Start() {
        Stop();
        bool ok = false;
        switch (filterCode) {
        case ARCHIVE_FILTER_GZIP:
            ok = inflateInit2(&z, 16 + MAX_WBITS) == Z_OK;
            break;
        case ARCHIVE_FILTER_BZIP2:
            ok = BZ2_bzDecompressInit(&bz, 0, 0) == BZ_OK;
            break;
        case ARCHIVE_FILTER_ZSTD:
            if (!zstd) {
                zstd = ZSTD_createDCtx();
                // Frames written with a long window (zstd --long) are read as their tool reads them.
                if (zstd) ZSTD_DCtx_setParameter(zstd, ZSTD_d_windowLogMax, 31);
            }
            ok = zstd && !ZSTD_isError(ZSTD_DCtx_reset(zstd, ZSTD_reset_session_only));
            break;
        default:
            // One stream at a time: what follows it is looked at before another one is started.
            ok = lzma_stream_decoder(&xz, UINT64_MAX, 0) == LZMA_OK;
            break;
        }
        if (!ok) return E_OUTOFMEMORY;
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
        case ARCHIVE_FILTER_ZSTD:
            break;
        default:
            lzma_end(&xz);
            break;
        }
    }
};

bool CStreamDecoder::Handles(int filterCode) {
    return filterCode == ARCHIVE_FILTER_GZIP || filterCode == ARCHIVE_FILTER_BZIP2 || filterCode == ARCHIVE_FILTER_XZ ||
           filterCode == ARCHIVE_FILTER_ZSTD;
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

// At the end of one member or stream another one may follow (for xz after its zero padding, four
// bytes at a time) and is read on. Anything else there is data after the end: the decoded data is
// whole, and the caller reports the rest.
HRESULT CStreamDecoder::AfterStreamEnd() {
    const int code = _impl->filterCode;
    UInt64 end = InProcessed();
    if (code == ARCHIVE_FILTER_XZ) {
        UInt64 zeros = 0;
        for (;;) {
            RINOK_PLUGIN(Fill(1));
            if (_inPos == _inLen || _in[_inPos] != 0) break;
            _inPos++;
            zeros++;
        }
        if (zeros % 4 == 0) end = InProcessed();
    }
    const size_t magicSize = code == ARCHIVE_FILTER_GZIP ? 2 : code == ARCHIVE_FILTER_XZ ? 6 : 4;
    RINOK_PLUGIN(Fill(magicSize));
    const Byte *p = _in.data() + _inPos;
    bool another = false;
    if (_inLen - _inPos >= magicSize && end == InProcessed()) {
        switch (code) {
        case ARCHIVE_FILTER_GZIP:
            another = p[0] == 0x1F && p[1] == 0x8B;
            break;
        case ARCHIVE_FILTER_BZIP2:
            another = memcmp(p, "BZh", 3) == 0 && p[3] >= '1' && p[3] <= '9';
            break;
        case ARCHIVE_FILTER_ZSTD:
            // A frame, or a skippable frame (magic 0x184D2A5?), which the library passes over.
            another = (p[0] == 0x28 && p[1] == 0xB5 && p[2] == 0x2F && p[3] == 0xFD) ||
                      ((p[0] & 0xF0) == 0x50 && p[1] == 0x2A && p[2] == 0x4D && p[3] == 0x18);
            break;
        default:
            another = memcmp(p,
                             "\xFD"
                             "7zXZ",
                             6) == 0;
            break;
        }
    }
    if (another) {
        if (code == ARCHIVE_FILTER_GZIP) return inflateReset(&_impl->z) == Z_OK ? S_OK : E_FAIL;
        if (code == ARCHIVE_FILTER_ZSTD) return S_OK;
        return _impl->Start();
    }
    if (end < _sourceSize) {
        _tail = true;
        _dataEnd = end;
    }
    End(NOperationResult::kOK);
    return S_OK;
}

// One call of the library.
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
    case ARCHIVE_FILTER_ZSTD: {
        ZSTD_inBuffer zin = {in, avail, 0};
        ZSTD_outBuffer zout = {out, outSize, 0};
        const size_t r = ZSTD_decompressStream(_impl->zstd, &zout, &zin);
        used = zin.pos;
        produced = zout.pos;
        if (ZSTD_isError(r)) {
            const ZSTD_ErrorCode e = ZSTD_getErrorCode(r);
            if (e == ZSTD_error_memory_allocation) return E_OUTOFMEMORY;
            End(e == ZSTD_error_checksum_wrong ? NOperationResult::kCRCError : NOperationResult::kDataError);
        } else if (r == 0) {
            streamEnd = true;
        } else if (used == 0 && produced == 0 && _inputEnded && avail == 0) {
            End(NOperationResult::kUnexpectedEnd);
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
            streamEnd = true;
        } else if (r == LZMA_MEM_ERROR) {
            return E_OUTOFMEMORY;
        } else if (r == LZMA_BUF_ERROR) {
            if (_inputEnded) End(NOperationResult::kUnexpectedEnd);
        } else if (r != LZMA_OK) {
            End(NOperationResult::kDataError);
        }
        break;
    }
    }
    _inPos += used;
    if (!streamEnd) return S_OK;
    return AfterStreamEnd();
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

bool CKeepBudget::Take(UInt64 n) {
    UInt64 left = _left.load();
    do {
        if (left < n) return false;
    } while (!_left.compare_exchange_weak(left, left - n));
    return true;
}

void CDecodedChunks::CUnmap::operator()(Byte *p) const {
    munmap(p, kChunkSize);
}

namespace {
// Writes all of it at pos; false on a failure of the file (no room left, say).
bool WriteAllAt(int fd, const Byte *data, size_t size, UInt64 pos) {
    for (size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(pos + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}
} // namespace

// The decoder fills a few small blocks in turn, and a thread of its own moves each filled block into
// the store. Storing touches memory or file pages never used before, which on some machines costs
// half as much as decoding gzip; this way both run at once and the decoder keeps writing to blocks
// that stay in its cache. The thread starts with the second block, so that small streams do
// without it, and without a thread the blocks are stored in turn by the decoding one.
class CDecodedChunks::CKeeper {
    static const size_t kBlockSize = 1 << 18;
    static const unsigned kBlocks = 16;
    struct CJob {
        unsigned block;
        size_t size;
    };
    CDecodedChunks &_owner;
    std::unique_ptr<Byte[]> _blocks[kBlocks];
    std::mutex _mutex;
    std::condition_variable _changed;
    std::deque<CJob> _jobs;
    std::vector<unsigned> _free;
    bool _storing = false;
    bool _stop = false;
    bool _failed = false;
    std::atomic<bool> _dead{false}; // the thread ended on an error of its own
    bool _threadTried = false;
    std::thread _thread;
    unsigned _cur = 0;
    size_t _curSize = 0;

    bool Store(const CJob &job) {
        try {
            return _owner.Keep(_blocks[job.block].get(), job.size);
        } catch (...) {
            return false;
        }
    }

    void Run() {
        try {
            std::unique_lock<std::mutex> lock(_mutex);
            for (;;) {
                _changed.wait(lock, [&] { return _stop || !_jobs.empty(); });
                if (_jobs.empty()) return;
                const CJob job = _jobs.front();
                _jobs.pop_front();
                _storing = true;
                const bool skip = _failed;
                lock.unlock();
                const bool ok = skip || Store(job);
                lock.lock();
                _storing = false;
                if (!ok) _failed = true;
                _free.push_back(job.block);
                _changed.notify_all();
            }
        } catch (...) {
            // Only the locking can throw: the decoder is told that the store is lost.
            _dead = true;
            _changed.notify_all();
        }
    }

    // Hands the filled block over and takes an empty one.
    bool Submit() {
        if (_curSize == 0) return true;
        const CJob job = {_cur, _curSize};
        _curSize = 0;
        if (!_threadTried) {
            _threadTried = true;
            try {
                _thread = std::thread([this] { Run(); });
            } catch (...) {
                // no thread to be had: the blocks are stored in turn
            }
        }
        if (!_thread.joinable()) return Store(job);
        std::unique_lock<std::mutex> lock(_mutex);
        if (_failed || _dead) return false;
        _jobs.push_back(job);
        _changed.notify_all();
        _changed.wait(lock, [&] { return !_free.empty() || _dead; });
        if (_dead) return false;
        _cur = _free.back();
        _free.pop_back();
        if (!_blocks[_cur]) _blocks[_cur].reset(new Byte[kBlockSize]);
        return !_failed;
    }

public:
    explicit CKeeper(CDecodedChunks &owner) : _owner(owner) {
        _blocks[0].reset(new Byte[kBlockSize]);
        for (unsigned i = kBlocks - 1; i > 0; i--)
            _free.push_back(i);
    }
    ~CKeeper() {
        if (!_thread.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _jobs.clear();
            _stop = true;
        }
        _changed.notify_all();
        _thread.join();
    }
    Byte *Tail(size_t &room) {
        room = kBlockSize - _curSize;
        return _blocks[_cur].get() + _curSize;
    }
    bool Grow(size_t n) {
        _curSize += n;
        return _curSize < kBlockSize || Submit();
    }
    // Everything is stored, and the thread has ended.
    bool Finish() {
        if (!_thread.joinable()) {
            const CJob job = {_cur, _curSize};
            _curSize = 0;
            return job.size == 0 || Store(job);
        }
        {
            std::unique_lock<std::mutex> lock(_mutex);
            if (_curSize != 0) {
                _jobs.push_back({_cur, _curSize});
                _curSize = 0;
            }
            _changed.notify_all();
            _changed.wait(lock, [&] { return (_jobs.empty() && !_storing) || _dead; });
            _stop = true;
        }
        _changed.notify_all();
        _thread.join();
        return !_failed && !_dead;
    }
};

CDecodedChunks::CDecodedChunks(std::shared_ptr<CKeepBudget> budget) : _budget(std::move(budget)) {}

CDecodedChunks::~CDecodedChunks() {
    _keeper.reset();
    if (_budget) _budget->Give(_chunks.size() * static_cast<UInt64>(kChunkSize));
    if (_fd >= 0) close(_fd);
}

// The file has no name: it goes with the last descriptor, also when the process is killed. It may
// fill at most half of the free room of its file system.
bool CDecodedChunks::StartSpill() {
    const char *dir = getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    _fd = open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (_fd < 0) {
        std::string path = std::string(dir) + "/tarnova-stream-XXXXXX";
        _fd = mkostemp(&path[0], O_CLOEXEC);
        if (_fd < 0) return false;
        unlink(path.c_str());
    }
    struct statvfs fs;
    if (fstatvfs(_fd, &fs) != 0) return false;
    _fileLimit = static_cast<UInt64>(fs.f_bavail) * fs.f_frsize / 2;
    return true;
}

// Runs on the keeper's thread. Chunks are mapped with their pages in place: one call instead of a
// page fault per page.
bool CDecodedChunks::Keep(const Byte *data, size_t size) {
    while (size != 0 && _fd < 0) {
        const size_t used = static_cast<size_t>(_size % kChunkSize);
        if (used == 0 && _size / kChunkSize == _chunks.size()) {
            void *p = MAP_FAILED;
            if (!_budget || _budget->Take(kChunkSize)) {
                p = mmap(nullptr, kChunkSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1,
                         0);
                if (p == MAP_FAILED && _budget) _budget->Give(kChunkSize);
            }
            if (p == MAP_FAILED) {
                if (!StartSpill()) return false;
                break;
            }
            try {
                _chunks.emplace_back(static_cast<Byte *>(p));
            } catch (...) {
                munmap(p, kChunkSize);
                if (_budget) _budget->Give(kChunkSize);
                throw;
            }
        }
        const size_t n = std::min(size, kChunkSize - used);
        memcpy(_chunks[static_cast<size_t>(_size / kChunkSize)].get() + used, data, n);
        data += n;
        size -= n;
        _size += n;
        _memSize = _size;
    }
    if (size == 0) return true;
    const UInt64 filePos = _size - _memSize;
    if (filePos + size > _fileLimit || !WriteAllAt(_fd, data, size, filePos)) return false;
    _size += size;
    return true;
}

Byte *CDecodedChunks::Tail(size_t &room) {
    if (!_keeper) _keeper.reset(new CKeeper(*this));
    return _keeper->Tail(room);
}

bool CDecodedChunks::Grow(size_t n) {
    return _keeper && _keeper->Grow(n);
}

bool CDecodedChunks::Finish() {
    if (!_keeper) return true;
    const bool ok = _keeper->Finish();
    _keeper.reset();
    return ok;
}

size_t CDecodedChunks::Copy(UInt64 pos, Byte *data, size_t size) const {
    size_t done = 0;
    while (done < size && pos < _memSize) {
        const size_t chunk = static_cast<size_t>(pos / kChunkSize), off = static_cast<size_t>(pos % kChunkSize);
        const size_t n = static_cast<size_t>(std::min<UInt64>({size - done, kChunkSize - off, _memSize - pos}));
        memcpy(data + done, _chunks[chunk].get() + off, n);
        done += n;
        pos += n;
    }
    while (done < size && pos < _size) {
        const size_t want = static_cast<size_t>(std::min<UInt64>(size - done, _size - pos));
        const ssize_t n = pread(_fd, data + done, want, static_cast<off_t>(pos - _memSize));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        pos += static_cast<UInt64>(n);
    }
    return done;
}

} // namespace NPlugin
