#include "base/Alloc.h"

#include <errno.h>
#include <mntent.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

size_t g_LargePageSize = 0;

namespace {

const size_t kHugePageTableSize = 64;
const size_t kHugetlbPathBufSize = 1024;
const size_t kLargePageMinRequest = (size_t)1 << 18;
const size_t kLargePageMaxSize = (size_t)1 << 30;

char g_HugetlbPathBuf[kHugetlbPathBufSize];
const char *g_HugetlbPath = nullptr;

// Slots are claimed under the mutex, but MidFree searches them without it; the addresses are
// atomic so that this search is a defined read, and each length is stored before its address.
std::atomic<void *> g_HugePageAddr[kHugePageTableSize];
size_t g_HugePageLen[kHugePageTableSize];
pthread_mutex_t g_HugePageMutex = PTHREAD_MUTEX_INITIALIZER;

// strerror_r comes in a GNU form (returns the text) and an XSI form (fills the buffer).
[[maybe_unused]] const char *ErrorText(const char *gnuResult, const char *) {
    return gnuResult;
}
[[maybe_unused]] const char *ErrorText(int xsiResult, const char *buf) {
    return xsiResult == 0 ? buf : "unknown error";
}

// A folder that does not fit the 1024-byte buffer means no large pages, wherever it came from.
bool StoreHugetlbPath(const char *folder) {
    size_t len = strlen(folder);
    if (len >= kHugetlbPathBufSize) return false;
    memcpy(g_HugetlbPathBuf, folder, len + 1);
    g_HugetlbPath = g_HugetlbPathBuf;
    return true;
}

bool FindHugetlbMount() {
    FILE *mtab = setmntent("/etc/mtab", "r");
    if (!mtab) return false;
    bool found = false;
    struct mntent entry;
    char lineBuf[8192];
    while (getmntent_r(mtab, &entry, lineBuf, sizeof(lineBuf)) != nullptr) {
        if (strcmp(entry.mnt_type, "hugetlbfs") == 0) {
            found = StoreHugetlbPath(entry.mnt_dir);
            break;
        }
    }
    endmntent(mtab);
    return found;
}

size_t largePageMinimum() {
    g_HugetlbPath = nullptr;
    const char *envPath = getenv("HUGETLB_PATH");
    if (envPath) {
        if (!StoreHugetlbPath(envPath)) return 0;
    } else if (!FindHugetlbMount()) {
        return 0;
    }
    long size = pathconf(g_HugetlbPath, _PC_REC_MIN_XFER_SIZE);
    if (size <= (long)getpagesize()) return 0;
    return (size_t)size;
}

void *AllocLargePages(size_t size) {
    void *result = nullptr;
    pthread_mutex_lock(&g_HugePageMutex);
    size_t slot = 0;
    while (slot < kHugePageTableSize && g_HugePageAddr[slot].load(std::memory_order_relaxed) != nullptr)
        slot++;
    if (slot < kHugePageTableSize && g_HugetlbPath) {
        char tempName[kHugetlbPathBufSize + 16];
        snprintf(tempName, sizeof(tempName), "%s/7z-XXXXXX", g_HugetlbPath);
        int fd = mkstemp(tempName);
        if (fd < 0) {
            char errBuf[256];
            errBuf[0] = 0;
            fprintf(stderr, "cant't open %s (%s)\n", tempName,
                    ErrorText(strerror_r(errno, errBuf, sizeof(errBuf)), errBuf));
        } else {
            unlink(tempName);
            size_t len = (size + g_LargePageSize - 1) & ~(g_LargePageSize - 1);
            void *addr = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            close(fd);
            if (addr != MAP_FAILED) {
                g_HugePageLen[slot] = len;
                g_HugePageAddr[slot].store(addr, std::memory_order_release);
                result = addr;
            }
        }
    }
    pthread_mutex_unlock(&g_HugePageMutex);
    return result;
}

} // namespace

void *MyAlloc(size_t size) {
    if (size == 0) return nullptr;
    return malloc(size);
}

void MyFree(void *address) {
    free(address);
}

void *MidAlloc(size_t size) {
    return MyAlloc(size);
}

void MidFree(void *address) {
    if (!address) return;
    for (size_t i = 0; i < kHugePageTableSize; i++) {
        if (g_HugePageAddr[i].load(std::memory_order_acquire) == address) {
            munmap(address, g_HugePageLen[i]);
            g_HugePageAddr[i].store(nullptr, std::memory_order_release);
            return;
        }
    }
    free(address);
}

void *BigAlloc(size_t size) {
    if (size == 0) return nullptr;
    if (size >= kLargePageMinRequest && g_LargePageSize != 0 && g_LargePageSize <= kLargePageMaxSize) {
        void *p = AllocLargePages(size);
        if (p) return p;
    }
    return malloc(size);
}

void BigFree(void *address) {
    MidFree(address);
}

size_t SetLargePageSize() {
    size_t size = largePageMinimum();
    if (size != 0 && (size & (size - 1)) == 0) g_LargePageSize = size;
    return size;
}

void *SzAlloc(ISzAllocPtr, size_t size) {
    return MyAlloc(size);
}
void SzFree(ISzAllocPtr, void *address) {
    MyFree(address);
}
void *SzBigAlloc(ISzAllocPtr, size_t size) {
    return BigAlloc(size);
}
void SzBigFree(ISzAllocPtr, void *address) {
    BigFree(address);
}

const ISzAlloc g_Alloc = {SzAlloc, SzFree};
const ISzAlloc g_BigAlloc = {SzBigAlloc, SzBigFree};
