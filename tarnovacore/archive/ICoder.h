#pragma once

// Coder, filter, cipher and hasher interfaces and the codec exports of a plug-in library.
// Part of the binary contract with the plug-in: self-contained.
#include "../common/InterfaceIds.h"
#include "../common/MyUnknown.h"
#include "../common/MyWindows.h"
#include "IStream.h"

// 04 04: inSize and outSize may each be null.
struct ICompressProgressInfo : public IUnknown {
    virtual HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) = 0;
};

// 04 05
struct ICompressCoder : public IUnknown {
    virtual HRESULT Code(ISequentialInStream *inStream, ISequentialOutStream *outStream, const UInt64 *inSize,
                         const UInt64 *outSize, ICompressProgressInfo *progress) = 0;
};

// 04 18
struct ICompressCoder2 : public IUnknown {
    virtual HRESULT Code(ISequentialInStream *const *inStreams, const UInt64 *const *inSizes, UInt32 numInStreams,
                         ISequentialOutStream *const *outStreams, const UInt64 *const *outSizes, UInt32 numOutStreams,
                         ICompressProgressInfo *progress) = 0;
};

// Coder property ids, as the method parameters name them.
namespace NCoderPropID {
enum EEnum {
    kDefaultProp = 0,
    kDictionarySize,    // 1 "d"
    kUsedMemorySize,    // 2 "mem"
    kOrder,             // 3 "o"
    kBlockSize,         // 4 "c"
    kPosStateBits,      // 5 "pb"
    kLitContextBits,    // 6 "lc"
    kLitPosBits,        // 7 "lp"
    kNumFastBytes,      // 8 "fb"
    kMatchFinder,       // 9 "mf"
    kMatchFinderCycles, // 10 "mc"
    kNumPasses,         // 11 "pass"
    kAlgorithm,         // 12 "a"
    kNumThreads,        // 13 "mt"
    kEndMarker,         // 14 "eos"
    kLevel,             // 15 "x"
    kReduceSize         // 16 "reduceSize": expected data size
};
}

// 04 20
struct ICompressSetCoderProperties : public IUnknown {
    virtual HRESULT SetCoderProperties(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps) = 0;
};

// 04 22
struct ICompressSetDecoderProperties2 : public IUnknown {
    virtual HRESULT SetDecoderProperties2(const Byte *data, UInt32 size) = 0;
};

// 04 23
struct ICompressWriteCoderProperties : public IUnknown {
    virtual HRESULT WriteCoderProperties(ISequentialOutStream *outStream) = 0;
};

// 04 24
struct ICompressGetInStreamProcessedSize : public IUnknown {
    virtual HRESULT GetInStreamProcessedSize(UInt64 *value) = 0;
};

// 04 25
struct ICompressSetCoderMt : public IUnknown {
    virtual HRESULT SetNumberOfThreads(UInt32 numThreads) = 0;
};

// 04 26
struct ICompressSetFinishMode : public IUnknown {
    virtual HRESULT SetFinishMode(UInt32 finishMode) = 0;
};

// 04 30
struct ICompressGetSubStreamSize : public IUnknown {
    virtual HRESULT GetSubStreamSize(UInt64 subStream, UInt64 *value) = 0;
};

// 04 31
struct ICompressSetInStream : public IUnknown {
    virtual HRESULT SetInStream(ISequentialInStream *inStream) = 0;
    virtual HRESULT ReleaseInStream() = 0;
};

// 04 32
struct ICompressSetOutStream : public IUnknown {
    virtual HRESULT SetOutStream(ISequentialOutStream *outStream) = 0;
    virtual HRESULT ReleaseOutStream() = 0;
};

// 04 34
struct ICompressSetOutStreamSize : public IUnknown {
    virtual HRESULT SetOutStreamSize(const UInt64 *outSize) = 0;
};

// 04 35
struct ICompressSetBufSize : public IUnknown {
    virtual HRESULT SetInBufSize(UInt32 streamIndex, UInt32 size) = 0;
    virtual HRESULT SetOutBufSize(UInt32 streamIndex, UInt32 size) = 0;
};

// 04 36
struct ICompressInitEncoder : public IUnknown {
    virtual HRESULT InitEncoder() = 0;
};

