#include "coders/ParallelBlockEncoder.h"

#include "PropVariantUtils.h"

#include <algorithm>
#include <chrono>
#include <bzlib.h>
#include <string.h>
// For the window a level uses, which sizes the blocks.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace NPlugin {

namespace {

// Input coded between two looks at the run: a fraction of a second even at the slowest levels on
// a busy machine.
const size_t kStepBytes = 1 << 16;
// How long the writing thread waits for a block before it asks its progress sink again.
const std::chrono::milliseconds kCheckInterval(100);
const double kReadAheadSeconds = 2;

} // namespace

CParallelBlockEncoder::CParallelBlockEncoder(CSevenZipSink *next, size_t blockSize, UInt32 threads)
    : _blockSize(blockSize), _threads(threads < 1 ? 1 : threads), _caller(std::this_thread::get_id()), _next(next) {
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
    _resume.notify_all();
    for (std::thread &t : _workers)
        t.join();
    _workers.clear();
}

bool CParallelBlockEncoder::Step(size_t coded, size_t produced) {
    _coded += coded;
    _produced += produced;
    if (std::this_thread::get_id() == _caller) {
        // Coding on the writing thread: it asks the sink itself.
        _result = Report();
        return _result == S_OK;
    }
    std::unique_lock<std::mutex> lock(_mutex);
    _resume.wait(lock, [this] { return _stop || !_holding; });
    return !_stop;
}

HRESULT CParallelBlockEncoder::Report() {
    _lastReport = std::chrono::steady_clock::now();
    if (!_progress) return S_OK;
    const UInt64 coded = _coded.load();
    const UInt64 delta = coded - _codedReported;
    const UInt64 written = _writtenUnreported;
    _codedReported = coded;
    _writtenUnreported = 0;
    const UInt64 produced = _produced.load();
    const UInt64 aheadIn = coded > _writtenTotal ? coded - _writtenTotal : 0;
    const UInt64 aheadOut = produced > _producedHandedOn ? produced - _producedHandedOn : 0;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _holding = true;
    }
    const HRESULT res = _progress->EncodeProgress(delta, written, aheadIn, aheadOut);
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _holding = false;
    }
    _resume.notify_all();
    return res;
}

void CParallelBlockEncoder::HandedOn(const CEncodedBlock &block) {
    _writtenUnreported += block.inSize;
    _writtenTotal += block.inSize;
    _producedHandedOn += block.produced;
}

void CParallelBlockEncoder::Worker() {
    for (;;) {
        std::shared_ptr<CJob> job;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _work.wait(lock, [this] { return _stop || !_queue.empty(); });
            if (_stop || _queue.empty()) return;
            job = _queue.front();
            _queue.pop_front();
        }
        bool ok = false;
        try {
            job->out.inSize = job->in.size();
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
        bool room = false;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            auto frontDone = [this] { return !_inOrder.empty() && _inOrder.front()->done; };
            const size_t waiting = MaxWaiting();
            auto roomy = [this, keep, waiting] {
                return _inOrder.empty() || (_inOrder.size() < keep && _queue.size() < waiting);
            };
            if (!frontDone() && !roomy())
                _finished.wait_for(lock, kCheckInterval, [&] { return frontDone() || roomy(); });
            if (frontDone()) {
                job = _inOrder.front();
                _inOrder.pop_front();
            } else {
                room = roomy();
            }
        }
        if (job) {
            if (job->failed) return E_FAIL;
            RINOK_PLUGIN(EmitBlock(job->out));
            HandedOn(job->out);
        }
        // Also when nothing came: a paused run holds here, a stopped one ends.
        RINOK_PLUGIN(Report());
        if (room) return S_OK;
    }
}

