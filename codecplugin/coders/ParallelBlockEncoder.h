#pragma once

// Compression on several threads: the data is cut into blocks that are compressed at the same time
// and handed on in their order. LZMA2 starts each block with a dictionary reset, so the blocks join
// into one LZMA2 stream (or become the blocks of an .xz stream); BZip2 blocks are joined bit by bit
// into one bzip2 stream.
#include "sevenzip/SevenZipEncoder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <lzma.h>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace NPlugin {

// A compressed block: its bytes and what the joining needs to know of them.
struct CEncodedBlock {
    std::vector<Byte> data;
    UInt64 inSize = 0;
    UInt32 crc = 0;
    UInt64 bitEnd = 0;   // bzip2: where the block's bits end
    UInt64 unpadded = 0; // xz: the block's size for the index
    UInt64 produced = 0; // output told to Step while coding
};

// The threads code in steps and look at the run between them: the writing thread waits for blocks
// in short slices and asks its progress sink each time, and while that call runs (a paused run
// blocks in it) no thread starts another step; a stopped run ends every thread at its next step.
class CParallelBlockEncoder : public CSevenZipSink {
    struct CJob {
        std::vector<Byte> in;
        CEncodedBlock out;
        bool done = false;
        bool failed = false;
    };

    size_t _blockSize;
    UInt32 _threads;
    std::vector<Byte> _block;
    std::deque<std::shared_ptr<CJob>> _queue;   // waiting for a worker
    std::deque<std::shared_ptr<CJob>> _inOrder; // every job not yet handed on, in order
    std::vector<std::thread> _workers;
    std::thread::id _caller;
    std::mutex _mutex;
    std::condition_variable _work;
    std::condition_variable _finished;
    std::condition_variable _resume;
    bool _stop = false;
    bool _holding = false; // the writing thread is in its progress call
    bool _startAllowed = false;

    CEncodeProgress *_progress = nullptr;
    std::atomic<UInt64> _coded{0};
    std::atomic<UInt64> _produced{0};
    UInt64 _codedReported = 0;
    UInt64 _writtenUnreported = 0;
    UInt64 _writtenTotal = 0;     // input of the blocks handed on
    UInt64 _producedHandedOn = 0; // what Step was told of them
    HRESULT _result = S_OK;       // why the writing thread's own coding stopped
    std::chrono::steady_clock::time_point _started;
    std::chrono::steady_clock::time_point _lastReport;

    void Worker();
    HRESULT Submit();
    HRESULT Report();
    void HandedOn(const CEncodedBlock &block);
    // Blocks that may wait for a worker: bounded by the time the threads need for them.
    size_t MaxWaiting() const;
    // Hands on the finished jobs at the front; returns once fewer than `keep` jobs are in flight and
    // no more than one per thread waits for a worker (all handed on with keep 0).
    HRESULT Drain(size_t keep);

protected:
    CSevenZipSink *_next;

    // Runs on a worker (or the writing thread): compresses in into out; false on failure or stop.
    // Calls Step between pieces of input.
    virtual bool EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) = 0;
    // coded: input bytes compressed since the last step; produced: output made of them (as far as the
    // coder has given it out). False: the run is stopped.
    bool Step(size_t coded, size_t produced = 0);
    // Runs on the caller's thread, in order.
    virtual HRESULT EmitBlock(const CEncodedBlock &block) = 0;
    virtual HRESULT EmitEnd() = 0;
    // Derived classes allow the threads to start once they are ready to encode; they start when a
    // first block is full, so that data smaller than a block costs no threads.
    void Start() { _startAllowed = true; }
    // Stops the threads; a derived class calls it first in its destructor.
    void Stop();

public:
    CParallelBlockEncoder(CSevenZipSink *next, size_t blockSize, UInt32 threads);
    ~CParallelBlockEncoder() override;
    void SetProgress(CEncodeProgress *progress) { _progress = progress; }
    HRESULT Write(const Byte *data, size_t size) override;
    HRESULT Finish() override;
};

