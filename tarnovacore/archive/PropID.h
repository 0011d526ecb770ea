#pragma once

// Property ids (PROPID): one 32-bit numbering shared with the plug-in's handlers and the panel.
// Part of the binary contract with the plug-in: self-contained.
#include "../common/MyTypes.h"

enum {
    kpidNoProperty = 0,
    kpidMainSubfile = 1,
    kpidHandlerItemIndex = 2,
    kpidPath = 3,
    kpidName = 4,
    kpidExtension = 5,
    kpidIsDir = 6,
    kpidSize = 7,
    kpidPackSize = 8,
    kpidAttrib = 9,
    kpidCTime = 10,
    kpidATime = 11,
    kpidMTime = 12,
    kpidSolid = 13,
    kpidCommented = 14,
    kpidEncrypted = 15,
    kpidSplitBefore = 16,
    kpidSplitAfter = 17,
    kpidDictionarySize = 18,
    kpidCRC = 19,
    kpidType = 20,
    kpidIsAnti = 21,
    kpidMethod = 22,
    kpidHostOS = 23,
    kpidFileSystem = 24,
    kpidUser = 25,
    kpidGroup = 26,
    kpidBlock = 27,
    kpidComment = 28,
    kpidPosition = 29,
    kpidPrefix = 30,
    kpidNumSubDirs = 31,
    kpidNumSubFiles = 32,
    kpidUnpackVer = 33,
    kpidVolume = 34,
    kpidIsVolume = 35,
    kpidOffset = 36,
    kpidLinks = 37,
    kpidNumBlocks = 38,
    kpidNumVolumes = 39,
    kpidTimeType = 40,
    kpidBit64 = 41,
    kpidBigEndian = 42,
    kpidCpu = 43,
    kpidPhySize = 44,
    kpidHeadersSize = 45,
    kpidChecksum = 46,
    kpidCharacts = 47,
    kpidVa = 48,
    kpidId = 49,
    kpidShortName = 50,
    kpidCreatorApp = 51,
    kpidSectorSize = 52,
    kpidPosixAttrib = 53,
    kpidSymLink = 54,
    kpidError = 55,
    kpidTotalSize = 56,
    kpidFreeSpace = 57,
    kpidClusterSize = 58,
    kpidVolumeName = 59,
    kpidLocalName = 60,
    kpidProvider = 61,
    kpidNtSecure = 62,
    kpidIsAltStream = 63,
    kpidIsAux = 64,
    kpidIsDeleted = 65,
    kpidIsTree = 66,
    kpidSha1 = 67,
    kpidSha256 = 68,
    kpidErrorType = 69,
    kpidNumErrors = 70,
    kpidErrorFlags = 71,
    kpidWarningFlags = 72,
    kpidWarning = 73,
    kpidNumStreams = 74,
    kpidNumAltStreams = 75,
    kpidAltStreamsSize = 76,
    kpidVirtualSize = 77,
    kpidUnpackSize = 78,
    kpidTotalPhySize = 79,
    kpidVolumeIndex = 80,
    kpidSubType = 81,
    kpidShortComment = 82,
    kpidCodePage = 83,
    kpidIsNotArcType = 84,
    kpidPhySizeCantBeDetected = 85,
    kpidZerosTailIsAllowed = 86,
    kpidTailSize = 87,
    kpidEmbeddedStubSize = 88,
    kpidNtReparse = 89,
    kpidHardLink = 90,
    kpidINode = 91,
    kpidStreamId = 92,
    kpidReadOnly = 93,
    kpidOutName = 94,
    kpidCopyLink = 95,

    kpid_NUM_DEFINED,

    kpidUserDefined = 0x10000
};

// Bits of the error-flag word (kpidErrorFlags) and the warning-flag word (kpidWarningFlags).
const UInt32 kpv_ErrorFlags_IsNotArc = 1 << 0;
const UInt32 kpv_ErrorFlags_HeadersError = 1 << 1;
const UInt32 kpv_ErrorFlags_EncryptedHeadersError = 1 << 2;
const UInt32 kpv_ErrorFlags_UnavailableStart = 1 << 3;
const UInt32 kpv_ErrorFlags_UnconfirmedStart = 1 << 4;
const UInt32 kpv_ErrorFlags_UnexpectedEnd = 1 << 5;
const UInt32 kpv_ErrorFlags_DataAfterEnd = 1 << 6;
const UInt32 kpv_ErrorFlags_UnsupportedMethod = 1 << 7;
const UInt32 kpv_ErrorFlags_UnsupportedFeature = 1 << 8;
const UInt32 kpv_ErrorFlags_DataError = 1 << 9;
const UInt32 kpv_ErrorFlags_CrcError = 1 << 10;

// Types of raw property data (IArchiveGetRawProps::GetRawProp).
namespace NPropDataType {
const UInt32 kMask_ZeroEnd = 1 << 4;
const UInt32 kMask_Utf = 1 << 6;
const UInt32 kMask_Utf8 = kMask_Utf | 0;
const UInt32 kMask_Utf16 = kMask_Utf | 1;
const UInt32 kMask_Utf32 = kMask_Utf | 2;

const UInt32 kNotDefined = 0;
const UInt32 kRaw = 1;

const UInt32 kUtf8z = kMask_Utf8 | kMask_ZeroEnd;   // 80
const UInt32 kUtf16z = kMask_Utf16 | kMask_ZeroEnd; // 81: zero-terminated 2-byte units, little-endian
const UInt32 kUtf32z = kMask_Utf32 | kMask_ZeroEnd; // 82: zero-terminated 4-byte units, little-endian
} // namespace NPropDataType

static_assert(NPropDataType::kUtf16z == 81 && NPropDataType::kUtf32z == 82, "raw text types");
static_assert(kpidReadOnly == 93 && kpid_NUM_DEFINED == 96, "property ids of Parts 2.115 and 3.101");
