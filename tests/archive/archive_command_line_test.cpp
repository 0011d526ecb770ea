#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "archive/ui-common/ArchiveCommandLine.h"
#include "common/CommandLineParser.h"
#include "common/StdOutStream.h"
#include "common/UTFConvert.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "test_support.h"

using testsupport::S;
using testsupport::U;
using testsupport::Words;

namespace {

std::vector<std::string> Strings(const UStringVector &v) {
    std::vector<std::string> r;
    FOR_VECTOR(i, v) {
        r.push_back(S(v[i]));
    }
    return r;
}

// Parses the words with the standard streams taken as terminals or not; "" on success, else the
// exception's text.
std::string Parse(const UStringVector &words, CArcCmdLineOptions &o, bool terminals = false) {
    try {
        CArcCmdLineParser parser;
        parser.Parse1(words, o);
        o.StdInIsTerminal = o.StdOutIsTerminal = o.StdErrIsTerminal = terminals;
        parser.Parse2(o);
    } catch (const CArcCmdLineException &e) {
        return S(e);
    }
    return "";
}

std::string Parse(const std::vector<std::string> &words, CArcCmdLineOptions &o, bool terminals = false) {
    return Parse(Words(words), o, terminals);
}

// A censor tree as lines: "+" or "-", the prefix in brackets, the item path, " r" when recursive,
// " w" when wildcards match.
void DescribeNode(const NWildcard::CCensorNode &node, const std::string &prefix, const std::string &path,
                  std::vector<std::string> &out, bool isSubNode = false) {
    const std::string here = isSubNode ? path + "/" : "";
    for (int pass = 0; pass < 2; pass++) {
        const CObjectVector<NWildcard::CItem> &items = pass == 0 ? node.IncludeItems : node.ExcludeItems;
        FOR_VECTOR(i, items) {
            const NWildcard::CItem &item = items[i];
            std::string p;
            FOR_VECTOR(k, item.PathParts) {
                p += (k ? "/" : "") + S(item.PathParts[k]);
            }
            out.push_back(std::string(pass == 0 ? "+" : "-") + "[" + prefix + "]" + here + p +
                          (item.Recursive ? " r" : "") + (item.WildcardMatching ? " w" : ""));
        }
    }
    FOR_VECTOR(i, node.SubNodes) {
        DescribeNode(node.SubNodes[i], prefix, here + S(node.SubNodes[i].Name), out, true);
    }
}

std::vector<std::string> Describe(const NWildcard::CCensor &censor) {
    std::vector<std::string> out;
    FOR_VECTOR(i, censor.Pairs) {
        DescribeNode(censor.Pairs[i].Head, S(censor.Pairs[i].Prefix), "", out);
    }
    // Paths still queued (update commands add them when they run).
    FOR_VECTOR(i, censor.CensorPaths) {
        const NWildcard::CCensorPath &cp = censor.CensorPaths[i];
        out.push_back(std::string("queued ") + (cp.Include ? "+" : "-") + S(cp.Path) + (cp.Recursive ? " r" : "") +
                      (cp.WildcardMatching ? " w" : ""));
    }
    return out;
}

std::string Actions(const NUpdateArchive::CActionSet &set) {
    std::string s;
    for (unsigned i = 0; i < NUpdateArchive::kNumPairStates; i++)
        s += (char)('0' + set.StateActions[i]);
    return s;
}

using V = std::vector<std::string>;

// The switches change process-wide state; every test leaves it as it found it.
class ArcCmdLine : public ::testing::Test {
protected:
    bool savedCase = g_CaseSensitive;
    int savedCodePage = g_CodePage;
    int savedLstat = global_use_lstat;
    testsupport::TempFolder tmp;
    std::string savedCwd;

    void SetUp() override {
        setlocale(LC_ALL, "C.UTF-8");
        ASSERT_TRUE(tmp.Ok());
        char buf[4096];
        if (getcwd(buf, sizeof(buf))) savedCwd = buf;
    }
    void TearDown() override {
        if (!savedCwd.empty()) {
            EXPECT_EQ(chdir(savedCwd.c_str()), 0);
        }
        g_CaseSensitive = savedCase;
        g_CodePage = savedCodePage;
        global_use_lstat = savedLstat;
    }
};

} // namespace

