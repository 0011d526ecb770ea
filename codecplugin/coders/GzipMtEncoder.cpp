#include "coders/GzipMtEncoder.h"

#include "PropVariantUtils.h"

#include <algorithm>
#include <string.h>
#include <time.h>
#include <zlib.h>

namespace NPlugin {

namespace {

const size_t kWindow = 32 << 10;
const size_t kOutBuffer = 1 << 20;

// A raw deflate stream kept by one thread and reset for each block.
struct CDeflater {
    z_stream z;
    bool ready = false;
    explicit CDeflater(int level) {
        memset(&z, 0, sizeof(z));
        ready = deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~CDeflater() {
        if (ready) deflateEnd(&z);
    }
    CDeflater(const CDeflater &) = delete;
    CDeflater &operator=(const CDeflater &) = delete;
};

bool Deflate(CDeflater &d, const std::vector<Byte> &dict, const std::vector<Byte> &in, bool last,
             std::vector<Byte> &out) {
    if (!d.ready || deflateReset(&d.z) != Z_OK) return false;
    if (!dict.empty() && deflateSetDictionary(&d.z, dict.data(), static_cast<uInt>(dict.size())) != Z_OK) return false;
    // A sync flush ends the block on a byte boundary with an empty stored block.
    out.resize(deflateBound(&d.z, static_cast<uLong>(in.size())) + 64);
    d.z.next_in = const_cast<Bytef *>(in.data());
    d.z.avail_in = static_cast<uInt>(in.size());
    d.z.next_out = out.data();
    d.z.avail_out = static_cast<uInt>(out.size());
    const int r = deflate(&d.z, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool ok = last ? r == Z_STREAM_END : (r == Z_OK && d.z.avail_in == 0 && d.z.avail_out != 0);
    out.resize(out.size() - d.z.avail_out);
    return ok;
}

void Put32(Byte *p, UInt32 v) {
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<Byte>(v >> (8 * i));
}

} // namespace

CGzipMtEncoder::CGzipMtEncoder(CSevenZipSink *next, int level, UInt32 threads, size_t blockSize)
    : _next(next), _level(level < 0 ? Z_DEFAULT_COMPRESSION : std::min(level, 9)), _threads(threads ? threads : 1),
      _blockSize(std::max<size_t>(blockSize, kWindow)) {}

CGzipMtEncoder::~CGzipMtEncoder() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stop = true;
    }
    _work.notify_all();
    for (std::thread &t : _workers)
        t.join();
}

void CGzipMtEncoder::Worker() {
    CDeflater d(_level);
    for (;;) {
        std::shared_ptr<CJob> job;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _work.wait(lock, [this] { return _stop || !_queue.empty(); });
            if (_stop) return;
            job = _queue.front();
            _queue.pop_front();
        }
        bool ok = false;
        // Nothing may leave a worker thread: a failure is the job's result.
        try {
            job->crc = static_cast<UInt32>(crc32(0, job->in.data(), static_cast<uInt>(job->in.size())));
            ok = Deflate(d, job->dict, job->in, job->last, job->out);
        } catch (...) {
            ok = false;
        }
        {
            std::lock_guard<std::mutex> lock(_mutex);
            job->done = true;
            job->failed = !ok;
        }
        _finished.notify_all();
    }
}

HRESULT CGzipMtEncoder::Put(const Byte *data, size_t size) {
    if (_out.size() + size > kOutBuffer) RINOK_PLUGIN(Flush());
    if (size >= kOutBuffer) return _next->Write(data, size);
    _out.insert(_out.end(), data, data + size);
    return S_OK;
}

HRESULT CGzipMtEncoder::Flush() {
    if (_out.empty()) return S_OK;
    const HRESULT res = _next->Write(_out.data(), _out.size());
    _out.clear();
    return res;
}

HRESULT CGzipMtEncoder::Submit(bool last) {
    if (!_headerWritten) {
        // No name; the time of writing; XFL names the fastest and the best level; OS Unix.
        Byte header[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};
        Put32(header + 4, static_cast<UInt32>(time(nullptr)));
        header[8] = _level == 9 ? 2 : _level == 1 ? 4 : 0;
        _headerWritten = true;
        RINOK_PLUGIN(Put(header, sizeof(header)));
    }
    std::shared_ptr<CJob> job = std::make_shared<CJob>();
    job->dict.swap(_tail);
    job->in.swap(_block);
    job->last = last;
    if (!last) {
        const size_t keep = std::min(job->in.size(), kWindow);
        _tail.assign(job->in.end() - static_cast<std::ptrdiff_t>(keep), job->in.end());
    }
    _size += job->in.size();
    if (_workers.empty() && last) {
        // Everything fitted in one block: no thread is worth starting.
        CDeflater d(_level);
        job->crc = static_cast<UInt32>(crc32(0, job->in.data(), static_cast<uInt>(job->in.size())));
        job->failed = !Deflate(d, job->dict, job->in, true, job->out);
        job->done = true;
        _inOrder.push_back(job);
        return Drain(0);
    }
    while (_workers.size() < _threads)
        _workers.emplace_back([this] { Worker(); });
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _inOrder.push_back(job);
        _queue.push_back(job);
    }
    _work.notify_one();
    // Two blocks per thread in flight keep every thread busy and memory bounded.
    return Drain(2 * static_cast<size_t>(_threads));
}

HRESULT CGzipMtEncoder::Drain(size_t keep) {
    for (;;) {
        std::shared_ptr<CJob> job;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            if (_inOrder.empty()) return S_OK;
            if (_inOrder.size() > keep)
                _finished.wait(lock, [this] { return _inOrder.front()->done; });
            else if (!_inOrder.front()->done)
                return S_OK;
            job = _inOrder.front();
            _inOrder.pop_front();
        }
        if (job->failed) return E_OUTOFMEMORY;
        _crc = static_cast<UInt32>(crc32_combine(_crc, job->crc, static_cast<z_off_t>(job->in.size())));
        RINOK_PLUGIN(Put(job->out.data(), job->out.size()));
    }
}

HRESULT CGzipMtEncoder::Write(const Byte *data, size_t size) {
    while (size != 0) {
        // A full block waits for more data: only the last one ends the stream.
        if (_block.size() == _blockSize) RINOK_PLUGIN(Submit(false));
        if (_block.capacity() < _blockSize) _block.reserve(_blockSize);
        const size_t n = std::min(size, _blockSize - _block.size());
        _block.insert(_block.end(), data, data + n);
        data += n;
        size -= n;
    }
    return S_OK;
}

HRESULT CGzipMtEncoder::Finish() {
    RINOK_PLUGIN(Submit(true));
    RINOK_PLUGIN(Drain(0));
    Byte trailer[8];
    Put32(trailer, _crc);
    Put32(trailer + 4, static_cast<UInt32>(_size));
    RINOK_PLUGIN(Put(trailer, sizeof(trailer)));
    RINOK_PLUGIN(Flush());
    return _next->Finish();
}

} // namespace NPlugin
