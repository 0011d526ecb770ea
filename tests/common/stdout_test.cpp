#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "common/StdOutStream.h"
#include "common/StringConvert.h"

namespace {

std::string ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

struct StdOutFile : ::testing::Test {
    std::string path;
    void SetUp() override
    {
        char templ[] = "/tmp/tarnova-stdout-XXXXXX";
        const int fd = mkstemp(templ);
        ASSERT_GE(fd, 0);
        close(fd);
        path = templ;
        setlocale(LC_ALL, "C.UTF-8");
    }
    void TearDown() override
    {
        g_CodePage = -1;
        global_use_utf16_conversion = 0;
        unlink(path.c_str());
    }
};

} // namespace

TEST_F(StdOutFile, WideTextFollowsTheCodePage)
{
    struct {
        int codePage;
        int utf16;
        std::string expected;
    } cases[] = {
        {65001, 0, "\xE4\xB8\xAD"},
        {-1, 0, "?"},
        {-1, 1, "\xE4\xB8\xAD"},
    };
    for (auto &c : cases) {
        g_CodePage = c.codePage;
        global_use_utf16_conversion = c.utf16;
        CStdOutStream out;
        ASSERT_TRUE(out.Open(path.c_str()));
        out << L"\u4e2d";
        EXPECT_TRUE(out.Close());
        EXPECT_EQ(ReadAll(path), c.expected) << c.codePage << "/" << c.utf16;
    }
}

TEST_F(StdOutFile, NumbersAndLines)
{
    CStdOutStream out;
    ASSERT_TRUE(out.Open(path.c_str()));
    AString temp;
    out << (Int64)-5 << ' ' << (UInt64)18446744073709551615ull << ' ' << (Int32)-2147483647 - 1 << endl;
    out.PrintUString(UString(L"ok"), temp);
    EXPECT_TRUE(out.Flush());
    EXPECT_TRUE(out.Close());
    EXPECT_TRUE(out.Close()); // closed once, never again
    EXPECT_EQ(ReadAll(path), "-5 18446744073709551615 -2147483648\nok");
}

TEST(StdOut, GlobalStreamsAreNotOwned)
{
    EXPECT_TRUE(g_StdOut.Close());
    EXPECT_EQ((FILE *)g_StdOut, stdout);
    EXPECT_EQ(fflush(stdout), 0);
}

TEST(StdOut, OpenFailsForAFolder)
{
    CStdOutStream out;
    EXPECT_FALSE(out.Open("/"));
    EXPECT_TRUE(out.Close());
}
