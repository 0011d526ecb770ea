// Zip archives as other tools leave them: a program in front, a damaged checksum, items that a
// wrong password cannot decode. Checked through the whole engine, whichever zip reader is in place.
#include "archive/extract_fixture.h"
#include "archive/ui-common/ArchiveLink.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace extracttest;
using testsupport::TempFolder;
using testsupport::WriteFile;
using Tree_t = std::map<std::string, std::string>;
namespace NOpRes = NArchive::NExtract::NOperationResult;

namespace {

class ZipFaults : public ::testing::Test {
protected:
    TempFolder tmp;

    void SetUp() override {
        ASSERT_EQ(S_OK, enginetest::Registry().LoadResult);
        ASSERT_TRUE(tmp.Ok());
        ASSERT_EQ(0, mkdir((tmp / "src").c_str(), 0755));
        ASSERT_EQ(0, mkdir((tmp / "src/dir").c_str(), 0755));
        ASSERT_TRUE(WriteFile(tmp / "src/a.txt", std::string(200, 'a')));
        ASSERT_TRUE(WriteFile(tmp / "src/dir/b.txt", "bee\n"));
    }

    std::string Zip(const std::string &name, const std::string &flags = "") {
        const std::string z = tmp / name;
        EXPECT_EQ(0, Sh("cd '" + (tmp / "src") + "' && zip -q -r " + flags + " '" + z + "' a.txt dir"));
        return z;
    }
};

const Tree_t kSource = {{"a.txt", "f:" + std::string(200, 'a')}, {"dir", "d"}, {"dir/b.txt", "f:bee\n"}};

} // namespace

// A self-extracting program is an executable with a zip after it, with the zip's offsets fixed to
// the whole file or left relative to the zip.
TEST_F(ZipFaults, ZipAfterAProgramOpensListsTestsAndExtracts) {
    const std::string inner = Zip("inner.zip");
    ASSERT_EQ(0, Sh("head -c 20000 /bin/ls > '" + (tmp / "stub.bin") + "'"));
    ASSERT_EQ(0, Sh("cd '" + tmp.Path() +
                    "' && cat stub.bin inner.zip > fixed.zip && zip -q -A fixed.zip && "
                    "cat stub.bin inner.zip > plain.zip"));
    ASSERT_EQ(0, Sh("unzip -tq '" + (tmp / "fixed.zip") + "' >/dev/null"));
    for (const char *name : {"fixed.zip", "plain.zip"}) {
        for (const wchar_t *type : {(const wchar_t *)nullptr, L"zip"}) {
            SCOPED_TRACE(std::string(name) + (type ? " as zip" : ""));
            for (bool test : {true, false}) {
                TempFolder t;
                CRecordingCallback cb;
                CExtractOptions o = Options(t / "out");
                o.TestMode = test;
                const CRun run = RunExtract({tmp / name}, o, cb, nullptr, nullptr, type);
                EXPECT_EQ(S_OK, run.result);
                EXPECT_EQ(std::vector<HRESULT>{S_OK}, cb.openResults);
                EXPECT_EQ(std::vector<UInt32>{0}, cb.openErrorFlags);
                EXPECT_EQ(std::vector<Int32>(3, NOpRes::kOK), cb.opResults);
                EXPECT_TRUE(cb.messages.empty());
                if (!test) {
                    EXPECT_EQ(kSource, Tree(t / "out"));
                }
            }
        }
    }
}

// The stored checksum is wrong but the data is whole: the item is reported and its data kept.
TEST_F(ZipFaults, BadChecksumKeepsTheDecodedData) {
    for (const char *method : {"-0", "-9"}) {
        SCOPED_TRACE(method);
        const std::string z = Zip(std::string("crc") + method + ".zip", method);
        // Every copy of a.txt's checksum (local header and central directory) is spoiled.
        ASSERT_EQ(0, Sh("/usr/bin/python3 -c \"import sys,zipfile,struct\n"
                        "p=sys.argv[1]; d=bytearray(open(p,'rb').read())\n"
                        "crc=struct.pack('<I', zipfile.ZipFile(p).getinfo('a.txt').CRC)\n"
                        "i=d.find(crc)\n"
                        "while i>=0:\n  d[i]^=0xFF; i=d.find(crc, i+1)\n"
                        "open(p,'wb').write(d)\" '" +
                        z + "'"));
        TempFolder t;
        CRecordingCallback cb;
        EXPECT_EQ(S_OK, RunExtract({z}, Options(t / "out"), cb).result);
        EXPECT_EQ(kSource, Tree(t / "out"));
        ASSERT_EQ(3u, cb.prepared.size());
        for (size_t i = 0; i < cb.prepared.size(); i++)
            EXPECT_EQ(cb.prepared[i] == "a.txt" ? NOpRes::kCRCError : NOpRes::kOK, cb.opResults[i]) << cb.prepared[i];
    }
}

