// A stand-in plug-in built the way codecplugin/ will be: against the interface headers only, with
// hidden visibility and -z defs, linking none of the program's code. It carries its own BSTR
// function, as the real plug-in will.
#include "archive/ICoder.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

static std::atomic<int> g_liveObjects(0);

// The plug-in's own copy: same block rules as the program's, so the program can free the result.
BSTR SysAllocString(const OLECHAR *text) {
    if (!text) return nullptr;
    const size_t len = wcslen(text);
    void *block = malloc(4 + 4 * (len + 1));
    if (!block) return nullptr;
    const UInt32 byteLen = static_cast<UInt32>(len * 4);
    memcpy(block, &byteLen, 4);
    BSTR b = reinterpret_cast<BSTR>(static_cast<Byte *>(block) + 4);
    memcpy(b, text, (len + 1) * 4);
    return b;
}

namespace {

class CSumHasher : public IHasher, public CMyUnknownImp {
    UInt32 _sum = 0;

public:
    COM_UNKNOWN_IMP(IHasher)
    CSumHasher() { g_liveObjects++; }
    ~CSumHasher() override { g_liveObjects--; }
    void Init() override { _sum = 0; }
    void Update(const void *data, UInt32 size) override {
        for (UInt32 i = 0; i < size; i++)
            _sum += static_cast<const Byte *>(data)[i];
    }
    void Final(Byte *digest) override { memcpy(digest, &_sum, 4); }
    UInt32 GetDigestSize() override { return 4; }
};

class CProbeHashers : public IHashers, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IHashers)
    CProbeHashers() { g_liveObjects++; }
    ~CProbeHashers() override { g_liveObjects--; }
    UInt32 GetNumHashers() override { return 1; }
    HRESULT GetHasherProp(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        if (index != 0) return E_INVALIDARG;
        if (propID == NMethodPropID::kName) {
            value->bstrVal = SysAllocString(L"probe-sum");
            if (!value->bstrVal) return E_OUTOFMEMORY;
            value->vt = VT_BSTR;
        } else if (propID == NMethodPropID::kDigestSize) {
            value->vt = VT_UI4;
            value->ulVal = 4;
        }
        return S_OK;
    }
    HRESULT CreateHasher(UInt32 index, IHasher **hasher) override {
        COM_TRY_BEGIN
        *hasher = nullptr;
        if (index != 0) return E_INVALIDARG;
        CMyComPtr<IHasher> h = new CSumHasher;
        *hasher = h.Detach();
        return S_OK;
        COM_TRY_END
    }
};

const Byte kData[] = {'p', 'r', 'o', 'b', 'e'};

class CProbeInStream : public IInStream, public IStreamGetSize, public CMyUnknownImp {
    UInt64 _pos = 0;

public:
    COM_UNKNOWN_IMP(IInStream, IStreamGetSize)
    CProbeInStream() { g_liveObjects++; }
    ~CProbeInStream() override { g_liveObjects--; }
    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override {
        UInt32 n = 0;
        if (_pos < sizeof(kData)) {
            n = static_cast<UInt32>(sizeof(kData) - _pos);
            if (n > size) n = size;
            memcpy(data, kData + _pos, n);
            _pos += n;
        }
        if (processedSize) *processedSize = n;
        return S_OK;
    }
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override {
        Int64 base;
        switch (seekOrigin) {
        case STREAM_SEEK_SET:
            base = 0;
            break;
        case STREAM_SEEK_CUR:
            base = static_cast<Int64>(_pos);
            break;
        case STREAM_SEEK_END:
            base = sizeof(kData);
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        if (base + offset < 0) return HRESULT_WIN32_ERROR_NEGATIVE_SEEK;
        _pos = static_cast<UInt64>(base + offset);
        if (newPosition) *newPosition = _pos;
        return S_OK;
    }
    HRESULT GetSize(UInt64 *size) override {
        *size = sizeof(kData);
        return S_OK;
    }
};

} // namespace

// Class id of the probe stream: any 16 bytes the program and the plug-in agree on.
static const GUID kProbeStreamClassId = {0x23170F69, 0x40C1, 0x278A, {0x10, 0, 0, 0x99, 0, 0x01, 0, 0}};

PROBE_EXPORT HRESULT CreateObject(const GUID *clsID, const GUID *iid, void **outObject) {
    COM_TRY_BEGIN
    *outObject = nullptr;
    if (*clsID != kProbeStreamClassId) return CLASS_E_CLASSNOTAVAILABLE;
    CMyComPtr<IInStream> stream = new CProbeInStream;
    return stream->QueryInterface(*iid, outObject);
    COM_TRY_END
}

PROBE_EXPORT HRESULT GetHashers(IHashers **hashers) {
    COM_TRY_BEGIN
    CMyComPtr<IHashers> h = new CProbeHashers;
    *hashers = h.Detach();
    return S_OK;
    COM_TRY_END
}

PROBE_EXPORT int ProbeLiveObjects() {
    return g_liveObjects.load();
}

// Keep the exported signatures in step with the registry's typedefs.
static_assert(sizeof(static_cast<Func_CreateObject>(&CreateObject)) != 0, "CreateObject signature");
static_assert(sizeof(static_cast<Func_GetHashers>(&GetHashers)) != 0, "GetHashers signature");
