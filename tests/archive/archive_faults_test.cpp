// Archives as other tools leave them, cut short or carrying odd entries: what opens, what is
// extracted and what the user is told.
#include "archive/extract_fixture.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace extracttest;
using testsupport::TempFolder;
using testsupport::WriteFile;
using Tree_t = std::map<std::string, std::string>;
namespace NOpRes = NArchive::NExtract::NOperationResult;

namespace {

std::string Noise(size_t n, UInt32 seed) {
    std::string s;
    s.reserve(n);
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1103515245 + 12345;
        s += static_cast<char>(seed >> 24);
    }
    return s;
}

class ArchiveFaults : public ::testing::Test {
protected:
    TempFolder tmp;

    void SetUp() override {
        ASSERT_EQ(S_OK, enginetest::Registry().LoadResult);
        ASSERT_TRUE(tmp.Ok());
    }

    std::string Q(const std::string &name) { return "'" + (tmp / name) + "'"; }
};

bool IsPrefix(const std::string &part, const std::string &whole) {
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

} // namespace

// A compressed archive cut in the middle: every whole member comes out, the cut one as far as it
// was decoded, and the user learns that the archive ended early.
TEST_F(ArchiveFaults, TruncatedCompressedArchivesGiveWhatTheyHold) {
    const std::string first = Noise(30000, 1), cut = Noise(400000, 2);
    ASSERT_TRUE(MakeTar(tmp / "t.tar", {File("first.bin", first), File("cut.bin", cut), File("last.txt", "last")}));
    const struct {
        const char *ext;
        const char *tool;
    } filters[] = {{"gz", "gzip"}, {"bz2", "bzip2 -1"}, {"xz", "xz"}, {"zst", "zstd -q"}};
    for (const auto &f : filters) {
        const std::string packed = std::string("t.tar.") + f.ext;
        ASSERT_EQ(0, Sh(std::string(f.tool) + " -c " + Q("t.tar") + " > " + Q(packed)));
        // Cut halfway through the second member.
        const size_t keep = testsupport::ReadFile(tmp / packed).size() * 45 / 100;
        for (const std::string &name : {packed, std::string("cut.bin.") + f.ext}) {
            SCOPED_TRACE(name);
            if (name != packed) {
                ASSERT_TRUE(WriteFile(tmp / "cut.bin", cut));
                ASSERT_EQ(0, Sh(std::string(f.tool) + " -c " + Q("cut.bin") + " > " + Q(name)));
            }
            const std::string whole = testsupport::ReadFile(tmp / name);
            ASSERT_TRUE(WriteFile(tmp / ("cut-" + name), whole.substr(0, name == packed ? keep : whole.size() / 2)));
            TempFolder t;
            CRecordingCallback cb;
            const CRun run = RunExtract({tmp / ("cut-" + name)}, Options(t / "out"), cb);
            EXPECT_EQ(S_OK, run.result);
            EXPECT_EQ(std::vector<HRESULT>{S_OK}, cb.openResults);
            ASSERT_EQ(1u, cb.openErrorFlags.size());
            EXPECT_NE(0u, cb.openErrorFlags[0] & kpv_ErrorFlags_UnexpectedEnd);
            const Tree_t tree = Tree(t / "out");
            if (name == packed) {
                EXPECT_EQ("f:" + first, tree.count("first.bin") ? tree.at("first.bin") : "");
                ASSERT_TRUE(tree.count("cut.bin"));
                EXPECT_TRUE(IsPrefix(tree.at("cut.bin").substr(2), cut));
                EXPECT_FALSE(tree.count("last.txt"));
                ASSERT_GE(cb.opResults.size(), 2u);
                EXPECT_EQ(NOpRes::kOK, cb.opResults[0]);
                EXPECT_EQ(NOpRes::kUnexpectedEnd, cb.opResults[1]);
            } else {
                ASSERT_EQ(1u, tree.size());
                const std::string data = tree.begin()->second.substr(2);
                EXPECT_GT(data.size(), 0u);
                EXPECT_TRUE(IsPrefix(data, cut));
                EXPECT_EQ(std::vector<Int32>{NOpRes::kUnexpectedEnd}, cb.opResults);
            }
        }
    }
}

