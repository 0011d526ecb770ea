// Folder comments: the "descript.ion" text format, the sorted case-blind store, and the
// folder's comment column with saving and reloading on disk.
#include <sys/wait.h>

#include "PairsStorage.h"
#include "folders_fixture.h"

using namespace foldersfx;

namespace {

std::string Pairs(const CPairsStorage &store) {
    std::string s;
    for (unsigned i = 0; i < store.Size(); i++)
        s += "[" + S(store[i].key) + "=" + S(store[i].value) + "]";
    return s;
}

TEST(CommentsText, ParsesLines) {
    const struct {
        const wchar_t *text;
        const char *pairs;
    } rows[] = {
        {L"\xFEFF\r\nb.txt second\r\na.txt first\r\n", "[a.txt=first][b.txt=second]"},
        {L"\"my file.txt\"   some words  \r\n", "[my file.txt=some words]"},
        {L"a b c\n", "[a=b c]"},
        {L"x\"y z\" w\n", "[xy z=w]"},
        {L"tab\tseparated comment\n", "[tab=separated comment]"},
        {L"lonely\nnext line\nz last", "[lonely=next line][z=last]"},
        {L"\r\n\n   \nk\rey v\ral\n", "[key=val]"},
    };
    for (const auto &r : rows) {
        CPairsStorage store;
        EXPECT_TRUE(store.ReadFromString(r.text));
        EXPECT_EQ(Pairs(store), r.pairs) << S(r.text);
    }
}

TEST(CommentsText, StopsAtZeroCharacter) {
    UString text = L"a 1\n";
    text += (wchar_t)0;
    text += L"b 2\n";
    ASSERT_EQ(text.Len(), 9u);
    CPairsStorage store;
    EXPECT_TRUE(store.ReadFromString(text));
    EXPECT_EQ(Pairs(store), "[a=1]");

    UString nameThenZero = L"name";
    nameThenZero += (wchar_t)0;
    EXPECT_TRUE(store.ReadFromString(nameThenZero));
    EXPECT_EQ(Pairs(store), "[name=]");
}

TEST(CommentsText, KeysIgnoreLetterCase) {
    CPairsStorage store;
    store.AddPair({L"File.txt", L"one"});
    store.AddPair({L"b", L"bee"});
    store.AddPair({L"FILE.TXT", L"two"});
    EXPECT_EQ(Pairs(store), "[b=bee][FILE.TXT=two]");
    EXPECT_EQ(S(store.GetValue(L"file.txt")), "two");
    EXPECT_EQ(store.FindID(L"B"), 0);
    store.DeletePair(L"fIlE.TxT");
    EXPECT_EQ(Pairs(store), "[b=bee]");
    UString v = L"stale";
    EXPECT_FALSE(store.GetValue(L"missing", v));
    EXPECT_TRUE(v.IsEmpty());
}

TEST(CommentsText, WritesQuotedNamesAndMarkOnlyForNonAscii) {
    CPairsStorage store;
    store.AddPair({L"my file.txt", L"hello"});
    store.AddPair({L"tab\tname", L"t"});
    AString data;
    EncodeCommentsText(store, data);
    EXPECT_EQ(std::string(data.Ptr(), data.Len()), "\"my file.txt\" hello\r\ntab\tname t\r\n");

    store.DeletePair(L"tab\tname"); // read back, a tab ends the name
    store.AddPair({L"中文.txt", L"注释"});
    EncodeCommentsText(store, data);
    const std::string bytes(data.Ptr(), data.Len());
    EXPECT_EQ(bytes.substr(0, 5), "\xEF\xBB\xBF\r\n");
    UString back;
    ASSERT_TRUE(DecodeCommentsText(data.Ptr(), data.Len(), back));
    CPairsStorage again;
    again.ReadFromString(back);
    EXPECT_EQ(Pairs(again), Pairs(store));
}

TEST(CommentsText, RefusesMalformedUtf8) {
    const std::string bad[] = {std::string("a \xC0\x80 b\n", 7),
                               "\xE0\x80\x80",
                               "\xF0\x80\x80\x80",
                               "\xED\xA0\x80",
                               "\xF4\x90\x80\x80",
                               "\xC3",
                               "\x80",
                               "\xFF",
                               "ok \xC1\xBF"};
    for (const std::string &b : bad) {
        UString text;
        EXPECT_FALSE(DecodeCommentsText(b.data(), b.size(), text)) << b;
    }
    UString text;
    EXPECT_TRUE(DecodeCommentsText("\xE4\xB8\xAD \xF0\x9F\x98\x80", 8, text));
}

class FolderComments : public ::testing::Test {
protected:
    TempFolder tmp;
    void SetUp() override {
        ASSERT_TRUE(tmp.Ok());
        ASSERT_TRUE(WriteFile(tmp / "报告.doc", "x"));
        ASSERT_TRUE(WriteFile(tmp / "plain.txt", "y"));
        ASSERT_TRUE(WriteFile(tmp / "with blank", "z"));
    }
    std::string Comment(const std::string &name) {
        NFsFolder::CFSFolder *impl;
        CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
        return StrProp(folder, (UInt32)IndexOf(impl, name), kpidComment);
    }
};

TEST_F(FolderComments, SavesEveryChangeAndReadsItBack) {
    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
    const UInt32 doc = (UInt32)IndexOf(impl, "报告.doc");
    const UInt32 plain = (UInt32)IndexOf(impl, "plain.txt");
    const UInt32 blank = (UInt32)IndexOf(impl, "with blank");

    const CPropVariant first(L"  第一版 \t");
    ASSERT_EQ(impl->SetProperty(doc, kpidComment, &first, nullptr), S_OK);
    EXPECT_EQ(Comment("报告.doc"), "第一版");
    // The second and third saves replace the file too.
    const CPropVariant second(L"ascii comment");
    ASSERT_EQ(impl->SetProperty(plain, kpidComment, &second, nullptr), S_OK);
    const CPropVariant third(L"第三次");
    ASSERT_EQ(impl->SetProperty(blank, kpidComment, &third, nullptr), S_OK);
    EXPECT_EQ(Comment("报告.doc"), "第一版");
    EXPECT_EQ(Comment("plain.txt"), "ascii comment");
    EXPECT_EQ(Comment("with blank"), "第三次");
    EXPECT_EQ(ReadFile(tmp / "descript.ion"), "\xEF\xBB\xBF\r\nplain.txt ascii comment\r\n"
                                              "\"with blank\" 第三次\r\n报告.doc 第一版\r\n");
    EXPECT_TRUE(TempLeftovers(tmp.Path()).empty());

    // An empty text or an empty value removes the comment; other types are refused.
    const CPropVariant blanks(L"   ");
    ASSERT_EQ(impl->SetProperty(doc, kpidComment, &blanks, nullptr), S_OK);
    const CPropVariant empty;
    ASSERT_EQ(impl->SetProperty(blank, kpidComment, &empty, nullptr), S_OK);
    CPropVariant number;
    number = (UInt32)5;
    EXPECT_EQ(impl->SetProperty(plain, kpidComment, &number, nullptr), E_INVALIDARG);
    EXPECT_EQ(impl->SetProperty(plain, kpidName, &second, nullptr), E_NOTIMPL);
    EXPECT_EQ(ReadFile(tmp / "descript.ion"), "plain.txt ascii comment\r\n");
    EXPECT_EQ(Comment("报告.doc"), "<empty>");
}

TEST_F(FolderComments, KeepsOtherCommentsWhenTheFirstChangeFollowsAListing) {
    ASSERT_TRUE(WriteFile(tmp / "descript.ion", "plain.txt old one\r\n"));
    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
    const CPropVariant c(L"new");
    ASSERT_EQ(impl->SetProperty((UInt32)IndexOf(impl, "报告.doc"), kpidComment, &c, nullptr), S_OK);
    EXPECT_EQ(Comment("plain.txt"), "old one");
    EXPECT_EQ(Comment("报告.doc"), "new");
}

TEST_F(FolderComments, ShowsTextBeforeControlFour) {
    ASSERT_TRUE(WriteFile(tmp / "descript.ion", "plain.txt shown\x04hidden\r\n"));
    EXPECT_EQ(Comment("plain.txt"), "shown");
}

TEST_F(FolderComments, CorruptFilesGiveNoCommentsAndReturnPromptly) {
    const std::string cases[] = {
        std::string("plain.txt \xC0\x80 loop\r\n", 17), // overlong zero
        std::string("\xC0\x80plain.txt x\r\n", 15),     // overlong zero first
        std::string("plain.txt \xFF\xFE\r\n"),          // not UTF-8
    };
    for (const std::string &c : cases) {
        ASSERT_TRUE(WriteFile(tmp / "descript.ion", c));
        // Run in a child so that an endless loop fails the test instead of hanging it.
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const std::string text = Comment("plain.txt");
            _exit(text == "<empty>" ? 0 : 1);
        }
        int status = 0;
        ASSERT_TRUE(WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(20)))
            << "loops on " << c;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c;
    }
    // A NUL byte ends the text.
    static const char kWithNul[] = "plain.txt before\r\n\0\"with blank\" after\r\n";
    ASSERT_TRUE(WriteFile(tmp / "descript.ion", std::string(kWithNul, sizeof(kWithNul) - 1)));
    EXPECT_EQ(Comment("plain.txt"), "before");
    EXPECT_EQ(Comment("with blank"), "<empty>");
}

TEST_F(FolderComments, IgnoresFilesOfTwoHundredFiftySixMebibytes) {
    const std::string path = tmp / "descript.ion";
    ASSERT_TRUE(WriteFile(path, "plain.txt big\r\n"));
    ASSERT_EQ(truncate(path.c_str(), (off_t)1 << 28), 0); // sparse: costs no space
    EXPECT_EQ(Comment("plain.txt"), "<empty>");
    ASSERT_EQ(truncate(path.c_str(), ((off_t)1 << 28) - 1), 0);
    EXPECT_EQ(Comment("plain.txt"), "big");
}

} // namespace
