#pragma once

// Compression on several threads: the data is cut into blocks that are compressed at the same time
// and handed on in their order. LZMA2 starts each block with a dictionary reset, so the blocks join
// into one LZMA2 stream; BZip2 blocks are joined bit by bit into one bzip2 stream.
#include "SevenZipEncoder.h"

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
    UInt32 crc = 0;
    UInt64 bitEnd = 0; // bzip2: where the block's bits end
};

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
    std::mutex _mutex;
    std::condition_variable _work;
    std::condition_variable _finished;
    bool _stop = false;
    bool _startAllowed = false;

    void Worker();
    HRESULT Submit();
    // Hands on the finished jobs at the front; waits until fewer than `keep` remain.
    HRESULT Drain(size_t keep);

protected:
    CSevenZipSink *_next;

    // Runs on a worker: compresses in into out; false on failure.
    virtual bool EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) const = 0;
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
    HRESULT Write(const Byte *data, size_t size) override;
    HRESULT Finish() override;
};

class CLzma2MtEncoder : public CParallelBlockEncoder {
    lzma_options_lzma _options;

protected:
    bool EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) const override;
    HRESULT EmitBlock(const CEncodedBlock &block) override;
    HRESULT EmitEnd() override;

public:
    CLzma2MtEncoder(CSevenZipSink *next, const lzma_options_lzma &options, UInt32 threads);
    ~CLzma2MtEncoder() override { Stop(); }
    // Three dictionaries per block, as xz does: large enough that the cuts cost little.
    static size_t BlockSizeFor(const lzma_options_lzma &options);
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
    bool EncodeBlock(const std::vector<Byte> &in, CEncodedBlock &out) const override;
    HRESULT EmitBlock(const CEncodedBlock &block) override;
    HRESULT EmitEnd() override;

public:
    // level: 1-9, hundreds of kilobytes per block.
    CBzip2MtEncoder(CSevenZipSink *next, int level, UInt32 threads);
    ~CBzip2MtEncoder() override { Stop(); }
    // Input per block: small enough that run-length coding can never push it past one bzip2 block.
    static size_t BlockSizeFor(int level) { return static_cast<size_t>(level) * 80000; }
};

} // namespace NPlugin
