#pragma once

// Interface ids of the COM-style object model: the binary contract with the codec and
// format plug-in and between the engine, the agent and the folders. Self-contained on purpose.
//
// IID_IUnknown is the standard {00000000-0000-0000-C000-000000000046}. Every other id is
// {23170F69-40C1-278A-0000-00GG00NN0000}: in memory 69 0F 17 23 C1 40 8A 27 00 00 00 GG 00 NN 00 00.
#include "MyWindows.h"

#define TN_DEFINE_IID(name, group, number)                                                                             \
    inline constexpr GUID IID_##name = {0x23170F69, 0x40C1, 0x278A, {0, 0, 0, (group), 0, (number), 0, 0}};

inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// 00 progress
TN_DEFINE_IID(IProgress, 0x00, 0x05)

// 01 folder archives and agent callbacks
TN_DEFINE_IID(IFolderArchiveExtractCallback, 0x01, 0x07)
TN_DEFINE_IID(IFolderArchiveExtractCallback2, 0x01, 0x08)
TN_DEFINE_IID(IFolderArchiveUpdateCallback, 0x01, 0x0B)
TN_DEFINE_IID(IArchiveFolderInternal, 0x01, 0x0C)
TN_DEFINE_IID(IArchiveFolder, 0x01, 0x0D)
TN_DEFINE_IID(IInFolderArchive, 0x01, 0x0E)
TN_DEFINE_IID(IOutFolderArchive, 0x01, 0x0F)
TN_DEFINE_IID(IFolderArchiveUpdateCallback2, 0x01, 0x10)
TN_DEFINE_IID(IFolderScanProgress, 0x01, 0x11)
TN_DEFINE_IID(IGetProp, 0x01, 0x20)
TN_DEFINE_IID(IFolderExtractToStreamCallback, 0x01, 0x30)

// 03 streams
TN_DEFINE_IID(ISequentialInStream, 0x03, 0x01)
TN_DEFINE_IID(ISequentialOutStream, 0x03, 0x02)
TN_DEFINE_IID(IInStream, 0x03, 0x03)
TN_DEFINE_IID(IOutStream, 0x03, 0x04)
TN_DEFINE_IID(IStreamGetSize, 0x03, 0x06)
TN_DEFINE_IID(IOutStreamFinish, 0x03, 0x07)
TN_DEFINE_IID(IStreamGetProps, 0x03, 0x08)
TN_DEFINE_IID(IStreamGetProps2, 0x03, 0x09)
TN_DEFINE_IID(IStreamFileDescriptor, 0x03, 0x0A)

// 04 coders, filters, ciphers, hashers
TN_DEFINE_IID(ICompressProgressInfo, 0x04, 0x04)
TN_DEFINE_IID(ICompressCoder, 0x04, 0x05)
TN_DEFINE_IID(ICompressCoder2, 0x04, 0x18)
TN_DEFINE_IID(ICompressSetCoderProperties, 0x04, 0x20)
TN_DEFINE_IID(ICompressSetDecoderProperties2, 0x04, 0x22)
TN_DEFINE_IID(ICompressWriteCoderProperties, 0x04, 0x23)
TN_DEFINE_IID(ICompressGetInStreamProcessedSize, 0x04, 0x24)
TN_DEFINE_IID(ICompressSetCoderMt, 0x04, 0x25)
TN_DEFINE_IID(ICompressSetFinishMode, 0x04, 0x26)
TN_DEFINE_IID(ICompressGetSubStreamSize, 0x04, 0x30)
TN_DEFINE_IID(ICompressSetInStream, 0x04, 0x31)
TN_DEFINE_IID(ICompressSetOutStream, 0x04, 0x32)
TN_DEFINE_IID(ICompressSetOutStreamSize, 0x04, 0x34)
TN_DEFINE_IID(ICompressSetBufSize, 0x04, 0x35)
TN_DEFINE_IID(ICompressInitEncoder, 0x04, 0x36)
TN_DEFINE_IID(ICompressSetInStream2, 0x04, 0x37)
TN_DEFINE_IID(ICompressFilter, 0x04, 0x40)
TN_DEFINE_IID(ICompressCodecsInfo, 0x04, 0x60)
TN_DEFINE_IID(ISetCompressCodecsInfo, 0x04, 0x61)
TN_DEFINE_IID(ICryptoProperties, 0x04, 0x80)
TN_DEFINE_IID(ICryptoResetInitVector, 0x04, 0x8C)
TN_DEFINE_IID(ICryptoSetPassword, 0x04, 0x90)
TN_DEFINE_IID(ICryptoSetCRC, 0x04, 0xA0)
TN_DEFINE_IID(IHasher, 0x04, 0xC0)
TN_DEFINE_IID(IHashers, 0x04, 0xC1)

