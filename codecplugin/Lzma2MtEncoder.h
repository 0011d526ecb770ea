#pragma once

// LZMA2 on several threads: the data is cut into blocks that are compressed at the same time, each
// starting with a dictionary reset, and joined in order into one LZMA2 stream that any decoder reads.
#include "SevenZipEncoder.h"

#include <condition_variable>
#include <deque>
#include <lzma.h>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace NPlugin {

class CLzma2MtEncoder : public CSevenZipSink {
    struct CJob {
        std::vector<Byte> in;
        std::vector<Byte> out;
        bool done = false;
        bool failed = false;
    };

    CSevenZipSink *_next;
    lzma_options_lzma _options;
    size_t _blockSize;
    UInt32 _threads;
    std::vector<Byte> _block;
    std::deque<std::shared_ptr<CJob>> _queue;   // waiting for a worker
    std::deque<std::shared_ptr<CJob>> _inOrder; // every job not yet written, in order
    std::vector<std::thread> _workers;
    std::mutex _mutex;
    std::condition_variable _work;
    std::condition_variable _finished;
    bool _stop = false;

    void Worker();
    void Encode(CJob &job) const;
    HRESULT Submit();
    // Writes the finished jobs at the front; waits until fewer than `keep` remain.
    HRESULT Drain(size_t keep);

public:
    CLzma2MtEncoder(CSevenZipSink *next, const lzma_options_lzma &options, UInt32 threads);
    ~CLzma2MtEncoder() override;
    HRESULT Write(const Byte *data, size_t size) override;
    HRESULT Finish() override;
};

} // namespace NPlugin
