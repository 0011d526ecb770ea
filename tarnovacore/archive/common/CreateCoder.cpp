#include "CreateCoder.h"

#include "archive/common/FilterCoder.h"
#include "archive/common/RegisterCodec.h"
#include "archive/common/StreamUtils.h"
#include "windows/PropVariant.h"

using NWindows::NCOM::CPropVariant;

namespace {

// A stream count: empty means 1.
HRESULT ReadNumberOfStreams(ICompressCodecsInfo *codecsInfo, UInt32 index, PROPID propID, UInt32 &res) {
    CPropVariant prop;
    RINOK(codecsInfo->GetProperty(index, propID, &prop));
    if (prop.vt == VT_EMPTY)
        res = 1;
    else if (prop.vt == VT_UI4)
        res = prop.ulVal;
    else
        return E_INVALIDARG;
    return S_OK;
}

// An assigned flag: empty means assigned.
HRESULT ReadIsAssignedProp(ICompressCodecsInfo *codecsInfo, UInt32 index, PROPID propID, bool &res) {
    CPropVariant prop;
    RINOK(codecsInfo->GetProperty(index, propID, &prop));
    if (prop.vt == VT_EMPTY)
        res = true;
    else if (prop.vt == VT_BOOL)
        res = (prop.boolVal != VARIANT_FALSE);
    else
        return E_INVALIDARG;
    return S_OK;
}

// Reads the id and the name; false when the entry is unusable (an id that is not 64-bit, a name
// that is not text).
template <class TGetProp> HRESULT ReadIdAndName(TGetProp getProp, UInt64 &id, AString &name, bool &usable) {
    usable = false;
    {
        CPropVariant prop;
        RINOK(getProp(NMethodPropID::kID, &prop));
        if (prop.vt != VT_UI8) return S_OK;
        id = prop.uhVal.QuadPart;
    }
    {
        CPropVariant prop;
        RINOK(getProp(NMethodPropID::kName, &prop));
        name.Empty();
        if (prop.vt == VT_BSTR) {
            if (prop.bstrVal) name.SetFromWStr_if_Ascii(prop.bstrVal);
        } else if (prop.vt != VT_EMPTY)
            return S_OK;
    }
    usable = true;
    return S_OK;
}

HRESULT CreateFromRegistry(ICompressCodecsInfo *codecsInfo, UInt32 index, bool encode, const GUID &iid, void **object) {
    *object = nullptr;
    return encode ? codecsInfo->CreateEncoder(index, &iid, object) : codecsInfo->CreateDecoder(index, &iid, object);
}

} // namespace

HRESULT CExternalCodecs::Load() {
    Codecs.Clear();
    Hashers.Clear();

    if (CodecsInfo) {
        UInt32 num;
        RINOK(CodecsInfo->GetNumMethods(&num));
        for (UInt32 i = 0; i < num; i++) {
            CExternalCodecInfo info;
            info.CodecIndex = i;
            bool usable;
            RINOK(ReadIdAndName(
                [&](PROPID propID, PROPVARIANT *value) { return CodecsInfo->GetProperty(i, propID, value); }, info.Id,
                info.Name, usable));
            if (!usable) continue;
            UInt32 numUnpackStreams;
            RINOK(ReadNumberOfStreams(CodecsInfo, i, NMethodPropID::kPackStreams, info.PackStreams));
            RINOK(ReadNumberOfStreams(CodecsInfo, i, NMethodPropID::kUnpackStreams, numUnpackStreams));
            if (numUnpackStreams != 1) continue;
            RINOK(ReadIsAssignedProp(CodecsInfo, i, NMethodPropID::kEncoderIsAssigned, info.HasEncoder));
            RINOK(ReadIsAssignedProp(CodecsInfo, i, NMethodPropID::kDecoderIsAssigned, info.HasDecoder));
            Codecs.Add(info);
        }
    }

    if (HashersInfo) {
        const UInt32 num = HashersInfo->GetNumHashers();
        for (UInt32 i = 0; i < num; i++) {
            CExternalHasherInfo info;
            info.HasherIndex = i;
            bool usable;
            RINOK(ReadIdAndName(
                [&](PROPID propID, PROPVARIANT *value) { return HashersInfo->GetHasherProp(i, propID, value); },
                info.Id, info.Name, usable));
            if (usable) Hashers.Add(info);
        }
    }
    return S_OK;
}

