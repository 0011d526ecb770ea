#include "archive/extract_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "windows/FileIO.h"

using namespace extracttest;
using testsupport::TempFolder;
using testsupport::WriteFile;
using Tree_t = std::map<std::string, std::string>;

namespace {

class ExtractTest : public ::testing::Test {
protected:
    TempFolder tmp;
    std::string out;
    std::string arc;

    void SetUp() override {
        ASSERT_EQ(S_OK, enginetest::Registry().LoadResult);
        ASSERT_TRUE(tmp.Ok());
        out = tmp / "out";
        arc = tmp / "a.tar";
        ASSERT_TRUE(MakeTar(arc, {Dir("dir"), Dir("dir/sub"), File("dir/sub/file.txt", "deep"),
                                  File("dir/top.txt", "new top"), File("root.txt", "root")}));
    }
};

} // namespace

TEST_F(ExtractTest, PathAndOverwriteModes) {
    using namespace NExtract;
    struct Case {
        const char *name;
        NPathMode::EEnum pathMode;
        NOverwriteMode::EEnum overwriteMode;
        std::vector<Int32> answers; // for kAsk
        Tree_t expected;            // the folder after extraction; "dir/top.txt" held "old" before
        unsigned questions;
    } cases[] = {
        {"full paths",
         NPathMode::kFullPaths,
         NOverwriteMode::kOverwrite,
         {},
         {{"dir", "d"},
          {"dir/sub", "d"},
          {"dir/sub/file.txt", "f:deep"},
          {"dir/top.txt", "f:new top"},
          {"root.txt", "f:root"}},
         0},
        {"current paths",
         NPathMode::kCurPaths,
         NOverwriteMode::kOverwrite,
         {},
         {{"dir", "d"},
          {"dir/sub", "d"},
          {"dir/sub/file.txt", "f:deep"},
          {"dir/top.txt", "f:new top"},
          {"root.txt", "f:root"}},
         0},
        {"no paths",
         NPathMode::kNoPaths,
         NOverwriteMode::kOverwrite,
         {},
         {{"dir", "d"},
          {"dir/top.txt", "f:old"},
          {"sub", "d"},
          {"file.txt", "f:deep"},
          {"top.txt", "f:new top"},
          {"root.txt", "f:root"}},
         0},
        {"no paths alt",
         NPathMode::kNoPathsAlt,
         NOverwriteMode::kOverwrite,
         {},
         {{"dir", "d"},
          {"dir/top.txt", "f:old"},
          {"sub", "d"},
          {"file.txt", "f:deep"},
          {"top.txt", "f:new top"},
          {"root.txt", "f:root"}},
         0},
        {"absolute paths with relative items",
         NPathMode::kAbsPaths,
         NOverwriteMode::kOverwrite,
         {},
         {{"dir", "d"},
          {"dir/sub", "d"},
          {"dir/sub/file.txt", "f:deep"},
          {"dir/top.txt", "f:new top"},
          {"root.txt", "f:root"}},
         0},
        {"skip",
         NPathMode::kFullPaths,
         NOverwriteMode::kSkip,
         {},
         {{"dir", "d"},
          {"dir/sub", "d"},
          {"dir/sub/file.txt", "f:deep"},
          {"dir/top.txt", "f:old"},
          {"root.txt", "f:root"}},
         0},
        {"rename new",
         NPathMode::kFullPaths,
         NOverwriteMode::kRename,
         {},
         {{"dir", "d"},
          {"dir/sub", "d"},
          {"dir/sub/file.txt", "f:deep"},
          {"dir/top.txt", "f:old"},
          {"dir/top_1.txt", "f:new top"},
          {"root.txt", "f:root"}},
         0},
        {"rename existing",
         NPathMode::kFullPaths,
         NOverwriteMode::kRenameExisting,
         {},
         {{"dir", "d"},
          {"dir/sub", "d"},
          {"dir/sub/file.txt", "f:deep"},
          {"dir/top.txt", "f:new top"},
          {"dir/top_1.txt", "f:old"},
          {"root.txt", "f:root"}},
         0},
        {"ask, yes",
         NPathMode::kFullPaths,
         NOverwriteMode::kAsk,
         {NOverwriteAnswer::kYes},
         {{"dir", "d"},
          {"dir/sub", "d"},
          {"dir/sub/file.txt", "f:deep"},
          {"dir/top.txt", "f:new top"},
          {"root.txt", "f:root"}},
         1},
        {"ask, no",
         NPathMode::kFullPaths,
         NOverwriteMode::kAsk,
         {NOverwriteAnswer::kNo},
         {{"dir", "d"},
          {"dir/sub", "d"},
          {"dir/sub/file.txt", "f:deep"},
          {"dir/top.txt", "f:old"},
          {"root.txt", "f:root"}},
         1},
        {"ask, auto rename",
         NPathMode::kFullPaths,
         NOverwriteMode::kAsk,
         {NOverwriteAnswer::kAutoRename},
         {{"dir", "d"},
          {"dir/sub", "d"},
          {"dir/sub/file.txt", "f:deep"},
          {"dir/top.txt", "f:old"},
          {"dir/top_1.txt", "f:new top"},
          {"root.txt", "f:root"}},
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder t;
        const std::string o = t / "out";
        ASSERT_EQ(0, mkdir(o.c_str(), 0755));
        ASSERT_EQ(0, mkdir((o + "/dir").c_str(), 0755));
        ASSERT_TRUE(WriteFile(o + "/dir/top.txt", "old"));
        CRecordingCallback cb;
        cb.answers.assign(c.answers.begin(), c.answers.end());
        const CRun run = RunExtract({arc}, Options(o, c.pathMode, c.overwriteMode), cb);
        ASSERT_EQ("", run.thrown);
        EXPECT_EQ(S_OK, run.result);
        EXPECT_EQ(c.expected, Tree(o));
        EXPECT_EQ(c.questions, cb.questions.size());
        EXPECT_TRUE(cb.messages.empty()) << cb.messages[0];
        EXPECT_EQ(std::vector<HRESULT>{S_OK}, cb.extractResults);
    }
}

TEST_F(ExtractTest, AnswersForAllCarryToLaterItemsAndArchives) {
    using namespace NExtract;
    const std::string arc2 = tmp / "b.tar";
    ASSERT_TRUE(MakeTar(arc2, {File("root.txt", "second")}));
    struct Case {
        Int32 answer;
        Tree_t expected;
    } cases[] = {
        {NOverwriteAnswer::kYesToAll, {{"dir", "d"}, {"dir/top.txt", "f:new top"}, {"root.txt", "f:second"}}},
        {NOverwriteAnswer::kNoToAll, {{"dir", "d"}, {"dir/top.txt", "f:old"}, {"root.txt", "f:old"}}},
    };
    for (const Case &c : cases) {
        TempFolder t;
        const std::string o = t / "out";
        ASSERT_EQ(0, mkdir(o.c_str(), 0755));
        ASSERT_EQ(0, mkdir((o + "/dir").c_str(), 0755));
        ASSERT_TRUE(WriteFile(o + "/dir/top.txt", "old"));
        ASSERT_TRUE(WriteFile(o + "/root.txt", "old"));
        CRecordingCallback cb;
        cb.answers.push_back(c.answer);
        NWildcard::CCensorNode censor;
        censor.AddItem(true, UString(L"*.txt"), false, true, true, true);
        censor.AddItem(true, UString(L"dir/top.txt"), false, true, true, true);
        const CRun run =
            RunExtract({arc, arc2}, Options(o, NPathMode::kFullPaths, NOverwriteMode::kAsk), cb, nullptr, &censor);
        EXPECT_EQ(S_OK, run.result);
        EXPECT_EQ(c.expected, Tree(o));
        EXPECT_EQ(1u, cb.questions.size()); // asked once, then the answer holds for the rest of the run
    }
}

TEST_F(ExtractTest, CancelAnswerStopsTheRun) {
    ASSERT_EQ(0, mkdir(out.c_str(), 0755));
    ASSERT_TRUE(WriteFile(out + "/root.txt", "old"));
    CRecordingCallback cb;
    cb.answers.push_back(NOverwriteAnswer::kCancel);
    const CRun run =
        RunExtract({arc}, Options(out, NExtract::NPathMode::kFullPaths, NExtract::NOverwriteMode::kAsk), cb);
    EXPECT_EQ(E_ABORT, run.result);
    EXPECT_EQ("f:old", Tree(out)["root.txt"]);
}

TEST_F(ExtractTest, StarInOutputFolderAndDuplicateRootElimination) {
    const std::string nested = tmp / "pack.tar";
    ASSERT_TRUE(MakeTar(nested, {Dir("pack"), File("pack/x.txt", "x"), Dir("pack/in"), File("pack/in/y.txt", "y")}));
    CRecordingCallback cb;
    CExtractOptions o = Options(tmp / "out/*");
    o.ElimDup.Val = true;
    const CRun run = RunExtract({nested}, o, cb);
    EXPECT_EQ(S_OK, run.result);
    EXPECT_EQ((Tree_t{{"pack", "d"}, {"pack/x.txt", "f:x"}, {"pack/in", "d"}, {"pack/in/y.txt", "f:y"}}), Tree(out));

    // Without elimination the archive's own top folder stays.
    TempFolder t;
    CRecordingCallback cb2;
    EXPECT_EQ(S_OK, RunExtract({nested}, Options(t / "o/*"), cb2).result);
    EXPECT_EQ("f:x", Tree(t / "o")["pack/pack/x.txt"]);
}

TEST_F(ExtractTest, LinksModesAndTimesAreRestored) {
    const std::string t = tmp / "l.tar";
    ASSERT_TRUE(MakeTar(t, {Dir("d", 0750, 1100000000), File("d/run.sh", "#!/bin/sh\n", 0755, 1200000000),
                            SymLink("d/link", "run.sh"), File("d/data", "abc", 0600), HardLink("d/hard", "d/data")}));
    CRecordingCallback cb;
    const CRun run = RunExtract({t}, Options(out), cb);
    EXPECT_EQ(S_OK, run.result);
    EXPECT_TRUE(cb.messages.empty()) << cb.messages[0];
    EXPECT_EQ((Tree_t{{"d", "d"},
                      {"d/run.sh", "f:#!/bin/sh\n"},
                      {"d/link", "l:run.sh"},
                      {"d/data", "f:abc"},
                      {"d/hard", "f:abc"}}),
              Tree(out));
    struct stat st;
    ASSERT_EQ(0, stat((out + "/d/run.sh").c_str(), &st));
    EXPECT_EQ(0755u, st.st_mode & 07777);
    EXPECT_EQ(1200000000, st.st_mtime);
    struct stat data, hard;
    ASSERT_EQ(0, stat((out + "/d/data").c_str(), &data));
    ASSERT_EQ(0, stat((out + "/d/hard").c_str(), &hard));
    EXPECT_EQ(data.st_ino, hard.st_ino);
    EXPECT_EQ(0600u, data.st_mode & 07777);
    ASSERT_EQ(0, stat((out + "/d").c_str(), &st));
    EXPECT_EQ(0750u, st.st_mode & 07777);
    EXPECT_EQ(1100000000, st.st_mtime); // set after its files were written
}

TEST_F(ExtractTest, StandardInputModeMakesRealLinks) {
    const std::string t = tmp / "s.tar";
    ASSERT_TRUE(MakeTar(t, {File("f.txt", "data"), SymLink("to-f", "f.txt")}));
    const int saved = dup(0);
    const int fd = open(t.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    dup2(fd, 0);
    close(fd);
    CRecordingCallback cb;
    CExtractOptions o = Options(out);
    o.StdInMode = true;
    const CRun run = RunExtract({}, o, cb, nullptr, nullptr, L"tar");
    dup2(saved, 0);
    close(saved);
    EXPECT_EQ(S_OK, run.result);
    if (cb.openResults == std::vector<HRESULT>{E_NOTIMPL})
        GTEST_SKIP() << "the plug-in's handlers cannot open a stream that only reads forward";
    EXPECT_EQ((Tree_t{{"f.txt", "f:data"}, {"to-f", "l:f.txt"}}), Tree(out));
    EXPECT_EQ(std::vector<HRESULT>{S_OK}, cb.openResults);
    EXPECT_EQ(std::vector<HRESULT>{S_OK}, cb.extractResults);
    EXPECT_TRUE(cb.messages.empty());
}

TEST_F(ExtractTest, WrongPasswordIsReportedPerItem) {
    ASSERT_TRUE(WriteFile(tmp / "secret.txt", std::string(5000, 's')));
    const std::string z = tmp / "enc.zip";
    ASSERT_EQ(0, Sh("cd '" + tmp.Path() + "' && zip -q -P right enc.zip secret.txt"));
    {
        CRecordingCallback cb;
        cb.password = "wrong";
        const CRun run = RunExtract({z}, Options(out), cb);
        EXPECT_EQ(S_OK, run.result);
        EXPECT_TRUE(cb.passwordAsked);
        ASSERT_EQ(1u, cb.opResults.size());
        EXPECT_NE(NArchive::NExtract::NOperationResult::kOK, cb.opResults[0]);
    }
    {
        TempFolder t;
        CRecordingCallback cb;
        cb.password = "right";
        EXPECT_EQ(S_OK, RunExtract({z}, Options(t / "o"), cb).result);
        EXPECT_EQ(std::vector<Int32>{NArchive::NExtract::NOperationResult::kOK}, cb.opResults);
        EXPECT_EQ(std::string(5000, 's'), testsupport::ReadFile(t / "o/secret.txt"));
    }
}

TEST_F(ExtractTest, TruncatedArchiveReportsDataErrorAndTheRunGoesOn) {
    std::string big;
    UInt32 x = 12345;
    for (int i = 0; i < 200000; i++) {
        x = x * 1103515245 + 12345;
        big += (char)(x >> 24);
    }
    ASSERT_TRUE(MakeTar(tmp / "big.tar", {File("big.bin", big), File("after.txt", "after")}));
    ASSERT_EQ(0, Sh("gzip -c '" + (tmp / "big.tar") + "' | head -c 20000 > '" + (tmp / "cut.tar.gz") + "'"));
    CRecordingCallback cb;
    const CRun run = RunExtract({tmp / "cut.tar.gz", arc}, Options(out), cb);
    EXPECT_EQ(S_OK, run.result);
    bool someError = false;
    for (Int32 r : cb.opResults)
        if (r != NArchive::NExtract::NOperationResult::kOK) someError = true;
    for (HRESULT r : cb.extractResults)
        if (r != S_OK) someError = true;
    for (HRESULT r : cb.openResults)
        if (r != S_OK) someError = true;
    EXPECT_TRUE(someError);
    EXPECT_EQ("f:root", Tree(out)["root.txt"]); // the second archive was still extracted
}

// A few bytes of archive can declare a sparse file of any size: its holes are left as holes on disk,
// never written out as zeros.
TEST_F(ExtractTest, SparseFileHolesTakeNoDiskSpace) {
    const long kSize = 64L << 20;
    const std::string py = "import tarfile, io\n"
                           "m = b'1\\n%d\\n4\\n' % (" +
                           std::to_string(kSize) +
                           " - 4)\n"
                           "d = m + bytes(512 - len(m)) + b'data'\n"
                           "with tarfile.open('" +
                           (tmp / "sparse.tar") +
                           "', 'w', format=tarfile.PAX_FORMAT) as t:\n"
                           "    i = tarfile.TarInfo('GNUSparseFile.0/sp'); i.size = len(d)\n"
                           "    i.pax_headers = {'GNU.sparse.major': '1', 'GNU.sparse.minor': '0',\n"
                           "                     'GNU.sparse.name': 'sp', 'GNU.sparse.realsize': '" +
                           std::to_string(kSize) +
                           "'}\n"
                           "    t.addfile(i, io.BytesIO(d))\n";
    ASSERT_TRUE(WriteFile(tmp / "make.py", py));
    ASSERT_EQ(0, Sh("/usr/bin/python3 '" + (tmp / "make.py") + "'"));
    CRecordingCallback cb;
    const CRun run = RunExtract({tmp / "sparse.tar"}, Options(out), cb);
    EXPECT_EQ(S_OK, run.result);
    ASSERT_EQ(cb.opResults, std::vector<Int32>{NArchive::NExtract::NOperationResult::kOK});
    struct stat st;
    ASSERT_EQ(0, stat((out + "/sp").c_str(), &st));
    EXPECT_EQ(kSize, (long)st.st_size);
    EXPECT_LT((long)st.st_blocks * 512, 1L << 20);
    const int fd = open((out + "/sp").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char tail[8] = {};
    EXPECT_EQ(8, pread(fd, tail, 8, kSize - 8));
    close(fd);
    EXPECT_EQ(std::string("\0\0\0\0data", 8), std::string(tail, 8));
}

TEST_F(ExtractTest, TestModeWritesNothingButHashesTheData) {
    CHashBundle hb;
    UStringVector methods;
    methods.Add(L"CRC32");
    ASSERT_EQ(S_OK, hb.SetMethods(&enginetest::Registry().External, methods));
    CRecordingCallback cb;
    CExtractOptions o = Options(out);
    o.TestMode = true;
    const CRun run = RunExtract({arc}, o, cb, &hb);
    EXPECT_EQ(S_OK, run.result);
    struct stat st;
    EXPECT_NE(0, lstat(out.c_str(), &st)); // not even the output folder
    EXPECT_EQ(3u, hb.NumFiles);
    EXPECT_EQ(2u, hb.NumDirs);
    EXPECT_EQ(4u + 7 + 4, hb.FilesSize);
    for (Int32 m : cb.askModes)
        EXPECT_EQ(NArchive::NExtract::NAskMode::kTest, m);

    CRecordingCallback plain;
    EXPECT_EQ(S_OK, RunExtract({arc}, o, plain).result);
    EXPECT_NE(0, lstat(out.c_str(), &st));
    EXPECT_EQ(5u, plain.opResults.size());
}

TEST_F(ExtractTest, SeveralArchivesInOneRun) {
    const std::string z = tmp / "b.zip";
    ASSERT_TRUE(WriteFile(tmp / "z.txt", "zipped"));
    ASSERT_EQ(0, Sh("cd '" + tmp.Path() + "' && zip -q b.zip z.txt"));
    const std::string x = tmp / "c.tar.xz";
    ASSERT_EQ(0, Sh("cd '" + tmp.Path() + "' && mkdir -p xz && echo -n xzed > xz/w.txt && bsdtar -cJf c.tar.xz xz"));
    CRecordingCallback cb;
    const CRun run = RunExtract({arc, z, x}, Options(out), cb);
    EXPECT_EQ(S_OK, run.result);
    const Tree_t tree = Tree(out);
    EXPECT_EQ("f:zipped", tree.at("z.txt"));
    EXPECT_EQ("f:xzed", tree.at("xz/w.txt"));
    EXPECT_EQ("f:deep", tree.at("dir/sub/file.txt"));
    EXPECT_EQ(3u, run.stat.NumArchives);
    EXPECT_EQ(5u, run.stat.NumFiles);
    EXPECT_EQ(3u, run.stat.NumFolders);
    EXPECT_EQ((std::vector<HRESULT>{S_OK, S_OK, S_OK}), cb.extractResults);
    ASSERT_FALSE(cb.totals.empty());
    struct stat a, b, c;
    stat(arc.c_str(), &a);
    stat(z.c_str(), &b);
    stat(x.c_str(), &c);
    EXPECT_EQ((UInt64)(a.st_size + b.st_size + c.st_size), cb.totals.front());
    EXPECT_EQ(cb.totals.front(), run.stat.PackSize);
}

TEST_F(ExtractTest, NothingSelectedAndNoArchives) {
    CRecordingCallback cb;
    NWildcard::CCensorNode censor;
    censor.AddItem(true, UString(L"no-such-name"), false, true, true, true);
    EXPECT_EQ(S_OK, RunExtract({arc}, Options(out), cb, nullptr, &censor).result);
    EXPECT_EQ(1u, cb.noFilesCalls);
    EXPECT_EQ(std::vector<HRESULT>{S_OK}, cb.extractResults);

    CRecordingCallback none;
    const CRun run = RunExtract({}, Options(out), none);
    EXPECT_EQ(S_OK, run.result);
    EXPECT_TRUE(none.openResults.empty() && none.totals.empty() && none.extractResults.empty());
    EXPECT_EQ(0u, run.stat.NumArchives + run.stat.NumFiles + run.stat.PackSize);
}

TEST_F(ExtractTest, MissingArchiveAndFolderAreTextExceptions) {
    CRecordingCallback cb;
    EXPECT_EQ("there is no such archive", RunExtract({tmp / "missing.tar"}, Options(out), cb).thrown);
    EXPECT_EQ("can't decompress folder", RunExtract({tmp.Path()}, Options(out), cb).thrown);
}

TEST_F(ExtractTest, OutputFolderThatCannotBeMade) {
    ASSERT_TRUE(WriteFile(tmp / "file", "x"));
    CRecordingCallback cb;
    const CRun run = RunExtract({arc}, Options(tmp / "file/sub"), cb);
    EXPECT_NE(S_OK, run.result);
    EXPECT_EQ("Can not create output directory: " + (tmp / "file/sub"), A(run.errorMessage));
}

TEST_F(ExtractTest, LaterVolumesOfAnArchiveAreNotOpenedAgain) {
    std::string big;
    UInt32 x = 7;
    for (int i = 0; i < 30000; i++) {
        x = x * 1103515245 + 12345;
        big += (char)(x >> 24);
    }
    ASSERT_TRUE(MakeTar(tmp / "v.tar", {File("big.bin", big)}));
    ASSERT_EQ(0, Sh("cd '" + tmp.Path() + "' && split -b 16384 -d -a 3 --numeric-suffixes=1 v.tar v.tar."));
    std::vector<std::string> parts;
    UInt64 total = 0;
    for (int i = 1; i <= 3; i++) {
        char name[16];
        snprintf(name, sizeof(name), "v.tar.%03d", i);
        parts.push_back(tmp / name);
        struct stat st;
        ASSERT_EQ(0, stat(parts.back().c_str(), &st));
        total += (UInt64)st.st_size;
    }
    CRecordingCallback cb;
    const CRun run = RunExtract(parts, Options(out), cb);
    EXPECT_EQ(S_OK, run.result);
    EXPECT_EQ(std::vector<HRESULT>{S_OK}, cb.openResults); // the other two were volumes of the first
    EXPECT_EQ(big, testsupport::ReadFile(out + "/big.bin"));
    ASSERT_FALSE(cb.totals.empty());
    EXPECT_EQ(total, cb.totals.front());
    EXPECT_EQ(total, cb.totals.back());
    EXPECT_EQ(total, run.stat.PackSize);
}

namespace {

size_t OpenDescriptors() {
    return testsupport::DirEntries("/proc/self/fd").size();
}

// Samples the process's open descriptors after every item.
class CDescriptorCountingCallback : public CRecordingCallback {
public:
    size_t maxOpen = 0;
    HRESULT SetOperationResult(Int32 opRes, Int32 encrypted) override {
        maxOpen = std::max(maxOpen, OpenDescriptors());
        return CRecordingCallback::SetOperationResult(opRes, encrypted);
    }
};

} // namespace

TEST_F(ExtractTest, FoldersMadeByExtractionFollowTheUmask) {
    const std::string t = tmp / "modes.tar";
    // "a" and "a/b" are not stored; "kept" is, with its own mode.
    ASSERT_TRUE(MakeTar(t, {File("a/b/f.txt", "f"), Dir("kept", 0750), File("kept/g.txt", "g")}));
    for (const mode_t mask : {(mode_t)022, (mode_t)077}) {
        SCOPED_TRACE(mask);
        const std::string o = tmp / ("m" + std::to_string(mask)) + "/new";
        const mode_t saved = umask(mask);
        CRecordingCallback cb;
        const CRun run = RunExtract({t}, Options(o), cb);
        umask(saved);
        ASSERT_EQ(S_OK, run.result);
        for (const std::string d : {"", "/a", "/a/b"}) {
            struct stat st;
            ASSERT_EQ(stat((o + d).c_str(), &st), 0) << d;
            EXPECT_EQ(st.st_mode & 07777, 0777 & ~mask) << d;
        }
        struct stat st;
        ASSERT_EQ(stat((o + "/kept").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, (mode_t)0750 & gbl_umask.mask);
    }
}

// Far deeper than the folders held open at a time: every level is made, and the descriptors in
// use stay bounded.
TEST_F(ExtractTest, DeeplyNestedFoldersAreWalkedWithBoundedDescriptors) {
    const unsigned kDepth = 600;
    std::vector<CMember> members;
    std::string path;
    for (unsigned i = 0; i < kDepth; i++) {
        path += (i ? "/d" : "d") + std::to_string(i % 10);
        members.push_back(Dir(path, 0755));
        if (i % 100 == 99) members.push_back(File(path + "/f.txt", std::to_string(i)));
    }
    const std::string t = tmp / "deep.tar";
    ASSERT_TRUE(MakeTar(t, members));
    const size_t before = OpenDescriptors();
    CDescriptorCountingCallback cb;
    const CRun run = RunExtract({t}, Options(out), cb);
    ASSERT_EQ(S_OK, run.result);
    EXPECT_TRUE(cb.messages.empty()) << cb.messages[0];
    EXPECT_EQ(cb.opResults, std::vector<Int32>(members.size(), 0));
    EXPECT_LT(cb.maxOpen, before + 250);
    EXPECT_EQ(OpenDescriptors(), before);
    std::string p = out;
    for (unsigned i = 0; i < kDepth; i++) {
        p += "/d" + std::to_string(i % 10);
        if (i % 100 == 99) {
            EXPECT_EQ(testsupport::ReadFile(p + "/f.txt"), std::to_string(i));
        }
    }
    struct stat st;
    EXPECT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}
