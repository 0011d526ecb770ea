#include "zip/ZipEntryReader.h"

#include <algorithm>
#include <stdlib.h>
#include <zlib.h>

namespace NPlugin {

namespace {

const size_t kLzmaInput = 1 << 16;
const zip_uint16_t kLzmaMethod = 14;

// libzip leaks the layers it built when it refuses an entry's cipher after being given a password:
// such an entry is refused here before libzip builds anything.
zip_file_t *OpenFile(zip_t *za, zip_uint64_t index, zip_flags_t flags, const char *password, const zip_stat_t &st) {
    if (!password) return zip_fopen_index(za, index, flags);
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE &&
        !zip_encryption_method_supported(st.encryption_method, 0)) {
        zip_error_set(zip_get_error(za), ZIP_ER_ENCRNOTSUPP, 0);
        return nullptr;
    }
    return zip_fopen_index_encrypted(za, index, flags, password);
}

} // namespace

CZipEntryReader::~CZipEntryReader() {
    if (_file) zip_fclose(_file);
    if (_lzma) lzma_end(&_lz);
}

bool CZipEntryReader::Open(zip_t *za, zip_uint64_t index, const char *password) {
    zip_stat_t st;
    if (zip_stat_index(za, index, 0, &st) != 0) {
        _error = zip_error_code_zip(zip_get_error(za));
        return false;
    }
    _file = OpenFile(za, index, 0, password, st);
    if (_file) return true;
    _error = zip_error_code_zip(zip_get_error(za));
    if (_error != ZIP_ER_COMPNOTSUPP || !(st.valid & ZIP_STAT_COMP_METHOD) || st.comp_method != kLzmaMethod)
        return false;
    zip_error_clear(za);
    // Read compressed (still decrypted) and decoded here.
    _file = OpenFile(za, index, ZIP_FL_COMPRESSED, password, st);
    if (!_file) {
        _error = zip_error_code_zip(zip_get_error(za));
        return false;
    }
    _left = st.size;
    _expectedCrc = st.crc;
    // WinZip AES entries may leave the CRC out (0): their authentication code stands for it.
    const bool aes = st.encryption_method == ZIP_EM_AES_128 || st.encryption_method == ZIP_EM_AES_192 ||
                     st.encryption_method == ZIP_EM_AES_256;
    _checkCrc = !(aes && st.crc == 0);
    _error = ZIP_ER_OK;
    if (!StartLzma()) return false;
    return true;
}

// The zip form of LZMA: two version bytes, the length of the properties, the properties, then the
// raw stream, ended by its end mark or by the entry's size.
bool CZipEntryReader::StartLzma() {
    Byte header[4 + 5];
    zip_int64_t got = zip_fread(_file, header, 4);
    if (got != 4) {
        _error = got < 0 ? zip_error_code_zip(zip_file_get_error(_file)) : ZIP_ER_EOF;
        return false;
    }
    const unsigned propsSize = header[2] | (header[3] << 8);
    if (propsSize != 5) {
        _error = ZIP_ER_COMPRESSED_DATA;
        return false;
    }
    got = zip_fread(_file, header + 4, propsSize);
    if (got != static_cast<zip_int64_t>(propsSize)) {
        _error = got < 0 ? zip_error_code_zip(zip_file_get_error(_file)) : ZIP_ER_EOF;
        return false;
    }
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, header + 4, propsSize) != LZMA_OK) {
        _error = ZIP_ER_COMPRESSED_DATA;
        return false;
    }
    const lzma_ret r = lzma_raw_decoder(&_lz, filters);
    free(filters[0].options);
    if (r != LZMA_OK) {
        _error = r == LZMA_MEM_ERROR ? ZIP_ER_MEMORY : ZIP_ER_COMPRESSED_DATA;
        return false;
    }
    _lzma = true;
    _in.resize(kLzmaInput);
    return true;
}

zip_int64_t CZipEntryReader::ReadLzma(Byte *buf, size_t size) {
    if (_left == 0) {
        // Read what is left of the entry, so that an AES authentication code is checked.
        for (;;) {
            const zip_int64_t n = zip_fread(_file, _in.data(), _in.size());
            if (n < 0) return Fail(zip_error_code_zip(zip_file_get_error(_file)));
            if (n == 0) break;
        }
        if (_checkCrc && _crc != _expectedCrc) return Fail(ZIP_ER_CRC);
        return 0;
    }
    const size_t want = static_cast<size_t>(std::min<UInt64>(size, _left));
    _lz.next_out = buf;
    _lz.avail_out = want;
    while (_lz.avail_out != 0) {
        if (_lz.avail_in == 0 && !_inEnd) {
            const zip_int64_t n = zip_fread(_file, _in.data(), _in.size());
            if (n < 0) return Fail(zip_error_code_zip(zip_file_get_error(_file)));
            _inEnd = n == 0;
            _lz.next_in = _in.data();
            _lz.avail_in = static_cast<size_t>(n);
        }
        const lzma_ret r = lzma_code(&_lz, LZMA_RUN);
        if (r == LZMA_STREAM_END) break;
        if (r == LZMA_BUF_ERROR) break; // no more input
        if (r != LZMA_OK) return Fail(r == LZMA_MEM_ERROR ? ZIP_ER_MEMORY : ZIP_ER_COMPRESSED_DATA);
    }
    const size_t produced = want - _lz.avail_out;
    if (produced == 0) return Fail(ZIP_ER_EOF);
    _crc = static_cast<UInt32>(crc32(_crc, buf, static_cast<uInt>(produced)));
    _left -= produced;
    return static_cast<zip_int64_t>(produced);
}

zip_int64_t CZipEntryReader::Read(void *buf, size_t size) {
    if (_lzma) return ReadLzma(static_cast<Byte *>(buf), size);
    const zip_int64_t n = zip_fread(_file, buf, size);
    if (n < 0) _error = zip_error_code_zip(zip_file_get_error(_file));
    return n;
}

} // namespace NPlugin
