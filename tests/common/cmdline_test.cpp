#include <gtest/gtest.h>
#include <limits.h>
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/CommandLineParser.h"
#include "common/MyCommandLine.h"
#include "common/StringConvert.h"
#include "test_support.h"

using namespace NCommandLineParser;
using testsupport::Join;

static UStringVector MakeWords(std::initializer_list<const wchar_t *> words) {
    UStringVector v;
    for (const wchar_t *w : words)
        v.Add(UString(w));
    return v;
}

TEST(SplitCommandLine, QuotesGroupBlanksAndBlankRunsSeparate) {
    struct {
        const wchar_t *text;
        const wchar_t *words; // joined with '|'; "<none>" when no word
    } cases[] = {
        {L"a \"b c\"d  e", L"a|b cd|e"},
        {L"\"\"", L""},
        {L"", L"<none>"},
        {L" \t \n", L"<none>"},
        {L"  x\t\ty  ", L"x|y"},
        {L"\"open quote  stays", L"open quote  stays"},
        {L"a\"\"b \"\" c", L"ab||c"},
        {L"back\\slash \\\"", L"back\\slash|\\"},
    };
    for (auto &c : cases) {
        UStringVector words;
        words.Add(UString(L"stale"));
        SplitCommandLine(UString(c.text), words);
        const std::wstring got = words.IsEmpty() ? L"<none>" : Join(words);
        EXPECT_EQ(got, c.words) << c.text;
    }
}

TEST(SplitCommandLine, CutsOneWord) {
    UString first(L"x"), rest(L"y");
    EXPECT_FALSE(SplitCommandLine(UString(L""), first, rest));
    EXPECT_TRUE(first.IsEmpty() && rest.IsEmpty());

    EXPECT_FALSE(SplitCommandLine(UString(L"\tab c"), first, rest));
    EXPECT_EQ(rest, L"ab c");

    EXPECT_TRUE(SplitCommandLine(UString(L"a\" \"b  c"), first, rest));
    EXPECT_EQ(first, L"a b");
    EXPECT_EQ(rest, L" c");
}

static const CSwitchForm kForms[] = {
    {"a", NSwitchType::kSimple, false, 0, nullptr},  {"ab", NSwitchType::kString, true, 0, nullptr},
    {"x", NSwitchType::kChar, false, 0, "012"},      {"r", NSwitchType::kMinus, false, 0, nullptr},
    {"o", NSwitchType::kString, false, 1, nullptr},  {"y", NSwitchType::kChar, false, 1, "ny"},
    {"ssc", NSwitchType::kMinus, false, 0, nullptr}, {"s", NSwitchType::kString, false, 0, nullptr},
};
static const unsigned kNumForms = sizeof(kForms) / sizeof(kForms[0]);

// "key[-][#index][=texts]" for each given switch, then " | " and the non-switch strings.
static std::wstring Describe(const CParser &parser) {
    std::wstring s;
    for (unsigned i = 0; i < kNumForms; i++) {
        const CSwitchResult &r = parser[i];
        if (!r.ThereIs) continue;
        if (!s.empty()) s += L' ';
        for (const char *k = kForms[i].Key; *k; k++)
            s += (wchar_t)*k;
        switch (kForms[i].Type) {
        case NSwitchType::kMinus:
            if (r.WithMinus) s += L'-';
            break;
        case NSwitchType::kChar:
            s += L'#' + std::to_wstring(r.PostCharIndex);
            break;
        case NSwitchType::kString:
            s += L'=' + Join(r.PostStrings, L",");
            break;
        }
    }
    return s + L" | " + Join(parser.NonSwitchStrings, L",");
}