// Cut anywhere, a tar.gz, tar.bz2, tar.xz or tar.zst gives back at least what the tools' own pipe into GNU
// tar recovers (bsdtar pads a cut file to its full size): every file it writes, as long, and nothing
// that is not a prefix of the member's data.
TEST_F(ArchiveFaults, CutCompressedTarsKeepEverythingDecoded) {
    std::string text;
    for (int i = 0; text.size() < 30000; i++)
        text += "line " + std::to_string(i * 7919 % 10007) + " of a text that packs well\n";
    text.resize(30000);
    std::vector<CMember> members = {File("a.txt", "first\n"), File("text.txt", text),
                                    File("noise.bin", Noise(250000, 3))};
    for (int i = 0; i < 12; i++)
        members.push_back(File("s" + std::to_string(i) + ".txt", text.substr(i * 997, 3000 + i * 500)));
    std::map<std::string, std::string> source;
    for (const CMember &m : members)
        source[m.name] = m.data;
    ASSERT_TRUE(MakeTar(tmp / "t.tar", members));
    const std::string tar = testsupport::ReadFile(tmp / "t.tar");
    // bzip2 -1: blocks of 100 kB, so that cuts fall after whole blocks too.
    const struct {
        const char *tool, *ext;
    } filters[] = {{"gzip", "gz"}, {"bzip2 -1", "bz2"}, {"xz", "xz"}, {"zstd -q", "zst"}};
    for (const auto &filter : filters) {
        const std::string packed = std::string("t.tar.") + filter.ext;
        ASSERT_EQ(0, Sh(std::string(filter.tool) + " -c " + Q("t.tar") + " > " + Q(packed)));
        const std::string whole = testsupport::ReadFile(tmp / packed);
        std::vector<size_t> cuts;
        for (int percent = 4; percent < 100; percent += 6)
            cuts.push_back(whole.size() * percent / 100);
        cuts.push_back(whole.size() - 4); // inside the trailer: all the data, no check
        for (size_t cut : cuts) {
            SCOPED_TRACE(packed + " cut at " + std::to_string(cut) + " of " + std::to_string(whole.size()));
            const std::string name = "cut-" + packed;
            ASSERT_TRUE(WriteFile(tmp / name, whole.substr(0, cut)));
            TempFolder t;
            Sh("mkdir " + t / "ref" + " && " + filter.tool + " -dc " + Q(name) + " 2>/dev/null | tar -xf - -C " +
               t / "ref" + " 2>/dev/null");
            CRecordingCallback cb;
            const CRun run = RunExtract({tmp / name}, Options(t / "out"), cb);
            EXPECT_EQ(S_OK, run.result);
            const Tree_t ours = Tree(t / "out"), ref = Tree(t / "ref");
            for (const auto &f : ref) {
                ASSERT_TRUE(ours.count(f.first)) << f.first << " is missing";
                EXPECT_GE(ours.at(f.first).size(), f.second.size()) << f.first << " is shorter";
            }
            for (const auto &f : ours) {
                // Too little decoded for a tar to show: the stream's own item, as far as it came.
                const std::string &from = f.first == "cut-t.tar" ? tar : source[f.first];
                ASSERT_TRUE(f.first == "cut-t.tar" || source.count(f.first)) << f.first;
                EXPECT_TRUE(IsPrefix(f.second.substr(2), from)) << f.first;
            }
            // A cut inside the data is reported to the extraction, never passed off as a whole archive.
            if (cut + 4 == whole.size()) continue;
            bool reported = false;
            for (UInt32 flags : cb.openErrorFlags)
                reported |= (flags & kpv_ErrorFlags_UnexpectedEnd) != 0;
            for (Int32 r : cb.opResults)
                reported |= r != NOpRes::kOK;
            EXPECT_TRUE(reported);
        }
    }
}