// Items that could not be decoded leave nothing behind, so that a second try with the right
// password meets no overwrite questions.
TEST_F(ZipFaults, WrongOrMissingPasswordLeavesNothingBehind) {
    const std::string zipCrypto = Zip("zc.zip", "-P right");
    const std::string aes = tmp / "aes.zip";
    ASSERT_EQ(0, Sh("cd '" + (tmp / "src") +
                    "' && bsdtar --format zip --options zip:encryption=aes256 "
                    "--passphrase right -cf '" +
                    aes + "' a.txt dir"));
    struct Case {
        const char *name;
        std::string archive;
        HRESULT passwordResult;
    } cases[] = {
        {"zipcrypto, wrong", zipCrypto, S_OK},
        {"aes, wrong", aes, S_OK},
        {"zipcrypto, prompt cancelled", zipCrypto, E_ABORT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder t;
        const std::string out = t / "out";
        {
            CRecordingCallback cb;
            cb.password = "wrong";
            cb.passwordResult = c.passwordResult;
            RunExtract({c.archive}, Options(out), cb);
            const Tree_t left = Tree(out);
            for (const auto &e : left)
                EXPECT_EQ("d", e.second) << e.first << " was left behind";
        }
        CRecordingCallback cb;
        cb.password = "right";
        EXPECT_EQ(S_OK, RunExtract({c.archive},
                                   Options(out, NExtract::NPathMode::kFullPaths, NExtract::NOverwriteMode::kAsk), cb)
                            .result);
        EXPECT_TRUE(cb.questions.empty()) << cb.questions.size() << " overwrite questions";
        EXPECT_EQ(kSource, Tree(out));
    }
}

// An entry whose flags claim a cipher no reader has (every flag bit set) fails on its own, with the
// password given; the entry after it still extracts, and nothing of the refused open stays allocated.
TEST_F(ZipFaults, EntryWithUnknownCipherFailsAloneAndLeaksNothing) {
    const std::string z = Zip("flags.zip");
    ASSERT_EQ(0, Sh("/usr/bin/python3 -c \"import sys\n"
                    "p=sys.argv[1]; d=bytearray(open(p,'rb').read())\n"
                    "d[6:8]=b'\\\\xff\\\\xff'\n"
                    "c=d.find(b'PK\\\\x01\\\\x02'); d[c+8:c+10]=b'\\\\xff\\\\xff'\n"
                    "open(p,'wb').write(d)\" '" +
                    z + "'"));
    TempFolder t;
    CRecordingCallback cb;
    cb.password = "any";
    RunExtract({z}, Options(t / "out"), cb);
    ASSERT_EQ(3u, cb.prepared.size());
    for (size_t i = 0; i < cb.prepared.size(); i++)
        if (cb.prepared[i] == "a.txt")
            EXPECT_NE(NOpRes::kOK, cb.opResults[i]);
        else
            EXPECT_EQ(NOpRes::kOK, cb.opResults[i]) << cb.prepared[i];
    EXPECT_EQ(std::string("f:bee\n"), Tree(t / "out")["dir/b.txt"]);
}

namespace {

// The errors a run met, in one line per archive: open errors, and the items that failed.
std::string Faults(const CRecordingCallback &cb, const CRun &run) {
    std::string s = run.result == S_OK ? "" : "run " + std::to_string(run.result) + ";";
    for (size_t i = 0; i < cb.openResults.size(); i++)
        if (cb.openResults[i] != S_OK) s += "open " + std::to_string(cb.openResults[i]) + ";";
    for (size_t i = 0; i < cb.opResults.size() && i < cb.prepared.size(); i++)
        if (cb.opResults[i] != NOpRes::kOK) s += cb.prepared[i] + " " + std::to_string(cb.opResults[i]) + ";";
    for (const std::string &r : cb.reported)
        s += r + ";";
    return s;
}

} // namespace

// A split set made by zip -s, opened from its first volume: whole, it tests and extracts with no
// error and its first volume is no shorter than the archive it starts; cut or short of a volume,
// the run says so.
TEST_F(ZipFaults, SplitSetFromItsFirstVolumeTestsCleanAndADamagedOneIsReported) {
    const std::string big = tmp / "src/big.bin";
    ASSERT_EQ(0, Sh("head -c 2500000 /dev/urandom > '" + big + "'"));
    const std::string bigData = testsupport::ReadFile(big);
    ASSERT_EQ(0, Sh("cd '" + (tmp / "src") + "' && zip -q -s 1m '" + (tmp / "set.zip") + "' big.bin a.txt"));
    const std::string first = tmp / "set.z01";
    {
        CArchiveLink link;
        COpenOptions op;
        op.registry = enginetest::Registry().Codecs;
        CIntVector excluded;
        op.excludedFormatIndices = &excluded;
        op.filePath = testsupport::W(first);
        CRecordingCallback cb;
        cb.AddRef();
        ASSERT_EQ(S_OK, link.Open3(op, &cb));
        EXPECT_FALSE(link.levels.Back().openErrors.endBeyondData);
        EXPECT_FALSE(link.levels.Back().openErrors.hasTail);
        EXPECT_EQ(0u, link.levels.Back().openErrors.errorFlags);
    }
    for (bool test : {true, false}) {
        SCOPED_TRACE(test ? "test" : "extract");
        TempFolder t;
        CRecordingCallback cb;
        CExtractOptions o = Options(t / "out");
        o.TestMode = test;
        const CRun run = RunExtract({first}, o, cb);
        EXPECT_EQ("", Faults(cb, run));
        EXPECT_EQ(2u, cb.opResults.size());
        if (!test) {
            EXPECT_EQ(bigData, testsupport::ReadFile(t / "out/big.bin"));
        }
    }

    const std::string second = tmp / "set.z02";
    const std::string kept = testsupport::ReadFile(second);
    struct Case {
        const char *name;
        const char *damage;
    } cases[] = {{"cut", "truncate -s 300000 "}, {"missing", "rm "}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, Sh(std::string(c.damage) + "'" + second + "'"));
        TempFolder t;
        CRecordingCallback cb;
        CExtractOptions o = Options(t / "out");
        o.TestMode = true;
        const CRun run = RunExtract({first}, o, cb);
        EXPECT_NE("", Faults(cb, run));
        ASSERT_TRUE(WriteFile(second, kept));
    }
}

