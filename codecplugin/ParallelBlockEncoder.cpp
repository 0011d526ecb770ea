#include "ParallelBlockEncoder.h"

#include "PropVariantUtils.h"

#include <algorithm>
#include <bzlib.h>
#include <string.h>

namespace NPlugin {

CParallelBlockEncoder::CParallelBlockEncoder(CSevenZipSink *next, size_t blockSize, UInt32 threads)
    : _blockSize(blockSize), _threads(threads < 1 ? 1 : threads), _next(next) {
    _block.reserve(_blockSize);
}

CParallelBlockEncoder::~CParallelBlockEncoder() {
    Stop();
}

void CParallelBlockEncoder::Stop() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stop = true;
        _queue.clear();
    }
    _work.notify_all();
    for (std::thread &t : _workers)
        t.join();
    _workers.clear();
}

void CParallelBlockEncoder::Worker() {
    for (;;) {
        std::shared_ptr<CJob> job;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _work.wait(lock, [this] { return _stop || !_queue.empty(); });
            if (_queue.empty()) return;
            job = _queue.front();
            _queue.pop_front();
        }
        bool ok = false;
        try {
            ok = EncodeBlock(job->in, job->out);
        } catch (...) {
            ok = false;
        }
        std::vector<Byte>().swap(job->in);
        {
            std::lock_guard<std::mutex> lock(_mutex);
            job->failed = !ok;
            job->done = true;
        }
        _finished.notify_all();
    }
}

HRESULT CParallelBlockEncoder::Drain(size_t keep) {
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
        RINOK_PLUGIN(EmitBlock(job->out));
    }
}

HRESULT CParallelBlockEncoder::Submit() {
    if (_block.empty()) return S_OK;
    if (_workers.empty())
        for (UInt32 i = 0; i < _threads && _startAllowed; i++)
            _workers.emplace_back(&CParallelBlockEncoder::Worker, this);
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
    // Blocks take unequal times: as many again as there are threads may wait behind a slow one, so
    // that no thread idles for it, without holding the whole input.
    return Drain(2 * _threads);
}

HRESULT CParallelBlockEncoder::Write(const Byte *data, size_t size) {
    while (size != 0) {
        const size_t n = std::min(size, _blockSize - _block.size());
        _block.insert(_block.end(), data, data + n);
        data += n;
        size -= n;
        if (_block.size() == _blockSize) RINOK_PLUGIN(Submit());
    }
    return S_OK;
}

HRESULT CParallelBlockEncoder::Finish() {
    if (_workers.empty() && !_block.empty()) {
        // All the data fits in one block: encoded here, without threads.
        CEncodedBlock out;
        if (!EncodeBlock(_block, out)) return E_FAIL;
        std::vector<Byte>().swap(_block);
        RINOK_PLUGIN(EmitBlock(out));
    }
    RINOK_PLUGIN(Submit());
    RINOK_PLUGIN(Drain(0));
    RINOK_PLUGIN(EmitEnd());
    return _next->Finish();
}

size_t CLzma2MtEncoder::BlockSizeFor(const lzma_options_lzma &options) {
    const UInt64 block = std::max<UInt64>(static_cast<UInt64>(options.dict_size) * 3, 1 << 20);
    return static_cast<size_t>(std::min<UInt64>(block, static_cast<UInt64>(1) << 30));
}

CLzma2MtEncoder::CLzma2MtEncoder(CSevenZipSink *next, const lzma_options_lzma &options, UInt32 threads)
    : CParallelBlockEncoder(next, BlockSizeFor(options), threads), _options(options) {
    Start();
}

bool CLzma2MtEncoder::EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) const {
    lzma_options_lzma opt = _options;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    out.data.resize(lzma_block_buffer_bound(in.size()) + 64);
    size_t outPos = 0;
    const lzma_ret r =
        lzma_raw_buffer_encode(filters, nullptr, in.data(), in.size(), out.data.data(), &outPos, out.data.size());
    // Each block ends with the stream's end mark; the next block carries on the same stream.
    if (r != LZMA_OK || outPos == 0 || out.data[outPos - 1] != 0) return false;
    out.data.resize(outPos - 1);
    return true;
}

HRESULT CLzma2MtEncoder::EmitBlock(const CEncodedBlock &block) {
    return _next->Write(block.data.data(), block.data.size());
}

HRESULT CLzma2MtEncoder::EmitEnd() {
    const Byte end = 0;
    return _next->Write(&end, 1);
}

