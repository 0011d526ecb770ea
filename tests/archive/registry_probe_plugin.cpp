// Small plug-in libraries for the registry tests, one per PROBE_* variant, built against the
// interface headers only. Calls that the tests watch for are appended to the environment variable
// TARNOVA_PROBE_LOG ("name:event;"), which every copy of every variant shares in one process.
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "common/MyCom.h"

#include <stdlib.h>
#include <string.h>

#include <string>

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef PROBE_NAME
#error PROBE_NAME names the variant
#endif

namespace {

// Not std::to_string: its digit table is a unique symbol, and a library holding one can never be
// unloaded, which the tests check.
std::string Decimal(UInt32 n) {
    std::string s;
    do {
        s.insert(s.begin(), (char)('0' + n % 10));
        n /= 10;
    } while (n != 0);
    return s;
}

void Log(const std::string &event) {
    const char *old = getenv("TARNOVA_PROBE_LOG");
    std::string s = old ? old : "";
    s += PROBE_NAME;
    s += ":" + event + ";";
    setenv("TARNOVA_PROBE_LOG", s.c_str(), 1);
}

// The program's BSTR layout: a 4-byte byte length before the characters, zeros after them.
BSTR AllocBytes(const void *data, UInt32 byteLen) {
    Byte *block = static_cast<Byte *>(malloc(4 + (size_t)byteLen + 8));
    if (!block) return nullptr;
    memcpy(block, &byteLen, 4);
    if (byteLen) memcpy(block + 4, data, byteLen);
    memset(block + 4 + byteLen, 0, 8);
    return reinterpret_cast<BSTR>(block + 4);
}

HRESULT SetText(PROPVARIANT *v, const wchar_t *s) {
    v->bstrVal = AllocBytes(s, (UInt32)(wcslen(s) * sizeof(wchar_t)));
    if (!v->bstrVal) return E_OUTOFMEMORY;
    v->vt = VT_BSTR;
    return S_OK;
}

HRESULT SetBytes(PROPVARIANT *v, const void *data, UInt32 size) {
    v->bstrVal = AllocBytes(data, size);
    if (!v->bstrVal) return E_OUTOFMEMORY;
    v->vt = VT_BSTR;
    return S_OK;
}

void SetUI4(PROPVARIANT *v, UInt32 x) {
    v->vt = VT_UI4;
    v->ulVal = x;
}

[[maybe_unused]] void SetUI8(PROPVARIANT *v, UInt64 x) {
    v->vt = VT_UI8;
    v->uhVal.QuadPart = x;
}

[[maybe_unused]] void SetBool(PROPVARIANT *v, bool x) {
    v->vt = VT_BOOL;
    v->boolVal = x ? VARIANT_TRUE : VARIANT_FALSE;
}

// {50524F42-0000-kind-0000-0000000000nn}: kind 1 format, 2 decoder, 3 encoder.
GUID MakeClassId(UInt16 kind, Byte id) {
    GUID g = {0x50524F42, 0, kind, {0, 0, 0, 0, 0, 0, 0, id}};
    return g;
}

CMyComPtr<ICompressCodecsInfo> g_Codecs;

} // namespace

// Kept until given null, as a library whose handlers use other libraries' codecs would.
PROBE_EXPORT HRESULT SetCodecs(ICompressCodecsInfo *codecs) {
    g_Codecs = codecs;
    if (!codecs) {
        Log("null");
        return S_OK;
    }
    UInt32 num = 0;
    codecs->GetNumMethods(&num);
    Log("set" + Decimal(num));
    return S_OK;
}

PROBE_EXPORT HRESULT SetCaseSensitive(Int32 caseSensitive) {
    Log("case" + Decimal((UInt32)caseSensitive));
    return S_OK;
}

#ifdef PROBE_FORMATS