TEST_F(ArcCmdLine, RejectsBadCommandLinesWithExactTexts) {
    const std::string list = tmp / "missing.lst";
    const std::string pairs = tmp / "pairs.lst";
    ASSERT_TRUE(testsupport::WriteFile(pairs, "a\nb\n"));
    struct {
        V words;
        bool terminals;
        std::string text;
    } cases[] = {
        {{}, false, "The command must be specified"},
        {{"-y"}, false, "The command must be specified"},
        {{"z"}, false, "Unsupported command:\nz"},
        {{"xx", "arc.7z"}, false, "Unsupported command:\nxx"},
        {{"\xC3\xA9", "arc.7z"}, false, "Unsupported command:\n\xC3\xA9"},
        {{"x"}, false, "Cannot find archive name"},
        {{"x", ""}, false, "Archive name cannot by empty"},
        {{"a", "arc.7z", ""}, false, "Empty file path"},
        {{"x", "arc.7z", "-q"}, false, "Unknown switch:\n-q"},
        {{"x", "arc.7z", "-o1", "-o2"}, false, "Multiple instances for switch:\n-o2"},
        {{"x", "arc.7z", "-i!"}, false, "Too short switch:\n-i!"},
        {{"x", "arc.7z", "-aoz"}, false, "Incorrect switch postfix:\n-aoz"},
        {{"rn", "arc.7z", "a", "b", "c"}, false, "There is no second file name for rename pair:\nc"},
        {{"rn", "arc.7z", "a*", "b"}, false, "Unsupported rename command:\na*\nb\n"},
        {{"rn", "arc.7z", "-r", "@" + pairs}, false, "Unsupported rename command:\na\nb\n-r"},
        {{"rn", "arc.7z", "a", "b", "-u-"}, false, "Only one archive can be created with rename command"},
        {{"a", "arc.7z", "-bbx"}, false, "Unsupported switch postfix -bb\nx"},
        {{"a", "arc.7z", "-stmxyz"}, false, "Unsupported switch postfix -stm\nxyz"},
        {{"x", "arc.7z", "-scs70000"}, false, "Unsupported charset:\n70000"},
        {{"x", "arc.7z", "-scsKOI8"}, false, "Unsupported charset:\nkoi8"},
        {{"x", "arc.7z", "-sccutf-16le"}, false, "Unsupported charset:\nutf-16le"},
        {{"a", "arc.7z", "-up2"}, false, "incorrect update switch command\np2"},
        {{"a", "arc.7z", "-ur1"}, false, "incorrect update switch command\nr1"},
        {{"a", "arc.7z", "-up"}, false, "incorrect update switch command\np"},
        {{"a", "arc.7z", "-up4"}, false, "incorrect update switch command\np4"},
        {{"a", "arc.7z", "-up0new.7z"}, false, "incorrect update switch command\np0new.7z"},
        {{"a", "arc.7z", "-u!"}, false, "incorrect update switch command\n!"},
        {{"a", "arc.7z", "-v0"}, false, "Incorrect volume size:\n0"},
        {{"a", "arc.7z", "-v10x"}, false, "Incorrect volume size:\n10x"},
        {{"a", "arc.7z", "-v99999999999t"}, false, "Incorrect volume size:\n99999999999t"},
        {{"x", "arc.7z", "-ir!"}, false, "Too short switch\nr!"},
        {{"x", "arc.7z", "-ir-!"}, false, "Too short switch\nr-!"},
        {{"x", "arc.7z", "-i#a"}, false, "Incorrect wildcard type marker\n#a"},
        {{"x", "arc.7z", "-i@" + list}, false, "Cannot find listfile\n" + list},
        {{"a", "arc.7z", "-ai!x.7z"}, false, "-ai switch is not supported for this command"},
        {{"x", "arc.7z", "-spfx"}, false, "Unsupported -spf:\nx"},
        {{"b", "x1"}, false, "Incorrect Number of benmchmark iterations\nx1"},
        {{"a", "arc.7z", "-so"}, true, "I won't write compressed data to a terminal"},
        {{"a", "arc.7z", "-so", "-seml"}, false, "stdout mode and email mode cannot be combined"},
        {{"a", "arc.7z", "-so", "-bse1"}, false, "I won't write data and program's messages to same stream"},
        {{"x", "arc.7z", "-so", "-bsp1"}, false, "I won't write data and program's messages to same stream"},
        {{"x", "arc.7z", "-so", "-bsp2"}, true, "I won't write data and program's messages to same stream"},
    };
    for (const auto &c : cases) {
        CArcCmdLineOptions o;
        EXPECT_EQ(Parse(c.words, o, c.terminals), c.text) << ::testing::PrintToString(c.words);
    }
}

TEST_F(ArcCmdLine, ExtractWithOutputFolderAndOneName) {
    CArcCmdLineOptions o;
    ASSERT_EQ(Parse(V{"x", "arc.7z", "-oout", "a.txt"}, o), "");
    EXPECT_EQ(o.Command.CommandType, NCommandType::kExtractFull);
    EXPECT_TRUE(o.Command.IsFromExtractGroup());
    EXPECT_EQ(S(o.ArchiveName), "arc.7z");
    EXPECT_EQ(Describe(o.Censor), V{"+[]a.txt"});
    EXPECT_EQ(Describe(o.ArchiveCensor), V{"+[]arc.7z"});
    EXPECT_EQ(S(o.ExtractSettings.OutputDir), "out/");
    EXPECT_EQ(o.ExtractSettings.PathMode, NExtract::NPathMode::kFullPaths);
    EXPECT_FALSE(o.ExtractSettings.PathMode_Force);
    EXPECT_EQ(o.ExtractSettings.OverwriteMode, NExtract::NOverwriteMode::kAsk);
    EXPECT_FALSE(o.ExtractSettings.OverwriteMode_Force);
}

