#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <string>

#include "windows/System.h"

using namespace NWindows::NSystem;

TEST(System, NumberOfProcessorsIsTheConfiguredCountAndAtLeastOne) {
    const UInt32 n = GetNumberOfProcessors();
    EXPECT_GE(n, 1u);
    EXPECT_EQ((long)n, sysconf(_SC_NPROCESSORS_CONF));
}

TEST(System, MemInfoTextsGiveTheirRamSize) {
    struct Case {
        const char *text;
        UInt64 expected;
    };
    const Case cases[] = {
        {"MemTotal:        8000000 kB\nMemFree:         1000 kB\n", 8192000000ULL},
        // The old layout: a byte count on a "Mem:" line under a header line.
        {"        total:    used:    free:\nMem:  1048576000 524288000 524288000\nSwap: 0 0 0\n", 1048576000ULL},
        // A later MemTotal line replaces what the Mem line gave.
        {"Mem: 5000\nMemTotal: 2 kB\n", 2048},
        {"MemTotal: 2 kB\nMem: 5000\n", 2048 + 5000},
        {"MemFree: 1000 kB\nSwapTotal: 0 kB\n", 0},
        {"", 0},
        {"MemTotal: kB\n", 0},
        {"MemTotal:        8000000 kB", 8192000000ULL}, // no final line feed
    };
    for (const Case &c : cases)
        EXPECT_EQ(ParseMemInfo(c.text), c.expected) << c.text;
}

TEST(System, RamSizeFromAFileAndFourGibWhenItCannotBeOpened) {
    char path[] = "/tmp/tarnova-meminfo-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = "MemTotal:        8000000 kB\nMemFree:          123 kB\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
    close(fd);
    UInt64 size = 0;
    EXPECT_TRUE(GetRamSizeFromFile(path, size));
    EXPECT_EQ(size, 8192000000ULL);
    unlink(path);

    size = 0;
    EXPECT_FALSE(GetRamSizeFromFile(path, size));
    EXPECT_EQ(size, 0x100000000ULL);
}

TEST(System, RamSizeAlwaysSucceeds) {
    UInt64 size = 0;
    EXPECT_TRUE(GetRamSize(size));
    EXPECT_GT(size, 0u);
}