namespace {

enum { kAbsent = -1, kWrongType = -2 };

struct CFormat {
    const wchar_t *name;
    int classIdLen; // 16; 0 for none; anything else is malformed
    Byte classIdByte;
    const wchar_t *exts;
    const wchar_t *addExts;
    int update;    // kAbsent, 0, 1 or kWrongType
    Int64 flags;   // kAbsent, kWrongType or the flag word
    int boolFlags; // bits 0..2: properties 5, 9 and 10
    const char *sig;
    unsigned sigLen;
    const char *multiSig;
    unsigned multiSigLen;
    Int64 offset; // kAbsent or the offset
};

[[maybe_unused]] UInt32 IsArcProbe(const Byte *p, size_t size) {
    if (size < 3) return k_IsArc_Res_NEED_MORE;
    return memcmp(p, "ALP", 3) == 0 ? k_IsArc_Res_YES : k_IsArc_Res_NO;
}

#if defined(PROBE_ALPHA)
const CFormat kFormats[] = {
    {L"Alpha", 16, 0xA1, L"alp  alq tgz", L"* cc", 1, 0x41, 0, "ALP", 3, nullptr, 0, 4},
    {L"NoId", 0, 0, L"noid", L"", 1, 0, 0, nullptr, 0, nullptr, 0, kAbsent},
    {L"Beta", 16, 0xB2, L"bet zip", L"", kAbsent, kAbsent, 5, "", 0,
     "\x03"
     "abc"
     "\x00\x02x",
     7, kAbsent},
    {L"Gamma", 16, 0xC3, L"gam exe", L"", kWrongType, kAbsent, 7, nullptr, 0, nullptr, 0, kAbsent},
};
#elif defined(PROBE_DELTA)
const CFormat kFormats[] = {
    {L"Delta", 16, 0xD4, L"dlt", L"", 0, 0, 0, "DLT", 3, nullptr, 0, 0},
};
#elif defined(PROBE_NOCLSID)
const CFormat kFormats[] = {
    {L"Anonymous", 0, 0, L"anon", L"", 0, 0, 0, nullptr, 0, nullptr, 0, 0},
};
#elif defined(PROBE_CLASSID15)
const CFormat kFormats[] = {
    {L"Short", 15, 0xE5, L"sho", L"", 0, 0, 0, nullptr, 0, nullptr, 0, 0},
};
#elif defined(PROBE_CLASSID17)
const CFormat kFormats[] = {
    {L"Long", 17, 0xE6, L"lon", L"", 0, 0, 0, nullptr, 0, nullptr, 0, 0},
};
#elif defined(PROBE_WRONGTYPE)
const CFormat kFormats[] = {
    {L"Good", 16, 0xF7, L"goo", L"", 0, 0, 0, nullptr, 0, nullptr, 0, 0},
    {L"Bad", 16, 0xF8, L"bad", L"", 0, kWrongType, 0, nullptr, 0, nullptr, 0, 0},
    {L"After", 16, 0xF9, L"aft", L"", 0, 0, 0, nullptr, 0, nullptr, 0, 0},
};
#elif defined(PROBE_NOCREATE) || defined(PROBE_SINGLE)
const CFormat kFormats[] = {
    {L"Single", 16, 0x51, L"sgl", L"", 1, 0x10, 0, "SGL", 3, nullptr, 0, 0},
};
#else
#error unknown format variant
#endif

const UInt32 kNumFormats = sizeof(kFormats) / sizeof(kFormats[0]);

HRESULT GetFormatProp(UInt32 index, PROPID propID, PROPVARIANT *value) {
    if (index >= kNumFormats) return E_INVALIDARG;
    const CFormat &f = kFormats[index];
    switch (propID) {
    case NArchive::NHandlerPropID::kName:
        return SetText(value, f.name);
    case NArchive::NHandlerPropID::kClassID: {
        if (f.classIdLen == 0) return S_OK;
        Byte bytes[20];
        const GUID g = MakeClassId(1, f.classIdByte);
        memset(bytes, 0x77, sizeof(bytes));
        memcpy(bytes, &g, sizeof(g));
        return SetBytes(value, bytes, (UInt32)f.classIdLen);
    }
    case NArchive::NHandlerPropID::kExtension:
        return SetText(value, f.exts);
    case NArchive::NHandlerPropID::kAddExtension:
        return f.addExts[0] ? SetText(value, f.addExts) : S_OK;
    case NArchive::NHandlerPropID::kUpdate:
        if (f.update == kWrongType)
            SetUI4(value, 1);
        else if (f.update != kAbsent)
            SetBool(value, f.update != 0);
        return S_OK;
    case NArchive::NHandlerPropID::kKeepName:
        SetBool(value, (f.boolFlags & 1) != 0);
        return S_OK;
    case NArchive::NHandlerPropID::kAltStreams:
        SetBool(value, (f.boolFlags & 2) != 0);
        return S_OK;
    case NArchive::NHandlerPropID::kNtSecure:
        SetBool(value, (f.boolFlags & 4) != 0);
        return S_OK;
    case NArchive::NHandlerPropID::kSignature:
        return f.sig ? SetBytes(value, f.sig, f.sigLen) : S_OK;
    case NArchive::NHandlerPropID::kMultiSignature:
        return f.multiSig ? SetBytes(value, f.multiSig, f.multiSigLen) : S_OK;
    case NArchive::NHandlerPropID::kSignatureOffset:
        if (f.offset != kAbsent) SetUI4(value, (UInt32)f.offset);
        return S_OK;
    case NArchive::NHandlerPropID::kFlags:
        if (f.flags == kWrongType) return SetText(value, L"flags");
        if (f.flags != kAbsent) SetUI4(value, (UInt32)f.flags);
        return S_OK;
    default:
        return S_OK;
    }
}

} // namespace