TEST_F(ArcCmdLine, NamesAndRecursionOfTheItemCensor) {
    struct {
        V words;
        V censor;
    } cases[] = {
        {{"x", "arc.7z"}, {"+[]* w"}},
        {{"x", "arc.7z", "-r"}, {"+[]* r w"}},
        {{"x", "arc.7z", "-r-"}, {"+[]* w"}},
        {{"x", "arc.7z", "-r0", "a.txt", "*.c"}, {"+[]a.txt", "+[]*.c r w"}},
        // spd turns wildcards off for names, never for the implied "*".
        {{"x", "arc.7z", "-spd"}, {"+[]* w"}},
        {{"x", "arc.7z", "-spd", "a*b"}, {"+[]a*b"}},
        {{"x", "arc.7z", "-i!*.txt"}, {"+[]*.txt w"}},
        {{"x", "arc.7z", "-i!a"}, {"+[]a"}},
        {{"x", "arc.7z", "-ir!*.txt", "-xr-!b/*.tmp"}, {"+[]*.txt r w", "-[]b/*.tmp w"}},
        {{"x", "arc.7z", "-x!*.tmp"}, {"+[]* w", "-[]*.tmp w"}},
        {{"e", "arc.7z", "dir/a.txt"}, {"+[]dir/a.txt"}},
        // After "--" a word starting with '-' is a name.
        {{"x", "--", "arc.7z", "-rf", "-o"}, {"+[]-rf", "+[]-o"}},
    };
    for (const auto &c : cases) {
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(c.words, o), "") << ::testing::PrintToString(c.words);
        EXPECT_EQ(Describe(o.Censor), c.censor) << ::testing::PrintToString(c.words);
    }
}

TEST_F(ArcCmdLine, CommandWordsAndTheirGroups) {
    struct {
        const char *word;
        NCommandType::EEnum type;
        bool extract, update;
        NExtract::NPathMode::EEnum pathMode;
    } cases[] = {
        {"a", NCommandType::kAdd, false, true, NExtract::NPathMode::kNoPaths},
        {"U", NCommandType::kUpdate, false, true, NExtract::NPathMode::kNoPaths},
        {"d", NCommandType::kDelete, false, true, NExtract::NPathMode::kNoPaths},
        {"t", NCommandType::kTest, true, false, NExtract::NPathMode::kFullPaths},
        {"e", NCommandType::kExtract, true, false, NExtract::NPathMode::kNoPaths},
        {"X", NCommandType::kExtractFull, true, false, NExtract::NPathMode::kFullPaths},
        {"l", NCommandType::kList, false, false, NExtract::NPathMode::kNoPaths},
        {"b", NCommandType::kBenchmark, false, false, NExtract::NPathMode::kNoPaths},
        {"i", NCommandType::kInfo, false, false, NExtract::NPathMode::kNoPaths},
        {"h", NCommandType::kHash, false, false, NExtract::NPathMode::kNoPaths},
        {"RN", NCommandType::kRename, false, true, NExtract::NPathMode::kNoPaths},
    };
    for (const auto &c : cases) {
        CArcCmdLineOptions o;
        std::vector<std::string> words{c.word, c.type == NCommandType::kBenchmark ? "2" : "arc.7z"};
        if (c.type == NCommandType::kRename) words.insert(words.end(), {"old", "new"});
        ASSERT_EQ(Parse(words, o), "") << c.word;
        EXPECT_EQ(o.Command.CommandType, c.type) << c.word;
        EXPECT_EQ(o.Command.IsFromExtractGroup(), c.extract) << c.word;
        EXPECT_EQ(o.Command.IsFromUpdateGroup(), c.update) << c.word;
        EXPECT_EQ(o.Command.GetPathMode(), c.pathMode) << c.word;
        // b, i and h take no archive name: the second word is a name.
        const bool takesName =
            c.type != NCommandType::kBenchmark && c.type != NCommandType::kInfo && c.type != NCommandType::kHash;
        EXPECT_EQ(S(o.ArchiveName), takesName ? "arc.7z" : "") << c.word;
        if (!takesName) {
            EXPECT_EQ(Describe(o.Censor).size(), 1u) << c.word;
        }
    }
}

TEST_F(ArcCmdLine, RenamePairsAndTheImpliedWholeArchive) {
    CArcCmdLineOptions o;
    ASSERT_EQ(Parse(V{"RN", "arc.7z", "a", "b", "dir/c", "dir/d"}, o), "");
    ASSERT_EQ(o.UpdateSettings.Renames.Size(), 2u);
    EXPECT_EQ(S(o.UpdateSettings.Renames[0].FromPath), "a");
    EXPECT_EQ(S(o.UpdateSettings.Renames[0].ToPath), "b");
    EXPECT_EQ(o.UpdateSettings.Renames[0].Recursion, NRecursedType::kNonRecursive);
    EXPECT_EQ(S(o.UpdateSettings.Renames[1].FromPath), "dir/c");
    EXPECT_EQ(S(o.UpdateSettings.Renames[1].ToPath), "dir/d");
    EXPECT_EQ(Describe(o.Censor), V{"queued +* w"});
    ASSERT_EQ(o.UpdateSettings.Outputs.Size(), 1u);
    EXPECT_TRUE(o.UpdateSettings.Outputs[0].Actions.IsEqualTo(NUpdateArchive::k_ActionSet_Update));

    const std::string pairs = tmp / "pairs.lst";
    ASSERT_TRUE(testsupport::WriteFile(pairs, "x y\n\"p q\"\n"));
    CArcCmdLineOptions o2;
    ASSERT_EQ(Parse(V{"rn", "arc.7z", "@" + pairs}, o2), "");
    ASSERT_EQ(o2.UpdateSettings.Renames.Size(), 1u);
    EXPECT_EQ(S(o2.UpdateSettings.Renames[0].FromPath), "x y");
    EXPECT_EQ(S(o2.UpdateSettings.Renames[0].ToPath), "p q");

    ASSERT_TRUE(testsupport::WriteFile(pairs, "x\ny\nz\n"));
    CArcCmdLineOptions o3;
    EXPECT_EQ(Parse(V{"rn", "arc.7z", "@" + pairs}, o3),
              "Incorrect item in listfile.\nCheck charset encoding and -scs switch.\n" + pairs);
}

