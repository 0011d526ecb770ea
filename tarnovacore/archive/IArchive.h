#pragma once

// Archive handler interfaces and their callbacks, the format exports of a plug-in library and
// the numberings shared with the handlers.
// Part of the binary contract with the plug-in: self-contained.
#include "../common/InterfaceIds.h"
#include "../common/MyUnknown.h"
#include "../common/MyWindows.h"
#include "IProgress.h"
#include "IStream.h"
#include "PropID.h"

namespace NFileTimeType {
enum EEnum { kWindows = 0, kUnix = 1, kDOS = 2 };
}

// Bits of a format's flag word (format property kFlags).
namespace NArcInfoFlags {
const UInt32 kKeepName = 1 << 0;
const UInt32 kAltStreams = 1 << 1;
const UInt32 kNtSecure = 1 << 2;
const UInt32 kFindSignature = 1 << 3;
const UInt32 kMultiSignature = 1 << 4;
const UInt32 kUseGlobalOffset = 1 << 5;
const UInt32 kStartOpen = 1 << 6;
const UInt32 kPureStartOpen = 1 << 7;
const UInt32 kBackwardOpen = 1 << 8;
const UInt32 kPreArc = 1 << 9;
const UInt32 kSymLinks = 1 << 10;
const UInt32 kHardLinks = 1 << 11;
} // namespace NArcInfoFlags

namespace NArchive {
// Format property ids, read through GetHandlerProperty2 / GetHandlerProperty.
namespace NHandlerPropID {
enum {
    kName = 0,        // string
    kClassID,         // 16-byte binary string
    kExtension,       // string, extensions separated by spaces
    kAddExtension,    // string, paired with kExtension by position
    kUpdate,          // bool: can write
    kKeepName,        // bool
    kSignature,       // binary string
    kMultiSignature,  // binary string: length byte + bytes, repeated
    kSignatureOffset, // UInt32
    kAltStreams,      // bool
    kNtSecure,        // bool
    kFlags            // UInt32 (NArcInfoFlags)
};
}

namespace NExtract {
// askExtractMode of IArchiveExtractCallback.
namespace NAskMode {
enum { kExtract = 0, kTest, kSkip };
}

// Results of IArchiveExtractCallback::SetOperationResult and ReportExtractResult.
namespace NOperationResult {
enum {
    kOK = 0,
    kUnsupportedMethod,
    kDataError,
    kCRCError,
    kUnavailable,
    kUnexpectedEnd,
    kDataAfterEnd,
    kIsNotArc,
    kHeadersError,
    kWrongPassword
};
}
} // namespace NExtract

// indexType of ReportOperation and ReportExtractResult.
namespace NEventIndexType {
enum {
    kNoIndex = 0,
    kInArcIndex, // an item of the old archive, as the handler numbers them
    kBlockIndex,
    kOutArcIndex // an update record
};
}

// notifyOp of GetStream2 and ReportOperation; GetStream itself uses kAdd and kUpdate.
namespace NUpdateNotifyOp {
enum { kAdd = 0, kUpdate, kAnalyze, kReplicate, kRepack, kSkip, kDelete, kHeader };
}

namespace NUpdate {
// Results of IArchiveUpdateCallback::SetOperationResult.
namespace NOperationResult {
enum { kOK = 0, kError };
}
} // namespace NUpdate
} // namespace NArchive

// 06 10: either pointer may be null.
struct IArchiveOpenCallback : public IUnknown {
    virtual HRESULT SetTotal(const UInt64 *files, const UInt64 *bytes) = 0;
    virtual HRESULT SetCompleted(const UInt64 *files, const UInt64 *bytes) = 0;
};

// 06 20: per item GetStream, PrepareOperation, then SetOperationResult. A null stream outside test
// mode means that the item is skipped.
struct IArchiveExtractCallback : public IProgress {
    virtual HRESULT GetStream(UInt32 index, ISequentialOutStream **outStream, Int32 askExtractMode) = 0;
    virtual HRESULT PrepareOperation(Int32 askExtractMode) = 0;
    virtual HRESULT SetOperationResult(Int32 opRes) = 0;
};

// 06 21
struct IArchiveExtractCallbackMessage : public IProgress {
    virtual HRESULT ReportExtractResult(UInt32 indexType, UInt32 index, Int32 opRes) = 0;
};

