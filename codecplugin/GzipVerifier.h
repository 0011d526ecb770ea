#pragma once

// Decodes a gzip stream once with zlib to check every member against its trailer (CRC32 and
// length). libarchive's gzip reader skips that check, so damaged data would pass as good.
#include "archive/IArchive.h"
#include "archive/IStream.h"

namespace NPlugin {

class CGzipVerifier {
public:
    // result: an operation result (kOK, kCRCError, kDataError or kUnexpectedEnd); unpackSize: the
    // bytes decoded. Members follow one another as libarchive reads them; anything after the last
    // member that does not start like one is ignored, as libarchive does.
    static HRESULT Verify(IInStream *stream, IArchiveOpenCallback *progress, Int32 &result, UInt64 &unpackSize);
};

} // namespace NPlugin
