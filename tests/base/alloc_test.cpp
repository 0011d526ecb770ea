#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/Alloc.h"
#include "common/MyTypes.h"

TEST(Alloc, ZeroSizeGivesNullAndNullFreesAreHarmless) {
    EXPECT_EQ(MyAlloc(0), nullptr);
    EXPECT_EQ(MidAlloc(0), nullptr);
    EXPECT_EQ(BigAlloc(0), nullptr);
    MyFree(nullptr);
    MidFree(nullptr);
    BigFree(nullptr);
}

TEST(Alloc, BlocksAreUsableAndFreedByTheirPartner) {
    const size_t kBigSize = 1 << 20; // large enough to qualify for large pages, which stay off
    Byte *my = static_cast<Byte *>(MyAlloc(100));
    Byte *mid = static_cast<Byte *>(MidAlloc(1000));
    Byte *big = static_cast<Byte *>(BigAlloc(kBigSize));
    ASSERT_NE(my, nullptr);
    ASSERT_NE(mid, nullptr);
    ASSERT_NE(big, nullptr);
    memset(my, 1, 100);
    memset(mid, 2, 1000);
    memset(big, 3, kBigSize);
    MyFree(my);
    MidFree(mid);
    BigFree(big);
}

TEST(Alloc, AllocatorRecordsIgnoreTheirRecordArgument) {
    void *p = ISzAlloc_Alloc(&g_Alloc, 64);
    ASSERT_NE(p, nullptr);
    ISzAlloc_Free(&g_Alloc, p);
    void *q = g_BigAlloc.Alloc(nullptr, 64);
    ASSERT_NE(q, nullptr);
    g_BigAlloc.Free(nullptr, q);
    EXPECT_EQ(g_Alloc.Alloc(&g_Alloc, 0), nullptr);
}

TEST(Alloc, HugetlbFolderTooLongForItsBufferMeansNoLargePages) {
    const std::string longFolder = "/" + std::string(1023, 'h');
    ASSERT_EQ(setenv("HUGETLB_PATH", longFolder.c_str(), 1), 0);
    EXPECT_EQ(SetLargePageSize(), 0u);
    EXPECT_EQ(g_LargePageSize, 0u);
    unsetenv("HUGETLB_PATH");
}
