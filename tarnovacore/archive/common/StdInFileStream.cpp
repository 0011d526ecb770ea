#include "StdInFileStream.h"

#include <errno.h>
#include <unistd.h>

HRESULT CStdInFileStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    ssize_t res;
    do
        res = read(0, data, size);
    while (res < 0 && errno == EINTR);
    if (res < 0) return E_FAIL;
    if (processedSize) *processedSize = (UInt32)res;
    return S_OK;
}