class CLzma2MtEncoder : public CParallelBlockEncoder {
protected:
    lzma_options_lzma _options;

    // Codes in as one raw LZMA2 stream (or, with block set, one xz block) in steps; produced: the
    // output told to Step, which leaves out the last holdBack bytes.
    bool Code(const std::vector<Byte> &in, std::vector<Byte> &out, lzma_block *block, UInt64 &produced,
              size_t holdBack);
    bool EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) override;
    HRESULT EmitBlock(const CEncodedBlock &block) override;
    HRESULT EmitEnd() override;

public:
    // expected: input bytes to come, 0 when not known.
    CLzma2MtEncoder(CSevenZipSink *next, const lzma_options_lzma &options, UInt32 threads, UInt64 expected = 0);
    ~CLzma2MtEncoder() override { Stop(); }
    // At most three dictionaries per block, as xz does, so that the cuts cost little; an input of
    // known size is cut into whole rounds of blocks for all threads, but no block is smaller than
    // the dictionary.
    static size_t BlockSizeFor(const lzma_options_lzma &options, UInt64 expected, UInt32 threads);
};

// A whole .xz stream (CRC64 checks) of LZMA2 blocks coded in parallel, with sizes in the block
// headers so that readers can decode it in parallel too.
class CXzMtEncoder : public CLzma2MtEncoder {
    lzma_index *_index = nullptr;
    bool _headerWritten = false;

    HRESULT WriteStreamHeader();

protected:
    bool EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) override;
    HRESULT EmitBlock(const CEncodedBlock &block) override;
    HRESULT EmitEnd() override;

public:
    CXzMtEncoder(CSevenZipSink *next, const lzma_options_lzma &options, UInt32 threads, UInt64 expected = 0);
    ~CXzMtEncoder() override;
};

class CBzip2MtEncoder : public CParallelBlockEncoder {
    int _level;
    UInt32 _combinedCrc = 0;
    // Bits not yet written as a whole byte.
    UInt64 _bitBuffer = 0;
    unsigned _bitCount = 0;
    std::vector<Byte> _out;
    bool _headerWritten = false;

    void PutBits(UInt64 value, unsigned count);
    HRESULT Flush(bool all);

protected:
    bool EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) override;
    HRESULT EmitBlock(const CEncodedBlock &block) override;
    HRESULT EmitEnd() override;

public:
    // level: 1-9, hundreds of kilobytes per block.
    CBzip2MtEncoder(CSevenZipSink *next, int level, UInt32 threads);
    ~CBzip2MtEncoder() override { Stop(); }
    // Input per block: small enough that run-length coding can never push it past one bzip2 block.
    static size_t BlockSizeFor(int level) { return static_cast<size_t>(level) * 80000; }
};

// A zstd stream of frames coded in parallel, one frame per block (with its content size and
// checksum): readers decode the frames one after the other as one stream. Coding in bounded steps
// of our own, rather than libzstd's own threads, is what lets a pause hold and a cancel stop them.
class CZstdMtEncoder : public CParallelBlockEncoder {
    int _level;
    bool _anyBlock = false;

protected:
    bool EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) override;
    HRESULT EmitBlock(const CEncodedBlock &block) override;
    HRESULT EmitEnd() override;

public:
    // level: 1 to the library's highest; expected: input bytes to come, 0 when not known.
    CZstdMtEncoder(CSevenZipSink *next, int level, UInt32 threads, UInt64 expected = 0);
    ~CZstdMtEncoder() override { Stop(); }
    // Four windows per block, as libzstd's own threads take, so that the cuts cost little; cut into
    // whole rounds for all threads like the LZMA2 blocks.
    static size_t BlockSizeFor(int level, UInt64 expected, UInt32 threads);
};

} // namespace NPlugin
