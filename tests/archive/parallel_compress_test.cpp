// Zip and gzip written on several threads through the engine: read back byte for byte by Debian's
// tools, with packed sizes reported as they are written; a cancel ends the run with E_ABORT long
// before the input is used up, leaving no new archive and the old one as it was.
#include <gtest/gtest.h>

#include <stdint.h>
#include <sys/stat.h>

#include <set>
#include <string>
#include <vector>

#include "archive/codecs_fixture.h"
#include "archive/update_ui_fixture.h"
#include "archive/ui-common/Update.h"
#include "test_support.h"

using testsupport::DirEntries;
using testsupport::ReadFile;
using testsupport::Sh;
using testsupport::TempFolder;
using testsupport::W;
using testsupport::WriteFile;

namespace {

// Stops the run once the progress passes CancelAt; remembers what the writer reported.
class CCancellingUi : public updatetest::CQuietUpdateUi {
public:
    UInt64 CancelAt = UINT64_MAX;
    UInt64 Total = 0;
    UInt64 LastCompleted = 0;
    UInt64 RatioIn = 0;
    UInt64 RatioOut = 0;
    UInt64 FirstRatioIn = 0; // of the first report with both sizes
    UInt64 FirstRatioOut = 0;

    HRESULT SetTotal(UInt64 total) override {
        Total = total;
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *value) override {
        if (!value) return S_OK;
        LastCompleted = *value;
        return *value >= CancelAt ? E_ABORT : S_OK;
    }
    HRESULT SetRatioInfo(const UInt64 *in, const UInt64 *out) override {
        if (in) RatioIn = *in;
        if (out) RatioOut = *out;
        if (FirstRatioIn == 0 && RatioIn != 0 && RatioOut != 0) {
            FirstRatioIn = RatioIn;
            FirstRatioOut = RatioOut;
        }
        return S_OK;
    }
};

class ParallelCompressTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::string tree;

    void SetUp() override {
        ASSERT_TRUE(dir.Ok());
        ASSERT_EQ(enginetest::Registry().LoadResult, S_OK);
        tree = dir / "tree";
        // One file of many blocks, and many files smaller than a block.
        ASSERT_EQ(Sh("mkdir -p '" + tree + "/small' && cd '" + tree +
                     "' && head -c 18M /dev/urandom | base64 > big.txt && "
                     "for i in $(seq 1 150); do seq $i $((i * 40)) > small/s$i.txt; done"),
                  0);
        ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
    }

    HRESULT Compress(const std::string &arc, const std::string &format, const std::vector<std::string> &sources,
                     CCancellingUi &ui, const wchar_t *level = nullptr) {
        CCodecs *codecs = enginetest::Registry().Codecs;
        CObjectVector<COpenType> types;
        COpenType t;
        t.formatIndex = codecs->FindFormatForArchiveType(W(format));
        types.Add(t);
        NWildcard::CCensor censor;
        for (const std::string &s : sources)
            censor.AddItem(NWildcard::k_RelatPath, true, W(s), true, true);
        CUpdateOptions options;
        CUpdateArchiveCommand &cmd = options.Outputs.AddNew();
        cmd.GivenPath = W(arc);
        cmd.Actions = NUpdateArchive::k_ActionSet_Add;
        CProperty mt;
        mt.Name = L"mt";
        mt.Value = L"4";
        options.Method.Props.Add(mt);
        if (level) {
            CProperty x;
            x.Name = L"x";
            x.Value = level;
            options.Method.Props.Add(x);
        }
        CUpdateErrorInfo errorInfo;
        return UpdateArchive(codecs, types, W(arc), censor, options, errorInfo, &ui, &ui, true);
    }
};

} // namespace

