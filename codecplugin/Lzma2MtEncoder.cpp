#include "Lzma2MtEncoder.h"

#include "PropVariantUtils.h"

#include <algorithm>

namespace NPlugin {

CLzma2MtEncoder::CLzma2MtEncoder(CSevenZipSink *next, const lzma_options_lzma &options, UInt32 threads)
    : _next(next), _options(options), _threads(threads < 1 ? 1 : threads) {
    // Three dictionaries per block, as xz does: large enough that the cut costs little.
    const UInt64 block = std::max<UInt64>(static_cast<UInt64>(options.dict_size) * 3, 1 << 20);
    _blockSize = static_cast<size_t>(std::min<UInt64>(block, static_cast<UInt64>(1) << 30));
    _block.reserve(_blockSize);
    for (UInt32 i = 0; i < _threads; i++)
        _workers.emplace_back(&CLzma2MtEncoder::Worker, this);
}

CLzma2MtEncoder::~CLzma2MtEncoder() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stop = true;
    }
    _work.notify_all();
    for (std::thread &t : _workers)
        t.join();
}

void CLzma2MtEncoder::Encode(CJob &job) const {
    lzma_options_lzma opt = _options;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    try {
        job.out.resize(lzma_block_buffer_bound(job.in.size()) + 64);
        size_t outPos = 0;
        const lzma_ret r = lzma_raw_buffer_encode(filters, nullptr, job.in.data(), job.in.size(), job.out.data(),
                                                  &outPos, job.out.size());
        // Each block ends with the stream's end mark; blocks after it carry on the same stream.
        job.failed = r != LZMA_OK || outPos == 0 || job.out[outPos - 1] != 0;
        job.out.resize(outPos == 0 ? 0 : outPos - 1);
    } catch (...) {
        job.failed = true;
    }
    std::vector<Byte>().swap(job.in);
}

void CLzma2MtEncoder::Worker() {
    for (;;) {
        std::shared_ptr<CJob> job;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _work.wait(lock, [this] { return _stop || !_queue.empty(); });
            if (_queue.empty()) return;
            job = _queue.front();
            _queue.pop_front();
        }
        Encode(*job);
        {
            std::lock_guard<std::mutex> lock(_mutex);
            job->done = true;
        }
        _finished.notify_all();
    }
}

HRESULT CLzma2MtEncoder::Drain(size_t keep) {
    for (;;) {
        std::shared_ptr<CJob> job;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            if (_inOrder.empty()) return S_OK;
            if (_inOrder.size() < keep && !_inOrder.front()->done) return S_OK;
            _finished.wait(lock, [this] { return _inOrder.front()->done; });
            job = _inOrder.front();
            _inOrder.pop_front();
        }
        if (job->failed) return E_FAIL;
        RINOK_PLUGIN(_next->Write(job->out.data(), job->out.size()));
    }
}

HRESULT CLzma2MtEncoder::Submit() {
    if (_block.empty()) return S_OK;
    std::shared_ptr<CJob> job = std::make_shared<CJob>();
    job->in.swap(_block);
    _block.clear();
    _block.reserve(_blockSize);
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _queue.push_back(job);
        _inOrder.push_back(job);
    }
    _work.notify_one();
    // One block waiting beyond the busy threads keeps them fed without holding the whole input.
    return Drain(_threads + 1);
}

HRESULT CLzma2MtEncoder::Write(const Byte *data, size_t size) {
    while (size != 0) {
        const size_t n = std::min(size, _blockSize - _block.size());
        _block.insert(_block.end(), data, data + n);
        data += n;
        size -= n;
        if (_block.size() == _blockSize) RINOK_PLUGIN(Submit());
    }
    return S_OK;
}

HRESULT CLzma2MtEncoder::Finish() {
    RINOK_PLUGIN(Submit());
    RINOK_PLUGIN(Drain(0));
    const Byte end = 0;
    RINOK_PLUGIN(_next->Write(&end, 1));
    return _next->Finish();
}

} // namespace NPlugin