TEST_F(ArcCmdLine, UpdateSwitchesBuildTheOutputs) {
    {
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(V{"a", "arc.7z", "-up0q0!new.7z"}, o), "");
        const CUpdateOptions &u = o.UpdateSettings;
        EXPECT_TRUE(u.ReplaceSource);
        ASSERT_EQ(u.Outputs.Size(), 2u);
        EXPECT_TRUE(u.Outputs[0].Actions.IsEqualTo(NUpdateArchive::k_ActionSet_Add));
        EXPECT_EQ(S(u.Outputs[0].GivenPath), "");
        EXPECT_EQ(S(u.Outputs[1].GivenPath), "new.7z");
        NUpdateArchive::CActionSet expected = NUpdateArchive::k_ActionSet_Add;
        expected.StateActions[0] = expected.StateActions[1] = NUpdateArchive::kActionIgnore;
        EXPECT_EQ(Actions(u.Outputs[1].Actions), Actions(expected));
    }
    {
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(V{"a", "arc.7z", "-u-"}, o), "");
        EXPECT_FALSE(o.UpdateSettings.ReplaceSource);
        EXPECT_EQ(o.UpdateSettings.Outputs.Size(), 0u);
    }
    {
        // An empty target changes the main archive's actions; letters fold case.
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(V{"d", "arc.7z", "-uW3x1", "a"}, o), "");
        NUpdateArchive::CActionSet expected = NUpdateArchive::k_ActionSet_Delete;
        expected.StateActions[6] = NUpdateArchive::kActionAnti;
        expected.StateActions[3] = NUpdateArchive::kActionCopy;
        ASSERT_EQ(o.UpdateSettings.Outputs.Size(), 1u);
        EXPECT_EQ(Actions(o.UpdateSettings.Outputs[0].Actions), Actions(expected));
    }
    {
        // After "-u-" an empty target has no main archive to change.
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(V{"u", "arc.7z", "-u-", "-up0", "-u!b.7z"}, o), "");
        ASSERT_EQ(o.UpdateSettings.Outputs.Size(), 1u);
        EXPECT_EQ(S(o.UpdateSettings.Outputs[0].GivenPath), "b.7z");
        EXPECT_TRUE(o.UpdateSettings.Outputs[0].Actions.IsEqualTo(NUpdateArchive::k_ActionSet_Update));
    }
}

TEST_F(ArcCmdLine, UpdateSettingsFromSwitches) {
    CArcCmdLineOptions o;
    ASSERT_EQ(
        Parse(V{"a",      "arc.7z",      "-v10m", "-v1K",     "-v7",         "-mx=9",   "-mhe",    "-m0=lzma2:d=1m",
                "-wwork", "-ssw",        "-sdel", "-stl",     "-sfxmod.sfx", "-snh",    "-snl-",   "-sni",
                "-spf2",  "-seml.a@b.c", "-sae",  "-psecret", "-tzip",       "-stxrar", "-stxcab", "f"},
              o),
        "");
    const CUpdateOptions &u = o.UpdateSettings;
    ASSERT_EQ(u.VolumeSizes.Size(), 3u);
    EXPECT_EQ(u.VolumeSizes[0], 10485760u);
    EXPECT_EQ(u.VolumeSizes[1], 1024u);
    EXPECT_EQ(u.VolumeSizes[2], 7u);
    ASSERT_EQ(u.Method.Props.Size(), 3u);
    EXPECT_EQ(S(u.Method.Props[0].Name), "x");
    EXPECT_EQ(S(u.Method.Props[0].Value), "9");
    EXPECT_EQ(S(u.Method.Props[1].Name), "he");
    EXPECT_EQ(S(u.Method.Props[1].Value), "");
    EXPECT_EQ(S(u.Method.Props[2].Name), "0");
    EXPECT_EQ(S(u.Method.Props[2].Value), "lzma2:d=1m");
    EXPECT_EQ(o.Properties.Size(), 3u);
    EXPECT_EQ(S(u.WorkFolder), "work");
    EXPECT_TRUE(u.OpenForWriteShare);
    EXPECT_TRUE(u.DeleteSourcesAfter);
    EXPECT_TRUE(u.StampArchiveTime);
    EXPECT_TRUE(u.MakeSfx);
    EXPECT_EQ(S(u.SfxModulePath), "mod.sfx");
    EXPECT_TRUE(u.KeepHardLinks.Def && u.KeepHardLinks.Val);
    EXPECT_TRUE(u.KeepSymLinks.Def && !u.KeepSymLinks.Val);
    EXPECT_TRUE(u.KeepNtSecurity.Def && u.KeepNtSecurity.Val);
    EXPECT_FALSE(u.KeepAltStreams.Def);
    EXPECT_EQ(u.CensorPathMode, NWildcard::k_FullPath);
    EXPECT_TRUE(u.MailMode);
    EXPECT_TRUE(u.MailRemoveAfter);
    EXPECT_EQ(S(u.MailAddress), "a@b.c");
    EXPECT_EQ(u.NameMode, kArcNameExact);
    EXPECT_TRUE(o.PasswordGiven);
    EXPECT_EQ(S(o.Password), "secret");
    EXPECT_EQ(S(o.TypeText), "zip");
    EXPECT_EQ(Strings(o.SkippedTypes), (V{"rar", "cab"}));
    // Update commands leave the censor's paths queued for the update run.
    EXPECT_EQ(Describe(o.Censor), V{"queued +f w"});

    CArcCmdLineOptions o2;
    ASSERT_EQ(Parse(V{"a", "arc.7z", "-w", "-p", "f"}, o2), "");
    UString temp;
    ASSERT_TRUE(NWindows::NFile::NDir::MyGetTempPath(temp));
    EXPECT_EQ(S(o2.UpdateSettings.WorkFolder), S(temp));
    EXPECT_TRUE(o2.PasswordGiven);
    EXPECT_EQ(S(o2.Password), "");
    EXPECT_FALSE(o2.UpdateSettings.MakeSfx);
    EXPECT_EQ(o2.UpdateSettings.NameMode, kArcNameSmart);
}

