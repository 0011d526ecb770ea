#pragma once

#include <errno.h>

#include "archive/IStream.h"
#include "windows/FileIO.h"

// The seek of the file streams: the origin is checked here, and a position before the start is
// reported as such rather than as a plain failure.
inline HRESULT SeekFile(NWindows::NFile::NIO::CFileBase &file, Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    if (seekOrigin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
    UInt64 pos = 0;
    if (file.Seek(offset, seekOrigin, pos)) {
        if (newPosition) *newPosition = pos;
        return S_OK;
    }
    return errno == EINVAL ? HRESULT_WIN32_ERROR_NEGATIVE_SEEK : E_FAIL;
}