bool FindMethod(const CExternalCodecs *externalCodecs, const AString &name, UInt64 &methodId, UInt32 &numStreams) {
    for (unsigned i = 0; i < g_NumCodecs; i++) {
        const CCodecInfo &codec = *g_Codecs[i];
        if (StringsAreEqualNoCase_Ascii(name, codec.Name)) {
            methodId = codec.Id;
            numStreams = codec.NumStreams;
            return true;
        }
    }
    if (externalCodecs) {
        for (unsigned i = 0; i < externalCodecs->Codecs.Size(); i++) {
            const CExternalCodecInfo &codec = externalCodecs->Codecs[i];
            if (StringsAreEqualNoCase_Ascii(name, codec.Name)) {
                methodId = codec.Id;
                numStreams = codec.PackStreams;
                return true;
            }
        }
    }
    return false;
}

bool FindMethod(const CExternalCodecs *externalCodecs, UInt64 methodId, AString &name) {
    name.Empty();
    for (unsigned i = 0; i < g_NumCodecs; i++) {
        const CCodecInfo &codec = *g_Codecs[i];
        if (methodId == codec.Id) {
            name = codec.Name;
            return true;
        }
    }
    if (externalCodecs) {
        for (unsigned i = 0; i < externalCodecs->Codecs.Size(); i++) {
            const CExternalCodecInfo &codec = externalCodecs->Codecs[i];
            if (methodId == codec.Id) {
                name = codec.Name;
                return true;
            }
        }
    }
    return false;
}

bool FindHashMethod(const CExternalCodecs *externalCodecs, const AString &name, UInt64 &methodId) {
    for (unsigned i = 0; i < g_NumHashers; i++) {
        const CHasherInfo &hasher = *g_Hashers[i];
        if (StringsAreEqualNoCase_Ascii(name, hasher.Name)) {
            methodId = hasher.Id;
            return true;
        }
    }
    if (externalCodecs) {
        for (unsigned i = 0; i < externalCodecs->Hashers.Size(); i++) {
            const CExternalHasherInfo &hasher = externalCodecs->Hashers[i];
            if (StringsAreEqualNoCase_Ascii(name, hasher.Name)) {
                methodId = hasher.Id;
                return true;
            }
        }
    }
    return false;
}

void GetHashMethods(const CExternalCodecs *externalCodecs, CRecordVector<UInt64> &methods) {
    methods.Clear();
    for (unsigned i = 0; i < g_NumHashers; i++)
        methods.Add(g_Hashers[i]->Id);
    if (externalCodecs) {
        for (unsigned i = 0; i < externalCodecs->Hashers.Size(); i++)
            methods.Add(externalCodecs->Hashers[i].Id);
    }
}