TEST_F(ArcCmdLine, ExtractSettingsFromSwitches) {
    struct {
        V words;
        NExtract::NOverwriteMode::EEnum overwrite;
        bool overwriteForced;
        NExtract::NPathMode::EEnum path;
        bool pathForced;
    } cases[] = {
        {{"x", "arc.7z", "-aoa"}, NExtract::NOverwriteMode::kOverwrite, true, NExtract::NPathMode::kFullPaths, false},
        {{"x", "arc.7z", "-aos"}, NExtract::NOverwriteMode::kSkip, true, NExtract::NPathMode::kFullPaths, false},
        {{"e", "arc.7z", "-aou"}, NExtract::NOverwriteMode::kRename, true, NExtract::NPathMode::kNoPaths, false},
        {{"x", "arc.7z", "-aot", "-y"},
         NExtract::NOverwriteMode::kRenameExisting,
         true,
         NExtract::NPathMode::kFullPaths,
         false},
        {{"x", "arc.7z", "-y"}, NExtract::NOverwriteMode::kOverwrite, true, NExtract::NPathMode::kFullPaths, false},
        {{"e", "arc.7z", "-spf"}, NExtract::NOverwriteMode::kAsk, false, NExtract::NPathMode::kAbsPaths, true},
        {{"e", "arc.7z", "-spf2"}, NExtract::NOverwriteMode::kAsk, false, NExtract::NPathMode::kFullPaths, true},
    };
    for (const auto &c : cases) {
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(c.words, o), "") << ::testing::PrintToString(c.words);
        EXPECT_EQ(o.ExtractSettings.OverwriteMode, c.overwrite) << ::testing::PrintToString(c.words);
        EXPECT_EQ(o.ExtractSettings.OverwriteMode_Force, c.overwriteForced) << ::testing::PrintToString(c.words);
        EXPECT_EQ(o.ExtractSettings.PathMode, c.path) << ::testing::PrintToString(c.words);
        EXPECT_EQ(o.ExtractSettings.PathMode_Force, c.pathForced) << ::testing::PrintToString(c.words);
    }

    CArcCmdLineOptions o;
    ASSERT_EQ(Parse(V{"t", "arc.7z", "-sns-", "-snh", "-sni", "-snr", "-snc", "-spe-", "-scrcSHA256", "-scrcCRC32"}, o),
              "");
    const CExtractNtOptions &nt = o.ExtractSettings.NtOptions;
    EXPECT_TRUE(nt.AltStreams.Def && !nt.AltStreams.Val);
    EXPECT_TRUE(nt.HardLinks.Def && nt.HardLinks.Val);
    EXPECT_TRUE(!nt.SymLinks.Def && nt.SymLinks.Val);
    EXPECT_TRUE(nt.NtSecurity.Def && nt.NtSecurity.Val);
    EXPECT_TRUE(nt.ReplaceColonForAltStream);
    EXPECT_TRUE(nt.WriteToAltStreamIfColon);
    EXPECT_TRUE(o.ExtractSettings.ElimDup.Def && !o.ExtractSettings.ElimDup.Val);
    EXPECT_EQ(Strings(o.HashNames), (V{"SHA256", "CRC32"}));
}

TEST_F(ArcCmdLine, MessageStreamsAndLogLevel) {
    struct {
        V words;
        unsigned out, err, percent, log;
    } cases[] = {
        // 9: percentages go to standard output only when it is a terminal.
        {{"l", "arc.7z"}, 1, 2, 9, 0},
        {{"l", "arc.7z", "-bb"}, 1, 2, 9, 1},
        {{"l", "arc.7z", "-bb3"}, 1, 2, 9, 3},
        {{"l", "arc.7z", "-bd"}, 1, 2, 0, 0},
        {{"l", "arc.7z", "-bso2", "-bse0", "-bsp1"}, 2, 0, 1, 0},
        {{"x", "arc.7z", "-so"}, 0, 2, 0, 0},
    };
    for (const auto &c : cases) {
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(c.words, o), "") << ::testing::PrintToString(c.words);
        EXPECT_EQ(o.OutStreamNumber, c.out) << ::testing::PrintToString(c.words);
        EXPECT_EQ(o.ErrStreamNumber, c.err) << ::testing::PrintToString(c.words);
        EXPECT_EQ(o.PercentStreamNumber, c.percent == 9 ? (isatty(1) ? 1u : 0u) : c.percent)
            << ::testing::PrintToString(c.words);
        EXPECT_EQ(o.LogLevel, c.log) << ::testing::PrintToString(c.words);
    }
    CArcCmdLineOptions o;
    ASSERT_EQ(Parse(V{"l", "arc.7z", "-ba", "-slt", "-bt", "-slp", "-?", "-sitext"}, o), "");
    EXPECT_FALSE(o.ShowHeaders);
    EXPECT_TRUE(o.ShowTechInfo);
    EXPECT_TRUE(o.ShowTimings);
    EXPECT_TRUE(o.UseLargePages);
    EXPECT_TRUE(o.HelpRequested);
    EXPECT_TRUE(o.ReadStdIn);
    // With standard input a list command takes no archive name: the word is an item name.
    EXPECT_EQ(S(o.ArchiveName), "");
    EXPECT_EQ(S(o.StdInName), "text");
    EXPECT_EQ(Describe(o.Censor), V{"+[]arc.7z"});
    CArcCmdLineOptions o2;
    ASSERT_EQ(Parse(V{"l", "arc.7z", "-slp-", "-h"}, o2), "");
    EXPECT_FALSE(o2.UseLargePages);
    EXPECT_TRUE(o2.HelpRequested);
}