TEST_F(ParallelCompressTest, ZipAndGzipReadBackByteForByte) {
    const std::string zip = dir / "out/t.zip";
    CCancellingUi ui;
    ASSERT_EQ(Compress(zip, "zip", {tree + "/big.txt", tree + "/small"}, ui), S_OK);
    EXPECT_EQ(Sh("unzip -tq '" + zip + "' > /dev/null"), 0);
    // Every member against the file it came from.
    EXPECT_EQ(Sh("cd '" + tree +
                 "' && /usr/bin/python3 -c \"import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1])\n"
                 "names=[n for n in z.namelist() if not n.endswith('/')]\nassert len(names)==151, len(names)\n"
                 "for n in names: assert z.read(n)==open(n,'rb').read(), n\" '" +
                 zip + "'"),
              0);
    // The packed size went out as the data was compressed.
    EXPECT_EQ(ui.RatioIn, ui.Total);
    EXPECT_GT(ui.RatioOut, ui.Total / 2);
    EXPECT_LT(ui.RatioOut, ui.Total);

    const std::string gz = dir / "out/big.txt.gz";
    CCancellingUi gzUi;
    ASSERT_EQ(Compress(gz, "gzip", {tree + "/big.txt"}, gzUi), S_OK);
    EXPECT_EQ(Sh("gzip -t '" + gz + "' && gzip -dc '" + gz + "' | cmp -s - '" + tree + "/big.txt'"), 0);
}

TEST_F(ParallelCompressTest, CancelEndsTheRunAndLeavesNoArchive) {
    for (const char *format : {"zip", "gzip"}) {
        SCOPED_TRACE(format);
        CCancellingUi ui;
        ui.CancelAt = 2 << 20;
        EXPECT_EQ(Compress(dir / "out/cancelled.arc", format, {tree + "/big.txt"}, ui), E_ABORT);
        EXPECT_EQ(DirEntries(dir / "out"), std::set<std::string>());
        // Stopped where it was told to, not after compressing everything it had read.
        EXPECT_GT(ui.Total, 20u << 20);
        EXPECT_LT(ui.LastCompleted, ui.Total / 2);
    }
}

TEST_F(ParallelCompressTest, CancelledUpdateLeavesTheOldZipAsItWas) {
    const std::string zip = dir / "out/old.zip";
    ASSERT_EQ(Sh("cd '" + tree + "' && zip -qr '" + zip + "' small"), 0);
    const std::string before = ReadFile(zip);
    CCancellingUi ui;
    ui.CancelAt = 2 << 20;
    EXPECT_EQ(Compress(zip, "zip", {tree + "/big.txt"}, ui), E_ABORT);
    EXPECT_EQ(ReadFile(zip), before);
    EXPECT_EQ(DirEntries(dir / "out"), std::set<std::string>{"old.zip"});
}

// The processed and packed sizes move from early in the run for every writable format, also while
// the first round of parallel blocks is still being coded, and end at the whole input. Levels that
// make the coders slow enough for blocks to take a while.
TEST_F(ParallelCompressTest, SizesAndRatioMoveFromEarlyInTheRun) {
    const struct {
        const char *format;
        const char *ext;
        const wchar_t *level;
    } cases[] = {{"7z", "7z", L"5"},     {"zip", "zip", L"5"}, {"tar", "tar", nullptr}, {"gzip", "gz", L"5"},
                 {"bzip2", "bz2", L"9"}, {"xz", "xz", L"6"},   {"zstd", "zst", L"15"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.format);
        CCancellingUi ui;
        ASSERT_EQ(Compress(dir / (std::string("out/sizes.") + c.ext), c.format, {tree + "/big.txt"}, ui, c.level),
                  S_OK);
        EXPECT_GT(ui.FirstRatioIn, 0u);
        EXPECT_LT(ui.FirstRatioIn, ui.Total / 4);
        // What was reported packed is what that input came to, not the whole archive so far.
        EXPECT_LE(ui.FirstRatioOut, ui.FirstRatioIn + (64 << 10));
        EXPECT_EQ(ui.RatioIn, ui.Total);
    }
}
