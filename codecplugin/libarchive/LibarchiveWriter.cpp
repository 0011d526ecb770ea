#include "libarchive/LibarchiveWriter.h"

#include "coders/GzipMtEncoder.h"
#include "coders/ParallelBlockEncoder.h"
#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "Utf8Locale.h"

#include <algorithm>
#include <errno.h>
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

HRESULT CLibarchiveWriter::WriteHeader(struct archive_entry *entry) {
    CUtf8LocaleScope scope;
    return Result(archive_write_header(_a, entry));
}

HRESULT CLibarchiveWriter::WriteData(const void *data, size_t size) {
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
    CUtf8LocaleScope scope;
    return Result(archive_write_finish_entry(_a));
}

HRESULT CLibarchiveWriter::Close() {
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
