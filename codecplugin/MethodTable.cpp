#include "MethodTable.h"

#include "coders/Bzip2Coder.h"
#include "coders/CopyCoder.h"
#include "coders/DeflateCoder.h"
#include "FormatTable.h"
#include "coders/LzmaCoder.h"
#include "PropVariantUtils.h"

namespace NPlugin {

namespace {

enum EMethod { kCopy, kDeflate, kBzip2, kLzma, kLzma2 };

struct CMethodInfo {
    UInt64 id;
    const wchar_t *name;
    EMethod method;
    Byte classIdByte;
    bool hasEncoder;
};

const CMethodInfo kMethods[] = {
    {0x00, L"Copy", kCopy, 1, true},       {0x040108, L"Deflate", kDeflate, 2, true},
    {0x040202, L"BZip2", kBzip2, 3, true}, {0x030101, L"LZMA", kLzma, 4, true},
    {0x21, L"LZMA2", kLzma2, 5, true},
};

} // namespace

UInt32 GetNumMethods() {
    return ARRAY_SIZE(kMethods);
}

HRESULT GetMethodProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    if (index >= ARRAY_SIZE(kMethods)) return E_INVALIDARG;
    const CMethodInfo &m = kMethods[index];
    switch (propID) {
    case NMethodPropID::kID:
        PropSetUInt64(value, m.id);
        return S_OK;
    case NMethodPropID::kName:
        return PropSetString(value, m.name);
    case NMethodPropID::kDecoder: {
        const GUID g = MakeClassId(kClassDecoder, m.classIdByte);
        return PropSetBinary(value, &g, sizeof(g));
    }
    case NMethodPropID::kEncoder: {
        if (!m.hasEncoder) return S_OK;
        const GUID g = MakeClassId(kClassEncoder, m.classIdByte);
        return PropSetBinary(value, &g, sizeof(g));
    }
    case NMethodPropID::kPackStreams:
    case NMethodPropID::kUnpackStreams:
        PropSetUInt32(value, 1);
        return S_OK;
    case NMethodPropID::kDecoderIsAssigned:
        PropSetBool(value, true);
        return S_OK;
    case NMethodPropID::kEncoderIsAssigned:
        PropSetBool(value, m.hasEncoder);
        return S_OK;
    default:
        return S_OK;
    }
}

HRESULT CreateMethodCoder(UInt32 index, bool encode, const GUID &iid, void **outObject) {
    COM_TRY_BEGIN
    *outObject = nullptr;
    if (index >= ARRAY_SIZE(kMethods)) return E_INVALIDARG;
    const CMethodInfo &m = kMethods[index];
    if (encode && !m.hasEncoder) return CLASS_E_CLASSNOTAVAILABLE;
    CMyComPtr<ICompressCoder> coder;
    switch (m.method) {
    case kCopy:
        coder = new CCopyCoder;
        break;
    case kDeflate:
        coder = new CDeflateCoder(encode);
        break;
    case kBzip2:
        coder = new CBzip2Coder(encode);
        break;
    case kLzma:
        coder = new CLzmaCoder(encode, false);
        break;
    case kLzma2:
        coder = new CLzmaCoder(encode, true);
        break;
    }
    return coder->QueryInterface(iid, outObject);
    COM_TRY_END
}

HRESULT CreateCoderByClassId(const GUID &classId, const GUID &iid, void **outObject) {
    *outObject = nullptr;
    for (UInt32 i = 0; i < ARRAY_SIZE(kMethods); i++) {
        if (classId == MakeClassId(kClassDecoder, kMethods[i].classIdByte))
            return CreateMethodCoder(i, false, iid, outObject);
        if (kMethods[i].hasEncoder && classId == MakeClassId(kClassEncoder, kMethods[i].classIdByte))
            return CreateMethodCoder(i, true, iid, outObject);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace NPlugin