TEST(SwitchParser, TableOfWordLists) {
    struct {
        std::initializer_list<const wchar_t *> words;
        const wchar_t *result; // Describe() on success
        const char *error;     // error message on failure
        const wchar_t *errorLine;
    } cases[] = {
        {{L"-abc"}, L"ab=c | ", nullptr, nullptr},
        {{L"-a"}, L"a | ", nullptr, nullptr},
        {{L"-AB"}, L"ab= | ", nullptr, nullptr},
        {{L"-abx", L"-aby"}, L"ab=x,y | ", nullptr, nullptr},
        {{L"-x0"}, L"x#0 | ", nullptr, nullptr},
        {{L"-x"}, L"x#-1 | ", nullptr, nullptr},
        {{L"-x2"}, L"x#2 | ", nullptr, nullptr},
        {{L"-x3"}, nullptr, "Incorrect switch postfix:", L"-x3"},
        {{L"-x\u00e9"}, nullptr, "Incorrect switch postfix:", L"-x\u00e9"},
        {{L"-x01"}, nullptr, "Too long switch:", L"-x01"},
        {{L"-r-"}, L"r- | ", nullptr, nullptr},
        {{L"-r"}, L"r | ", nullptr, nullptr},
        {{L"-rx"}, nullptr, "Incorrect switch postfix:", L"-rx"},
        {{L"-r--"}, nullptr, "Too long switch:", L"-r--"},
        {{L"-a1"}, nullptr, "Too long switch:", L"-a1"},
        {{L"-SSC-"}, L"ssc- | ", nullptr, nullptr},
        {{L"-sx"}, L"s=x | ", nullptr, nullptr},
        {{L"-q"}, nullptr, "Unknown switch:", L"-q"},
        {{L"-"}, nullptr, "Unknown switch:", L"-"},
        {{L"-o"}, nullptr, "Too short switch:", L"-o"},
        {{L"-oout/dir"}, L"o=out/dir | ", nullptr, nullptr},
        {{L"-y"}, nullptr, "Too short switch:", L"-y"},
        {{L"-yy"}, L"y#1 | ", nullptr, nullptr},
        {{L"-a", L"b", L"-a"}, nullptr, "Multiple instances for switch:", L"-a"},
        {{L"f1", L"--", L"-y", L"--"}, L" | f1,-y,--", nullptr, nullptr},
        {{L"f", L"", L"-a", L"g"}, L"a | f,,g", nullptr, nullptr},
        {{L"-a", L"-zz", L"late"}, nullptr, "Unknown switch:", L"-zz"},
    };
    for (auto &c : cases) {
        const UStringVector words = MakeWords(c.words);
        const std::wstring label = Join(words, L" ");
        CParser parser(kNumForms);
        const bool ok = parser.ParseStrings(kForms, words);
        if (c.result) {
            EXPECT_TRUE(ok) << label << " " << parser.ErrorMessage.Ptr();
            EXPECT_EQ(Describe(parser), c.result) << label;
            EXPECT_TRUE(parser.ErrorLine.IsEmpty()) << label;
        } else {
            EXPECT_FALSE(ok) << label;
            EXPECT_STREQ(parser.ErrorMessage.Ptr(), c.error) << label;
            EXPECT_EQ(parser.ErrorLine, c.errorLine) << label;
        }
    }
}

TEST(SwitchParser, FailedSwitchStaysGivenAndStopsParsing) {
    CParser parser(kNumForms);
    EXPECT_FALSE(parser.ParseStrings(kForms, MakeWords({L"-o", L"rest"})));
    EXPECT_TRUE(parser[4].ThereIs);
    EXPECT_TRUE(parser.NonSwitchStrings.IsEmpty());
}

// Runs mySplitCommandLine over writable copies of the arguments, as the kernel hands them over.
struct CArgv {
    std::vector<std::string> storage;
    std::vector<char *> ptrs;
    explicit CArgv(std::initializer_list<const char *> args) {
        for (const char *a : args)
            storage.emplace_back(a);
        for (auto &s : storage)
            ptrs.push_back(&s[0]);
        ptrs.push_back(nullptr);
    }
    int argc() const { return (int)storage.size(); }
    std::string Raw(unsigned i) const { return std::string(ptrs[i]); }
};