HRESULT CreateCoder(const CExternalCodecs *externalCodecs, UInt64 methodId, bool encode,
                    CMyComPtr<ICompressFilter> &filter, CCreatedCoder &cod) {
    cod.FromPlugin = false;
    cod.WrapsFilter = false;
    cod.PackStreams = 1;

    for (unsigned i = 0; i < g_NumCodecs; i++) {
        const CCodecInfo &codec = *g_Codecs[i];
        if (codec.Id != methodId) continue;
        const CreateCodecP create = encode ? codec.CreateEncoder : codec.CreateDecoder;
        if (!create) continue;
        void *p = create();
        if (codec.IsFilter)
            filter = static_cast<ICompressFilter *>(p);
        else if (codec.NumStreams == 1)
            cod.Coder = static_cast<ICompressCoder *>(p);
        else {
            cod.MultiCoder = static_cast<ICompressCoder2 *>(p);
            cod.PackStreams = codec.NumStreams;
        }
        return S_OK;
    }

    if (!externalCodecs) return S_OK;
    cod.FromPlugin = true;

    for (unsigned i = 0; i < externalCodecs->Codecs.Size(); i++) {
        const CExternalCodecInfo &codec = externalCodecs->Codecs[i];
        if (codec.Id != methodId) continue;
        if (!(encode ? codec.HasEncoder : codec.HasDecoder)) continue;
        ICompressCodecsInfo *codecsInfo = externalCodecs->CodecsInfo;
        if (!codecsInfo) return S_OK;

        if (codec.PackStreams == 1) {
            CMyComPtr<ICompressCoder> coder;
            const HRESULT res = CreateFromRegistry(codecsInfo, codec.CodecIndex, encode, IID_ICompressCoder,
                                                   reinterpret_cast<void **>(&coder));
            // A codec that is only a filter answers that it has no stream coder.
            if (res != S_OK && res != E_NOINTERFACE && res != CLASS_E_CLASSNOTAVAILABLE) return res;
            if (res == S_OK && coder) {
                cod.Coder = coder;
                return S_OK;
            }
            CMyComPtr<ICompressFilter> newFilter;
            const HRESULT res2 = CreateFromRegistry(codecsInfo, codec.CodecIndex, encode, IID_ICompressFilter,
                                                    reinterpret_cast<void **>(&newFilter));
            filter = newFilter;
            return res2;
        }

        cod.PackStreams = codec.PackStreams;
        CMyComPtr<ICompressCoder2> multiCoder;
        const HRESULT res = CreateFromRegistry(codecsInfo, codec.CodecIndex, encode, IID_ICompressCoder2,
                                               reinterpret_cast<void **>(&multiCoder));
        cod.MultiCoder = multiCoder;
        return res;
    }
    return S_OK;
}

HRESULT CreateCoder(const CExternalCodecs *externalCodecs, UInt64 methodId, bool encode, CCreatedCoder &cod) {
    CMyComPtr<ICompressFilter> filter;
    const HRESULT res = CreateCoder(externalCodecs, methodId, encode, filter, cod);
    if (filter) {
        cod.WrapsFilter = true;
        CFilterCoder *coderSpec = new CFilterCoder(encode);
        cod.Coder = coderSpec;
        coderSpec->Filter = filter;
    }
    return res;
}

HRESULT CreateCoder(const CExternalCodecs *externalCodecs, UInt64 methodId, bool encode,
                    CMyComPtr<ICompressCoder> &coder) {
    CCreatedCoder cod;
    const HRESULT res = CreateCoder(externalCodecs, methodId, encode, cod);
    coder = cod.Coder;
    return res;
}

HRESULT CreateFilter(const CExternalCodecs *externalCodecs, UInt64 methodId, bool encode,
                     CMyComPtr<ICompressFilter> &filter) {
    CCreatedCoder cod;
    return CreateCoder(externalCodecs, methodId, encode, filter, cod);
}

HRESULT CreateHasher(const CExternalCodecs *externalCodecs, UInt64 methodId, AString &name,
                     CMyComPtr<IHasher> &hasher) {
    name.Empty();
    hasher.Release();
    for (unsigned i = 0; i < g_NumHashers; i++) {
        const CHasherInfo &codec = *g_Hashers[i];
        if (codec.Id == methodId && codec.CreateHasher) {
            hasher = codec.CreateHasher();
            name = codec.Name;
            break;
        }
    }
    if (!hasher && externalCodecs) {
        for (unsigned i = 0; i < externalCodecs->Hashers.Size(); i++) {
            const CExternalHasherInfo &codec = externalCodecs->Hashers[i];
            if (codec.Id != methodId) continue;
            name = codec.Name;
            if (!externalCodecs->HashersInfo) return S_OK;
            IHasher *p = nullptr;
            const HRESULT res = externalCodecs->HashersInfo->CreateHasher(codec.HasherIndex, &p);
            hasher.Attach(p);
            return res;
        }
    }
    return S_OK;
}
