#include "StdOutFileStream.h"

#include <errno.h>
#include <unistd.h>

HRESULT CStdOutFileStream::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    ssize_t res;
    do
        res = write(1, data, size);
    while (res < 0 && errno == EINTR);
    // Output redirected to a full disk must say so, as the file streams do.
    if (res < 0) return HRESULT_FROM_ERRNO(errno);
    _size += (UInt64)res;
    if (processedSize) *processedSize = (UInt32)res;
    return S_OK;
}
