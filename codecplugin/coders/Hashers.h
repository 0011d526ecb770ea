#pragma once

// The hash methods the plug-in offers through IHashers: CRC32 (zlib), CRC64 (liblzma), SHA1 and
// SHA256 (OpenSSL).
#include "archive/ICoder.h"
#include "common/MyCom.h"

namespace NPlugin {

class CHashers : public IHashers, public CMyUnknownImp {
public:
    CHashers() {}
    virtual ~CHashers() {}

    COM_UNKNOWN_IMP(IHashers)

    UInt32 GetNumHashers() override;
    HRESULT GetHasherProp(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT CreateHasher(UInt32 index, IHasher **hasher) override;
};

} // namespace NPlugin