#ifndef PROBE_NOCREATE
PROBE_EXPORT HRESULT CreateObject(const GUID *, const GUID *, void **outObject) {
    *outObject = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
#endif

#ifdef PROBE_SINGLE
PROBE_EXPORT HRESULT GetHandlerProperty(PROPID propID, PROPVARIANT *value) {
    return GetFormatProp(0, propID, value);
}
#else
PROBE_EXPORT HRESULT GetNumberOfFormats(UInt32 *numFormats) {
    *numFormats = kNumFormats;
    return S_OK;
}

PROBE_EXPORT HRESULT GetHandlerProperty2(UInt32 formatIndex, PROPID propID, PROPVARIANT *value) {
    return GetFormatProp(formatIndex, propID, value);
}

PROBE_EXPORT HRESULT GetIsArc(UInt32 formatIndex, Func_IsArc *isArc) {
    *isArc = formatIndex == 0 ? IsArcProbe : nullptr;
    return S_OK;
}
#endif

#endif // PROBE_FORMATS

#ifdef PROBE_CODECS

namespace {

// Writes a fixed text whatever the input: which object ran shows in the output.
class CStampCoder : public ICompressCoder, public CMyUnknownImp {
    std::string _stamp;

public:
    explicit CStampCoder(const std::string &stamp) : _stamp(stamp) {}
    COM_UNKNOWN_IMP(ICompressCoder)
    HRESULT Code(ISequentialInStream *, ISequentialOutStream *outStream, const UInt64 *, const UInt64 *,
                 ICompressProgressInfo *) override {
        UInt32 processed = 0;
        return outStream->Write(_stamp.data(), (UInt32)_stamp.size(), &processed);
    }
};

// Only a filter: asked for ICompressCoder it answers E_NOINTERFACE.
class CXorFilter : public ICompressFilter, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(ICompressFilter)
    HRESULT Init() override { return S_OK; }
    UInt32 Filter(Byte *data, UInt32 size) override {
        for (UInt32 i = 0; i < size; i++)
            data[i] ^= 0x5A;
        return size;
    }
};

class CTwoStreamCoder : public ICompressCoder2, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(ICompressCoder2)
    HRESULT Code(ISequentialInStream *const *, const UInt64 *const *, UInt32, ISequentialOutStream *const *,
                 const UInt64 *const *, UInt32, ICompressProgressInfo *) override {
        return E_NOTIMPL;
    }
};

enum EKind { kStamp, kXor, kTwo };

struct CMethod {
    bool idIsUInt64;
    UInt64 id;
    int nameKind; // 0 text, 1 a number (unusable), 2 none
    const wchar_t *name;
    int packStreams;   // 0: not given
    int unpackStreams; // 0: not given
    Byte classIdByte;  // decoder and encoder class ids end in it
    bool hasEncoderClassId;
    EKind kind;
    const char *stamp;
};

// Entries 0, 2 and 4 are of no use to the cache; the ones after them sit at other positions there.
const CMethod kMethods[] = {
    {false, 0x100, 0, L"BadId", 0, 0, 0x10, true, kStamp, "BAD-ID"},
    {true, 0x101, 0, L"Xor", 1, 1, 0x11, true, kXor, nullptr},
    {true, 0x102, 0, L"TwoOut", 1, 2, 0x12, true, kStamp, "TWO-OUT"},
    {true, 0x103, 0, L"Stamp", 0, 0, 0x13, true, kStamp, "STAMP"},
    {true, 0x104, 1, nullptr, 1, 1, 0x14, true, kStamp, "NUMBER-NAME"},
    {true, 0x105, 2, nullptr, 1, 1, 0x15, false, kStamp, "DEC-ONLY"},
    {true, 0x106, 0, L"Multi", 2, 1, 0x16, true, kTwo, nullptr},
#ifdef PROBE_BADCODEC
    {true, 0x107, 0, L"ShortId", 1, 1, 0x17, true, kStamp, "SHORT"},
#endif
};
const UInt32 kNumMethods = sizeof(kMethods) / sizeof(kMethods[0]);

HRESULT CreateMethodObject(UInt32 index, bool encode, const GUID *iid, void **outObject) {
    *outObject = nullptr;
    if (index >= kNumMethods) return E_INVALIDARG;
    const CMethod &m = kMethods[index];
    CMyComPtr<IUnknown> object;
    if (m.kind == kXor)
        object = static_cast<ICompressFilter *>(new CXorFilter);
    else if (m.kind == kTwo)
        object = static_cast<ICompressCoder2 *>(new CTwoStreamCoder);
    else
        object = static_cast<ICompressCoder *>(new CStampCoder(std::string(m.stamp) + (encode ? "-E" : "-D")));
    return object->QueryInterface(*iid, outObject);
}

