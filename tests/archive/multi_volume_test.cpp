// The volume stream over real files: where bytes land, when volumes appear, seeking and cutting.
#include <gtest/gtest.h>

#include <errno.h>

#include <string>

#include "archive/ui-common/OutMultiVolStream.h"
#include "windows/TimeUtils.h"
#include "test_support.h"

using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::W;

namespace {

struct CVolumes {
    TempFolder Dir;
    CTempFiles TempFiles;
    COutMultiVolStream *Impl;
    CMyComPtr<IOutStream> Stream;

    explicit CVolumes(std::initializer_list<UInt64> sizes) : Impl(new COutMultiVolStream) {
        Stream = Impl;
        for (UInt64 s : sizes)
            Impl->Sizes.Add(s);
        Impl->Prefix = W(Dir / "a.7z.");
        Impl->TempFiles = &TempFiles;
    }
    ~CVolumes() {
        Stream.Release();
        TempFiles.Paths.Clear(); // the folder's clean-up removes the files
    }

    HRESULT WriteAll(const std::string &data) {
        size_t pos = 0;
        while (pos < data.size()) {
            UInt32 done = 0;
            const HRESULT res = Stream->Write(data.data() + pos, (UInt32)(data.size() - pos), &done);
            if (res != S_OK) return res;
            if (done == 0) return E_FAIL;
            pos += done;
        }
        return S_OK;
    }
    std::string Vol(const char *num) const { return ReadFile(Dir / (std::string("a.7z.") + num)); }
};

std::string Bytes(size_t n, char first = 'a') {
    std::string s;
    for (size_t i = 0; i < n; i++)
        s += (char)(first + i % 26);
    return s;
}

} // namespace

TEST(MultiVolumeTest, SplitsAtTheSizesAndRepeatsTheLast) {
    CVolumes v({100, 50});
    ASSERT_TRUE(v.Dir.Ok());
    const std::string data = Bytes(230);
    ASSERT_EQ(v.WriteAll(data), S_OK);
    ASSERT_EQ(v.Impl->Close(), S_OK);
    EXPECT_EQ(v.Vol("001"), data.substr(0, 100));
    EXPECT_EQ(v.Vol("002"), data.substr(100, 50));
    EXPECT_EQ(v.Vol("003"), data.substr(150, 50));
    EXPECT_EQ(v.Vol("004"), data.substr(200, 30));
    EXPECT_EQ(v.Vol("005"), "<missing>");
    EXPECT_EQ(v.Impl->GetSize(), 230u);
    ASSERT_EQ(v.TempFiles.Paths.Size(), 4u);
    EXPECT_STREQ(v.TempFiles.Paths[3].Ptr(), W(v.Dir / "a.7z.004").Ptr());
}

TEST(MultiVolumeTest, OneWriteFillsAtMostOneVolume) {
    CVolumes v({10});
    const std::string data = Bytes(25);
    UInt32 done = 0;
    ASSERT_EQ(v.Stream->Write(data.data(), 25, &done), S_OK);
    EXPECT_EQ(done, 10u);
    // Exactly a volume's worth does not open the next one; the next byte does.
    EXPECT_EQ(v.Impl->GetNumVolumes(), 1u);
    ASSERT_EQ(v.Stream->Write(data.data() + 10, 1, &done), S_OK);
    EXPECT_EQ(v.Impl->GetNumVolumes(), 2u);
}

TEST(MultiVolumeTest, SeekingBackRewritesInPlace) {
    CVolumes v({100, 50});
    ASSERT_EQ(v.WriteAll(Bytes(230)), S_OK);
    UInt64 pos = 0;
    ASSERT_EQ(v.Stream->Seek(120, STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(pos, 120u);
    ASSERT_EQ(v.WriteAll("XYZ"), S_OK);
    ASSERT_EQ(v.Stream->Seek(0, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos, 230u);
    ASSERT_EQ(v.Stream->Seek(-1, STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos, 229u);
    ASSERT_EQ(v.Impl->Close(), S_OK);
    std::string expected = Bytes(230).substr(100, 50);
    expected.replace(20, 3, "XYZ");
    EXPECT_EQ(v.Vol("002"), expected);
    EXPECT_EQ(v.Impl->GetSize(), 230u);
}

TEST(MultiVolumeTest, RefusedSeeksLeaveThePositionAlone) {
    CVolumes v({10});
    ASSERT_EQ(v.WriteAll(Bytes(15)), S_OK);
    UInt64 pos = 77;
    EXPECT_EQ(v.Stream->Seek(-1, STREAM_SEEK_SET, &pos), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(v.Stream->Seek(-16, STREAM_SEEK_CUR, &pos), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(v.Stream->Seek(0, 3, &pos), STG_E_INVALIDFUNCTION);
    // The next write goes on where the stream was.
    ASSERT_EQ(v.WriteAll("!"), S_OK);
    EXPECT_EQ(v.Impl->GetNumVolumes(), 2u);
    ASSERT_EQ(v.Impl->Close(), S_OK);
    EXPECT_EQ(v.Vol("002"), Bytes(15).substr(10) + "!");
}

TEST(MultiVolumeTest, SetSizeCutsAVolumeAndDeletesLaterOnes) {
    CVolumes v({100, 50});
    ASSERT_EQ(v.WriteAll(Bytes(230)), S_OK);
    ASSERT_EQ(v.Stream->SetSize(120), S_OK);
    ASSERT_EQ(v.Impl->Close(), S_OK);
    EXPECT_EQ(v.Vol("002"), Bytes(230).substr(100, 20));
    EXPECT_EQ(v.Vol("003"), "<missing>");
    EXPECT_EQ(v.Vol("004"), "<missing>");
    EXPECT_EQ(v.Impl->GetSize(), 120u);
    EXPECT_EQ(v.TempFiles.Paths.Size(), 2u);
}

TEST(MultiVolumeTest, AnExistingVolumeFileIsNeverOverwritten) {
    CVolumes v({10});
    ASSERT_TRUE(testsupport::WriteFile(v.Dir / "a.7z.002", "keep"));
    const HRESULT res = v.WriteAll(Bytes(15));
    EXPECT_EQ(res, HRESULT_FROM_ERRNO(EEXIST));
    EXPECT_EQ(v.Vol("002"), "keep");
    EXPECT_EQ(v.Vol("001"), "<missing>"); // named only once every volume is complete
    v.Stream.Release();
    v.TempFiles.Clear();
    EXPECT_EQ(v.Vol("001"), "<missing>");
    EXPECT_EQ(v.Vol("002"), "keep");
}

TEST(MultiVolumeTest, ModificationTimeReachesEveryVolume) {
    CVolumes v({10});
    ASSERT_EQ(v.WriteAll(Bytes(15)), S_OK);
    FILETIME ft;
    NWindows::NTime::UnixTimeToFileTime(1500000000, ft);
    EXPECT_TRUE(v.Impl->SetMTime(&ft));
    ASSERT_EQ(v.Impl->Close(), S_OK);
    for (const char *n : {"001", "002"}) {
        struct stat st;
        ASSERT_EQ(stat((v.Dir / (std::string("a.7z.") + n)).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, 1500000000) << n;
    }
}
