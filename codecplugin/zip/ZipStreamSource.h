#pragma once

// A libzip source over the engine's streams: reads come from an IInStream, and a write session (an
// update) goes to an ISequentialOutStream. libzip sees positions shifted by the archive's own
// start: a zip whose offsets count bytes in front of it (a stub joined with `zip -A`) or that
// leave them out reads the same. The archive is never copied: every read seeks the engine's stream.
// An update may keep the old archive's start as it is (libzip's cloning write): that part is copied
// from the old file to the new one in the kernel where both are plain files.
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <functional>
#include <stdio.h>
#include <vector>
#include <zip.h>

namespace NPlugin {

class CZipStreamSource {
    CMyComPtr<IInStream> _in;
    UInt64 _inSize = 0;
    Int64 _shift = 0; // stream position = libzip position + _shift
    UInt64 _pos = 0;
    // libzip reads the central directory a few bytes at a time: those reads come from a window.
    std::vector<Byte> _cache;
    UInt64 _cacheStart = 0; // libzip position of _cache[0]
    size_t _cacheSize = 0;

    CMyComPtr<ISequentialOutStream> _out;
    CMyComPtr<IOutStream> _outSeek;
    UInt64 _outBase = 0;
    FILE *_spool = nullptr; // a forward-only output is written here first
    UInt64 _wpos = 0;
    UInt64 _wend = 0;
    // libzip writes header fields one by one and goes back to finish each local header: writes are
    // gathered here and reach the stream in large pieces.
    std::vector<Byte> _wbuf;
    size_t _wbufSize = 0;
    UInt64 _wbufStart = 0; // libzip position of _wbuf[0]
    UInt64 _physPos = 0;   // libzip position the output stream is at
    bool _removed = false;
    bool _mayClone = false;
    std::function<HRESULT(UInt64)> _copyStep;

    HRESULT _streamResult = S_OK;
    zip_error_t _error;

    static zip_int64_t Callback(void *self, void *data, zip_uint64_t len, zip_source_cmd_t cmd);
    zip_int64_t Command(void *data, zip_uint64_t len, zip_source_cmd_t cmd);
    zip_int64_t Read(void *data, zip_uint64_t len);
    HRESULT ReadStream(UInt64 pos, Byte *data, size_t len, size_t &got);
    zip_int64_t Write(const void *data, zip_uint64_t len);
    HRESULT WriteOut(UInt64 pos, const void *data, size_t len);
    HRESULT FlushWrites();
    zip_int64_t Fail(int zipError, HRESULT res);
    HRESULT CommitSpool();
    HRESULT BeginWrite();
    HRESULT CloneStart(UInt64 size);

public:
    // in may be null for an archive made from nothing; out null for reading only.
    CZipStreamSource(IInStream *in, UInt64 inSize, Int64 shift, ISequentialOutStream *out);
    ~CZipStreamSource();
    CZipStreamSource(const CZipStreamSource &) = delete;
    CZipStreamSource &operator=(const CZipStreamSource &) = delete;

    // Called every few MiB of a copy in bulk: with the bytes copied so far while the old archive's
    // start is kept on an update, with 0 while a spooled archive goes out. A result other than S_OK
    // stops the copy and the write.
    void SetCopyStep(std::function<HRESULT(UInt64)> step) { _copyStep = std::move(step); }
    // A new libzip source calling this object; it must be freed (or handed to libzip) before this
    // object goes.
    zip_source_t *Create(zip_error_t *error);
    // The first failure of the engine's streams, S_OK when none.
    HRESULT StreamResult() const { return _streamResult; }
    // libzip asked to remove the archive: it had no entries left.
    bool Removed() const { return _removed; }
    bool WroteAnything() const { return _wend != 0; }
};

// A zip found from its end record. shift: where the central directory is less where the end record
// says it is (the offsets of a zip behind other data count from the zip, or from the whole file);
// firstEntry: where the first entry's local header lies in the stream; end: where the end record and
// its comment end, so that bytes after it can be told apart.
struct CZipPlacement {
    bool found = false;
    Int64 shift = 0;
    UInt64 firstEntry = 0;
    UInt64 end = 0;
};
HRESULT FindZipPlacement(IInStream *in, UInt64 size, CZipPlacement &placement);

} // namespace NPlugin