// 06 30: S_FALSE from GetStream is a missing volume.
struct IArchiveOpenVolumeCallback : public IUnknown {
    virtual HRESULT GetProperty(PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT GetStream(const wchar_t *name, IInStream **inStream) = 0;
};

// 06 40
struct IInArchiveGetStream : public IUnknown {
    virtual HRESULT GetStream(UInt32 index, ISequentialInStream **stream) = 0;
};

// 06 50
struct IArchiveOpenSetSubArchiveName : public IUnknown {
    virtual HRESULT SetSubArchiveName(const wchar_t *name) = 0;
};

// 06 60. Open: S_OK opened, S_FALSE not this format; a property the handler lacks is VT_EMPTY.
// Extract: indices null with numItems 0xFFFFFFFF means all items; testMode 1 or 0.
struct IInArchive : public IUnknown {
    virtual HRESULT Open(IInStream *stream, const UInt64 *startLimit, IArchiveOpenCallback *openCallback) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT GetNumberOfItems(UInt32 *numItems) = 0;
    virtual HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                            IArchiveExtractCallback *extractCallback) = 0;
    virtual HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT GetNumberOfProperties(UInt32 *numProps) = 0;
    virtual HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) = 0;
    virtual HRESULT GetNumberOfArchiveProperties(UInt32 *numProps) = 0;
    virtual HRESULT GetArchivePropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) = 0;
};

// 06 61
struct IArchiveOpenSeq : public IUnknown {
    virtual HRESULT OpenSequential(ISequentialInStream *stream) = 0;
};

// 06 70. parentType: 0 a folder, 1 an alternate stream of the parent; parent 0xFFFFFFFF for none.
struct IArchiveGetRawProps : public IUnknown {
    virtual HRESULT GetParent(UInt32 index, UInt32 *parent, UInt32 *parentType) = 0;
    virtual HRESULT GetRawProp(UInt32 index, PROPID propID, const void **data, UInt32 *dataSize, UInt32 *propType) = 0;
    virtual HRESULT GetNumRawProps(UInt32 *numProps) = 0;
    virtual HRESULT GetRawPropInfo(UInt32 index, BSTR *name, PROPID *propID) = 0;
};

// 06 71
struct IArchiveGetRootProps : public IUnknown {
    virtual HRESULT GetRootProp(PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT GetRootRawProp(PROPID propID, const void **data, UInt32 *dataSize, UInt32 *propType) = 0;
};

// 06 05: 1 allows data after an executable stub.
struct IArchiveAllowTail : public IUnknown {
    virtual HRESULT SetTailAllowed(Int32 allowTail) = 0;
};

// 06 04
struct IArchiveKeepModeForNextOpen : public IUnknown {
    virtual HRESULT KeepModeForNextOpen() = 0;
};

// 06 03: named options for a handler or the agent.
struct ISetProperties : public IUnknown {
    virtual HRESULT SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) = 0;
};

// 06 80. indexInArchive 0xFFFFFFFF: the item is not in the old archive.
struct IArchiveUpdateCallback : public IProgress {
    virtual HRESULT GetUpdateItemInfo(UInt32 index, Int32 *newData, Int32 *newProps, UInt32 *indexInArchive) = 0;
    virtual HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT GetStream(UInt32 index, ISequentialInStream **inStream) = 0;
    virtual HRESULT SetOperationResult(Int32 operationResult) = 0;
};

// 06 82
struct IArchiveUpdateCallback2 : public IArchiveUpdateCallback {
    virtual HRESULT GetVolumeSize(UInt32 index, UInt64 *size) = 0;
    virtual HRESULT GetVolumeStream(UInt32 index, ISequentialOutStream **volumeStream) = 0;
};

// 06 83
struct IArchiveUpdateCallbackFile : public IUnknown {
    virtual HRESULT GetStream2(UInt32 index, ISequentialInStream **inStream, UInt32 notifyOp) = 0;
    virtual HRESULT ReportOperation(UInt32 indexType, UInt32 index, UInt32 notifyOp) = 0;
};

// 06 A0: the writer of a format handler. GetTimeKind gives an NFileTimeType value.
struct IOutArchive : public IUnknown {
    virtual HRESULT WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                                 IArchiveUpdateCallback *updateCallback) = 0;
    virtual HRESULT GetTimeKind(UInt32 *type) = 0;
};

// Answers of a format's quick is-archive test.
enum { k_IsArc_Res_NO = 0, k_IsArc_Res_YES = 1, k_IsArc_Res_NEED_MORE = 2 };

// Format exports of a plug-in library.
extern "C" {
typedef UInt32 (*Func_IsArc)(const Byte *p, size_t size);
typedef HRESULT (*Func_GetIsArc)(UInt32 formatIndex, Func_IsArc *isArc);
typedef HRESULT (*Func_GetNumberOfFormats)(UInt32 *numFormats);
typedef HRESULT (*Func_GetHandlerProperty)(PROPID propID, PROPVARIANT *value);
typedef HRESULT (*Func_GetHandlerProperty2)(UInt32 formatIndex, PROPID propID, PROPVARIANT *value);
}
