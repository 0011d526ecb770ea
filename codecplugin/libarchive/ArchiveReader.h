#pragma once

// One libarchive read session over an IInStream. Each session keeps its own position in the
// stream, so several sessions (listing, extraction, nested streams) may share one source. Every
// libarchive call made through it runs under the C.UTF-8 locale.
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <archive.h>
#include <string>
#include <vector>

namespace NPlugin {

typedef void (*FormatSetupFunc)(struct archive *a);

// Gives libarchive a password when an entry needs one; null means none (or no more).
class IPassphraseSource {
public:
    virtual const char *NextPassphrase() = 0;

protected:
    ~IPassphraseSource() {}
};

class CArchiveReader {
    CMyComPtr<IInStream> _stream;
    UInt64 _streamSize;
    UInt64 _leadingZeros; // shown in front of the stream; _streamSize counts them
    UInt64 _pos;
    UInt64 _maxPos;
    HRESULT _streamResult;
    bool _hitEnd;
    struct archive *_a;
    IPassphraseSource *_passphraseSource;
    std::vector<Byte> _buf;
    size_t _readSize; // of the last read
    UInt64 _readEnd;  // where the last read ended

    static la_ssize_t ReadCallback(struct archive *, void *client, const void **buffer);
    static la_int64_t SeekCallback(struct archive *, void *client, la_int64_t offset, int whence);
    static la_int64_t SkipCallback(struct archive *, void *client, la_int64_t request);
    static const char *PassphraseCallback(struct archive *, void *client);

public:
    CArchiveReader(IInStream *stream, UInt64 streamSize);
    ~CArchiveReader();
    CArchiveReader(const CArchiveReader &) = delete;
    CArchiveReader &operator=(const CArchiveReader &) = delete;

    void SetPassphraseSource(IPassphraseSource *source) { _passphraseSource = source; }
    // Shows the reader zero bytes in front of the stream, before Open: a zip cut from a file whose
    // offsets count from the start of that file still finds its entries.
    void SetLeadingZeros(UInt64 count) {
        _streamSize += count - _leadingZeros;
        _leadingZeros = count;
    }
    // Enables what setup names and opens the session: ARCHIVE_OK when a reader took the data.
    int Open(FormatSetupFunc setup);
    int NextHeader(struct archive_entry **entry);
    la_ssize_t ReadData(void *buf, size_t size);
    // The next block of the entry's data and where it belongs; ARCHIVE_EOF after the last one.
    int ReadDataBlock(const void **buf, size_t *size, la_int64_t *offset);
    int SkipData();
    int FilterCode(int index);
    int FormatCode();
    std::string ErrorString();

    // The first failure of the source stream (E_ABORT from a cancelled volume request, ...).
    HRESULT StreamResult() const { return _streamResult; }
    UInt64 MaxPosition() const { return _maxPos; }
    // How much of the source the readers have taken (not only looked at) so far.
    UInt64 ConsumedBytes();
    // Whether libarchive asked for data past the end of the source since the last ClearHitEnd.
    bool HitEnd() const { return _hitEnd; }
    void ClearHitEnd() { _hitEnd = false; }
};

// The operation result for a failed read of an entry's data, from libarchive's message.
Int32 OperationResultFromMessage(const std::string &message, bool encrypted, bool canDecrypt);
// The error-flag bit for a failure that ended a listing.
UInt32 ErrorFlagFromMessage(const std::string &message);

} // namespace NPlugin
