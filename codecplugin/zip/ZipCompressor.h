#pragma once

// Compresses the new entries of a zip on worker threads into a temporary file, in entry order,
// with a bounded amount of data in flight. Input is read on the calling thread (the engine's
// streams are not shared across threads). Deflate data is cut into blocks that are compressed
// side by side, each primed with the 32 KiB before it and ended on a byte boundary, so that the
// blocks joined are one deflate stream (a large file uses every thread). BZip2 and LZMA streams
// cannot be joined: an entry is one job when it is small, and a large one is compressed on the
// calling thread after the queue drains.
#include "archive/IStream.h"
#include "common/MyWindows.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdio.h>
#include <thread>
#include <vector>
#include <zip.h>

namespace NPlugin {

// Bytes whose storage is not zeroed when the vector grows: buffers that are filled right away.
template <class T> struct CNoInitAllocator : std::allocator<T> {
    template <class U> struct rebind { typedef CNoInitAllocator<U> other; };
    CNoInitAllocator() = default;
    template <class U> CNoInitAllocator(const CNoInitAllocator<U> &) {}
    template <class U> void construct(U *p) { ::new (static_cast<void *>(p)) U; }
    template <class U, class... Args> void construct(U *p, Args &&...args) {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};
typedef std::vector<Byte, CNoInitAllocator<Byte>> CByteBuffer;

// Where an entry's compressed data lies in the temporary file.
struct CSpoolEntry {
    UInt64 offset = 0;
    UInt64 packSize = 0;
    UInt64 size = 0;
    UInt32 crc = 0;
    zip_int32_t method = ZIP_CM_STORE;
};

// Takes each entry's compressed data as it is done, in entry order, instead of the temporary file.
// When `last` is set the entry's record (sizes, CRC) is complete.
class IZipEntrySink {
public:
    virtual ~IZipEntrySink() {}
    virtual HRESULT EntryData(size_t entry, const Byte *data, size_t size, bool first, bool last) = 0;
};

class CZipCompressor {
public:
    struct CJob;

private:
    zip_int32_t _method;
    int _level;
    UInt32 _numThreads;
    FILE *_spool = nullptr;
    UInt64 _spoolPos = 0;
    std::vector<CSpoolEntry> _entries;
    std::vector<std::thread> _threads;
    std::mutex _mutex;
    std::condition_variable _workReady;
    std::condition_variable _jobDone;
    std::deque<CJob *> _queue;                   // waiting for a worker
    std::deque<std::unique_ptr<CJob>> _inFlight; // in entry order, until written
    size_t _inFlightBytes = 0;
    bool _stop = false;
    bool _started = false; // the first job waits unqueued: one small entry starts no threads
    std::vector<char> _spoolBuf;
    UInt64 _doneIn = 0;  // bytes compressed
    UInt64 _doneOut = 0; // bytes they became
    std::function<HRESULT(UInt64, UInt64)> _ratio;
    CByteBuffer _readBuf;
    IZipEntrySink *_sink = nullptr;

    void Worker();
    bool RunJob(CJob &j);
    HRESULT Submit(std::unique_ptr<CJob> job);
    HRESULT WriteFront();
    HRESULT Drain();
    HRESULT SpoolWrite(const void *data, size_t size);
    HRESULT Emit(size_t entry, const Byte *data, size_t size, bool first, bool last);
    HRESULT ReadBlock(ISequentialInStream *in, size_t size, CByteBuffer &data);
    HRESULT CompressInline(ISequentialInStream *in, CByteBuffer &head, CSpoolEntry &entry,
                           const std::function<HRESULT(UInt64)> &progress);

public:
    // method: ZIP_CM_STORE, ZIP_CM_DEFLATE, ZIP_CM_BZIP2 or ZIP_CM_LZMA; level -1 for the default.
    CZipCompressor(zip_int32_t method, int level, UInt32 numThreads);
    ~CZipCompressor();
    CZipCompressor(const CZipCompressor &) = delete;
    CZipCompressor &operator=(const CZipCompressor &) = delete;

    // ratio, when set, is told the bytes compressed and their packed size as each block is done.
    // sink: null to gather the entries in the temporary file.
    HRESULT Start(const std::function<HRESULT(UInt64, UInt64)> &ratio = nullptr, IZipEntrySink *sink = nullptr);
    // Reads the stream to its end as the next entry; progress gets the bytes read. The entry's
    // record is complete after Finish; read: the bytes read (workers only compress).
    HRESULT Add(ISequentialInStream *in, const std::function<HRESULT(UInt64)> &progress, size_t &entryIndex,
                UInt64 &read);
    // The next entry is data to store as it is (a link's target, nothing for a folder).
    HRESULT AddStored(const std::string &data, size_t &entryIndex);
    HRESULT Finish();
    const CSpoolEntry &Entry(size_t index) const { return _entries[index]; }
    int SpoolFd() const { return fileno(_spool); }
};

} // namespace NPlugin