// 05 passwords
TN_DEFINE_IID(ICryptoGetTextPassword, 0x05, 0x10)
TN_DEFINE_IID(ICryptoGetTextPassword2, 0x05, 0x11)

// 06 archive handlers
TN_DEFINE_IID(ISetProperties, 0x06, 0x03)
TN_DEFINE_IID(IArchiveKeepModeForNextOpen, 0x06, 0x04)
TN_DEFINE_IID(IArchiveAllowTail, 0x06, 0x05)
TN_DEFINE_IID(IArchiveOpenCallback, 0x06, 0x10)
TN_DEFINE_IID(IArchiveExtractCallback, 0x06, 0x20)
TN_DEFINE_IID(IArchiveExtractCallbackMessage, 0x06, 0x21)
TN_DEFINE_IID(IArchiveOpenVolumeCallback, 0x06, 0x30)
TN_DEFINE_IID(IInArchiveGetStream, 0x06, 0x40)
TN_DEFINE_IID(IArchiveOpenSetSubArchiveName, 0x06, 0x50)
TN_DEFINE_IID(IInArchive, 0x06, 0x60)
TN_DEFINE_IID(IArchiveOpenSeq, 0x06, 0x61)
TN_DEFINE_IID(IArchiveGetRawProps, 0x06, 0x70)
TN_DEFINE_IID(IArchiveGetRootProps, 0x06, 0x71)
TN_DEFINE_IID(IArchiveUpdateCallback, 0x06, 0x80)
TN_DEFINE_IID(IArchiveUpdateCallback2, 0x06, 0x82)
TN_DEFINE_IID(IArchiveUpdateCallbackFile, 0x06, 0x83)
TN_DEFINE_IID(IOutArchive, 0x06, 0xA0)

// 08 folders
TN_DEFINE_IID(IFolderFolder, 0x08, 0x00)
TN_DEFINE_IID(IFolderWasChanged, 0x08, 0x04)
TN_DEFINE_IID(IFolderGetSystemIconIndex, 0x08, 0x07)
TN_DEFINE_IID(IFolderGetItemFullSize, 0x08, 0x08)
TN_DEFINE_IID(IFolderClone, 0x08, 0x09)
TN_DEFINE_IID(IFolderSetFlatMode, 0x08, 0x0A)
TN_DEFINE_IID(IFolderOperationsExtractCallback, 0x08, 0x0B)
TN_DEFINE_IID(IFolderProperties, 0x08, 0x0E)
TN_DEFINE_IID(IFolderArcProps, 0x08, 0x10)
TN_DEFINE_IID(IGetFolderArcProps, 0x08, 0x11)
TN_DEFINE_IID(IFolderOperations, 0x08, 0x13)
TN_DEFINE_IID(IFolderCalcItemFullSize, 0x08, 0x14)
TN_DEFINE_IID(IFolderCompare, 0x08, 0x15)
TN_DEFINE_IID(IFolderGetItemName, 0x08, 0x16)
TN_DEFINE_IID(IFolderAltStreams, 0x08, 0x17)

// 09 folder manager
TN_DEFINE_IID(IFolderManager, 0x09, 0x05)

#undef TN_DEFINE_IID

static_assert(IID_IInArchive.Data1 == 0x23170F69 && IID_IInArchive.Data2 == 0x40C1 && IID_IInArchive.Data3 == 0x278A,
              "id prefix {23170F69-40C1-278A-...}");
static_assert(IID_IInArchive.Data4[3] == 0x06 && IID_IInArchive.Data4[5] == 0x60, "IInArchive is group 06, number 60");
static_assert(IID_IOutArchive.Data4[3] == 0x06 && IID_IOutArchive.Data4[5] == 0xA0, "IOutArchive is 06 A0");
static_assert(IID_IHashers.Data4[3] == 0x04 && IID_IHashers.Data4[5] == 0xC1, "IHashers is 04 C1");
static_assert(IID_IUnknown.Data4[0] == 0xC0 && IID_IUnknown.Data4[7] == 0x46, "standard IUnknown id");
