#include "windows/System.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace NWindows {
namespace NSystem {

namespace {

const UInt64 kDefaultRamSize = (UInt64)1 << 32;

// Matches "<prefix> <number>" as sscanf's "<prefix> %lu" would, without its overflow hazard.
bool ParseLineNumber(const char *line, const char *prefix, UInt64 &value) {
    size_t prefixLen = strlen(prefix);
    if (strncmp(line, prefix, prefixLen) != 0) return false;
    const char *p = line + prefixLen;
    while (isspace((unsigned char)*p))
        p++;
    if (!isdigit((unsigned char)*p)) return false;
    value = strtoull(p, nullptr, 10);
    return true;
}

UInt64 ParseMemInfoStream(FILE *f) {
    UInt64 size = 0;
    // Lines of at most 255 bytes, as the format has always been read; longer ones come in pieces.
    char line[256];
    while (fgets(line, sizeof(line), f)) {
        UInt64 value;
        if (ParseLineNumber(line, "Mem:", value))
            size += value;
        else if (ParseLineNumber(line, "MemTotal:", value))
            size = value * 1024;
    }
    return size;
}

} // namespace

UInt32 GetNumberOfProcessors() {
    long n = sysconf(_SC_NPROCESSORS_CONF);
    return n < 1 ? 1 : (UInt32)n;
}

bool GetRamSizeFromFile(const char *path, UInt64 &size) {
    size = kDefaultRamSize;
    FILE *f = fopen(path, "r");
    if (!f) return false;
    size = ParseMemInfoStream(f);
    fclose(f);
    return true;
}

UInt64 ParseMemInfo(const char *text) {
    size_t len = strlen(text);
    if (len == 0) return 0;
    FILE *f = fmemopen(const_cast<char *>(text), len, "r");
    if (!f) return 0;
    UInt64 size = ParseMemInfoStream(f);
    fclose(f);
    return size;
}

bool GetRamSize(UInt64 &size) {
    GetRamSizeFromFile("/proc/meminfo", size);
    return true;
}

} // namespace NSystem
} // namespace NWindows
