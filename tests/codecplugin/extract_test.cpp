// Extraction outcomes beyond clean archives: passwords, encrypted items that cannot be read, damaged
// archives, subsets of items and test mode.
#include "PluginHarness.h"

#include <gtest/gtest.h>

#include <locale.h>

using namespace NPluginTest;
using namespace NArchive::NExtract;

namespace {

const char *const kPy = "/usr/bin/python3";

class PluginExtractTest : public ::testing::Test {
protected:
    CPluginLib lib;
    CTempDir dir;

    static void SetUpTestSuite() { setlocale(LC_ALL, "C.UTF-8"); }

    void SetUp() override {
        ASSERT_TRUE(lib.Loaded());
        std::string big;
        for (int i = 0; i < 200000; i++)
            big += static_cast<char>((i * 7 + i / 251) % 256);
        NPluginTest::Run("mkdir -p '" + dir / "src/d" + "'");
        WriteFile(dir / "src/a.txt", "first file\n");
        WriteFile(dir / "src/d/big.bin", big);
        WriteFile(dir / "src/z.txt", "last file\n");
    }
    // Runs command in the source folder; %o stands for the output file.
    std::string Make(const std::string &name, std::string command) {
        const std::string out = "'" + dir / name + "'";
        for (size_t p; (p = command.find("%o")) != std::string::npos;)
            command.replace(p, 2, out);
        const std::string cmd = "cd '" + dir / "src" + "' && (" + command + ") > /dev/null 2>&1";
        EXPECT_EQ(NPluginTest::Run(cmd), 0) << cmd;
        return ReadFile(dir / name);
    }
    std::string Source(const std::string &path) { return ReadFile(dir / ("src/" + path)); }
    int IndexOf(IInArchive *arc, const std::wstring &path) {
        for (UInt32 i = 0; i < NumItems(arc); i++)
            if (ItemPath(arc, i) == path) return static_cast<int>(i);
        return -1;
    }
};

bool ItemEncrypted(IInArchive *arc, UInt32 index) {
    CProp v;
    arc->GetProperty(index, kpidEncrypted, &v);
    return v.vt == VT_BOOL && v.boolVal != VARIANT_FALSE;
}

} // namespace

namespace {

struct CZipCryptoCase {
    const char *name;
    const char *command;
};

// ZipCrypto's one check byte lets about one wrong password in 256 through to a CRC failure; the
// fixture is remade until unzip rejects "wrong" on every file, so the expected result is stable.
const CZipCryptoCase kEncryptedZips[] = {
    {"zipcrypto.zip", "for i in 1 2 3 4 5 6 7 8; do rm -f %o; zip -qr -P pass %o a.txt d z.txt; "
                      "[ $(unzip -P wrong -t %o 2>&1 | grep -c 'skipping:.*incorrect password') = 3 ] && break; done"},
    {"aes256.zip", "bsdtar --format zip --options zip:encryption=aes256 --passphrase pass -cf %o a.txt d z.txt"},
    {"aes128.zip", "bsdtar --format zip --options zip:encryption=aes128 --passphrase pass -cf %o a.txt d z.txt"},
};

} // namespace

TEST_F(PluginExtractTest, ZipPasswordsRightWrongAndCancelled) {
    for (const CZipCryptoCase &c : kEncryptedZips) {
        SCOPED_TRACE(c.name);
        const std::string data = Make(c.name, c.command);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
        ASSERT_EQ(res, S_OK);
        const int a = IndexOf(arc, L"a.txt"), big = IndexOf(arc, L"d/big.bin"), z = IndexOf(arc, L"z.txt");
        ASSERT_TRUE(a >= 0 && big >= 0 && z >= 0);
        for (int i : {a, big, z})
            EXPECT_TRUE(ItemEncrypted(arc, static_cast<UInt32>(i))) << i;

        // A cancelled request ends the whole extraction with E_ABORT and reports no file as good.
        CExtractCallback *cancel = new CExtractCallback;
        CMyComPtr<IArchiveExtractCallback> cancelRef = cancel;
        cancel->answer = EPasswordAnswer::kCancel;
        ExtractItems(arc, nullptr, false, &res, cancel);
        EXPECT_EQ(res, E_ABORT);
        EXPECT_EQ(cancel->passwordRequests, 1);
        for (const auto &item : cancel->items)
            EXPECT_NE(item.second.opRes, NOperationResult::kOK) << item.first;

        // The same open archive asks again; a wrong password fails every file, asked once.
        CExtractCallback *wrong = new CExtractCallback;
        CMyComPtr<IArchiveExtractCallback> wrongRef = wrong;
        wrong->answer = EPasswordAnswer::kGive;
        wrong->password = L"wrong";
        ExtractItems(arc, nullptr, false, &res, wrong);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(wrong->passwordRequests, 1);
        for (int i : {a, big, z})
            EXPECT_EQ(wrong->items[static_cast<UInt32>(i)].opRes, NOperationResult::kWrongPassword) << i;

        // Asked again after the wrong one, the right password gives the data.
        CExtractCallback *right = new CExtractCallback;
        CMyComPtr<IArchiveExtractCallback> rightRef = right;
        right->answer = EPasswordAnswer::kGive;
        right->password = L"pass";
        ExtractItems(arc, nullptr, false, &res, right);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(right->passwordRequests, 1);
        EXPECT_EQ(right->items[static_cast<UInt32>(a)].data, Source("a.txt"));
        EXPECT_TRUE(right->items[static_cast<UInt32>(big)].data == Source("d/big.bin"));
        EXPECT_EQ(right->items[static_cast<UInt32>(z)].data, Source("z.txt"));
        for (int i : {a, big, z})
            EXPECT_EQ(right->items[static_cast<UInt32>(i)].opRes, NOperationResult::kOK) << i;

        // A good password is kept for later operations on the open archive (test mode here).
        CExtractCallback *kept = new CExtractCallback;
        CMyComPtr<IArchiveExtractCallback> keptRef = kept;
        ExtractItems(arc, nullptr, true, &res, kept);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(kept->passwordRequests, 0);
        for (int i : {a, big, z})
            EXPECT_EQ(kept->items[static_cast<UInt32>(i)].opRes, NOperationResult::kOK) << i;
    }
}
