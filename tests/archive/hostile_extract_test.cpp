#include "archive/extract_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace extracttest;
using testsupport::TempFolder;
using testsupport::WriteFile;
using Tree_t = std::map<std::string, std::string>;

namespace {

// Each case: an output folder next to a folder "outside" that holds "victim" ("safe"), a set-up
// of the output folder, one or two archives extracted in one run with overwriting on.
struct CHostileCase {
    const char *name;
    std::vector<CMember> first;
    std::vector<CMember> second; // empty: one archive only
    const char *existingLink;    // a link "pre" -> outside, made in the output folder beforehand
    const char *existingDir;     // a non-empty folder made in the output folder beforehand
    Tree_t expected;             // the output folder afterwards; "@" stands for the outside folder
    const char *message;         // expected in the item's error message ("" for none)
};

std::string Expand(const std::string &s, const std::string &outside) {
    std::string r = s;
    const size_t p = r.find('@');
    if (p != std::string::npos) r.replace(p, 1, outside);
    return r;
}

} // namespace

TEST(HostileExtract, NothingLandsOutsideTheOutputFolder) {
    ASSERT_EQ(S_OK, enginetest::Registry().LoadResult);
    const CHostileCase cases[] = {
        {"dot-dot name",
         {File("../victim", "pwned"), File("a/../../victim", "pwned2")},
         {},
         nullptr,
         nullptr,
         {{"victim", "f:pwned"}, {"a", "d"}, {"a/victim", "f:pwned2"}},
         "path changed to "},
        {"absolute name", {File("@/victim", "pwned")}, {}, nullptr, nullptr, {{"tmp", "d"}}, "path changed to "},
        {"link then a file under it",
         {SymLink("l", "@"), File("l/victim", "pwned"), File("l/new", "pwned")},
         {},
         nullptr,
         nullptr,
         {{"l", "l:@"}},
         "Can not open output file"},
        {"link to a folder via a relative target",
         {SymLink("up", ".."), File("up/outside/victim", "pwned")},
         {},
         nullptr,
         nullptr,
         {{"up", "l:.."}},
         "Can not open output file"},
        {"link in one archive, file through it in the next",
         {SymLink("l", "@")},
         {File("l/victim", "pwned")},
         nullptr,
         nullptr,
         {{"l", "l:@"}},
         "Can not open output file"},
        {"link already on disk",
         {File("pre/victim", "pwned")},
         {},
         "pre",
         nullptr,
         {{"pre", "l:@"}},
         "Can not open output file"},
        {"overwriting a link on disk replaces the link",
         {File("pre", "mine")},
         {},
         "pre",
         nullptr,
         {{"pre", "f:mine"}},
         ""},
        {"hard link to outside, then data for it",
         {HardLink("h", "@/victim"), File("h", "pwned")},
         {},
         nullptr,
         nullptr,
         {{"h", "f:pwned"}},
         "Hard link target is not a file extracted from this archive"},
        {"hard link climbing out",
         {HardLink("h", "../outside/victim")},
         {},
         nullptr,
         nullptr,
         {},
         "Hard link target is not a file extracted from this archive"},
        {"same name twice: link, then file",
         {SymLink("x", "@/victim"), File("x", "pwned")},
         {},
         nullptr,
         nullptr,
         {{"x", "f:pwned"}},
         ""},
        {"same name twice: link, then a folder of that name and a file in it",
         {SymLink("d", "@"), Dir("d"), File("d/victim", "pwned")},
         {},
         nullptr,
         nullptr,
         {{"d", "l:@"}},
         "Can not open output file"},
        {"a file where a folder exists",
         {File("full", "pwned")},
         {},
         nullptr,
         "full",
         {{"full", "d"}, {"full/keep", "f:keep"}},
         "Can not delete output folder"},
    };
    for (const CHostileCase &c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder t;
        const std::string outside = t / "outside";
        const std::string out = t / "out";
        ASSERT_EQ(0, mkdir(outside.c_str(), 0755));
        ASSERT_TRUE(WriteFile(outside + "/victim", "safe"));
        ASSERT_EQ(0, mkdir(out.c_str(), 0755));
        if (c.existingLink) {
            ASSERT_EQ(0, symlink(outside.c_str(), (out + "/" + c.existingLink).c_str()));
        }
        if (c.existingDir) {
            ASSERT_EQ(0, mkdir((out + "/" + c.existingDir).c_str(), 0755));
            ASSERT_TRUE(WriteFile(out + "/" + c.existingDir + "/keep", "keep"));
        }
        auto expand = [&](std::vector<CMember> v) {
            for (CMember &m : v) {
                m.name = Expand(m.name, outside);
                m.data = Expand(m.data, outside);
            }
            return v;
        };
        std::vector<std::string> archives = {t / "1.tar"};
        ASSERT_TRUE(MakeTar(archives[0], expand(c.first)));
        if (!c.second.empty()) {
            archives.push_back(t / "2.tar");
            ASSERT_TRUE(MakeTar(archives[1], expand(c.second)));
        }

        CRecordingCallback cb;
        const CRun run = RunExtract(archives, Options(out), cb);
        ASSERT_EQ("", run.thrown);
        EXPECT_EQ(S_OK, run.result);

        EXPECT_EQ((Tree_t{{"victim", "f:safe"}}), Tree(outside));
        for (const auto &e : Tree(t.Path())) {
            if (e.first.find('/') != std::string::npos) continue;
            EXPECT_TRUE(e.first == "outside" || e.first == "out" || e.first == "1.tar" || e.first == "2.tar")
                << "written beside the output folder: " << e.first;
        }

        Tree_t expected;
        for (const auto &e : c.expected)
            expected[e.first] = Expand(e.second, outside);
        if (std::string(c.name) == "absolute name") {
            // The absolute name is kept below the output folder.
            expected.clear();
            std::string rel = outside.substr(1);
            for (size_t p = 0; (p = rel.find('/', p)) != std::string::npos; p++)
                expected[rel.substr(0, p)] = "d";
            expected[rel] = "d";
            expected[rel + "/victim"] = "f:pwned";
        }
        EXPECT_EQ(expected, Tree(out));
        if (*c.message) {
            EXPECT_TRUE(cb.HasMessageContaining(c.message)) << (cb.messages.empty() ? "no message" : cb.messages[0]);
        } else {
            EXPECT_TRUE(cb.messages.empty()) << cb.messages[0];
        }
    }
}

