#pragma once

// Finding compression and hash methods by name or id, and creating coders, filters and hashers,
// from the built-in tables and then from the registry's codecs and hashers.
#include "archive/ICoder.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "common/MyVector.h"

struct CExternalCodecInfo {
    UInt64 Id;
    AString Name;
    UInt32 PackStreams;
    bool HasEncoder;
    bool HasDecoder;
    // The codec's index in the registry. Load skips codecs it cannot use, so after a skipped one
    // the position in our list is not the registry's index.
    UInt32 CodecIndex;

    CExternalCodecInfo() : Id(0), PackStreams(1), HasEncoder(false), HasDecoder(false), CodecIndex(0) {}
};

struct CExternalHasherInfo {
    UInt64 Id;
    AString Name;
    // The hasher's index in the registry; see CExternalCodecInfo::CodecIndex.
    UInt32 HasherIndex;

    CExternalHasherInfo() : Id(0), HasherIndex(0) {}
};

// What the registry offers, cached with the two interfaces to create it through.
class CExternalCodecs {
public:
    CMyComPtr<ICompressCodecsInfo> CodecsInfo;
    CMyComPtr<IHashers> HashersInfo;
    CObjectVector<CExternalCodecInfo> Codecs;
    CObjectVector<CExternalHasherInfo> Hashers;

    CExternalCodecs() = default;
    CExternalCodecs(const CExternalCodecs &) = delete;
    CExternalCodecs &operator=(const CExternalCodecs &) = delete;
    ~CExternalCodecs() {
        HashersInfo.Release();
        CodecsInfo.Release();
    }

    // Refills both lists from the two interfaces; entries read before a failure stay.
    HRESULT Load();
};

struct CCreatedCoder {
    CMyComPtr<ICompressCoder> Coder;
    CMyComPtr<ICompressCoder2> MultiCoder;
    bool FromPlugin;
    bool WrapsFilter;
    UInt32 PackStreams;

    CCreatedCoder() : FromPlugin(false), WrapsFilter(false), PackStreams(1) {}
};

bool FindMethod(const CExternalCodecs *externalCodecs, const AString &name, UInt64 &methodId, UInt32 &numStreams);
bool FindMethod(const CExternalCodecs *externalCodecs, UInt64 methodId, AString &name);
bool FindHashMethod(const CExternalCodecs *externalCodecs, const AString &name, UInt64 &methodId);
void GetHashMethods(const CExternalCodecs *externalCodecs, CRecordVector<UInt64> &methods);

// S_OK with nothing created when no codec has the id and the direction. A filter comes back in
// `filter`, a one-stream coder in cod.Coder, a multi-stream coder in cod.MultiCoder.
HRESULT CreateCoder(const CExternalCodecs *externalCodecs, UInt64 methodId, bool encode,
                    CMyComPtr<ICompressFilter> &filter, CCreatedCoder &cod);
// As above, with a filter wrapped into a filter coder.
HRESULT CreateCoder(const CExternalCodecs *externalCodecs, UInt64 methodId, bool encode, CCreatedCoder &cod);
HRESULT CreateCoder(const CExternalCodecs *externalCodecs, UInt64 methodId, bool encode,
                    CMyComPtr<ICompressCoder> &coder);
HRESULT CreateFilter(const CExternalCodecs *externalCodecs, UInt64 methodId, bool encode,
                     CMyComPtr<ICompressFilter> &filter);

// S_OK with a null hasher and an empty name when no hasher has the id.
HRESULT CreateHasher(const CExternalCodecs *externalCodecs, UInt64 methodId, AString &name, CMyComPtr<IHasher> &hasher);
