#include "OutFileStream.h"

#include <errno.h>

#include "FileStreamSeek.h"

HRESULT COutFileStream::Close() {
    return File.Close() ? S_OK : E_FAIL;
}

HRESULT COutFileStream::GetSize(UInt64 *size) {
    UInt64 length = 0;
    if (!File.GetLength(length)) return E_FAIL;
    *size = length;
    return S_OK;
}

HRESULT COutFileStream::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    UInt32 realProcessed = 0;
    const bool ok = File.Write(data, size, realProcessed);
    ProcessedSize += realProcessed;
    if (processedSize) *processedSize = realProcessed;
    // The system's reason travels on, so that a full disk is reported as one.
    return ok ? S_OK : HRESULT_FROM_ERRNO(errno);
}

HRESULT COutFileStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    return SeekFile(File, offset, seekOrigin, newPosition);
}

HRESULT COutFileStream::SetSize(UInt64 newSize) {
    UInt64 pos = 0;
    if (!File.Seek(0, STREAM_SEEK_CUR, pos)) return E_FAIL;
    if (!File.SetLength(newSize)) return E_FAIL;
    UInt64 pos2 = 0;
    if (!File.Seek((Int64)pos, STREAM_SEEK_SET, pos2)) return E_FAIL;
    return S_OK;
}

HRESULT COutFileStream::GetFileDescriptor(int *fd) {
    *fd = File.Fd();
    return *fd >= 0 ? S_OK : S_FALSE;
}