// A piece of other data (the middle volume of a split zip) holding a cpio magic by chance: two
// bytes away from the start prove nothing, and a text header must hold numbers to be found as one.
TEST_F(ArchiveFaults, ChanceMagicsInsideDataAreNoArchive) {
    std::string odc = "070707" + std::string(70, 'x');
    const struct {
        const char *name;
        std::string data;
    } cases[] = {
        {"x.zip.002", Noise(44000, 3) + "\xC7\x71" + Noise(30000, 4)},
        {"x.zip.003", Noise(44000, 5) + "\x71\xC7" + Noise(30000, 6)},
        {"odc.bin", odc + Noise(3000, 7)},
        {"mid.bin", Noise(5000, 8) + odc + Noise(3000, 9)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // No zip or other signature of three bytes or more by chance either.
        ASSERT_TRUE(WriteFile(tmp / c.name, c.data));
        TempFolder t;
        CRecordingCallback cb;
        RunExtract({tmp / c.name}, Options(t / "out"), cb);
        EXPECT_EQ(std::vector<HRESULT>{S_FALSE}, cb.openResults);
        EXPECT_TRUE(Tree(t / "out").empty());
    }
    // Real cpio archives of each form still open.
    ASSERT_TRUE(WriteFile(tmp / "m.txt", "member"));
    for (const char *form : {"odc", "newc", "bin"}) {
        SCOPED_TRACE(form);
        const std::string arc = tmp / (std::string(form) + ".cpio");
        ASSERT_EQ(0, Sh("cd '" + tmp.Path() + "' && echo m.txt | cpio -o --quiet -H " + form + " > '" + arc + "'"));
        TempFolder t;
        CRecordingCallback cb;
        EXPECT_EQ(S_OK, RunExtract({arc}, Options(t / "out"), cb).result);
        EXPECT_EQ("f:member", Tree(t / "out")["m.txt"]);
    }
}

// Tables that a format keeps beside its members (the long-name table of an ar archive, the root of
// an ISO with Rock Ridge and Joliet) are no items; modes stored without a file type are permissions.
TEST_F(ArchiveFaults, OnlyMembersAreItemsAndTheirModesAreKept) {
    ASSERT_EQ(0, mkdir((tmp / "src").c_str(), 0755));
    ASSERT_EQ(0, mkdir((tmp / "src/d").c_str(), 0755));
    ASSERT_TRUE(WriteFile(tmp / "src/a_member_name_over_fifteen.sh", "#!/bin/sh\n", 0755));
    ASSERT_TRUE(WriteFile(tmp / "src/d/plain.txt", "plain", 0640));
    const std::string src = "cd '" + (tmp / "src") + "' && ";
    ASSERT_EQ(0, Sh(src + "ar rcU ../x.a a_member_name_over_fifteen.sh d/plain.txt"));
    ASSERT_EQ(0, Sh(src + "xorriso -as mkisofs -R -J -quiet -o ../x.iso . 2>/dev/null"));
    ASSERT_EQ(0, Sh(src + "/usr/bin/python3 -c \"import py7zr\nwith py7zr.SevenZipFile('../x.7z', 'w') as z: "
                          "z.writeall('.', '')\""));
    const struct {
        const char *archive;
        std::vector<std::string> items;
        Tree_t tree;
        std::map<std::string, mode_t> modes;
    } cases[] = {
        {"x.a",
         {"a_member_name_over_fifteen.sh", "plain.txt"},
         {{"a_member_name_over_fifteen.sh", "f:#!/bin/sh\n"}, {"plain.txt", "f:plain"}},
         {{"a_member_name_over_fifteen.sh", 0755}, {"plain.txt", 0640}}},
        {"x.iso",
         {"a_member_name_over_fifteen.sh", "d", "d/plain.txt"},
         {{"a_member_name_over_fifteen.sh", "f:#!/bin/sh\n"}, {"d", "d"}, {"d/plain.txt", "f:plain"}},
         {{"a_member_name_over_fifteen.sh", 0755}}},
        {"x.7z",
         {"a_member_name_over_fifteen.sh", "d", "d/plain.txt"},
         {{"a_member_name_over_fifteen.sh", "f:#!/bin/sh\n"}, {"d", "d"}, {"d/plain.txt", "f:plain"}},
         {{"a_member_name_over_fifteen.sh", 0755}, {"d/plain.txt", 0640}}},
    };
    const mode_t mask = umask(022);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.archive);
        TempFolder t;
        CRecordingCallback cb;
        EXPECT_EQ(S_OK, RunExtract({tmp / c.archive}, Options(t / "out"), cb).result);
        std::vector<std::string> items = cb.prepared;
        std::sort(items.begin(), items.end());
        EXPECT_EQ(c.items, items);
        EXPECT_EQ(c.tree, Tree(t / "out"));
        for (const auto &m : c.modes)
            EXPECT_EQ(m.second, testsupport::ModeOf(t / ("out/" + m.first)) & 07777) << m.first;
    }
    umask(mask);
}

