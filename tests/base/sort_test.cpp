#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "base/Sort.h"

TEST(HeapSort, SortsSmallArraysAscending) {
    struct Case {
        std::vector<UInt32> input;
        std::vector<UInt32> expected;
    };
    const Case cases[] = {
        {{}, {}},
        {{7}, {7}},
        {{3, 1, 2}, {1, 2, 3}},
        {{2, 1}, {1, 2}},
        {{5, 5, 1, 5}, {1, 5, 5, 5}},
        {{0xFFFFFFFF, 0, 0x80000000, 1}, {0, 1, 0x80000000, 0xFFFFFFFF}}, // unsigned order
    };
    for (const Case &c : cases) {
        std::vector<UInt32> v = c.input;
        HeapSort(v.data(), v.size());
        EXPECT_EQ(v, c.expected);
    }
}

TEST(HeapSort, SortsRandomArraysLikeStdSort) {
    std::mt19937 rng(12345);
    for (size_t n : {3u, 10u, 64u, 1000u, 1001u}) {
        std::vector<UInt32> v(n);
        for (UInt32 &x : v)
            x = (UInt32)rng() % 50; // with duplicates
        std::vector<UInt32> expected = v;
        std::sort(expected.begin(), expected.end());
        HeapSort(v.data(), v.size());
        EXPECT_EQ(v, expected) << "n = " << n;
    }
}

TEST(HeapSort64, SortsUnsigned64BitValues) {
    std::vector<UInt64> v = {0xFFFFFFFFFFFFFFFFULL, 3, 0x8000000000000000ULL, 0x100000000ULL, 0};
    HeapSort64(v.data(), v.size());
    const std::vector<UInt64> expected = {0, 3, 0x100000000ULL, 0x8000000000000000ULL, 0xFFFFFFFFFFFFFFFFULL};
    EXPECT_EQ(v, expected);
    UInt64 single = 42;
    HeapSort64(&single, 1);
    EXPECT_EQ(single, 42u);
}
