// The interface-id table: every id, with its group and number, and the byte layout.
#include "common/InterfaceIds.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

struct IdRow {
    const char *name;
    const GUID *iid;
    Byte group;
    Byte number;
};

#define ROW(name, g, n)                                                                                                \
    { #name, &IID_##name, g, n }

const IdRow kIds[] = {
    ROW(IProgress, 0x00, 0x05),

    ROW(IFolderArchiveExtractCallback, 0x01, 0x07),
    ROW(IFolderArchiveExtractCallback2, 0x01, 0x08),
    ROW(IFolderArchiveUpdateCallback, 0x01, 0x0B),
    ROW(IArchiveFolderInternal, 0x01, 0x0C),
    ROW(IArchiveFolder, 0x01, 0x0D),
    ROW(IInFolderArchive, 0x01, 0x0E),
    ROW(IOutFolderArchive, 0x01, 0x0F),
    ROW(IFolderArchiveUpdateCallback2, 0x01, 0x10),
    ROW(IFolderScanProgress, 0x01, 0x11),
    ROW(IGetProp, 0x01, 0x20),
    ROW(IFolderExtractToStreamCallback, 0x01, 0x30),

    ROW(ISequentialInStream, 0x03, 0x01),
    ROW(ISequentialOutStream, 0x03, 0x02),
    ROW(IInStream, 0x03, 0x03),
    ROW(IOutStream, 0x03, 0x04),
    ROW(IStreamGetSize, 0x03, 0x06),
    ROW(IOutStreamFinish, 0x03, 0x07),
    ROW(IStreamGetProps, 0x03, 0x08),
    ROW(IStreamGetProps2, 0x03, 0x09),

    ROW(ICompressProgressInfo, 0x04, 0x04),
    ROW(ICompressCoder, 0x04, 0x05),
    ROW(ICompressCoder2, 0x04, 0x18),
    ROW(ICompressSetCoderProperties, 0x04, 0x20),
    ROW(ICompressSetDecoderProperties2, 0x04, 0x22),
    ROW(ICompressWriteCoderProperties, 0x04, 0x23),
    ROW(ICompressGetInStreamProcessedSize, 0x04, 0x24),
    ROW(ICompressSetCoderMt, 0x04, 0x25),
    ROW(ICompressSetFinishMode, 0x04, 0x26),
    ROW(ICompressGetSubStreamSize, 0x04, 0x30),
    ROW(ICompressSetInStream, 0x04, 0x31),
    ROW(ICompressSetOutStream, 0x04, 0x32),
    ROW(ICompressSetOutStreamSize, 0x04, 0x34),
    ROW(ICompressSetBufSize, 0x04, 0x35),
    ROW(ICompressInitEncoder, 0x04, 0x36),
    ROW(ICompressSetInStream2, 0x04, 0x37),
    ROW(ICompressFilter, 0x04, 0x40),
    ROW(ICompressCodecsInfo, 0x04, 0x60),
    ROW(ISetCompressCodecsInfo, 0x04, 0x61),
    ROW(ICryptoProperties, 0x04, 0x80),
    ROW(ICryptoResetInitVector, 0x04, 0x8C),
    ROW(ICryptoSetPassword, 0x04, 0x90),
    ROW(ICryptoSetCRC, 0x04, 0xA0),
    ROW(IHasher, 0x04, 0xC0),
    ROW(IHashers, 0x04, 0xC1),

    ROW(ICryptoGetTextPassword, 0x05, 0x10),
    ROW(ICryptoGetTextPassword2, 0x05, 0x11),

    ROW(IArchiveKeepModeForNextOpen, 0x06, 0x04),
    ROW(IArchiveAllowTail, 0x06, 0x05),
    ROW(ISetProperties, 0x06, 0x03),
    ROW(IArchiveOpenCallback, 0x06, 0x10),
    ROW(IArchiveExtractCallback, 0x06, 0x20),
    ROW(IArchiveExtractCallbackMessage, 0x06, 0x21),
    ROW(IArchiveOpenVolumeCallback, 0x06, 0x30),
    ROW(IInArchiveGetStream, 0x06, 0x40),
    ROW(IArchiveOpenSetSubArchiveName, 0x06, 0x50),
    ROW(IInArchive, 0x06, 0x60),
    ROW(IArchiveOpenSeq, 0x06, 0x61),
    ROW(IArchiveGetRawProps, 0x06, 0x70),
    ROW(IArchiveGetRootProps, 0x06, 0x71),
    ROW(IArchiveUpdateCallback, 0x06, 0x80),
    ROW(IArchiveUpdateCallback2, 0x06, 0x82),
    ROW(IArchiveUpdateCallbackFile, 0x06, 0x83),
    ROW(IOutArchive, 0x06, 0xA0),

    ROW(IFolderFolder, 0x08, 0x00),
    ROW(IFolderWasChanged, 0x08, 0x04),
    ROW(IFolderGetSystemIconIndex, 0x08, 0x07),
    ROW(IFolderGetItemFullSize, 0x08, 0x08),
    ROW(IFolderClone, 0x08, 0x09),
    ROW(IFolderSetFlatMode, 0x08, 0x0A),
    ROW(IFolderOperationsExtractCallback, 0x08, 0x0B),
    ROW(IFolderProperties, 0x08, 0x0E),
    ROW(IFolderArcProps, 0x08, 0x10),
    ROW(IGetFolderArcProps, 0x08, 0x11),
    ROW(IFolderOperations, 0x08, 0x13),
    ROW(IFolderCalcItemFullSize, 0x08, 0x14),
    ROW(IFolderCompare, 0x08, 0x15),
    ROW(IFolderGetItemName, 0x08, 0x16),
    ROW(IFolderAltStreams, 0x08, 0x17),

    ROW(IFolderManager, 0x09, 0x05),
};

#undef ROW

TEST(InterfaceIdsTest, EveryIdHasTheSchemeBytesWithItsGroupAndNumber) {
    for (const IdRow &row : kIds) {
        const Byte expected[16] = {0x69, 0x0F, 0x17, 0x23,      0xC1, 0x40,       0x8A, 0x27,
                                   0x00, 0x00, 0x00, row.group, 0x00, row.number, 0x00, 0x00};
        EXPECT_EQ(memcmp(row.iid, expected, 16), 0) << row.name;
    }
}

TEST(InterfaceIdsTest, IdsAreDistinct) {
    const size_t n = sizeof(kIds) / sizeof(kIds[0]);
    EXPECT_EQ(n, 80u);
    for (size_t i = 0; i < n; i++) {
        EXPECT_FALSE(*kIds[i].iid == IID_IUnknown) << kIds[i].name;
        for (size_t j = i + 1; j < n; j++)
            EXPECT_TRUE(*kIds[i].iid != *kIds[j].iid) << kIds[i].name << " " << kIds[j].name;
    }
}

TEST(InterfaceIdsTest, IUnknownIsTheStandardId) {
    const Byte expected[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    EXPECT_EQ(memcmp(&IID_IUnknown, expected, 16), 0);
}

TEST(InterfaceIdsTest, InArchiveAndOutArchiveBytes) {
    const Byte inArchive[16] = {0x69, 0x0F, 0x17, 0x23, 0xC1, 0x40, 0x8A, 0x27, 0, 0, 0, 0x06, 0, 0x60, 0, 0};
    const Byte outArchive[16] = {0x69, 0x0F, 0x17, 0x23, 0xC1, 0x40, 0x8A, 0x27, 0, 0, 0, 0x06, 0, 0xA0, 0, 0};
    EXPECT_EQ(memcmp(&IID_IInArchive, inArchive, 16), 0);
    EXPECT_EQ(memcmp(&IID_IOutArchive, outArchive, 16), 0);
}

TEST(InterfaceIdsTest, GuidEqualityComparesAllSixteenBytes) {
    GUID g = IID_IInStream;
    EXPECT_TRUE(g == IID_IInStream);
    g.Data4[7] = 1;
    EXPECT_FALSE(g == IID_IInStream);
    EXPECT_TRUE(g != IID_IInStream);
}

} // namespace