// 04 37
struct ICompressSetInStream2 : public IUnknown {
    virtual HRESULT SetInStream2(UInt32 streamIndex, ISequentialInStream *inStream) = 0;
    virtual HRESULT ReleaseInStream2(UInt32 streamIndex) = 0;
};

// 04 40: Filter converts bytes in place and returns n: 0 nothing converted, n <= size the first n
// bytes converted, n > size the filter needs n bytes to convert anything.
struct ICompressFilter : public IUnknown {
    virtual HRESULT Init() = 0;
    virtual UInt32 Filter(Byte *data, UInt32 size) = 0;
};

// 04 60: the registry's codec list.
struct ICompressCodecsInfo : public IUnknown {
    virtual HRESULT GetNumMethods(UInt32 *numMethods) = 0;
    virtual HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT CreateDecoder(UInt32 index, const GUID *iid, void **coder) = 0;
    virtual HRESULT CreateEncoder(UInt32 index, const GUID *iid, void **coder) = 0;
};

// 04 61
struct ISetCompressCodecsInfo : public IUnknown {
    virtual HRESULT SetCompressCodecsInfo(ICompressCodecsInfo *compressCodecsInfo) = 0;
};

// 04 80
struct ICryptoProperties : public IUnknown {
    virtual HRESULT SetKey(const Byte *data, UInt32 size) = 0;
    virtual HRESULT SetInitVector(const Byte *data, UInt32 size) = 0;
};

// 04 8C
struct ICryptoResetInitVector : public IUnknown {
    virtual HRESULT ResetInitVector() = 0;
};

// 04 90
struct ICryptoSetPassword : public IUnknown {
    virtual HRESULT CryptoSetPassword(const Byte *data, UInt32 size) = 0;
};

// 04 A0
struct ICryptoSetCRC : public IUnknown {
    virtual HRESULT CryptoSetCRC(UInt32 crc) = 0;
};

// 04 C0: no results but the digest size.
struct IHasher : public IUnknown {
    virtual void Init() = 0;
    virtual void Update(const void *data, UInt32 size) = 0;
    virtual void Final(Byte *digest) = 0;
    virtual UInt32 GetDigestSize() = 0;
};

// 04 C1
struct IHashers : public IUnknown {
    virtual UInt32 GetNumHashers() = 0;
    virtual HRESULT GetHasherProp(UInt32 index, PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT CreateHasher(UInt32 index, IHasher **hasher) = 0;
};

// Codec and hasher property ids, read through GetMethodProperty, ICompressCodecsInfo::GetProperty
// and IHashers::GetHasherProp.
namespace NMethodPropID {
enum EEnum {
    kID = 0,        // UInt64
    kName,          // string
    kDecoder,       // 16-byte binary string: decoder class id
    kEncoder,       // 16-byte binary string: encoder class id
    kPackStreams,   // UInt32
    kUnpackStreams, // UInt32
    kDescription,
    kDecoderIsAssigned, // bool
    kEncoderIsAssigned, // bool
    kDigestSize,        // UInt32, hashers
    kIsFilter
};
}

// Exported functions of a plug-in library that the registry looks up by name; plain
// unmangled exports with the platform's standard calling convention.
extern "C" {
typedef HRESULT (*Func_CreateObject)(const GUID *clsID, const GUID *iid, void **outObject);
typedef HRESULT (*Func_GetNumberOfMethods)(UInt32 *numMethods);
typedef HRESULT (*Func_GetMethodProperty)(UInt32 codecIndex, PROPID propID, PROPVARIANT *value);
typedef HRESULT (*Func_CreateDecoder)(UInt32 codecIndex, const GUID *iid, void **outObject);
typedef HRESULT (*Func_CreateEncoder)(UInt32 codecIndex, const GUID *iid, void **outObject);
typedef HRESULT (*Func_GetHashers)(IHashers **hashers);
typedef HRESULT (*Func_SetCodecs)(ICompressCodecsInfo *compressCodecsInfo);
typedef HRESULT (*Func_SetLargePageMode)();
typedef HRESULT (*Func_SetCaseSensitive)(Int32 caseSensitive);
}