TEST_F(ArcCmdLine, ProcessWideSwitches) {
    g_CaseSensitive = true;
    CArcCmdLineOptions o;
    ASSERT_EQ(Parse(V{"x", "arc.7z", "-ssc-", "-sccWIN", "-l"}, o), "");
    EXPECT_TRUE(o.CaseSensitiveSet);
    EXPECT_FALSE(o.CaseSensitive);
    EXPECT_FALSE(g_CaseSensitive);
    EXPECT_EQ(g_CodePage, 0);
    EXPECT_EQ(global_use_lstat, 0);

    CArcCmdLineOptions o2;
    ASSERT_EQ(Parse(V{"x", "arc.7z", "-ssc", "-scc65001"}, o2), "");
    EXPECT_TRUE(o2.CaseSensitiveSet && o2.CaseSensitive && g_CaseSensitive);
    EXPECT_EQ(g_CodePage, 65001);
    EXPECT_EQ(global_use_lstat, 1);

    CArcCmdLineOptions o3;
    ASSERT_EQ(Parse(V{"x", "arc.7z"}, o3), "");
    EXPECT_FALSE(o3.CaseSensitiveSet);
    EXPECT_TRUE(g_CaseSensitive);
    EXPECT_EQ(g_CodePage, -1);
}

TEST_F(ArcCmdLine, BenchmarkAndHashCommands) {
    CArcCmdLineOptions b1, b2;
    ASSERT_EQ(Parse(V{"b"}, b1), "");
    EXPECT_EQ(b1.BenchPasses, 1u);
    ASSERT_EQ(Parse(V{"b", "5"}, b2), "");
    EXPECT_EQ(b2.BenchPasses, 5u);

    CArcCmdLineOptions h;
    ASSERT_EQ(Parse(V{"h", "-scrcSHA256", "-ssw", "-sns", "-spf", "/tmp/a.txt"}, h), "");
    EXPECT_EQ(Strings(h.HashSettings.Methods), V{"SHA256"});
    EXPECT_TRUE(h.HashSettings.OpenShareForWrite);
    EXPECT_TRUE(h.HashSettings.AltStreamsMode);
    EXPECT_FALSE(h.HashSettings.StdInMode);
    EXPECT_EQ(h.HashSettings.PathMode, NWildcard::k_AbsPath);
    // The hash command's paths are in the tree already.
    EXPECT_EQ(Describe(h.Censor), V{"+[]/tmp/a.txt"});
}

// The texts the browser window builds, split as its runner splits them.
TEST_F(ArcCmdLine, AcceptsTheWindowsCommandTexts) {
    auto split = [](const std::string &text) {
        UStringVector words;
        NCommandLineParser::SplitCommandLine(U(text), words);
        return words;
    };
    {
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(split("x -o\"/home/u/a.tar/\" -ad -an -ai!\"/home/u/a b.tar.gz\""), o), "");
        EXPECT_EQ(o.Command.CommandType, NCommandType::kExtractFull);
        EXPECT_EQ(S(o.ArchiveName), "");
        EXPECT_TRUE(o.DialogMode);
        EXPECT_EQ(S(o.ExtractSettings.OutputDir), "/home/u/a.tar/");
        EXPECT_EQ(Describe(o.ArchiveCensor), V{"+[/home/u/]a b.tar.gz"});
        EXPECT_EQ(Describe(o.Censor), V{"+[]* w"});
    }
    {
        // Several archives: "-an -ai" before each one.
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(split("x -o\"/home/u/*/\" -an -ai!\"/home/u/a.zip\" -an -ai!\"/home/u/b.7z\""), o), "");
        EXPECT_EQ(S(o.ArchiveName), "");
        EXPECT_EQ(S(o.ExtractSettings.OutputDir), "/home/u/*/");
        EXPECT_EQ(Describe(o.ArchiveCensor), (V{"+[/home/u/]a.zip", "+[/home/u/]b.7z"}));
    }
    {
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(split("a -i!\"/home/u/a.txt\" -i!\"/home/u/d i r\" -tzip -saa -- \"/home/u/a.zip\""), o), "");
        EXPECT_EQ(o.Command.CommandType, NCommandType::kAdd);
        EXPECT_EQ(S(o.ArchiveName), "/home/u/a.zip");
        EXPECT_EQ(S(o.TypeText), "zip");
        EXPECT_EQ(o.UpdateSettings.NameMode, kArcNameAdd);
        EXPECT_EQ(Describe(o.Censor), (V{"queued +/home/u/a.txt w", "queued +/home/u/d i r w"}));
    }
    {
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(split("a -i!\"/home/u/a.txt\" -t7z -seml. -ad -an -sae -- "), o), "");
        EXPECT_EQ(S(o.ArchiveName), "");
        EXPECT_TRUE(o.DialogMode);
        EXPECT_TRUE(o.UpdateSettings.MailMode);
        EXPECT_TRUE(o.UpdateSettings.MailRemoveAfter);
        EXPECT_EQ(S(o.UpdateSettings.MailAddress), "");
        EXPECT_EQ(o.UpdateSettings.NameMode, kArcNameExact);
    }
    {
        // A quoted name that starts with '-' is still a name after "--".
        CArcCmdLineOptions o;
        ASSERT_EQ(Parse(split("a -i!\"/home/u/-x\" -saa -- \"/home/u/-y\""), o), "");
        EXPECT_EQ(S(o.ArchiveName), "/home/u/-y");
    }
}

