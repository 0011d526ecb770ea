// Cell texts of the item list and the order of names in folder listings.
#include "CellText.h"
#include "common/FolderListCompare.h"
#include "folders_fixture.h"

using namespace foldersfx;

namespace {

TEST(CellText, GroupsSizeDigits) {
    const struct {
        UInt64 value;
        const wchar_t *text;
    } rows[] = {{0, L"0"},
                {7, L"7"},
                {999, L"999"},
                {1000, L"1 000"},
                {1234567, L"1 234 567"},
                {~(UInt64)0, L"18 446 744 073 709 551 615"}};
    for (const auto &r : rows)
        EXPECT_EQ(S(ConvertSizeToString(r.value)), S(r.text)) << r.value;
}

TEST(CellText, NameOrderOfFolderLists) {
    const struct {
        const wchar_t *a, *b;
        int expected;
    } rows[] = {
        {L"file10", L"file9", 1}, {L"file01", L"file1", 0},
        {L"a_b", L"aab", 1},      {L"9z", L"a", -1},
        {L"ABC", L"abc", 0},      {L"x00", L"x0a", -1},
        {L"x", L"x0", -1},        {L"文件2", L"文件10", -1},
        {L"z", L"中", -1},        {L"", L"", 0},
        {L"a{", L"aZ", 1},
    };
    for (const auto &r : rows) {
        const int res = CompareFileNames_ForFolderList(r.a, r.b);
        EXPECT_EQ(res < 0 ? -1 : (res > 0 ? 1 : 0), r.expected) << S(r.a) << " vs " << S(r.b);
    }
}

// Raw data of a chosen size for every item.
class CRawData : public IArchiveGetRawProps, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IArchiveGetRawProps)
    std::vector<Byte> data;
    HRESULT result = S_OK;
    HRESULT GetParent(UInt32, UInt32 *, UInt32 *) override { return E_NOTIMPL; }
    HRESULT GetRawProp(UInt32, PROPID, const void **d, UInt32 *size, UInt32 *type) override {
        *d = data.empty() ? nullptr : data.data();
        *size = (UInt32)data.size();
        *type = 1;
        return result;
    }
    HRESULT GetNumRawProps(UInt32 *n) override {
        *n = 1;
        return S_OK;
    }
    HRESULT GetRawPropInfo(UInt32, BSTR *name, PROPID *id) override {
        *name = nullptr;
        *id = kpidChecksum;
        return S_OK;
    }
};

class CellTexts : public ::testing::Test {
protected:
    TempFolder tmp;
    NFsFolder::CFSFolder *impl = nullptr;
    CMyComPtr<IFolderFolder> folder;

    void SetUp() override {
        ASSERT_TRUE(tmp.Ok());
        ASSERT_TRUE(WriteFile(tmp / "big", std::string(1234567, 'x')));
        ASSERT_TRUE(WriteFile(tmp / "seven", "1234567"));
        ASSERT_TRUE(WriteFile(tmp / "evil\u202Etxt.exe", ""));
        ASSERT_TRUE(WriteFile(tmp / "report.txt       .exe", ""));
        ASSERT_EQ(mkdir((tmp / "dir").c_str(), 0755), 0);
        folder = OpenFolder(tmp.Path(), &impl);
    }
    std::string Cell(const std::string &name, PROPID id, int maxChars = 1024, IArchiveGetRawProps *raw = nullptr) {
        std::vector<wchar_t> buf((size_t)(maxChars > 0 ? maxChars : 1) + 1, L'#');
        const int index = IndexOf(impl, name);
        EXPECT_GE(index, 0) << name;
        const HRESULT res =
            SetFolderItemText(folder, raw, impl, (UInt32)index, id, raw != nullptr, buf.data(), maxChars);
        if (res != S_OK) return "<fail>";
        return S(buf.data());
    }
};

TEST_F(CellTexts, ShowsSizesNamesAndTimes) {
    EXPECT_EQ(Cell("big", kpidSize), "1 234 567");
    EXPECT_EQ(Cell("seven", kpidSize), "7");
    EXPECT_EQ(Cell("big", kpidPackSize), "1 234 567");
    EXPECT_EQ(Cell("dir", kpidSize), "");
    EXPECT_EQ(Cell("evil\u202Etxt.exe", kpidName), "evil_txt.exe");
    EXPECT_EQ(Cell("report.txt       .exe", kpidName), "report.txt ... .exe");
    EXPECT_EQ(Cell("big", kpidName, 4), ""); // names need a cell of 32
    EXPECT_EQ(Cell("big", kpidName, 1), "");
    EXPECT_EQ(Cell("report.txt       .exe", kpidName, 33), "report.txt ... .exe");
    EXPECT_EQ(Cell("big", kpidPrefix), "");
    const std::string time = Cell("big", kpidMTime);
    EXPECT_EQ(time.size(), 16u) << time; // date and time without seconds
    EXPECT_EQ(Cell("big", kpidComment), "");
}

TEST_F(CellTexts, ShowsRawDataAsHexOrItsSize) {
    CRawData *rawSpec = new CRawData;
    CMyComPtr<IArchiveGetRawProps> raw = rawSpec;
    EXPECT_EQ(Cell("big", kpidChecksum, 1024, raw), "");
    rawSpec->data = {0x01, 0xAB, 0xff};
    EXPECT_EQ(Cell("big", kpidChecksum, 1024, raw), "01ABFF");
    rawSpec->data.assign(64, 0x5A);
    std::string hex;
    for (int i = 0; i < 64; i++)
        hex += "5A";
    EXPECT_EQ(Cell("big", kpidChecksum, 1024, raw), hex);
    rawSpec->data.assign(65, 0);
    EXPECT_EQ(Cell("big", kpidChecksum, 1024, raw), "data:65");
    EXPECT_EQ(Cell("big", kpidChecksum, 5, raw), "data");
    rawSpec->result = E_FAIL;
    EXPECT_EQ(Cell("big", kpidChecksum, 1024, raw), "<fail>");
}

} // namespace
