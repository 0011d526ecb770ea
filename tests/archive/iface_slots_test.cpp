// Slot order of every interface operation: the order is the binary contract with the plug-in, so a
// reordered or inserted declaration must fail here. Built without the core library: the interface
// headers must not need any of its code.
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "archive/IPassword.h"
#include "archive/IProgress.h"
#include "archive/IStream.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

namespace {

// Itanium C++ ABI (x86-64): a pointer to a virtual member function holds 1 + the byte offset of its
// slot in the vtable. Slots 0-2 are QueryInterface, AddRef, Release; 3-4 the two destructor entries.
template <class F> long SlotOf(F f) {
    struct {
        uintptr_t ptr;
        ptrdiff_t adj;
    } rep;
    static_assert(sizeof(f) == sizeof(rep), "Itanium member function pointer");
    memcpy(&rep, &f, sizeof(rep));
    if ((rep.ptr & 1) == 0) return -1; // not virtual
    return static_cast<long>((rep.ptr - 1) / sizeof(void *));
}

#define EXPECT_SLOT(member, slot) EXPECT_EQ(SlotOf(&member), slot) << #member

class SlotTest : public ::testing::Test {
protected:
    void SetUp() override {
#if !defined(__x86_64__)
        GTEST_SKIP() << "slot numbers are read the x86-64 Itanium way";
#endif
    }
};

TEST_F(SlotTest, UnknownAndProgress) {
    EXPECT_SLOT(IUnknown::QueryInterface, 0);
    EXPECT_SLOT(IUnknown::AddRef, 1);
    EXPECT_SLOT(IUnknown::Release, 2);
    EXPECT_SLOT(IProgress::SetTotal, 5);
    EXPECT_SLOT(IProgress::SetCompleted, 6);
}

TEST_F(SlotTest, Streams) {
    EXPECT_SLOT(ISequentialInStream::Read, 5);
    EXPECT_SLOT(ISequentialOutStream::Write, 5);
    EXPECT_SLOT(IInStream::Read, 5);
    EXPECT_SLOT(IInStream::Seek, 6);
    EXPECT_SLOT(IOutStream::Write, 5);
    EXPECT_SLOT(IOutStream::Seek, 6);
    EXPECT_SLOT(IOutStream::SetSize, 7);
    EXPECT_SLOT(IStreamGetSize::GetSize, 5);
    EXPECT_SLOT(IOutStreamFinish::OutStreamFinish, 5);
    EXPECT_SLOT(IStreamGetProps::GetProps, 5);
    EXPECT_SLOT(IStreamGetProps2::GetProps2, 5);
}

TEST_F(SlotTest, CodersFiltersCiphersHashers) {
    EXPECT_SLOT(ICompressProgressInfo::SetRatioInfo, 5);
    EXPECT_SLOT(ICompressCoder::Code, 5);
    EXPECT_SLOT(ICompressCoder2::Code, 5);
    EXPECT_SLOT(ICompressSetCoderProperties::SetCoderProperties, 5);
    EXPECT_SLOT(ICompressSetDecoderProperties2::SetDecoderProperties2, 5);
    EXPECT_SLOT(ICompressWriteCoderProperties::WriteCoderProperties, 5);
    EXPECT_SLOT(ICompressGetInStreamProcessedSize::GetInStreamProcessedSize, 5);
    EXPECT_SLOT(ICompressSetCoderMt::SetNumberOfThreads, 5);
    EXPECT_SLOT(ICompressSetFinishMode::SetFinishMode, 5);
    EXPECT_SLOT(ICompressGetSubStreamSize::GetSubStreamSize, 5);
    EXPECT_SLOT(ICompressSetInStream::SetInStream, 5);
    EXPECT_SLOT(ICompressSetInStream::ReleaseInStream, 6);
    EXPECT_SLOT(ICompressSetOutStream::SetOutStream, 5);
    EXPECT_SLOT(ICompressSetOutStream::ReleaseOutStream, 6);
    EXPECT_SLOT(ICompressSetOutStreamSize::SetOutStreamSize, 5);
    EXPECT_SLOT(ICompressSetBufSize::SetInBufSize, 5);
    EXPECT_SLOT(ICompressSetBufSize::SetOutBufSize, 6);
    EXPECT_SLOT(ICompressInitEncoder::InitEncoder, 5);
    EXPECT_SLOT(ICompressSetInStream2::SetInStream2, 5);
    EXPECT_SLOT(ICompressSetInStream2::ReleaseInStream2, 6);
    EXPECT_SLOT(ICompressFilter::Init, 5);
    EXPECT_SLOT(ICompressFilter::Filter, 6);
    EXPECT_SLOT(ICompressCodecsInfo::GetNumMethods, 5);
    EXPECT_SLOT(ICompressCodecsInfo::GetProperty, 6);
    EXPECT_SLOT(ICompressCodecsInfo::CreateDecoder, 7);
    EXPECT_SLOT(ICompressCodecsInfo::CreateEncoder, 8);
    EXPECT_SLOT(ISetCompressCodecsInfo::SetCompressCodecsInfo, 5);
    EXPECT_SLOT(ICryptoProperties::SetKey, 5);
    EXPECT_SLOT(ICryptoProperties::SetInitVector, 6);
    EXPECT_SLOT(ICryptoResetInitVector::ResetInitVector, 5);
    EXPECT_SLOT(ICryptoSetPassword::CryptoSetPassword, 5);
    EXPECT_SLOT(ICryptoSetCRC::CryptoSetCRC, 5);
    EXPECT_SLOT(IHasher::Init, 5);
    EXPECT_SLOT(IHasher::Update, 6);
    EXPECT_SLOT(IHasher::Final, 7);
    EXPECT_SLOT(IHasher::GetDigestSize, 8);
    EXPECT_SLOT(IHashers::GetNumHashers, 5);
    EXPECT_SLOT(IHashers::GetHasherProp, 6);
    EXPECT_SLOT(IHashers::CreateHasher, 7);
}

TEST_F(SlotTest, Passwords) {
    EXPECT_SLOT(ICryptoGetTextPassword::CryptoGetTextPassword, 5);
    EXPECT_SLOT(ICryptoGetTextPassword2::CryptoGetTextPassword2, 5);
}

TEST_F(SlotTest, ArchiveReading) {
    EXPECT_SLOT(IInArchive::Open, 5);
    EXPECT_SLOT(IInArchive::Close, 6);
    EXPECT_SLOT(IInArchive::GetNumberOfItems, 7);
    EXPECT_SLOT(IInArchive::GetProperty, 8);
    EXPECT_SLOT(IInArchive::Extract, 9);
    EXPECT_SLOT(IInArchive::GetArchiveProperty, 10);
    EXPECT_SLOT(IInArchive::GetNumberOfProperties, 11);
    EXPECT_SLOT(IInArchive::GetPropertyInfo, 12);
    EXPECT_SLOT(IInArchive::GetNumberOfArchiveProperties, 13);
    EXPECT_SLOT(IInArchive::GetArchivePropertyInfo, 14);
    EXPECT_SLOT(IInArchiveGetStream::GetStream, 5);
    EXPECT_SLOT(IArchiveOpenSeq::OpenSequential, 5);
    EXPECT_SLOT(IArchiveAllowTail::SetTailAllowed, 5);
    EXPECT_SLOT(IArchiveKeepModeForNextOpen::KeepModeForNextOpen, 5);
    EXPECT_SLOT(ISetProperties::SetProperties, 5);
    EXPECT_SLOT(IArchiveGetRawProps::GetParent, 5);
    EXPECT_SLOT(IArchiveGetRawProps::GetRawProp, 6);
    EXPECT_SLOT(IArchiveGetRawProps::GetNumRawProps, 7);
    EXPECT_SLOT(IArchiveGetRawProps::GetRawPropInfo, 8);
    EXPECT_SLOT(IArchiveGetRootProps::GetRootProp, 5);
    EXPECT_SLOT(IArchiveGetRootProps::GetRootRawProp, 6);
}

TEST_F(SlotTest, ArchiveCallbacks) {
    EXPECT_SLOT(IArchiveOpenCallback::SetTotal, 5);
    EXPECT_SLOT(IArchiveOpenCallback::SetCompleted, 6);
    EXPECT_SLOT(IArchiveOpenVolumeCallback::GetProperty, 5);
    EXPECT_SLOT(IArchiveOpenVolumeCallback::GetStream, 6);
    EXPECT_SLOT(IArchiveOpenSetSubArchiveName::SetSubArchiveName, 5);
    EXPECT_SLOT(IArchiveExtractCallback::SetTotal, 5);
    EXPECT_SLOT(IArchiveExtractCallback::SetCompleted, 6);
    EXPECT_SLOT(IArchiveExtractCallback::GetStream, 7);
    EXPECT_SLOT(IArchiveExtractCallback::PrepareOperation, 8);
    EXPECT_SLOT(IArchiveExtractCallback::SetOperationResult, 9);
    EXPECT_SLOT(IArchiveExtractCallbackMessage::SetTotal, 5);
    EXPECT_SLOT(IArchiveExtractCallbackMessage::ReportExtractResult, 7);
}

TEST_F(SlotTest, ArchiveWriting) {
    EXPECT_SLOT(IArchiveUpdateCallback::SetTotal, 5);
    EXPECT_SLOT(IArchiveUpdateCallback::SetCompleted, 6);
    EXPECT_SLOT(IArchiveUpdateCallback::GetUpdateItemInfo, 7);
    EXPECT_SLOT(IArchiveUpdateCallback::GetProperty, 8);
    EXPECT_SLOT(IArchiveUpdateCallback::GetStream, 9);
    EXPECT_SLOT(IArchiveUpdateCallback::SetOperationResult, 10);
    EXPECT_SLOT(IArchiveUpdateCallback2::GetVolumeSize, 11);
    EXPECT_SLOT(IArchiveUpdateCallback2::GetVolumeStream, 12);
    EXPECT_SLOT(IArchiveUpdateCallbackFile::GetStream2, 5);
    EXPECT_SLOT(IArchiveUpdateCallbackFile::ReportOperation, 6);
    EXPECT_SLOT(IOutArchive::WriteArchive, 5);
    EXPECT_SLOT(IOutArchive::GetTimeKind, 6);
}

TEST(SharedNumberingsTest, HandlerAndMethodPropertyIds) {
    EXPECT_EQ(NArchive::NHandlerPropID::kName, 0);
    EXPECT_EQ(NArchive::NHandlerPropID::kClassID, 1);
    EXPECT_EQ(NArchive::NHandlerPropID::kUpdate, 4);
    EXPECT_EQ(NArchive::NHandlerPropID::kSignature, 6);
    EXPECT_EQ(NArchive::NHandlerPropID::kMultiSignature, 7);
    EXPECT_EQ(NArchive::NHandlerPropID::kSignatureOffset, 8);
    EXPECT_EQ(NArchive::NHandlerPropID::kAltStreams, 9);
    EXPECT_EQ(NArchive::NHandlerPropID::kNtSecure, 10);
    EXPECT_EQ(NArchive::NHandlerPropID::kFlags, 11);
    EXPECT_EQ(NMethodPropID::kDecoder, 2);
    EXPECT_EQ(NMethodPropID::kEncoder, 3);
    EXPECT_EQ(NMethodPropID::kPackStreams, 4);
    EXPECT_EQ(NMethodPropID::kUnpackStreams, 5);
    EXPECT_EQ(NMethodPropID::kDecoderIsAssigned, 7);
    EXPECT_EQ(NMethodPropID::kEncoderIsAssigned, 8);
    EXPECT_EQ(NMethodPropID::kDigestSize, 9);
    EXPECT_EQ(NCoderPropID::kLevel, 15);
    EXPECT_EQ(NCoderPropID::kReduceSize, 16);
}

TEST(SharedNumberingsTest, ExtractModesAndResults) {
    EXPECT_EQ(NArchive::NExtract::NAskMode::kSkip, 2);
    EXPECT_EQ(NArchive::NExtract::NOperationResult::kUnexpectedEnd, 5);
    EXPECT_EQ(NArchive::NExtract::NOperationResult::kWrongPassword, 9);
    EXPECT_EQ(NArchive::NEventIndexType::kOutArcIndex, 3);
    EXPECT_EQ(NArchive::NUpdateNotifyOp::kHeader, 7);
    EXPECT_EQ(NArchive::NUpdate::NOperationResult::kError, 1);
    EXPECT_EQ(NArcInfoFlags::kPreArc, 0x200u);
    EXPECT_EQ(kpv_ErrorFlags_CrcError, 0x400u);
}

TEST(SharedNumberingsTest, PropertyIdsOfTheTables) {
    const struct {
        int id, value;
    } kIds[] = {{kpidMainSubfile, 1},
                {kpidPath, 3},
                {kpidName, 4},
                {kpidExtension, 5},
                {kpidIsDir, 6},
                {kpidSize, 7},
                {kpidPackSize, 8},
                {kpidAttrib, 9},
                {kpidCTime, 10},
                {kpidATime, 11},
                {kpidMTime, 12},
                {kpidEncrypted, 15},
                {kpidCRC, 19},
                {kpidType, 20},
                {kpidIsAnti, 21},
                {kpidPrefix, 30},
                {kpidNumSubDirs, 31},
                {kpidNumSubFiles, 32},
                {kpidOffset, 36},
                {kpidPhySize, 44},
                {kpidShortName, 50},
                {kpidSymLink, 54},
                {kpidError, 55},
                {kpidNtSecure, 62},
                {kpidIsAltStream, 63},
                {kpidIsAux, 64},
                {kpidIsDeleted, 65},
                {kpidIsTree, 66},
                {kpidErrorType, 69},
                {kpidErrorFlags, 71},
                {kpidWarningFlags, 72},
                {kpidWarning, 73},
                {kpidShortComment, 82},
                {kpidIsNotArcType, 84},
                {kpidPhySizeCantBeDetected, 85},
                {kpidZerosTailIsAllowed, 86},
                {kpidTailSize, 87},
                {kpidNtReparse, 89},
                {kpidHardLink, 90},
                {kpidINode, 91},
                {kpidReadOnly, 93},
                {kpidCopyLink, 95}};
    for (const auto &p : kIds)
        EXPECT_EQ(p.id, p.value);
}

} // namespace
