#pragma once

// Reads one zip entry's data through libzip. libzip decrypts every entry but does not decode LZMA
// (method 14): such an entry is read compressed and decoded here with liblzma, its CRC checked.
#include "common/MyWindows.h"

#include <lzma.h>
#include <vector>
#include <zip.h>

namespace NPlugin {

class CZipEntryReader {
    zip_file_t *_file = nullptr;
    bool _lzma = false;
    lzma_stream _lz = LZMA_STREAM_INIT;
    std::vector<Byte> _in;
    bool _inEnd = false;
    UInt64 _left = 0;
    UInt32 _crc = 0;
    UInt32 _expectedCrc = 0;
    bool _checkCrc = false;
    int _error = ZIP_ER_OK;

    zip_int64_t Fail(int code) {
        _error = code;
        return -1;
    }
    bool StartLzma();
    zip_int64_t ReadLzma(Byte *buf, size_t size);

public:
    CZipEntryReader() {}
    ~CZipEntryReader();
    CZipEntryReader(const CZipEntryReader &) = delete;
    CZipEntryReader &operator=(const CZipEntryReader &) = delete;

    // password: null for an entry in clear. False with Error() set when the entry cannot be read.
    bool Open(zip_t *za, zip_uint64_t index, const char *password);
    // Bytes read, 0 at the end, -1 on failure (Error() tells which).
    zip_int64_t Read(void *buf, size_t size);
    // A ZIP_ER_ code.
    int Error() const { return _error; }
};

} // namespace NPlugin
