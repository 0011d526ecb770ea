#include "zip/ZipCompressor.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "common/MyCom.h"

#include <algorithm>
#include <bzlib.h>
#include <lzma.h>
#include <string.h>
#include <zlib.h>

namespace NPlugin {

struct CZipCompressor::CJob {
    size_t entry = 0;
    CByteBuffer in;
    CByteBuffer dict; // deflate: the 32 KiB of the entry before this block
    size_t inSize = 0;
    bool first = false;
    bool last = false;
    bool store = false;
    CByteBuffer out;
    UInt32 crc = 0;
    bool done = false;
    bool failed = false;
    HRESULT result = S_OK;
    size_t budget = 0; // bytes counted against the memory bound while the job is in flight
};

namespace {

const size_t kBlock = 1 << 20;
const size_t kWindow = 32 << 10;
const size_t kWholeLimit = 8 << 20;
const size_t kReadChunk = 1 << 18;
const size_t kFirstRead = 64 << 10;

UInt32 Crc(UInt32 crc, const Byte *p, size_t n) {
    return static_cast<UInt32>(crc32(crc, p, static_cast<uInt>(n)));
}

// One deflate block: primed with what came before, ended on a byte boundary unless it is the last.
bool DeflateBlock(CZipCompressor::CJob &j, int level) {
    z_stream z;
    memset(&z, 0, sizeof(z));
    // A small entry gets a window and hash table its size: setting up and clearing the full ones
    // costs more than compressing a few kilobytes.
    int windowBits = 15;
    int memLevel = 8;
    if (j.dict.empty() && j.in.size() < (size_t(1) << 15)) {
        windowBits = 9;
        while ((size_t(1) << windowBits) < j.in.size())
            windowBits++;
        memLevel = std::max(1, std::min(8, windowBits - 7));
    }
    if (deflateInit2(&z, level < 0 ? Z_DEFAULT_COMPRESSION : std::min(level, 9), Z_DEFLATED, -windowBits, memLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    if (!j.dict.empty()) deflateSetDictionary(&z, j.dict.data(), static_cast<uInt>(j.dict.size()));
    j.out.resize(deflateBound(&z, static_cast<uLong>(j.in.size())) + 64);
    z.next_in = j.in.data();
    z.avail_in = static_cast<uInt>(j.in.size());
    z.next_out = j.out.data();
    z.avail_out = static_cast<uInt>(j.out.size());
    const int r = deflate(&z, j.last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool ok = j.last ? r == Z_STREAM_END : (r == Z_OK && z.avail_in == 0 && z.avail_out != 0);
    j.out.resize(z.total_out);
    deflateEnd(&z);
    return ok;
}

// A BZip2 or LZMA stream fed in pieces; output is appended.
class CStreamEncoder {
    zip_int32_t _method;
    bz_stream _bz;
    lzma_stream _lz = LZMA_STREAM_INIT;
    bool _ready = false;

public:
    explicit CStreamEncoder(zip_int32_t method) : _method(method) { memset(&_bz, 0, sizeof(_bz)); }
    ~CStreamEncoder() {
        if (!_ready) return;
        if (_method == ZIP_CM_BZIP2)
            BZ2_bzCompressEnd(&_bz);
        else
            lzma_end(&_lz);
    }
    CStreamEncoder(const CStreamEncoder &) = delete;
    CStreamEncoder &operator=(const CStreamEncoder &) = delete;

    bool Init(int level, CByteBuffer &out) {
        if (_method == ZIP_CM_BZIP2) {
            _ready = BZ2_bzCompressInit(&_bz, level < 1 ? 9 : std::min(level, 9), 0, 0) == BZ_OK;
            return _ready;
        }
        lzma_options_lzma options;
        if (lzma_lzma_preset(&options, level < 0 ? 5 : static_cast<uint32_t>(std::min(level, 9)))) return false;
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        // The zip form of LZMA: the coder's version, the length of its properties, the properties.
        Byte header[9] = {9, 4, 5, 0};
        if (lzma_properties_encode(&filters[0], header + 4) != LZMA_OK) return false;
        _ready = lzma_raw_encoder(&_lz, filters) == LZMA_OK;
        out.insert(out.end(), header, header + sizeof(header));
        return _ready;
    }

    bool Code(const Byte *in, size_t size, bool finish, CByteBuffer &out) {
        const size_t kStep = 1 << 16;
        if (_method == ZIP_CM_BZIP2) {
            _bz.next_in = const_cast<char *>(reinterpret_cast<const char *>(in));
            _bz.avail_in = static_cast<unsigned>(size);
        } else {
            _lz.next_in = in;
            _lz.avail_in = size;
        }
        for (;;) {
            const size_t used = out.size();
            out.resize(used + kStep);
            bool end;
            size_t produced;
            if (_method == ZIP_CM_BZIP2) {
                _bz.next_out = reinterpret_cast<char *>(out.data() + used);
                _bz.avail_out = kStep;
                const int r = BZ2_bzCompress(&_bz, finish ? BZ_FINISH : BZ_RUN);
                if (r < 0) return false;
                produced = kStep - _bz.avail_out;
                end = finish ? r == BZ_STREAM_END : _bz.avail_in == 0;
            } else {
                _lz.next_out = out.data() + used;
                _lz.avail_out = kStep;
                const lzma_ret r = lzma_code(&_lz, finish ? LZMA_FINISH : LZMA_RUN);
                if (r != LZMA_OK && r != LZMA_STREAM_END) return false;
                produced = kStep - _lz.avail_out;
                end = finish ? r == LZMA_STREAM_END : _lz.avail_in == 0;
            }
            out.resize(used + produced);
            if (end) return true;
        }
    }
};

bool CompressWhole(CZipCompressor::CJob &j, zip_int32_t method, int level) {
    CStreamEncoder encoder(method);
    return encoder.Init(level, j.out) && encoder.Code(j.in.data(), j.in.size(), true, j.out);
}

} // namespace

CZipCompressor::CZipCompressor(zip_int32_t method, int level, UInt32 numThreads)
    : _method(method), _level(level), _numThreads(numThreads == 0 ? 1 : numThreads) {}

CZipCompressor::~CZipCompressor() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stop = true;
    }
    _workReady.notify_all();
    for (std::thread &t : _threads)
        t.join();
    if (_spool) fclose(_spool);
}

HRESULT CZipCompressor::Start(const std::function<HRESULT(UInt64, UInt64)> &ratio, IZipEntrySink *sink) {
    _ratio = ratio;
    _sink = sink;
    if (_sink) return S_OK;
    _spool = tmpfile();
    if (!_spool) return E_FAIL;
    _spoolBuf.resize(1 << 20);
    setvbuf(_spool, _spoolBuf.data(), _IOFBF, _spoolBuf.size());
    return S_OK;
}

bool CZipCompressor::RunJob(CJob &j) {
    j.crc = Crc(0, j.in.data(), j.in.size());
    bool ok = false;
    switch (j.store ? ZIP_CM_STORE : _method) {
    case ZIP_CM_DEFLATE:
        ok = DeflateBlock(j, _level);
        break;
    case ZIP_CM_BZIP2:
    case ZIP_CM_LZMA:
        ok = CompressWhole(j, _method, _level);
        break;
    default:
        j.out.swap(j.in);
        ok = true;
        break;
    }
    CByteBuffer().swap(j.in);
    CByteBuffer().swap(j.dict);
    return ok;
}

void CZipCompressor::Worker() {
    for (;;) {
        CJob *j = nullptr;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _workReady.wait(lock, [this] { return _stop || !_queue.empty(); });
            if (_stop) return;
            j = _queue.front();
            _queue.pop_front();
        }
        bool ok = false;
        // Nothing may leave a worker thread: a failure is the job's result.
        try {
            ok = RunJob(*j);
        } catch (...) {
            ok = false;
        }
        {
            std::lock_guard<std::mutex> lock(_mutex);
            j->done = true;
            j->failed = !ok;
        }
        _jobDone.notify_all();
    }
}

// A first piece through a small scratch buffer, so that a small file takes no more memory than its
// size while it waits; the rest of a block straight into the job's buffer.
HRESULT CZipCompressor::ReadBlock(ISequentialInStream *in, size_t size, CByteBuffer &data) {
    size = std::min(size, kBlock);
    const size_t first = std::min(size, kFirstRead);
    _readBuf.resize(kFirstRead);
    size_t got = 0;
    HRESULT res = ReadStreamMax(in, _readBuf.data(), first, got);
    if (res != S_OK || got < first || first == size) {
        data.assign(_readBuf.begin(), _readBuf.begin() + static_cast<std::ptrdiff_t>(got));
        return res;
    }
    data.resize(size);
    memcpy(data.data(), _readBuf.data(), got);
    size_t more = 0;
    res = ReadStreamMax(in, data.data() + got, size - got, more);
    data.resize(got + more);
    return res;
}

HRESULT CZipCompressor::Emit(size_t entry, const Byte *data, size_t size, bool first, bool last) {
    if (_sink) return _sink->EntryData(entry, data, size, first, last);
    return SpoolWrite(data, size);
}

HRESULT CZipCompressor::SpoolWrite(const void *data, size_t size) {
    if (size != 0 && fwrite(data, 1, size, _spool) != size) return E_FAIL;
    _spoolPos += size;
    return S_OK;
}

HRESULT CZipCompressor::WriteFront() {
    CJob *j = _inFlight.front().get();
    if (!_started && !j->done) {
        j->failed = !RunJob(*j);
        j->done = true;
    }
    {
        std::unique_lock<std::mutex> lock(_mutex);
        _jobDone.wait(lock, [j] { return j->done; });
    }
    if (j->failed) return j->result != S_OK ? j->result : E_OUTOFMEMORY;
    CSpoolEntry &e = _entries[j->entry];
    if (j->first) e.offset = _spoolPos;
    e.packSize += j->out.size();
    e.crc = static_cast<UInt32>(crc32_combine(e.crc, j->crc, static_cast<z_off_t>(j->inSize)));
    e.size += j->inSize;
    RINOK_PLUGIN(Emit(j->entry, j->out.data(), j->out.size(), j->first, j->last));
    _inFlightBytes -= j->budget;
    _doneIn += j->inSize;
    _doneOut += j->out.size();
    _inFlight.pop_front();
    return _ratio ? _ratio(_doneIn, _doneOut) : S_OK;
}

HRESULT CZipCompressor::Drain() {
    while (!_inFlight.empty())
        RINOK_PLUGIN(WriteFront());
    return S_OK;
}

HRESULT CZipCompressor::Submit(std::unique_ptr<CJob> job) {
    // Memory stays bounded: the oldest job is written out before more input is read.
    const size_t budget = std::max<size_t>(16 << 20, static_cast<size_t>(_numThreads) * (4 << 20));
    const size_t maxJobs = 16 * static_cast<size_t>(_numThreads) + 16;
    if (!job->done) job->inSize = job->in.size();
    job->budget = job->inSize;
    while (!_inFlight.empty() && (_inFlightBytes + job->budget > budget || _inFlight.size() >= maxJobs))
        RINOK_PLUGIN(WriteFront());
    CJob *raw = job.get();
    _inFlightBytes += job->budget;
    _inFlight.push_back(std::move(job));
    if (!_started) {
        const size_t waiting = static_cast<size_t>(
            std::count_if(_inFlight.begin(), _inFlight.end(), [](const std::unique_ptr<CJob> &j) { return !j->done; }));
        if (waiting < 2) return S_OK;
        _started = true;
        for (UInt32 i = 0; i < _numThreads; i++)
            _threads.emplace_back([this] { Worker(); });
        std::lock_guard<std::mutex> lock(_mutex);
        for (const std::unique_ptr<CJob> &pending : _inFlight)
            if (!pending->done) _queue.push_back(pending.get());
        _workReady.notify_all();
        return S_OK;
    }
    if (raw->done) return S_OK; // stored as it is: no worker needed
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _queue.push_back(raw);
    }
    _workReady.notify_one();
    return S_OK;
}