class StartupArgs : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("LC_ALL", "C.UTF-8", 1);
        global_use_utf16_conversion = 0;
    }
    void TearDown() override {
        setenv("LC_ALL", "C.UTF-8", 1);
        setlocale(LC_ALL, "C.UTF-8");
        global_use_utf16_conversion = 1;
    }
    UStringVector Run(CArgv &argv) {
        UStringVector args;
        args.Add(UString(L"stale"));
        mySplitCommandLine(argv.argc(), argv.ptrs.data(), args);
        return args;
    }
};

static std::string ExeDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return ".";
    buf[n] = 0;
    std::string s(buf);
    return s.substr(0, s.rfind('/'));
}

TEST_F(StartupArgs, HomeDirIsTheProgramFolder) {
    struct {
        const char *argv0;
        std::string home;
    } cases[] = {
        {"/usr/bin/prog", "/usr/bin/"},
        {"bin/prog", "bin/"},
        {"a/b//c/", "a/b/"},
        {"/prog", "//"},
        {"///", "//"},
        // Started through PATH: the folder of the running image, not the current folder.
        {"prog", ExeDir() + "/"},
        {"", ExeDir() + "/"},
    };
    for (auto &c : cases) {
        CArgv argv({c.argv0});
        Run(argv);
        const char *home = getenv("R7ERI_HOME_DIR");
        ASSERT_NE(home, nullptr);
        EXPECT_EQ(std::string(home), c.home) << c.argv0;
    }
}

TEST_F(StartupArgs, Utf16SwitchesAmongTheFirstThreeArgumentsOnly) {
    setenv("LC_ALL", "C", 1);
    CArgv argv({"/bin/prog", "-utf16", "a", "", "b"});
    EXPECT_EQ(Join(Run(argv)), L"/bin/prog|a|b");
    EXPECT_EQ(global_use_utf16_conversion, 1);

    CArgv late({"/bin/prog", "a", "b", "-no-utf16"});
    EXPECT_EQ(Join(Run(late)), L"/bin/prog|a|b|-no-utf16");
    EXPECT_EQ(global_use_utf16_conversion, 1);

    setenv("LC_ALL", "C.UTF-8", 1);
    CArgv off({"/bin/prog", "x", "-no-utf16"});
    EXPECT_EQ(Join(Run(off)), L"/bin/prog|x");
    EXPECT_EQ(global_use_utf16_conversion, 0);
}

TEST_F(StartupArgs, LocaleDecidesTheConversionSwitch) {
    struct {
        const char *locale;
        int before, after;
    } cases[] = {
        {"C.UTF-8", 0, 1}, {"C", 0, 0}, {"C", 1, 1}, {"POSIX", 0, 0}, {"POSIX", 1, 1},
    };
    for (auto &c : cases) {
        setenv("LC_ALL", c.locale, 1);
        global_use_utf16_conversion = c.before;
        CArgv argv({"/bin/prog"});
        Run(argv);
        EXPECT_EQ(global_use_utf16_conversion, c.after) << c.locale << " " << c.before;
    }

    // Under a UTF-8 locale the arguments are decoded.
    setenv("LC_ALL", "C.UTF-8", 1);
    CArgv argv({"/bin/prog", "caf\xc3\xa9"});
    EXPECT_EQ(Join(Run(argv)), L"/bin/prog|caf\u00e9");
}

TEST_F(StartupArgs, PasswordSwitchesAreMaskedInProcessMemory) {
    CArgv argv({"/bin/prog", "-psecret", "-p", "-Pabc", "-x123", "p-abc"});
    const UStringVector args = Run(argv);
    EXPECT_EQ(Join(args), L"/bin/prog|-psecret|-p|-Pabc|-x123|p-abc");
    EXPECT_EQ(argv.Raw(1), "-p******");
    EXPECT_EQ(argv.Raw(2), "-p");
    EXPECT_EQ(argv.Raw(3), "-P***");
    EXPECT_EQ(argv.Raw(4), "-x123");
    EXPECT_EQ(argv.Raw(5), "p-abc");
}