// Names that would reach outside the output folder are changed, and special files are not made:
// each such item is named in a warning, and the run counts them.
TEST_F(ArchiveFaults, ChangedNamesAndSpecialFilesAreReported) {
    const std::string arc = tmp / "odd.tar";
    ASSERT_EQ(0,
              Sh("/usr/bin/python3 -c \"import tarfile, io\n"
                 "with tarfile.open('" +
                 arc +
                 "', 'w', format=tarfile.GNU_FORMAT) as t:\n"
                 "    for name in ['../up.txt', '/abs/x.txt', 'a\\\\\\\\..\\\\\\\\..\\\\\\\\b.txt', './fine.txt', "
                 "'ok.txt']:\n"
                 "        ti = tarfile.TarInfo(name); ti.size = 2; t.addfile(ti, io.BytesIO(b'hi'))\n"
                 "    for name, kind in [('fifo', tarfile.FIFOTYPE), ('null', tarfile.CHRTYPE)]:\n"
                 "        ti = tarfile.TarInfo(name); ti.type = kind; ti.devmajor = 1; ti.devminor = 3; t.addfile(ti)\n"
                 "\""));
    // Made on Windows, a zip's names use backslashes as separators.
    const std::string zip = tmp / "win.zip";
    ASSERT_EQ(0, Sh("/usr/bin/python3 -c \"import zipfile\n"
                    "with zipfile.ZipFile('" +
                    zip +
                    "', 'w') as z:\n"
                    "    for name in ['a\\\\..\\\\..\\\\b.txt', 'ok.txt']:\n"
                    "        i = zipfile.ZipInfo(name); i.create_system = 0; z.writestr(i, b'hi')\n"
                    "\""));
    const struct {
        std::string archive;
        Tree_t tree;
        std::vector<std::string> messages;
    } cases[] = {
        {arc,
         {{"a\\..\\..\\b.txt", "f:hi"},
          {"abs", "d"},
          {"abs/x.txt", "f:hi"},
          {"fine.txt", "f:hi"},
          {"ok.txt", "f:hi"},
          {"up.txt", "f:hi"}},
         {"path changed to abs/x.txt : /abs/x.txt", "path changed to up.txt : ../up.txt",
          "special file not extracted : fifo", "special file not extracted : null"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.archive);
        TempFolder t;
        CRecordingCallback cb;
        const CRun run = RunExtract({c.archive}, Options(t / "out"), cb);
        EXPECT_EQ(S_OK, run.result);
        EXPECT_EQ(c.messages.size(), run.stat.NumWarnings);
        EXPECT_EQ(c.tree, Tree(t / "out"));
        std::vector<std::string> messages = cb.messages;
        std::sort(messages.begin(), messages.end());
        EXPECT_EQ(c.messages, messages);
    }
    // How much of a Windows name is split at its backslashes is the reader's business; what climbs
    // is dropped and reported.
    TempFolder t;
    CRecordingCallback cb;
    const CRun run = RunExtract({zip}, Options(t / "out"), cb);
    EXPECT_EQ(1u, run.stat.NumWarnings);
    ASSERT_EQ(1u, cb.messages.size());
    EXPECT_EQ(0u, cb.messages[0].find("path changed to a/")) << cb.messages[0];
    for (const auto &e : Tree(t / "out"))
        EXPECT_TRUE(e.first == "ok.txt" || e.first == "a" || e.first.compare(0, 2, "a/") == 0) << e.first;
}

// Stored times reach symbolic links themselves and the file of a single gzip stream.
TEST_F(ArchiveFaults, LinksAndGzipFilesGetTheirStoredTimes) {
    CMember link = SymLink("link", "target.txt");
    link.mtime = 1100000000;
    ASSERT_TRUE(MakeTar(tmp / "l.tar", {File("target.txt", "t", 0644, 1000000000), link}));
    ASSERT_TRUE(WriteFile(tmp / "data.txt", "gzip data"));
    ASSERT_EQ(0, Sh("cd '" + tmp.Path() + "' && touch -d @1200000000 data.txt && gzip -c data.txt > data.txt.gz"));
    const struct {
        const char *archive;
        const char *item;
        time_t mtime;
    } cases[] = {
        {"l.tar", "link", 1100000000}, {"l.tar", "target.txt", 1000000000}, {"data.txt.gz", "data.txt", 1200000000}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.item);
        TempFolder t;
        CRecordingCallback cb;
        EXPECT_EQ(S_OK, RunExtract({tmp / c.archive}, Options(t / "out"), cb).result);
        struct stat st;
        ASSERT_EQ(0, lstat((t / ("out/" + std::string(c.item))).c_str(), &st));
        EXPECT_EQ(c.mtime, st.st_mtime);
    }
}