// Sum of the bytes, or (the unusable first entry) their count: which hasher ran shows in the digest.
class CProbeHasher : public IHasher, public CMyUnknownImp {
    bool _count;
    UInt32 _value = 0;

public:
    explicit CProbeHasher(bool count) : _count(count) {}
    COM_UNKNOWN_IMP(IHasher)
    void Init() override { _value = 0; }
    void Update(const void *data, UInt32 size) override {
        for (UInt32 i = 0; i < size; i++)
            _value += _count ? 1 : static_cast<const Byte *>(data)[i];
    }
    void Final(Byte *digest) override { memcpy(digest, &_value, 4); }
    UInt32 GetDigestSize() override { return 4; }
};

class CProbeHashers : public IHashers, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IHashers)
    UInt32 GetNumHashers() override { return 3; }
    HRESULT GetHasherProp(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        if (index >= 3) return E_INVALIDARG;
        switch (propID) {
        case NMethodPropID::kID:
            if (index == 0)
                SetUI4(value, 0x200);
            else
                SetUI8(value, 0x200 + index);
            return S_OK;
        case NMethodPropID::kName:
            return SetText(value, index == 0 ? L"Count" : index == 1 ? L"Sum" : L"Sum\u00e9");
        case NMethodPropID::kDigestSize:
            if (index != 2) SetUI4(value, 4);
            return S_OK;
        default:
            return S_OK;
        }
    }
    HRESULT CreateHasher(UInt32 index, IHasher **hasher) override {
        *hasher = nullptr;
        if (index >= 3) return E_INVALIDARG;
        CMyComPtr<IHasher> h = new CProbeHasher(index == 0);
        *hasher = h.Detach();
        return S_OK;
    }
};

} // namespace

PROBE_EXPORT HRESULT GetNumberOfMethods(UInt32 *numMethods) {
    *numMethods = kNumMethods;
    return S_OK;
}

PROBE_EXPORT HRESULT GetMethodProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    if (index >= kNumMethods) return E_INVALIDARG;
    const CMethod &m = kMethods[index];
    switch (propID) {
    case NMethodPropID::kID:
        if (m.idIsUInt64)
            SetUI8(value, m.id);
        else
            SetUI4(value, (UInt32)m.id);
        return S_OK;
    case NMethodPropID::kName:
        if (m.nameKind == 0) return SetText(value, m.name);
        if (m.nameKind == 1) SetUI4(value, 1);
        return S_OK;
    case NMethodPropID::kDecoder:
    case NMethodPropID::kEncoder: {
        if (propID == NMethodPropID::kEncoder && !m.hasEncoderClassId) return S_OK;
        const GUID g = MakeClassId(propID == NMethodPropID::kDecoder ? 2 : 3, m.classIdByte);
        // The last entry of the bad variant has a 15-byte encoder class id.
        const UInt32 len = (m.id == 0x107 && propID == NMethodPropID::kEncoder) ? 15 : 16;
        return SetBytes(value, &g, len);
    }
    case NMethodPropID::kPackStreams:
        if (m.packStreams) SetUI4(value, (UInt32)m.packStreams);
        return S_OK;
    case NMethodPropID::kUnpackStreams:
        if (m.unpackStreams) SetUI4(value, (UInt32)m.unpackStreams);
        return S_OK;
    default:
        return S_OK;
    }
}

// Decoders by index; encoders only through CreateObject and their class id.
PROBE_EXPORT HRESULT CreateDecoder(UInt32 index, const GUID *iid, void **outObject) {
    return CreateMethodObject(index, false, iid, outObject);
}

PROBE_EXPORT HRESULT CreateObject(const GUID *classId, const GUID *iid, void **outObject) {
    *outObject = nullptr;
    for (UInt32 i = 0; i < kNumMethods; i++) {
        if (*classId == MakeClassId(3, kMethods[i].classIdByte)) return CreateMethodObject(i, true, iid, outObject);
        if (*classId == MakeClassId(2, kMethods[i].classIdByte)) {
            Log("decoder-by-class-id");
            return CreateMethodObject(i, false, iid, outObject);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

PROBE_EXPORT HRESULT GetHashers(IHashers **hashers) {
    CMyComPtr<IHashers> h = new CProbeHashers;
    *hashers = h.Detach();
    return S_OK;
}

#endif // PROBE_CODECS