// One stored block listed by several entries, as a zip bomb does: unzip refuses it, and so does
// the engine, naming every entry involved; an entry apart from them is whole.
TEST_F(ZipFaults, EntriesThatShareTheirDataAreRefusedByName) {
    const std::string z = tmp / "overlap.zip";
    ASSERT_EQ(0, Sh("/usr/bin/python3 - '" + z +
                    "' <<'EOF'\n"
                    "import sys, struct, zipfile\n"
                    "p = sys.argv[1]\n"
                    "with zipfile.ZipFile(p, 'w') as z:\n"
                    "    z.writestr('alone.txt', 'by itself')\n"
                    "    z.writestr('one.txt', 'x' * 1000)\n"
                    "d = open(p, 'rb').read()\n"
                    "e = d.rfind(b'PK\\x05\\x06')\n"
                    "size, off = struct.unpack('<II', d[e + 12:e + 20])\n"
                    "cd = d[off:off + size]\n"
                    "second = cd.find(b'PK\\x01\\x02', 4)\n"
                    "one = cd[second:]\n"
                    "twin = one.replace(b'one.txt', b'two.txt')\n"
                    "cd += twin\n"
                    "open(p, 'wb').write(d[:off] + cd + d[e:e + 8] + struct.pack('<HHII', 3, 3, len(cd), off) + "
                    "d[e + 20:])\n"
                    "EOF"));
    int status = 0;
    testsupport::Shell("unzip -tq '" + z + "' >/dev/null 2>&1", &status);
    ASSERT_NE(0, status) << "unzip takes the fixture for a sound zip";
    for (bool test : {true, false}) {
        SCOPED_TRACE(test ? "test" : "extract");
        TempFolder t;
        CRecordingCallback cb;
        CExtractOptions o = Options(t / "out");
        o.TestMode = test;
        const CRun run = RunExtract({z}, o, cb);
        EXPECT_EQ("one.txt 8;two.txt 8;", Faults(cb, run));
        if (!test) {
            EXPECT_EQ((Tree_t{{"alone.txt", "f:by itself"}}), Tree(t / "out"));
        }
    }
    // Sound zips with empty entries and folders side by side are left alone.
    ASSERT_EQ(0, Sh("cd '" + (tmp / "src") + "' && touch e1 e2 && mkdir -p d1 d2 && zip -q -r '" + (tmp / "sound.zip") +
                    "' e1 e2 d1 d2 a.txt"));
    CRecordingCallback cb;
    CExtractOptions o = Options(tmp / "sound");
    o.TestMode = true;
    const CRun run = RunExtract({tmp / "sound.zip"}, o, cb);
    EXPECT_EQ("", Faults(cb, run));
    EXPECT_EQ(5u, cb.opResults.size());
}