// Data that only begins with zeros (a packed disk image whose first sectors are blank) is no empty
// tar: the stream's own file comes out with all its data. A real empty tar still opens as one.
TEST_F(ArchiveFaults, StreamsThatOnlyBeginWithZerosAreTheirOwnData) {
    const std::string early = std::string(1024, '\0') + "text after the zeros\n";
    // Past what detection reads of the start: only the whole stream tells.
    const std::string late = std::string(10240 + (1 << 20), '\0') + "late text\n";
    ASSERT_TRUE(WriteFile(tmp / "early", early));
    ASSERT_TRUE(WriteFile(tmp / "late", late));
    const struct {
        const char *source, *tool, *archive, *item;
    } cases[] = {
        {"early", "gzip -9", "e.gz", "e"},  {"early", "gzip -9", "e.tar.gz", "e.tar"}, {"early", "bzip2", "e.bz2", "e"},
        {"early", "xz", "e.xz", "e"},       {"early", "zstd -q", "e.zst", "e"},        {"late", "gzip", "l.gz", "l"},
        {"late", "gzip", "l.tgz", "l.tar"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.archive);
        ASSERT_EQ(0, Sh(std::string(c.tool) + " -c < " + Q(c.source) + " > " + Q(c.archive)));
        TempFolder t;
        CRecordingCallback cb;
        EXPECT_EQ(S_OK, RunExtract({tmp / c.archive}, Options(t / "out"), cb).result);
        EXPECT_EQ(std::vector<Int32>{NOpRes::kOK}, cb.opResults);
        const Tree_t want = {{c.item, "f:" + std::string(c.source == std::string("early") ? early : late)}};
        EXPECT_TRUE(Tree(t / "out") == want);
    }

    ASSERT_EQ(0, Sh("bsdtar -cf - -T /dev/null | gzip > " + Q("empty.tar.gz")));
    TempFolder t;
    CRecordingCallback cb;
    EXPECT_EQ(S_OK, RunExtract({tmp / "empty.tar.gz"}, Options(t / "out"), cb).result);
    EXPECT_EQ(std::vector<HRESULT>{S_OK}, cb.openResults);
    EXPECT_TRUE(cb.opResults.empty());
    EXPECT_TRUE(Tree(t / "out").empty());
}

namespace {
// Records what the outermost level reported about data after its end.
class CTailCallback : public CRecordingCallback {
public:
    std::vector<UInt64> tails; // the length of the data after the end, 0 for none
    HRESULT OpenResult(const CCodecs *codecs, const CArchiveLink &link, const wchar_t *path, HRESULT result) override {
        if (!link.levels.IsEmpty())
            tails.push_back(link.levels[0].openErrors.hasTail ? link.levels[0].openErrors.tailLength : 0);
        return CRecordingCallback::OpenResult(codecs, link, path, result);
    }
};
} // namespace

