#pragma once

// The writing side of a format handler: its options (ISetProperties) and WriteArchive, which
// builds the new archive from the update callback's records. Items kept from the old archive are
// copied by extracting them from the handler that opened it; new items are streamed from the
// callback's input streams in blocks, and each stream is released as soon as its item is written.
#include "FormatTable.h"
#include "WriteProps.h"
#include "archive/IArchive.h"

namespace NPlugin {

class COutHandler {
    EWriteFormat _format;
    CWriteProps _props;

public:
    explicit COutHandler(const CFormatInfo &format);

    bool CanWrite() const { return _format != EWriteFormat::kNone; }
    const CWriteProps &Props() const { return _props; }
    HRESULT SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps);
    HRESULT GetTimeKind(UInt32 *type) const;
    // oldArchive: the opened archive that kept items come from; null when nothing is open.
    HRESULT WriteArchive(IInArchive *oldArchive, ISequentialOutStream *outStream, UInt32 numItems,
                         IArchiveUpdateCallback *callback);
};

} // namespace NPlugin

// QueryInterface entry that answers only when cond holds (a handler writes only writable formats).
#define COM_QI_ENTRY_IF(i, cond)                                                                                       \
    else if ((cond) && iid == IID_##i) {                                                                               \
        *outObject = static_cast<void *>(static_cast<i *>(this));                                                      \
    }
