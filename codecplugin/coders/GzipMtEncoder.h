#pragma once

// gzip on several threads: the data is cut into blocks that are deflated at the same time, each
// primed with the 32 KiB before it and ended on a byte boundary, so the blocks joined are one
// deflate stream; the CRCs of the blocks are joined with crc32_combine. Data smaller than a block
// is deflated on the caller's thread and costs no threads.
#include "sevenzip/SevenZipEncoder.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace NPlugin {

class CGzipMtEncoder : public CSevenZipSink {
    struct CJob {
        std::vector<Byte> dict;
        std::vector<Byte> in;
        std::vector<Byte> out;
        UInt32 crc = 0;
        bool last = false;
        bool done = false;
        bool failed = false;
    };

    CSevenZipSink *_next;
    int _level;
    UInt32 _threads;
    size_t _blockSize;
    std::vector<Byte> _block;
    std::vector<Byte> _tail; // the last 32 KiB submitted: the next block's dictionary
    std::vector<Byte> _out;  // output gathered into large writes
    UInt32 _crc = 0;
    UInt64 _size = 0;
    bool _headerWritten = false;
    std::deque<std::shared_ptr<CJob>> _queue;   // waiting for a worker
    std::deque<std::shared_ptr<CJob>> _inOrder; // every job not yet written, in order
    std::vector<std::thread> _workers;
    std::mutex _mutex;
    std::condition_variable _work;
    std::condition_variable _finished;
    bool _stop = false;

    void Worker();
    bool Encode(CJob &job) const;
    HRESULT Submit(bool last);
    // Writes the finished jobs at the front; waits until at most `keep` remain.
    HRESULT Drain(size_t keep);
    HRESULT Put(const Byte *data, size_t size);
    HRESULT Flush();

public:
    // level: 0-9 or -1 for zlib's default.
    CGzipMtEncoder(CSevenZipSink *next, int level, UInt32 threads, size_t blockSize = kDefaultBlock);
    ~CGzipMtEncoder() override;
    CGzipMtEncoder(const CGzipMtEncoder &) = delete;
    CGzipMtEncoder &operator=(const CGzipMtEncoder &) = delete;

    HRESULT Write(const Byte *data, size_t size) override;
    HRESULT Finish() override;

    static const size_t kDefaultBlock = 128 << 10;
};

} // namespace NPlugin
