#include "libarchive/LibarchiveWriter.h"

#include "coders/GzipMtEncoder.h"
#include "coders/ParallelBlockEncoder.h"
#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "Utf8Locale.h"

#include <algorithm>
#include <archive_entry.h>
#include <errno.h>
#include <string.h>
#include <string>
#include <unistd.h>

namespace NPlugin {

namespace {

const int kTarRecord = 10240;
// Just over 1 MiB, and whole tar records: the end of a tar is padded from where its last full
// block ends, so that the archive stays a whole number of records.
const int kOutputBlock = 103 * kTarRecord;

const char *SevenZipMethod(const CWriteProps &props) {
    switch (props.method) {
    case EWriteMethod::kCopy:
        return "store";
    case EWriteMethod::kDeflate:
        return "deflate";
    case EWriteMethod::kBzip2:
        return "bzip2";
    case EWriteMethod::kLzma:
        return "lzma1";
    case EWriteMethod::kPpmd:
        return "ppmd";
    default:
        return props.level == 0 ? "store" : "lzma2";
    }
}

// Writers that take a thread count use every processor unless told otherwise.
UInt32 ThreadsOf(const CWriteProps &props) {
    if (props.threads > 0 && props.threads <= 1024) return props.threads;
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<UInt32>(n) : 1;
}

class CStreamSink : public CSevenZipSink {
    ISequentialOutStream *_out;