namespace {

const UInt64 kBzip2EndMagic = 0x177245385090ULL;

UInt64 GetBits(const std::vector<Byte> &data, UInt64 pos, unsigned count) {
    UInt64 v = 0;
    for (unsigned i = 0; i < count; i++, pos++)
        v = (v << 1) | ((data[pos >> 3] >> (7 - (pos & 7))) & 1);
    return v;
}

} // namespace

CBzip2MtEncoder::CBzip2MtEncoder(CSevenZipSink *next, int level, UInt32 threads)
    : CParallelBlockEncoder(next, BlockSizeFor(level < 1 ? 1 : (level > 9 ? 9 : level)), threads),
      _level(level < 1 ? 1 : (level > 9 ? 9 : level)) {
    Start();
}

// One bzip2 stream per block: header, one block, end mark with the stream CRC (the block's), padding.
bool CBzip2MtEncoder::EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) const {
    unsigned size = static_cast<unsigned>(in.size() + in.size() / 100 + 600);
    out.data.resize(size);
    if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char *>(out.data.data()), &size,
                                 const_cast<char *>(reinterpret_cast<const char *>(in.data())),
                                 static_cast<unsigned>(in.size()), _level, 0, 0) != BZ_OK)
        return false;
    out.data.resize(size);
    if (size < 4 + 10 + 10) return false;
    out.crc = static_cast<UInt32>(GetBits(out.data, 32 + 48, 32));
    // The end mark sits before at most 7 bits of padding.
    const UInt64 total = static_cast<UInt64>(size) * 8;
    for (unsigned pad = 0; pad < 8; pad++) {
        const UInt64 end = total - pad;
        if (GetBits(out.data, end - 80, 48) == kBzip2EndMagic && GetBits(out.data, end - 32, 32) == out.crc) {
            out.bitEnd = end - 80;
            return true;
        }
    }
    return false;
}

void CBzip2MtEncoder::PutBits(UInt64 value, unsigned count) {
    // count <= 48, so the buffer never holds more than 55 bits.
    _bitBuffer = (_bitBuffer << count) | (value & ((static_cast<UInt64>(1) << count) - 1));
    _bitCount += count;
    while (_bitCount >= 8) {
        _out.push_back(static_cast<Byte>(_bitBuffer >> (_bitCount - 8)));
        _bitCount -= 8;
    }
}

HRESULT CBzip2MtEncoder::Flush(bool all) {
    if (all && _bitCount) {
        _out.push_back(static_cast<Byte>(_bitBuffer << (8 - _bitCount)));
        _bitCount = 0;
    }
    _bitBuffer &= (static_cast<UInt64>(1) << _bitCount) - 1;
    const HRESULT res = _next->Write(_out.data(), _out.size());
    _out.clear();
    return res;
}

HRESULT CBzip2MtEncoder::EmitBlock(const CEncodedBlock &block) {
    if (!_headerWritten) {
        const Byte header[4] = {'B', 'Z', 'h', static_cast<Byte>('0' + _level)};
        _out.insert(_out.end(), header, header + 4);
        _headerWritten = true;
    }
    _combinedCrc = ((_combinedCrc << 1) | (_combinedCrc >> 31)) ^ block.crc;
    // The block's bits after the stream header (which ends on a byte), shifted onto the bits so far.
    const size_t bytes = static_cast<size_t>((block.bitEnd - 32) / 8);
    _out.reserve(_out.size() + bytes + 8);
    if (_bitCount == 0) {
        _out.insert(_out.end(), block.data.begin() + 4, block.data.begin() + 4 + static_cast<long>(bytes));
    } else {
        for (size_t i = 4; i < 4 + bytes; i++)
            PutBits(block.data[i], 8);
    }
    const UInt64 pos = 32 + static_cast<UInt64>(bytes) * 8;
    if (pos < block.bitEnd) {
        const unsigned n = static_cast<unsigned>(block.bitEnd - pos);
        PutBits(GetBits(block.data, pos, n), n);
    }
    return Flush(false);
}

HRESULT CBzip2MtEncoder::EmitEnd() {
    if (!_headerWritten) {
        // No data: an empty stream of its own.
        const Byte empty[14] = {'B', 'Z', 'h', static_cast<Byte>('0' + _level), 0x17, 0x72, 0x45, 0x38, 0x50, 0x90, 0,
                                0,   0,   0};
        _out.insert(_out.end(), empty, empty + sizeof(empty));
        return Flush(true);
    }
    PutBits(kBzip2EndMagic, 48);
    PutBits(_combinedCrc, 32);
    return Flush(true);
}

} // namespace NPlugin