TEST(HostileExtract, FolderItemLeavesAFileInItsPlaceAlone) {
    ASSERT_EQ(S_OK, enginetest::Registry().LoadResult);
    TempFolder t;
    const std::string out = t / "out";
    ASSERT_EQ(0, mkdir(out.c_str(), 0755));
    ASSERT_TRUE(WriteFile(out + "/f", "keep", 0600));
    const struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, (out + "/f").c_str(), times, 0));
    ASSERT_TRUE(MakeTar(t / "d.tar", {Dir("f", 0777, 1000000000)}));
    CRecordingCallback cb;
    EXPECT_EQ(S_OK, RunExtract({t / "d.tar"}, Options(out), cb).result);
    struct stat st;
    ASSERT_EQ(0, lstat((out + "/f").c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    EXPECT_EQ(1500000000, st.st_mtime);
    EXPECT_EQ("keep", testsupport::ReadFile(out + "/f"));
}

TEST(HostileExtract, FolderLinkOnDiskGetsNoTimesOrModeThroughIt) {
    ASSERT_EQ(S_OK, enginetest::Registry().LoadResult);
    TempFolder t;
    const std::string out = t / "out", outside = t / "outside";
    ASSERT_EQ(0, mkdir(out.c_str(), 0755));
    ASSERT_EQ(0, mkdir(outside.c_str(), 0700));
    ASSERT_EQ(0, symlink(outside.c_str(), (out + "/d").c_str()));
    ASSERT_TRUE(MakeTar(t / "d.tar", {Dir("d", 0777, 1000000000)}));
    struct stat before;
    ASSERT_EQ(0, stat(outside.c_str(), &before));
    CRecordingCallback cb;
    EXPECT_EQ(S_OK, RunExtract({t / "d.tar"}, Options(out), cb).result);
    struct stat after;
    ASSERT_EQ(0, stat(outside.c_str(), &after));
    EXPECT_EQ(before.st_mode, after.st_mode);
    EXPECT_EQ(before.st_mtime, after.st_mtime);
}