size_t CParallelBlockEncoder::MaxWaiting() const {
    const size_t most = _threads + 1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - _started).count();
    const UInt64 coded = _coded.load();
    if (coded == 0 || seconds <= 0) return most;
    // Input read ahead of the coders: what they code in about two seconds, at least one block.
    const double blocks = static_cast<double>(coded) / seconds * kReadAheadSeconds / static_cast<double>(_blockSize);
    return std::max<size_t>(1, std::min<size_t>(most, static_cast<size_t>(blocks)));
}

HRESULT CParallelBlockEncoder::Submit() {
    if (_block.empty()) return S_OK;
    if (_workers.empty()) _started = std::chrono::steady_clock::now();
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
    // Filling a large block takes a while: the run is looked at meanwhile, so that a pause holds the
    // threads at once.
    if (!_workers.empty() && std::chrono::steady_clock::now() - _lastReport >= kCheckInterval) RINOK_PLUGIN(Report());
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
        out.inSize = _block.size();
        if (!EncodeBlock(_block, out)) return _result != S_OK ? _result : E_FAIL;
        std::vector<Byte>().swap(_block);
        RINOK_PLUGIN(EmitBlock(out));
        HandedOn(out);
    }
    RINOK_PLUGIN(Submit());
    RINOK_PLUGIN(Drain(0));
    RINOK_PLUGIN(EmitEnd());
    return _next->Finish();
}

// Blocks of at most `largest` bytes; an input of known size is cut into whole rounds of blocks for
// all threads, but no block is smaller than `smallest`.
static size_t RoundBlockSize(UInt64 largest, UInt64 smallest, UInt64 expected, UInt32 threads) {
    if (expected == 0 || threads <= 1) return static_cast<size_t>(largest);
    smallest = std::min(largest, smallest);
    const UInt64 round = largest * threads;
    const UInt64 blocks = (expected + round - 1) / round * threads;
    const UInt64 block = (expected + blocks - 1) / blocks;
    return static_cast<size_t>(std::max(smallest, std::min(largest, block)));
}

size_t CLzma2MtEncoder::BlockSizeFor(const lzma_options_lzma &options, UInt64 expected, UInt32 threads) {
    const UInt64 mib = 1 << 20;
    const UInt64 largest = std::min<UInt64>(std::max<UInt64>(static_cast<UInt64>(options.dict_size) * 3, mib),
                                            static_cast<UInt64>(1) << 30);
    return RoundBlockSize(largest, std::max<UInt64>(options.dict_size, mib), expected, threads);
}

CLzma2MtEncoder::CLzma2MtEncoder(CSevenZipSink *next, const lzma_options_lzma &options, UInt32 threads, UInt64 expected)
    : CParallelBlockEncoder(next, BlockSizeFor(options, expected, threads), threads), _options(options) {
    Start();
}

bool CLzma2MtEncoder::Code(const std::vector<Byte> &in, std::vector<Byte> &out, lzma_block *block, UInt64 &produced,
                           size_t holdBack) {
    lzma_options_lzma opt = _options;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream strm = LZMA_STREAM_INIT;
    lzma_ret r;
    if (block) {
        block->filters = filters;
        r = lzma_block_encoder(&strm, block);
    } else {
        r = lzma_raw_encoder(&strm, filters);
    }
    if (r != LZMA_OK) return false;
    out.resize(lzma_block_buffer_bound(in.size()) + 64);
    strm.next_out = out.data();
    strm.avail_out = out.size();
    size_t pos = 0;
    bool ok = true;
    for (;;) {
        const size_t n = std::min(kStepBytes, in.size() - pos);
        const bool last = pos + n == in.size();
        strm.next_in = in.data() + pos;
        strm.avail_in = n;
        do
            r = lzma_code(&strm, last ? LZMA_FINISH : LZMA_RUN);
        while (r == LZMA_OK && strm.avail_out != 0 && (last || strm.avail_in != 0));
        pos += n - strm.avail_in;
        if (last ? r != LZMA_STREAM_END : (r != LZMA_OK || strm.avail_in != 0)) {
            ok = false;
            break;
        }
        const size_t used = out.size() - strm.avail_out;
        const UInt64 made = used > holdBack + produced ? used - holdBack - produced : 0;
        produced += made;
        if (!Step(n, static_cast<size_t>(made)) || last) {
            ok = ok && last;
            break;
        }
    }
    const size_t used = out.size() - strm.avail_out;
    lzma_end(&strm);
    if (block) block->filters = nullptr;
    if (!ok) return false;
    out.resize(used);
    return true;
}

