// File streams and the standard-descriptor streams on real files.
#include "archive/common/FileStreams.h"
#include "archive/common/StreamUtils.h"
#include "archive/stream_fixtures.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace tarnova_test_streams;

namespace {

std::wstring Wide(const std::string &s) {
    return std::wstring(s.begin(), s.end());
}

class FileStreamsTest : public ::testing::Test {
protected:
    std::string Dir;

    void SetUp() override {
        char tmpl[] = "/tmp/tarnova-file-streams-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }

    std::string MakeFile(const char *name, const std::vector<Byte> &data) {
        const std::string path = Dir + "/" + name;
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char *>(data.data()), (std::streamsize)data.size());
        return path;
    }
    static std::vector<Byte> Contents(const std::string &path) {
        std::ifstream f(path, std::ios::binary);
        return std::vector<Byte>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
};

TEST_F(FileStreamsTest, InFileStreamReadsSeeksAndReportsItsSize) {
    const std::vector<Byte> data = PatternBytes(5000);
    const std::string path = MakeFile("in.bin", data);
    CInFileStream *impl = new CInFileStream;
    CMyComPtr<IInStream> stream = impl;
    ASSERT_TRUE(impl->Open(Wide(path).c_str()));

    std::vector<Byte> out(6000);
    size_t size = out.size();
    ASSERT_EQ(ReadStream(stream, out.data(), &size), S_OK);
    out.resize(size);
    EXPECT_EQ(out, data);

    UInt64 pos = 0;
    ASSERT_EQ(stream->Seek(-100, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos, 4900u);
    EXPECT_EQ(stream->Seek(0, 3, &pos), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->Seek(-4901, STREAM_SEEK_CUR, &pos), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(stream->Seek(-1, STREAM_SEEK_SET, nullptr), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(Position(stream), 4900u);

    // The size interface is the same object; the base interface is not answered.
    CMyComPtr<IStreamGetSize> getSize;
    ASSERT_EQ(stream.QueryInterface(IID_IStreamGetSize, &getSize), S_OK);
    UInt64 fileSize = 0;
    ASSERT_EQ(getSize->GetSize(&fileSize), S_OK);
    EXPECT_EQ(fileSize, 5000u);
    CMyComPtr<IInStream> back;
    ASSERT_EQ(getSize.QueryInterface(IID_IInStream, &back), S_OK);
    EXPECT_EQ((IInStream *)back, (IInStream *)stream);
    CMyComPtr<ISequentialInStream> seq;
    EXPECT_EQ(stream.QueryInterface(IID_ISequentialInStream, &seq), E_NOINTERFACE);
}

class CRecordingCallback : public IInFileStream_Callback {
public:
    std::vector<UInt32> Errors;
    std::vector<UInt64> Refs;
    std::vector<UInt64> Destroyed;
    HRESULT InFileStream_On_Error(UInt64 val, UInt32 error) override {
        Refs.push_back(val);
        Errors.push_back(error);
        return S_FALSE;
    }
    void InFileStream_On_Destroy(UInt64 val) override { Destroyed.push_back(val); }
};

TEST_F(FileStreamsTest, InFileStreamReadFailureCarriesTheSystemError) {
    // Reading a folder fails with EISDIR (21).
    {
        CInFileStream *impl = new CInFileStream;
        CMyComPtr<IInStream> stream = impl;
        ASSERT_TRUE(impl->Open(Wide(Dir).c_str()));
        Byte buf[16];
        UInt32 processed = 99;
        EXPECT_EQ(stream->Read(buf, sizeof(buf), &processed), (HRESULT)0x80070015);
        EXPECT_EQ(processed, 0u);
    }
    CRecordingCallback callback;
    {
        CInFileStream *impl = new CInFileStream;
        CMyComPtr<IInStream> stream = impl;
        impl->Callback = &callback;
        impl->CallbackRef = 77;
        ASSERT_TRUE(impl->Open(Wide(Dir).c_str()));
        Byte buf[16];
        EXPECT_EQ(stream->Read(buf, sizeof(buf), nullptr), S_FALSE);
        EXPECT_TRUE(callback.Destroyed.empty());
    }
    EXPECT_EQ(callback.Errors, std::vector<UInt32>{21});
    EXPECT_EQ(callback.Refs, std::vector<UInt64>{77});
    EXPECT_EQ(callback.Destroyed, std::vector<UInt64>{77});
}

TEST_F(FileStreamsTest, OutFileStreamWritesCountsAndTruncatesInPlace) {
    const std::string path = Dir + "/out.bin";
    COutFileStream *impl = new COutFileStream;
    CMyComPtr<IOutStream> stream = impl;
    ASSERT_TRUE(impl->Create(Wide(path).c_str(), false));
    const std::vector<Byte> data = PatternBytes(3000);
    ASSERT_EQ(WriteStream(stream, data.data(), data.size()), S_OK);
    EXPECT_EQ(impl->ProcessedSize, 3000u);

    ASSERT_EQ(stream->SetSize(1000), S_OK);
    UInt64 pos = 0;
    ASSERT_EQ(stream->Seek(0, STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos, 3000u);
    UInt64 size = 0;
    ASSERT_EQ(impl->GetSize(&size), S_OK);
    EXPECT_EQ(size, 1000u);

    EXPECT_EQ(stream->Seek(5, 3, &pos), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->Seek(-1, STREAM_SEEK_SET, &pos), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
    ASSERT_EQ(stream->Seek(0, STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos, 3000u);

    ASSERT_EQ(stream->Seek(500, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(WriteStream(stream, data.data(), 10), S_OK);
    ASSERT_EQ(impl->Close(), S_OK);
    std::vector<Byte> expected(data.begin(), data.begin() + 1000);
    std::copy(data.begin(), data.begin() + 10, expected.begin() + 500);
    EXPECT_EQ(Contents(path), expected);

    // Creating without overwrite refuses an existing file.
    COutFileStream second;
    EXPECT_FALSE(second.Create(Wide(path).c_str(), false));

    CMyComPtr<ISequentialOutStream> seq;
    EXPECT_EQ(stream.QueryInterface(IID_ISequentialOutStream, &seq), E_NOINTERFACE);
    CMyComPtr<IOutStream> again;
    ASSERT_EQ(stream.QueryInterface(IID_IOutStream, &again), S_OK);
    EXPECT_EQ(impl->_m_RefCount.load(), 2u);
}

TEST_F(FileStreamsTest, FullDiskReachesTheCallerAsErrno28) {
    COutFileStream *impl = new COutFileStream;
    CMyComPtr<IOutStream> stream = impl;
    ASSERT_TRUE(impl->Open(L"/dev/full", OPEN_EXISTING));
    const std::vector<Byte> data = PatternBytes(100);
    UInt32 processed = 99;
    EXPECT_EQ(stream->Write(data.data(), 100, &processed), (HRESULT)0x8007001C);
    EXPECT_EQ(processed, 0u);
    EXPECT_EQ(WriteStream(stream, data.data(), data.size()), (HRESULT)0x8007001C);
    EXPECT_EQ(impl->ProcessedSize, 0u);
}

// Points a standard descriptor somewhere else for the life of the object.
class CRedirect {
    int _fd;
    int _saved;

public:
    CRedirect(int fd, const char *path, int flags) : _fd(fd) {
        fflush(stdout);
        _saved = dup(fd);
        const int target = open(path, flags, 0600);
        EXPECT_GE(target, 0) << path;
        dup2(target, fd);
        close(target);
    }
    ~CRedirect() {
        dup2(_saved, _fd);
        close(_saved);
    }
};

TEST_F(FileStreamsTest, StandardStreamsUseDescriptorsZeroAndOne) {
    const std::vector<Byte> data = PatternBytes(70000);
    const std::string inPath = MakeFile("stdin.bin", data);
    const std::string outPath = Dir + "/stdout.bin";
    std::vector<Byte> got(80000);
    size_t size = got.size();
    HRESULT readRes, writeRes, emptyRes, fullRes;
    UInt32 emptyProcessed = 99;
    UInt64 written = 0;
    {
        CRedirect in(0, inPath.c_str(), O_RDONLY);
        CRedirect out(1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
        CMyComPtr<ISequentialInStream> stdIn = new CStdInFileStream;
        readRes = ReadStream(stdIn, got.data(), &size);
        CStdOutFileStream *outImpl = new CStdOutFileStream;
        CMyComPtr<ISequentialOutStream> stdOut = outImpl;
        writeRes = WriteStream(stdOut, data.data(), data.size());
        emptyRes = stdOut->Write(data.data(), 0, &emptyProcessed);
        written = outImpl->GetSize();
    }
    {
        CRedirect out(1, "/dev/full", O_WRONLY);
        CMyComPtr<ISequentialOutStream> stdOut = new CStdOutFileStream;
        fullRes = WriteStream(stdOut, data.data(), 10);
    }
    EXPECT_EQ(readRes, S_OK);
    got.resize(size);
    EXPECT_EQ(got, data);
    EXPECT_EQ(writeRes, S_OK);
    EXPECT_EQ(emptyRes, S_OK);
    EXPECT_EQ(emptyProcessed, 0u);
    EXPECT_EQ(written, 70000u);
    EXPECT_EQ(Contents(outPath), data);
    EXPECT_EQ(fullRes, (HRESULT)0x8007001C);
}

} // namespace

// The file streams hand out their descriptor, whose file position is the stream's; a link read as
// its text, a closed file and the standard streams (which have positions of their own) do not.
TEST_F(FileStreamsTest, FileStreamsHandOutADescriptorOnlyWhereItsPositionIsTheirs) {
    const std::string inPath = MakeFile("in.bin", PatternBytes(5000));
    CInFileStream *inImpl = new CInFileStream;
    CMyComPtr<IInStream> in = inImpl;
    ASSERT_TRUE(inImpl->Open(Wide(inPath).c_str()));
    COutFileStream *outImpl = new COutFileStream;
    CMyComPtr<IOutStream> out = outImpl;
    ASSERT_TRUE(outImpl->Create(Wide(Dir + "/out.bin").c_str(), false));
    ASSERT_EQ(in->Seek(1234, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(out->Seek(99, STREAM_SEEK_SET, nullptr), S_OK);
    for (IUnknown *stream : {static_cast<IUnknown *>(static_cast<IInStream *>(in)),
                             static_cast<IUnknown *>(static_cast<IOutStream *>(out))}) {
        CMyComPtr<IStreamFileDescriptor> file;
        ASSERT_EQ(stream->QueryInterface(IID_IStreamFileDescriptor, reinterpret_cast<void **>(&file)), S_OK);
        int fd = -1;
        ASSERT_EQ(file->GetFileDescriptor(&fd), S_OK);
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), stream == static_cast<IUnknown *>(static_cast<IInStream *>(in)) ? 1234 : 99);
    }

    ASSERT_EQ(symlink("in.bin", (Dir + "/link").c_str()), 0);
    CInFileStream *linkImpl = new CInFileStream(false);
    CMyComPtr<IInStream> link = linkImpl;
    ASSERT_TRUE(linkImpl->Open(Wide(Dir + "/link").c_str()));
    CMyComPtr<IStreamFileDescriptor> file;
    ASSERT_EQ(link.QueryInterface(IID_IStreamFileDescriptor, &file), S_OK);
    int fd = 0;
    EXPECT_EQ(file->GetFileDescriptor(&fd), S_FALSE);
    EXPECT_EQ(fd, -1);
    file.Release();
    ASSERT_EQ(outImpl->Close(), S_OK);
    ASSERT_EQ(out.QueryInterface(IID_IStreamFileDescriptor, &file), S_OK);
    EXPECT_EQ(file->GetFileDescriptor(&fd), S_FALSE);

    CMyComPtr<ISequentialOutStream> stdOut = new CStdOutFileStream;
    CMyComPtr<IStreamFileDescriptor> none;
    EXPECT_EQ(stdOut.QueryInterface(IID_IStreamFileDescriptor, &none), E_NOINTERFACE);
}
