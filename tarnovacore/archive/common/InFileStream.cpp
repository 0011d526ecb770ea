#include "InFileStream.h"

#include <errno.h>

#include "FileStreamSeek.h"

CInFileStream::~CInFileStream() {
    if (Callback) Callback->InFileStream_On_Destroy(CallbackRef);
}

HRESULT CInFileStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    UInt32 realProcessed = 0;
    const bool ok = File.ReadPart(data, size, realProcessed);
    if (processedSize) *processedSize = realProcessed;
    if (ok) return S_OK;
    const int error = errno;
    if (Callback) return Callback->InFileStream_On_Error(CallbackRef, (UInt32)error);
    return HRESULT_FROM_ERRNO(error);
}

HRESULT CInFileStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    return SeekFile(File, offset, seekOrigin, newPosition);
}

HRESULT CInFileStream::GetSize(UInt64 *size) {
    UInt64 length = 0;
    if (!File.GetLength(length)) return E_FAIL;
    *size = length;
    return S_OK;
}

HRESULT CInFileStream::GetFileDescriptor(int *fd) {
    *fd = File.Fd();
    return *fd >= 0 ? S_OK : S_FALSE;
}
