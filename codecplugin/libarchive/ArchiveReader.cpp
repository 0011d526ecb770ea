#include "libarchive/ArchiveReader.h"

#include "Utf8Locale.h"
#include "archive/IArchive.h"

#include <algorithm>
#include <ctype.h>

namespace NPlugin {

namespace {
// A read after a seek is short, since listing readers seek from one header to the next; reads that
// follow one another grow, so that a whole pass makes few calls of the source and of the output.
const size_t kFirstReadSize = 1 << 16;
const size_t kLongReadSize = 1 << 20;

std::string Lower(const std::string &s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return r;
}

bool Has(const std::string &s, const char *part) {
    return s.find(part) != std::string::npos;
}
} // namespace

CArchiveReader::CArchiveReader(IInStream *stream, UInt64 streamSize)
    : _stream(stream), _streamSize(streamSize), _leadingZeros(0), _pos(0), _maxPos(0), _streamResult(S_OK),
      _hitEnd(false), _a(nullptr), _passphraseSource(nullptr), _readSize(kFirstReadSize),
      _readEnd(~static_cast<UInt64>(0)) {}

CArchiveReader::~CArchiveReader() {
    if (_a) {
        CUtf8LocaleScope scope;
        archive_read_free(_a);
    }
}

la_ssize_t CArchiveReader::ReadCallback(struct archive *, void *client, const void **buffer) {
    CArchiveReader *self = static_cast<CArchiveReader *>(client);
    self->_readSize = self->_pos == self->_readEnd ? std::min(self->_readSize * 2, kLongReadSize) : kFirstReadSize;
    // libarchive has taken all of the previous block by now, so the buffer may move.
    if (self->_buf.size() < self->_readSize) self->_buf.resize(self->_readSize);
    *buffer = self->_buf.data();
    if (self->_pos >= self->_streamSize) {
        self->_hitEnd = true;
        return 0;
    }
    UInt32 done = 0;
    HRESULT res = S_OK;
    if (self->_pos < self->_leadingZeros) {
        done = static_cast<UInt32>(std::min<UInt64>(self->_leadingZeros - self->_pos, self->_readSize));
        std::fill(self->_buf.begin(), self->_buf.begin() + done, 0);
    } else {
        res = self->_stream->Seek(static_cast<Int64>(self->_pos - self->_leadingZeros), STREAM_SEEK_SET, nullptr);
        if (res == S_OK) {
            UInt64 want = self->_streamSize - self->_pos;
            if (want > self->_readSize) want = self->_readSize;
            res = self->_stream->Read(self->_buf.data(), static_cast<UInt32>(want), &done);
        }
    }
    if (res != S_OK) {
        if (self->_streamResult == S_OK) self->_streamResult = res;
        archive_set_error(self->_a, EIO, "Read error");
        return ARCHIVE_FATAL;
    }
    if (done == 0) self->_hitEnd = true;
    self->_pos += done;
    self->_readEnd = self->_pos;
    self->_maxPos = std::max(self->_maxPos, self->_pos);
    return static_cast<la_ssize_t>(done);
}

la_int64_t CArchiveReader::SeekCallback(struct archive *, void *client, la_int64_t offset, int whence) {
    CArchiveReader *self = static_cast<CArchiveReader *>(client);
    Int64 base = 0;
    if (whence == SEEK_CUR)
        base = static_cast<Int64>(self->_pos);
    else if (whence == SEEK_END)
        base = static_cast<Int64>(self->_streamSize);
    const Int64 target = base + offset;
    if (target < 0) return ARCHIVE_FATAL;
    self->_pos = static_cast<UInt64>(target);
    return target;
}

la_int64_t CArchiveReader::SkipCallback(struct archive *, void *client, la_int64_t request) {
    CArchiveReader *self = static_cast<CArchiveReader *>(client);
    if (request <= 0) return 0;
    UInt64 left = self->_streamSize > self->_pos ? self->_streamSize - self->_pos : 0;
    const UInt64 n = std::min<UInt64>(left, static_cast<UInt64>(request));
    self->_pos += n;
    return static_cast<la_int64_t>(n);
}

const char *CArchiveReader::PassphraseCallback(struct archive *, void *client) {
    CArchiveReader *self = static_cast<CArchiveReader *>(client);
    return self->_passphraseSource ? self->_passphraseSource->NextPassphrase() : nullptr;
}

int CArchiveReader::Open(FormatSetupFunc setup) {
    CUtf8LocaleScope scope;
    _a = archive_read_new();
    if (!_a) return ARCHIVE_FATAL;
    setup(_a);
    archive_read_set_read_callback(_a, ReadCallback);
    archive_read_set_seek_callback(_a, SeekCallback);
    archive_read_set_skip_callback(_a, SkipCallback);
    archive_read_set_callback_data(_a, this);
    archive_read_set_passphrase_callback(_a, this, PassphraseCallback);
    return archive_read_open1(_a);
}

int CArchiveReader::NextHeader(struct archive_entry **entry) {
    CUtf8LocaleScope scope;
    return archive_read_next_header(_a, entry);
}

la_ssize_t CArchiveReader::ReadData(void *buf, size_t size) {
    CUtf8LocaleScope scope;
    return archive_read_data(_a, buf, size);
}

int CArchiveReader::ReadDataBlock(const void **buf, size_t *size, la_int64_t *offset) {
    CUtf8LocaleScope scope;
    return archive_read_data_block(_a, buf, size, offset);
}

int CArchiveReader::SkipData() {
    CUtf8LocaleScope scope;
    return archive_read_data_skip(_a);
}

UInt64 CArchiveReader::ConsumedBytes() {
    CUtf8LocaleScope scope;
    const la_int64_t n = archive_filter_bytes(_a, -1);
    return n > 0 ? static_cast<UInt64>(n) : 0;
}

int CArchiveReader::FilterCode(int index) {
    CUtf8LocaleScope scope;
    return archive_filter_code(_a, index);
}

int CArchiveReader::FormatCode() {
    CUtf8LocaleScope scope;
    return archive_format(_a);
}

std::string CArchiveReader::ErrorString() {
    const char *s = _a ? archive_error_string(_a) : nullptr;
    return s ? std::string(s) : std::string();
}

Int32 OperationResultFromMessage(const std::string &message, bool encrypted, bool canDecrypt) {
    using namespace NArchive::NExtract::NOperationResult;
    const std::string m = Lower(message);
    if (encrypted && !canDecrypt) return kUnsupportedMethod;
    if (Has(m, "passphrase") || Has(m, "password")) return kWrongPassword;
    if (Has(m, "crc") || Has(m, "checksum")) return kCRCError;
    if (Has(m, "truncat") || Has(m, "premature") || Has(m, "unexpected end") || Has(m, "eof")) return kUnexpectedEnd;
    if (Has(m, "unsupported") || Has(m, "not supported") || Has(m, "unknown compression")) return kUnsupportedMethod;
    // A decryption that produced garbage shows up as a data error of an encrypted entry.
    if (encrypted && canDecrypt && (Has(m, "decrypt") || Has(m, "incorrect"))) return kWrongPassword;
    return kDataError;
}

UInt32 ErrorFlagFromMessage(const std::string &message) {
    const std::string m = Lower(message);
    if (Has(m, "truncat") || Has(m, "premature") || Has(m, "unexpected end") || Has(m, "eof"))
        return kpv_ErrorFlags_UnexpectedEnd;
    if (Has(m, "crc") || Has(m, "checksum")) return kpv_ErrorFlags_CrcError;
    if (Has(m, "unsupported") || Has(m, "not supported")) return kpv_ErrorFlags_UnsupportedFeature;
    return kpv_ErrorFlags_HeadersError;
}

} // namespace NPlugin