// Streams joined one after another read as one; anything else behind the last one is data after
// the end: reported (as gzip reports trailing garbage) while the data before it comes out whole.
TEST_F(ArchiveFaults, DataAfterAStreamIsReportedAndTheDataKept) {
    ASSERT_TRUE(WriteFile(tmp / "a", "first part\n"));
    ASSERT_TRUE(WriteFile(tmp / "b", "second part\n"));
    ASSERT_TRUE(WriteFile(tmp / "junk", "trailing garbage\n"));
    ASSERT_TRUE(MakeTar(tmp / "t.tar", {File("in.txt", "inside the tar\n")}));
    const std::string zstdSkippable = "printf '\\120\\052\\115\\030\\004\\000\\000\\000abcd'";
    const struct {
        const char *archive;
        std::string make; // in tmp
        const char *item;
        std::string data;
        UInt64 tail;
    } cases[] = {
        {"g.gz", "gzip -c a > g.gz && cat junk >> g.gz", "g", "first part\n", 17},
        {"g2.gz", "gzip -c a > g2.gz && gzip -c b >> g2.gz", "g2", "first part\nsecond part\n", 0},
        {"g0.gz", "gzip -c a > g0.gz && head -c 100 /dev/zero >> g0.gz", "g0", "first part\n", 100},
        {"b.bz2", "bzip2 -c a > b.bz2 && bzip2 -c b >> b.bz2 && cat junk >> b.bz2", "b", "first part\nsecond part\n",
         17},
        {"x.xz", "xz -c a > x.xz && cat junk >> x.xz", "x", "first part\n", 17},
        // Zero padding in fours between and after xz streams belongs to them.
        {"x2.xz", "xz -c a > x2.xz && head -c 4 /dev/zero >> x2.xz && xz -c b >> x2.xz && head -c 8 /dev/zero >> x2.xz",
         "x2", "first part\nsecond part\n", 0},
        {"z.zst", "zstd -qc a > z.zst && cat junk >> z.zst", "z", "first part\n", 17},
        {"z2.zst", "zstd -qc a > z2.zst && " + zstdSkippable + " >> z2.zst && zstd -qc b >> z2.zst", "z2",
         "first part\nsecond part\n", 0},
        {"t.tar.gz", "gzip -c t.tar > t.tar.gz && cat junk >> t.tar.gz", "in.txt", "inside the tar\n", 17},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.archive);
        ASSERT_EQ(0, Sh("cd '" + tmp.Path() + "' && " + c.make));
        TempFolder t;
        CTailCallback cb;
        EXPECT_EQ(S_OK, RunExtract({tmp / c.archive}, Options(t / "out"), cb).result);
        EXPECT_EQ(std::vector<HRESULT>{S_OK}, cb.openResults);
        EXPECT_EQ(std::vector<UInt64>{c.tail}, cb.tails);
        EXPECT_EQ(std::vector<Int32>{NOpRes::kOK}, cb.opResults);
        const Tree_t want = {{c.item, "f:" + c.data}};
        EXPECT_TRUE(Tree(t / "out") == want);
    }
}

// Nested gzip levels share one memory budget for the decoded data they keep: the data beyond it
// goes to temporary files, so 33 levels of 16 MiB of noise take about what one level takes. Each
// test runs in a child process, whose peak resident size is its own.
TEST_F(ArchiveFaults, NestedStreamLevelsShareOneMemoryBudget) {
    ASSERT_TRUE(WriteFile(tmp / "noise", Noise(16 << 20, 7)));
    std::string pipe = "cat " + Q("noise") + " | gzip -1";
    ASSERT_EQ(0, Sh(pipe + " > " + Q("1.gz")));
    for (int i = 1; i < 33; i++)
        pipe += " | gzip -1";
    ASSERT_EQ(0, Sh(pipe + " > " + Q("33.gz")));
    long peak[2] = {};
    for (int i = 0; i < 2; i++) {
        const std::string archive = tmp / (i == 0 ? "1.gz" : "33.gz");
        SCOPED_TRACE(archive);
        TempFolder t;
        fflush(nullptr);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CRecordingCallback cb;
            CExtractOptions options = Options(t / "out");
            options.TestMode = true;
            const CRun run = RunExtract({archive}, options, cb);
            const bool ok = run.result == S_OK && cb.openResults == std::vector<HRESULT>{S_OK} &&
                            cb.opResults == std::vector<Int32>{NOpRes::kOK};
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        struct rusage usage;
        ASSERT_EQ(pid, wait4(pid, &status, 0, &usage));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(0, WEXITSTATUS(status));
        peak[i] = usage.ru_maxrss;
    }
    // Each level keeping its own 16 MiB adds more than 500 MiB; what the sanitizer holds back of
    // freed buffers stays well below 400 MiB.
    EXPECT_LT(peak[1], peak[0] + (400L << 10)) << peak[0] << " KiB for one level, " << peak[1] << " KiB for 33";
}