HRESULT CZipCompressor::CompressInline(ISequentialInStream *in, CByteBuffer &head, CSpoolEntry &entry,
                                       const std::function<HRESULT(UInt64)> &progress) {
    CStreamEncoder encoder(_method);
    CByteBuffer out;
    if (!encoder.Init(_level, out)) return E_OUTOFMEMORY;
    entry.offset = _spoolPos;
    const size_t entryIndex = static_cast<size_t>(&entry - _entries.data());
    CByteBuffer data = std::move(head);
    for (bool first = true;; first = false) {
        entry.crc = Crc(entry.crc, data.data(), data.size());
        entry.size += data.size();
        const bool end = data.empty();
        if (!encoder.Code(data.data(), data.size(), end, out)) return E_FAIL;
        entry.packSize += out.size();
        RINOK_PLUGIN(Emit(entryIndex, out.data(), out.size(), first, end));
        _doneIn += data.size();
        _doneOut += out.size();
        if (_ratio) RINOK_PLUGIN(_ratio(_doneIn, _doneOut));
        out.clear();
        if (end) break;
        RINOK_PLUGIN(ReadBlock(in, kBlock, data));
        RINOK_PLUGIN(progress(data.size()));
    }
    return S_OK;
}

HRESULT CZipCompressor::Add(ISequentialInStream *in, const std::function<HRESULT(UInt64)> &reportRead,
                            size_t &entryIndex, UInt64 &read) {
    // The stream is always read to its end here, never on a worker: the caller compares the bytes
    // read with the listed size to tell the user of a file that changed while it was read.
    read = 0;
    const std::function<HRESULT(UInt64)> progress = [&read, &reportRead](UInt64 n) {
        read += n;
        return reportRead(n);
    };
    entryIndex = _entries.size();
    _entries.emplace_back();
    _entries.back().method = _method;
    if (_method == ZIP_CM_BZIP2 || _method == ZIP_CM_LZMA) {
        CByteBuffer data;
        CByteBuffer chunk;
        bool ended = false;
        while (!ended && data.size() <= kWholeLimit) {
            RINOK_PLUGIN(ReadBlock(in, kReadChunk, chunk));
            RINOK_PLUGIN(progress(chunk.size()));
            ended = chunk.empty();
            data.insert(data.end(), chunk.begin(), chunk.end());
        }
        if (ended) {
            std::unique_ptr<CJob> job(new CJob);
            job->entry = entryIndex;
            job->in = std::move(data);
            job->first = job->last = true;
            return Submit(std::move(job));
        }
        RINOK_PLUGIN(Drain());
        return CompressInline(in, data, _entries[entryIndex], progress);
    }
    CByteBuffer cur;
    RINOK_PLUGIN(ReadBlock(in, kBlock, cur));
    RINOK_PLUGIN(progress(cur.size()));
    bool first = true;
    CByteBuffer tail;
    for (;;) {
        CByteBuffer next;
        if (cur.size() == kBlock) {
            RINOK_PLUGIN(ReadBlock(in, kBlock, next));
            RINOK_PLUGIN(progress(next.size()));
        }
        std::unique_ptr<CJob> job(new CJob);
        job->entry = entryIndex;
        job->first = first;
        job->last = next.empty();
        if (_method == ZIP_CM_DEFLATE) {
            job->dict = std::move(tail);
            const size_t keep = std::min(cur.size(), kWindow);
            tail.assign(cur.end() - static_cast<std::ptrdiff_t>(keep), cur.end());
        }
        job->in = std::move(cur);
        const bool last = job->last;
        RINOK_PLUGIN(Submit(std::move(job)));
        if (last) return S_OK;
        cur = std::move(next);
        first = false;
    }
}

HRESULT CZipCompressor::AddStored(const std::string &data, size_t &entryIndex) {
    entryIndex = _entries.size();
    _entries.emplace_back();
    _entries.back().method = ZIP_CM_STORE;
    std::unique_ptr<CJob> job(new CJob);
    job->entry = entryIndex;
    job->in.assign(data.begin(), data.end());
    job->first = job->last = job->store = true;
    job->inSize = data.size();
    RunJob(*job);
    job->done = true;
    return Submit(std::move(job));
}

HRESULT CZipCompressor::Finish() {
    RINOK_PLUGIN(Drain());
    return !_spool || fflush(_spool) == 0 ? S_OK : E_FAIL;
}

} // namespace NPlugin