bool CLzma2MtEncoder::EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) {
    // The end mark is not handed on: not counted either, so that the packed size shown never drops.
    if (!Code(in, out.data, nullptr, out.produced, 1)) return false;
    // Each block ends with the stream's end mark; the next block carries on the same stream.
    if (out.data.empty() || out.data.back() != 0) return false;
    out.data.pop_back();
    return true;
}

HRESULT CLzma2MtEncoder::EmitBlock(const CEncodedBlock &block) {
    return _next->Write(block.data.data(), block.data.size());
}

HRESULT CLzma2MtEncoder::EmitEnd() {
    const Byte end = 0;
    return _next->Write(&end, 1);
}

CXzMtEncoder::CXzMtEncoder(CSevenZipSink *next, const lzma_options_lzma &options, UInt32 threads, UInt64 expected)
    : CLzma2MtEncoder(next, options, threads, expected), _index(lzma_index_init(nullptr)) {}

CXzMtEncoder::~CXzMtEncoder() {
    Stop();
    if (_index) lzma_index_end(_index, nullptr);
}

bool CXzMtEncoder::EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) {
    lzma_block block;
    memset(&block, 0, sizeof(block));
    block.version = 0;
    block.check = LZMA_CHECK_CRC64;
    block.compressed_size = LZMA_VLI_UNKNOWN;
    block.uncompressed_size = LZMA_VLI_UNKNOWN;
    std::vector<Byte> body;
    if (!Code(in, body, &block, out.produced, 0)) return false;
    // The sizes are known now and go into the header in front of the data.
    lzma_options_lzma opt = _options;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    block.filters = filters;
    Byte header[LZMA_BLOCK_HEADER_SIZE_MAX];
    if (lzma_block_header_size(&block) != LZMA_OK || lzma_block_header_encode(&block, header) != LZMA_OK) return false;
    out.unpadded = lzma_block_unpadded_size(&block);
    if (out.unpadded == 0) return false;
    out.data.reserve(block.header_size + body.size());
    out.data.assign(header, header + block.header_size);
    out.data.insert(out.data.end(), body.begin(), body.end());
    return true;
}

HRESULT CXzMtEncoder::WriteStreamHeader() {
    if (_headerWritten) return S_OK;
    _headerWritten = true;
    lzma_stream_flags flags;
    memset(&flags, 0, sizeof(flags));
    flags.version = 0;
    flags.check = LZMA_CHECK_CRC64;
    Byte header[LZMA_STREAM_HEADER_SIZE];
    if (lzma_stream_header_encode(&flags, header) != LZMA_OK) return E_FAIL;
    return _next->Write(header, sizeof(header));
}

HRESULT CXzMtEncoder::EmitBlock(const CEncodedBlock &block) {
    if (!_index) return E_OUTOFMEMORY;
    RINOK_PLUGIN(WriteStreamHeader());
    if (lzma_index_append(_index, nullptr, block.unpadded, block.inSize) != LZMA_OK) return E_FAIL;
    return _next->Write(block.data.data(), block.data.size());
}