TEST_F(ArcCmdLine, ArchiveCensorFromSwitchesWithoutArchiveName) {
    CArcCmdLineOptions o;
    ASSERT_EQ(Parse(V{"x", "-an", "-ai!*.7z"}, o), "");
    EXPECT_EQ(S(o.ArchiveName), "");
    EXPECT_EQ(Describe(o.ArchiveCensor), V{"+[]*.7z w"});

    CArcCmdLineOptions o2;
    ASSERT_EQ(Parse(V{"x", "a.7z", "-air!*.zip", "-ax!b*"}, o2), "");
    EXPECT_EQ(Describe(o2.ArchiveCensor), (V{"+[]*.zip r w", "+[]a.7z", "-[]b* w"}));

    // Nothing on disk matches.
    ASSERT_EQ(chdir(tmp.Path().c_str()), 0);
    UStringVector paths, fullPaths;
    CDirItemsStat st;
    try {
        EnumerateDirItemsAndSort(o.ArchiveCensor, NWildcard::k_RelatPath, UString(), paths, fullPaths, st, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const CArcCmdLineException &e) {
        EXPECT_EQ(S(e), "Cannot find archive");
    }
}

TEST_F(ArcCmdLine, EnumerateArchivesSortedWithoutFoldersOrDuplicates) {
    ASSERT_TRUE(testsupport::WriteFile(tmp / "b.7z", "b"));
    ASSERT_TRUE(testsupport::WriteFile(tmp / "A.7z", "a"));
    ASSERT_TRUE(testsupport::WriteFile(tmp / "c.zip", "c"));
    ASSERT_EQ(mkdir((tmp / "d.7z").c_str(), 0755), 0);

    CArcCmdLineOptions o;
    ASSERT_EQ(Parse(V{"x", "-an", "-ai!" + tmp.Path() + "/*.7z"}, o), "");
    UStringVector paths, fullPaths;
    CDirItemsStat st;
    ASSERT_EQ(
        EnumerateDirItemsAndSort(o.ArchiveCensor, NWildcard::k_RelatPath, UString(), paths, fullPaths, st, nullptr),
        S_OK);
    EXPECT_EQ(Strings(paths), (V{tmp / "A.7z", tmp / "b.7z"}));
    EXPECT_EQ(Strings(fullPaths), (V{tmp / "A.7z", tmp / "b.7z"}));
    EXPECT_EQ(st.NumFiles, 2u);

    // Relative names come back as given, with their full paths beside them.
    ASSERT_EQ(chdir(tmp.Path().c_str()), 0);
    CArcCmdLineOptions o2;
    ASSERT_EQ(Parse(V{"x", "-an", "-ai!b.7z", "-ai!c.zip"}, o2), "");
    ASSERT_EQ(
        EnumerateDirItemsAndSort(o2.ArchiveCensor, NWildcard::k_RelatPath, UString(), paths, fullPaths, st, nullptr),
        S_OK);
    EXPECT_EQ(Strings(paths), (V{"b.7z", "c.zip"}));
    // Full paths made from the current folder carry the drive prefix of the file layer.
    EXPECT_EQ(Strings(fullPaths), (V{"c:" + tmp / "b.7z", "c:" + tmp / "c.zip"}));

    // One file reached by two spellings of its folder.
    CArcCmdLineOptions o3;
    ASSERT_EQ(Parse(V{"x", "-an", "-ai!" + tmp.Path() + "/b.7z", "-ai!" + tmp.Path() + "/d.7z/../b.7z"}, o3), "");
    try {
        EnumerateDirItemsAndSort(o3.ArchiveCensor, NWildcard::k_RelatPath, UString(), paths, fullPaths, st, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const CArcCmdLineException &e) {
        EXPECT_EQ(S(e), "Duplicate archive path:\n" + tmp / "b.7z");
    }
}

namespace {

std::string Utf16(const std::string &ascii, bool bigEndian, bool bom) {
    std::string r;
    auto put = [&](unsigned c) {
        if (bigEndian) {
            r += (char)(c >> 8);
            r += (char)(c & 0xFF);
        } else {
            r += (char)(c & 0xFF);
            r += (char)(c >> 8);
        }
    };
    if (bom) put(0xFEFF);
    for (unsigned char c : ascii)
        put(c);
    return r;
}

} // namespace

TEST_F(ArcCmdLine, ListFilesInUtf8AndUtf16) {
    const std::string path = tmp / "list.txt";
    const std::string text = "a\r\n\r\n\"b c\"\r\n";
    struct {
        std::string content;
        UInt32 codePage;
        bool ok;
        V names;
    } cases[] = {
        {Utf16(text, false, true), 1200, true, {"a", "b c"}},
        {Utf16(text, true, true), 1201, true, {"a", "b c"}},
        {Utf16(text, false, false), 1200, true, {"a", "b c"}},
        // UTF-16 read as UTF-8 holds zero bytes.
        {Utf16(text, false, true), 65001, false, {}},
        {Utf16(text, false, true) + "x", 1200, false, {}},
        {Utf16("a\nb", false, true) + Utf16("c", false, true), 1200, false, {}},
        {"\xEF\xBB\xBF  one  \n\ttwo\t\n\"\"\n\"\n\"q\"\"\nlast", 65001, true, {"one", "two", "\"", "q\"", "last"}},
        {"\xEF\xBB\xBF\xEF\xBB\xBF"
         "caf\xC3\xA9\r\r\n",
         65001,
         true,
         {"caf\xC3\xA9"}},
        {"a\n\xEF\xBB\xBF"
         "b",
         65001,
         false,
         {}},
        {"a\n\xEF\xBF\xBE", 65001, false, {}},
        {"bad \xC3 utf8", 65001, false, {}},
        {"", 65001, true, {}},
        {"\n\n \n", 1252, true, {}},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(testsupport::WriteFile(path, c.content));
        UStringVector names;
        EXPECT_EQ(ReadNamesFromListFile(U(path), names, c.codePage), c.ok) << ::testing::PrintToString(c.content);
        if (c.ok) {
            EXPECT_EQ(Strings(names), c.names) << ::testing::PrintToString(c.content);
        }
    }
    UStringVector names;
    EXPECT_FALSE(ReadNamesFromListFile(U(tmp / "none.txt"), names, 65001));

    // A list file named through a symbolic link is read through it, whatever -l says.
    ASSERT_TRUE(testsupport::WriteFile(path, "through\n"));
    ASSERT_EQ(symlink(path.c_str(), (tmp / "link.txt").c_str()), 0);
    names.Clear();
    EXPECT_TRUE(ReadNamesFromListFile(U(tmp / "link.txt"), names, 65001));
    EXPECT_EQ(Strings(names), V{"through"});
}

TEST_F(ArcCmdLine, ListFilesOnTheCommandLineUseTheCharsetSwitch) {
    const std::string path = tmp / "list.txt";
    ASSERT_TRUE(testsupport::WriteFile(path, Utf16("a.txt\r\n\r\n\"b c\"\r\n", false, true)));
    CArcCmdLineOptions o;
    ASSERT_EQ(Parse(V{"x", "arc.7z", "-scsUTF-16LE", "-i@" + path, "-xr@" + path}, o), "");
    EXPECT_EQ(Describe(o.Censor), (V{"+[]a.txt", "+[]b c", "-[]a.txt r", "-[]b c r"}));

    CArcCmdLineOptions o2;
    EXPECT_EQ(Parse(V{"x", "arc.7z", "@" + path}, o2),
              "Incorrect item in listfile.\nCheck charset encoding and -scs switch.\n" + path);

    CArcCmdLineOptions o3;
    ASSERT_EQ(Parse(V{"a", "arc.7z", "-scs1200", "-r", "@" + path}, o3), "");
    EXPECT_EQ(Describe(o3.Censor), (V{"queued +a.txt r w", "queued +b c r w"}));

    ASSERT_TRUE(testsupport::WriteFile(path, "x\xE9y\n"));
    CArcCmdLineOptions o4;
    EXPECT_EQ(Parse(V{"x", "arc.7z", "@" + path}, o4),
              "Incorrect item in listfile.\nCheck charset encoding and -scs switch.\n" + path);
    CArcCmdLineOptions o5;
    EXPECT_EQ(Parse(V{"x", "arc.7z", "-scs1252", "@" + path}, o5), "");
}

TEST_F(ArcCmdLine, SplittingAndSortingHelpers) {
    UStringVector words;
    SplitString(U("  a  b\tc  d "), words);
    EXPECT_EQ(Strings(words), (V{"a", "b\tc", "d"}));
    SplitString(U("   "), words);
    EXPECT_TRUE(words.IsEmpty());

    UString first, rest;
    SplitStringToTwoStrings(U("\"a b\"c d e"), first, rest);
    EXPECT_EQ(S(first), "a bc");
    EXPECT_EQ(S(rest), "d e");
    SplitStringToTwoStrings(U("single"), first, rest);
    EXPECT_EQ(S(first), "single");
    EXPECT_EQ(S(rest), "");

    g_CaseSensitive = false;
    CRecordVector<unsigned> indices;
    SortFileNames(Words({"b", "A", "c", "a0"}), indices);
    ASSERT_EQ(indices.Size(), 4u);
    EXPECT_EQ((std::vector<unsigned>{indices[0], indices[1], indices[2], indices[3]}),
              (std::vector<unsigned>{1, 3, 0, 2}));
    SortFileNames(UStringVector(), indices);
    EXPECT_EQ(indices.Size(), 0u);
}