    UInt64 *_count;

public:
    CStreamSink(ISequentialOutStream *out, UInt64 *count) : _out(out), _count(count) {}
    HRESULT Write(const Byte *data, size_t size) override {
        *_count += size;
        return WriteStreamAll(_out, data, size);
    }
    HRESULT Finish() override { return S_OK; }
};

const char *ZipEncryptionName(EZipEncryption e) {
    switch (e) {
    case EZipEncryption::kAes128:
        return "aes128";
    case EZipEncryption::kAes256:
        return "aes256";
    case EZipEncryption::kAes192:
        return "aes192"; // not offered by libarchive: refused when set
    case EZipEncryption::kZipCrypto:
        break;
    }
    return "zipcrypt";
}

} // namespace

CLibarchiveWriter::CLibarchiveWriter(ISequentialOutStream *out) : _out(out) {}

CLibarchiveWriter::~CLibarchiveWriter() {
    if (!_a) return;
    CUtf8LocaleScope scope;
    // A failed session is closed into a refusing stream: libarchive frees its coders only when
    // closing, and at its first write the close gives up instead of coding what it holds or padding
    // an entry to the size its header announced (which may be anything a damaged archive said).
    _discard = true;
    if (!_closed) archive_write_close(_a);
    archive_write_free(_a);
}

la_ssize_t CLibarchiveWriter::WriteCallback(struct archive *a, void *client, const void *buffer, size_t length) {
    CLibarchiveWriter *self = static_cast<CLibarchiveWriter *>(client);
    if (self->_discard) {
        archive_set_error(a, ECANCELED, "Discarded");
        return -1;
    }
    if (self->_streamResult == S_OK) {
        if (self->_parallel) {
            self->_streamResult = self->_parallel->Write(static_cast<const Byte *>(buffer), length);
        } else {
            self->_packed += length;
            self->_streamResult = WriteStreamAll(self->_out, buffer, length);
        }
    }
    if (self->_streamResult != S_OK) {
        archive_set_error(a, EIO, "Write error");
        return -1;
    }
    return static_cast<la_ssize_t>(length);
}

HRESULT CLibarchiveWriter::Result(int r) {
    if (r >= ARCHIVE_WARN) return S_OK;
    if (_streamResult != S_OK) return _streamResult;
    return E_FAIL;
}

HRESULT CLibarchiveWriter::Open(EWriteFormat format, const CWriteProps &props, const char *passphrase,
                                CEncodeProgress *progress, UInt64 expectedSize) {
    if (_ownTar && format == EWriteFormat::kTar && !passphrase) {
        _block.reserve(kOutputBlock);
        return S_OK;
    }
    _ownTar = false;
    CUtf8LocaleScope scope;
    _a = archive_write_new();
    if (!_a) return E_OUTOFMEMORY;
    const std::string level = std::to_string(props.level);
    const std::string threads = std::to_string(ThreadsOf(props));
    int r = ARCHIVE_OK;
    // Options a module does not know come back as a warning; only a refused value is an error.
    auto option = [&](int (*set)(struct archive *, const char *, const char *, const char *), const char *module,
                      const char *name, const char *value) {
        if (r < ARCHIVE_WARN) return;
        r = set(_a, module, name, value);
    };
    switch (format) {
    case EWriteFormat::k7z:
        r = archive_write_set_format_7zip(_a);
        option(archive_write_set_format_option, "7zip", "compression", SevenZipMethod(props));
        if (props.level > 0) option(archive_write_set_format_option, "7zip", "compression-level", level.c_str());
        break;
    case EWriteFormat::kZip:
        r = archive_write_set_format_zip(_a);
        option(archive_write_set_format_option, "zip", "hdrcharset", "UTF-8");
        if (props.method == EWriteMethod::kCopy || props.level == 0) {
            option(archive_write_set_format_option, "zip", "compression", "store");
        } else {
            option(archive_write_set_format_option, "zip", "compression", "deflate");
            if (props.level > 0) option(archive_write_set_format_option, "zip", "compression-level", level.c_str());
        }
        break;
    case EWriteFormat::kTar:
        // Both write the same plain header for an entry that needs no extended one; the pax writer
        // costs several times more per entry.
        r = _plainTar ? archive_write_set_format_ustar(_a) : archive_write_set_format_pax_restricted(_a);
        break;
    case EWriteFormat::kGzip:
        r = archive_write_set_format_raw(_a);
        if (ThreadsOf(props) > 1) {
            _outSink.reset(new CStreamSink(_out, &_packed));
            _parallel.reset(new CGzipMtEncoder(_outSink.get(), props.level, ThreadsOf(props)));
            break;
        }
        if (r == ARCHIVE_OK) r = archive_write_add_filter_gzip(_a);
        if (props.level >= 0) option(archive_write_set_filter_option, "gzip", "compression-level", level.c_str());
        break;
    case EWriteFormat::kBzip2: {
        r = archive_write_set_format_raw(_a);
        if (ThreadsOf(props) > 1) {
            _outSink.reset(new CStreamSink(_out, &_packed));
            CBzip2MtEncoder *mt =
                new CBzip2MtEncoder(_outSink.get(), props.level < 1 ? 9 : props.level, ThreadsOf(props));
            _parallel.reset(mt);
            mt->SetProgress(progress);
            _parallelReports = progress != nullptr;
            break;
        }
        if (r == ARCHIVE_OK) r = archive_write_add_filter_bzip2(_a);
        const std::string l = std::to_string(props.level < 1 ? 1 : props.level);
        if (props.level >= 0) option(archive_write_set_filter_option, "bzip2", "compression-level", l.c_str());
        break;
    }
    case EWriteFormat::kXz:
        r = archive_write_set_format_raw(_a);
        if (ThreadsOf(props) > 1) {
            // libarchive's threaded xz runs ahead of the data and cannot be held or stopped.
            lzma_options_lzma options;
            if (lzma_lzma_preset(&options, static_cast<uint32_t>(props.level < 0 ? 6 : std::min(props.level, 9))))
                return E_INVALIDARG;
            _outSink.reset(new CStreamSink(_out, &_packed));
            CXzMtEncoder *mt = new CXzMtEncoder(_outSink.get(), options, ThreadsOf(props), expectedSize);
            _parallel.reset(mt);
            mt->SetProgress(progress);
            _parallelReports = progress != nullptr;
            break;
        }
        if (r == ARCHIVE_OK) r = archive_write_add_filter_xz(_a);
        if (props.level >= 0) option(archive_write_set_filter_option, "xz", "compression-level", level.c_str());
        option(archive_write_set_filter_option, "xz", "threads", threads.c_str());
        break;
    case EWriteFormat::kZstd: {
        // Coded here on any number of threads: libarchive's filter hands everything to libzstd at
        // once, which then codes it with no way to hold or stop it.
        r = archive_write_set_format_raw(_a);
        _outSink.reset(new CStreamSink(_out, &_packed));
        CZstdMtEncoder *mt =
            new CZstdMtEncoder(_outSink.get(), props.level < 0 ? 3 : props.level, ThreadsOf(props), expectedSize);
        _parallel.reset(mt);
        mt->SetProgress(progress);
        _parallelReports = progress != nullptr;
        break;
    }
    case EWriteFormat::kNone:
        return E_NOTIMPL;
    }
    if (r < ARCHIVE_WARN) return E_INVALIDARG;
    if (passphrase) RINOK_PLUGIN(SetZipEncryption(passphrase, props.encryption));
    // Output leaves in large writes; only the end is padded as before: a tar to a whole number of
    // its 10 KiB records, other archives not at all.
    archive_write_set_bytes_per_block(_a, kOutputBlock);
    archive_write_set_bytes_in_last_block(_a, format == EWriteFormat::kTar ? kTarRecord : 1);
    return Result(archive_write_open2(_a, this, nullptr, WriteCallback, nullptr, nullptr));
}

HRESULT CLibarchiveWriter::SetZipEncryption(const char *passphrase, EZipEncryption method) {
    if (archive_write_set_passphrase(_a, passphrase) != ARCHIVE_OK) return E_INVALIDARG;
    // A library built without the cipher refuses the option: the data must not go out in clear.
    if (archive_write_set_format_option(_a, "zip", "encryption", ZipEncryptionName(method)) != ARCHIVE_OK)
        return E_NOTIMPL;
    return S_OK;
}

HRESULT CLibarchiveWriter::OwnFlush() {
    if (_block.empty() || _streamResult != S_OK) return _streamResult;
    _packed += _block.size();
    _streamResult = WriteStreamAll(_out, _block.data(), _block.size());
    _block.clear();
    return _streamResult;
}

HRESULT CLibarchiveWriter::OwnPut(const void *data, size_t size) {
    const char *p = static_cast<const char *>(data);
    while (size != 0) {
        const size_t n = std::min(size, static_cast<size_t>(kOutputBlock) - _block.size());
        if (p)
            _block.append(p, n);
        else
            _block.append(n, '\0');
        if (p) p += n;
        size -= n;
        if (_block.size() == static_cast<size_t>(kOutputBlock)) RINOK_PLUGIN(OwnFlush());
    }
    return _streamResult;
}

namespace {

// Octal digits with leading zeros filling the field.
void PutOctal(char *field, int digits, UInt64 value) {
    for (int i = digits - 1; i >= 0; i--) {
        field[i] = static_cast<char>('0' + (value & 7));
        value >>= 3;
    }
}

// The sum of the 512 bytes, eight at a time: each 16-bit lane stays below 64 * 2 * 255.
unsigned ByteSum(const char *h) {
    const UInt64 kLow = 0x00FF00FF00FF00FFULL;
    UInt64 lanes = 0;
    for (int i = 0; i < 512; i += 8) {
        UInt64 w;
        memcpy(&w, h + i, 8);
        lanes += (w & kLow) + ((w >> 8) & kLow);
    }
    unsigned sum = 0;
    for (int i = 0; i < 4; i++)
        sum += static_cast<unsigned>((lanes >> (16 * i)) & 0xFFFF);
    return sum;
}

bool PutText(char *field, size_t room, const char *s) {
    if (!s) return true;
    const size_t len = strlen(s);
    if (len > room) return false;
    memcpy(field, s, len);
    return true;
}

} // namespace

HRESULT CLibarchiveWriter::OwnHeader(struct archive_entry *entry) {
    if (_entryLeft != 0 || _entryWritten % 512 != 0) return E_FAIL; // the last entry was not finished
    char h[512];
    memset(h, 0, sizeof(h));
    // The fields libarchive's plain writer fills in, in its layout: numbers in octal with a space
    // (and a zero) after them, the checksum over the header with its own field as spaces.
    static const char kNumbers[] = "000000 \0"
                                   "000000 \0"
                                   "000000 \0"
                                   "00000000000 "
                                   "00000000000 "
                                   "        0";
    memcpy(h + 100, kNumbers, sizeof(kNumbers) - 1);
    static const char kMagic[] = "ustar\0"
                                 "00";
    static const char kDevices[] = "000000 \0"
                                   "000000 \0";
    memcpy(h + 257, kMagic, sizeof(kMagic) - 1);
    memcpy(h + 329, kDevices, sizeof(kDevices) - 1);
    // Plain names are printable ASCII, the same bytes in any locale; the writer sets them as such.
    const char *path = archive_entry_pathname(entry);
    const size_t pathLen = path ? strlen(path) : 0;
    const mode_t type = archive_entry_filetype(entry);
    const bool slash = type == AE_IFDIR && pathLen != 0 && path[pathLen - 1] != '/';
    if (pathLen == 0 || pathLen + slash > 100) return E_INVALIDARG;
    memcpy(h, path, pathLen);
    if (slash) h[pathLen] = '/';
    PutOctal(h + 100, 6, archive_entry_mode(entry) & 07777);
    PutOctal(h + 108, 6, static_cast<UInt64>(archive_entry_uid(entry)));
    PutOctal(h + 116, 6, static_cast<UInt64>(archive_entry_gid(entry)));
    const char *hardlink = archive_entry_hardlink(entry);
    UInt64 size = 0;
    if (hardlink) {
        h[156] = '1';
        if (!PutText(h + 157, 100, hardlink)) return E_INVALIDARG;
    } else if (type == AE_IFREG) {
        size = static_cast<UInt64>(archive_entry_size(entry));
    } else if (type == AE_IFDIR) {
        h[156] = '5';
    } else if (type == AE_IFLNK) {
        h[156] = '2';
        if (!PutText(h + 157, 100, archive_entry_symlink(entry))) return E_INVALIDARG;
    } else {
        return E_INVALIDARG;
    }
    PutOctal(h + 124, 11, size);
    PutOctal(h + 136, 11, static_cast<UInt64>(archive_entry_mtime(entry)));
    if (!PutText(h + 265, 32, archive_entry_uname(entry)) || !PutText(h + 297, 32, archive_entry_gname(entry)))
        return E_INVALIDARG;
    PutOctal(h + 148, 6, ByteSum(h));
    h[154] = '\0';
    _entryLeft = size;
    _entryWritten = 0;
    return OwnPut(h, sizeof(h));
}

HRESULT CLibarchiveWriter::WriteHeader(struct archive_entry *entry) {
    if (_ownTar) return OwnHeader(entry);
    CUtf8LocaleScope scope;
    return Result(archive_write_header(_a, entry));
}

HRESULT CLibarchiveWriter::WriteData(const void *data, size_t size) {
    if (_ownTar) {
        // Data past what the header announced is dropped, as libarchive does.
        const size_t use = static_cast<size_t>(std::min<UInt64>(size, _entryLeft));
        _entryLeft -= use;
        _entryWritten += use;
        return use == 0 ? S_OK : OwnPut(data, use);
    }
    CUtf8LocaleScope scope;
    const char *p = static_cast<const char *>(data);
    while (size != 0) {
        const la_ssize_t n = archive_write_data(_a, p, size);
        if (n < 0) return Result(static_cast<int>(n));
        if (n == 0) return _streamResult != S_OK ? _streamResult : E_FAIL;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return S_OK;
}

HRESULT CLibarchiveWriter::FinishEntry() {
    if (_ownTar) {
        // Zeros for data announced and not given, then up to the next 512-byte block.
        const UInt64 total = _entryWritten + _entryLeft;
        const UInt64 padded = (total + 511) / 512 * 512;
        const UInt64 zeros = padded - _entryWritten;
        _entryLeft = 0;
        _entryWritten = 0;
        return OwnPut(nullptr, static_cast<size_t>(zeros));
    }
    CUtf8LocaleScope scope;
    return Result(archive_write_finish_entry(_a));
}

HRESULT CLibarchiveWriter::Close() {
    if (_ownTar) {
        _closed = true;
        if (_entryLeft != 0 || _entryWritten % 512 != 0) RINOK_PLUGIN(FinishEntry());
        // The end: two zero blocks, then zeros to a whole record counted from the start.
        RINOK_PLUGIN(OwnPut(nullptr, 1024));
        const UInt64 total = _packed + _block.size();
        RINOK_PLUGIN(OwnPut(nullptr, static_cast<size_t>((kTarRecord - total % kTarRecord) % kTarRecord)));
        return OwnFlush();
    }
    CUtf8LocaleScope scope;
    const int r = archive_write_close(_a);
    _closed = true;
    RINOK_PLUGIN(Result(r));
    if (_parallel && _streamResult == S_OK) _streamResult = _parallel->Finish();
    return _streamResult;
}

std::string CLibarchiveWriter::ErrorString() const {
    const char *s = _a ? archive_error_string(_a) : nullptr;
    return s ? std::string(s) : std::string();
}

} // namespace NPlugin