HRESULT CXzMtEncoder::EmitEnd() {
    if (!_index) return E_OUTOFMEMORY;
    RINOK_PLUGIN(WriteStreamHeader());
    std::vector<Byte> tail(static_cast<size_t>(lzma_index_size(_index)) + LZMA_STREAM_HEADER_SIZE);
    size_t pos = 0;
    if (lzma_index_buffer_encode(_index, tail.data(), &pos, tail.size() - LZMA_STREAM_HEADER_SIZE) != LZMA_OK)
        return E_FAIL;
    lzma_stream_flags flags;
    memset(&flags, 0, sizeof(flags));
    flags.version = 0;
    flags.check = LZMA_CHECK_CRC64;
    flags.backward_size = lzma_index_size(_index);
    if (lzma_stream_footer_encode(&flags, tail.data() + pos) != LZMA_OK) return E_FAIL;
    return _next->Write(tail.data(), pos + LZMA_STREAM_HEADER_SIZE);
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
bool CBzip2MtEncoder::EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) {
    // One call codes the block (under a second); the look at the run comes before it.
    if (!Step(0)) return false;
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
            // Stream header and end mark are not handed on: what is, is never less than this.
            out.produced = size > 24 ? size - 24 : 0;
            return Step(in.size(), static_cast<size_t>(out.produced));
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

namespace {

int ZstdLevel(int level) {
    return std::max(1, std::min(level, ZSTD_maxCLevel()));
}

} // namespace

size_t CZstdMtEncoder::BlockSizeFor(int level, UInt64 expected, UInt32 threads) {
    const UInt64 mib = 1 << 20;
    const UInt64 window = static_cast<UInt64>(1) << ZSTD_getCParams(ZstdLevel(level), 0, 0).windowLog;
    // The largest windows would make blocks of gigabytes per thread: blocks stay within 128 MiB.
    const UInt64 largest = std::min<UInt64>(std::max<UInt64>(window * 4, mib), 128 * mib);
    return RoundBlockSize(largest, std::max<UInt64>(window, mib), expected, threads);
}

CZstdMtEncoder::CZstdMtEncoder(CSevenZipSink *next, int level, UInt32 threads, UInt64 expected)
    : CParallelBlockEncoder(next, BlockSizeFor(level, expected, threads), threads), _level(ZstdLevel(level)) {
    Start();
}

bool CZstdMtEncoder::EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) {
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx *)> cctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
    if (!cctx) return false;
    if (ZSTD_isError(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, _level)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 1)))
        return false;
    out.data.resize(ZSTD_compressBound(in.size()));
    ZSTD_outBuffer output = {out.data.data(), out.data.size(), 0};
    size_t pos = 0;
    for (;;) {
        // libzstd codes a piece as soon as it holds one of its blocks (128 KiB at most): each step
        // stays short even at the highest levels.
        const size_t n = std::min(kStepBytes, in.size() - pos);
        const bool last = pos + n == in.size();
        ZSTD_inBuffer input = {in.data() + pos, n, 0};
        const size_t before = output.pos;
        size_t left = 0;
        // The input goes in before the end is asked for: given all at once with the end, libzstd
        // would fit the window to the block, and frames would differ with the block's size.
        while (input.pos != input.size) {
            left = ZSTD_compressStream2(cctx.get(), &output, &input, ZSTD_e_continue);
            if (ZSTD_isError(left)) return false;
        }
        do {
            if (!last) break;
            left = ZSTD_compressStream2(cctx.get(), &output, &input, ZSTD_e_end);
            if (ZSTD_isError(left)) return false;
        } while (left != 0);
        if (left != 0 || input.pos != input.size) return false;
        pos += n;
        out.produced += output.pos - before;
        if (!Step(n, output.pos - before)) return false;
        if (last) break;
    }
    out.data.resize(output.pos);
    return true;
}

HRESULT CZstdMtEncoder::EmitBlock(const CEncodedBlock &block) {
    _anyBlock = true;
    return _next->Write(block.data.data(), block.data.size());
}

HRESULT CZstdMtEncoder::EmitEnd() {
    if (_anyBlock) return S_OK;
    // No data: one empty frame, which readers take as an empty stream.
    std::vector<Byte> frame(ZSTD_compressBound(0));
    const size_t n = ZSTD_compress(frame.data(), frame.size(), nullptr, 0, _level);
    if (ZSTD_isError(n)) return E_FAIL;
    return _next->Write(frame.data(), n);
}

} // namespace NPlugin
