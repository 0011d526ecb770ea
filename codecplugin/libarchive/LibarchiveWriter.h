#pragma once

// One libarchive write session over an ISequentialOutStream: the archive leaves in the blocks
// libarchive hands out, written strictly forward (the stream may be a tail or volume stream).
// Every libarchive call runs under the C.UTF-8 locale. Nothing more reaches the stream from a
// session that is dropped without Close after an error.
#include "WriteProps.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <archive.h>
#include <memory>
#include <string>

namespace NPlugin {

class CSevenZipSink;
class CEncodeProgress;

class CLibarchiveWriter {
    CMyComPtr<ISequentialOutStream> _out;
    HRESULT _streamResult = S_OK;
    struct archive *_a = nullptr;
    bool _closed = false;
    bool _discard = false;
    UInt64 _packed = 0; // bytes handed to the stream
    // bzip2, gzip and xz on several threads: libarchive writes the raw data, which is compressed here.
    std::unique_ptr<CSevenZipSink> _outSink;
    std::unique_ptr<CSevenZipSink> _parallel;
    bool _parallelReports = false; // the parallel coder tells the progress of what it has coded
    bool _plainTar = false;
    // A plain tar of new items only is written here, header by header, without libarchive: its
    // writer costs several thousand instructions an entry. The bytes are those libarchive writes.
    bool _ownTar = false;
    std::string _block;       // output not yet handed to the stream
    UInt64 _entryLeft = 0;    // data the current header announced and not yet written
    UInt64 _entryWritten = 0; // data of the current entry written
    HRESULT OwnPut(const void *data, size_t size);
    HRESULT OwnFlush();
    HRESULT OwnHeader(struct archive_entry *entry);

    static la_ssize_t WriteCallback(struct archive *, void *client, const void *buffer, size_t length);
    HRESULT Result(int r);
    HRESULT SetZipEncryption(const char *passphrase, EZipEncryption method);

public:
    explicit CLibarchiveWriter(ISequentialOutStream *out);
    ~CLibarchiveWriter();
    CLibarchiveWriter(const CLibarchiveWriter &) = delete;
    CLibarchiveWriter &operator=(const CLibarchiveWriter &) = delete;

    // passphrase: null for none (zip only). progress hears of the bytes a parallel coder has coded;
    // otherwise (CoderReportsProgress() false) the caller reports the data as it is written.
    HRESULT Open(EWriteFormat format, const CWriteProps &props, const char *passphrase,
                 CEncodeProgress *progress = nullptr, UInt64 expectedSize = 0);
    // Tar only, before Open: every entry fits a plain header, so the lighter plain writer serves.
    // allNew: no item is copied from an old archive.
    void SetPlainTarHeaders(bool plain, bool allNew = false) {
        _plainTar = plain;
        _ownTar = plain && allNew;
    }
    bool CoderReportsProgress() const { return _parallelReports; }
    UInt64 PackedSize() const { return _packed; }
    HRESULT WriteHeader(struct archive_entry *entry);
    HRESULT WriteData(const void *data, size_t size);
    HRESULT FinishEntry();
    HRESULT Close();
    std::string ErrorString() const;
};

} // namespace NPlugin
