#include "OutFdStream.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "windows/TimeUtils.h"

HRESULT COutFdStream::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (_fd < 0) return E_FAIL;
    const Byte *p = (const Byte *)data;
    UInt32 done = 0;
    while (done < size) {
        const ssize_t n = write(_fd, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (processedSize) *processedSize = done;
            _processed += done;
            return HRESULT_FROM_ERRNO(errno);
        }
        done += (UInt32)n;
    }
    _processed += done;
    if (processedSize) *processedSize = done;
    return S_OK;
}

HRESULT COutFdStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    if (seekOrigin > 2) return STG_E_INVALIDFUNCTION;
    const off_t res = lseek(_fd, (off_t)offset, (int)seekOrigin);
    if (res < 0) return HRESULT_FROM_ERRNO(errno);
    if (newPosition) *newPosition = (UInt64)res;
    return S_OK;
}

HRESULT COutFdStream::SetSize(UInt64 newSize) {
    if (ftruncate(_fd, (off_t)newSize) != 0) return HRESULT_FROM_ERRNO(errno);
    return S_OK;
}

bool COutFdStream::SetTimes(const FILETIME *aTime, const FILETIME *mTime) {
    if (_fd < 0) return false;
    if (!aTime && !mTime) return true;
    struct timespec ts[2];
    ts[0].tv_sec = aTime ? (time_t)NWindows::NTime::FileTimeToUnixTime64(*aTime) : 0;
    ts[0].tv_nsec = aTime ? 0 : UTIME_OMIT;
    ts[1].tv_sec = mTime ? (time_t)NWindows::NTime::FileTimeToUnixTime64(*mTime) : 0;
    ts[1].tv_nsec = mTime ? 0 : UTIME_OMIT;
    return futimens(_fd, ts) == 0;
}

bool COutFdStream::Close() {
    if (_fd < 0) return true;
    const int fd = _fd;
    _fd = -1;
    return close(fd) == 0;
}
