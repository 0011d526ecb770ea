#include "coders/Hashers.h"

#include "PropVariantUtils.h"

#include <lzma.h>
#include <openssl/evp.h>
#include <zlib.h>

namespace NPlugin {

namespace {

class CCrc32Hasher : public IHasher, public CMyUnknownImp {
    uLong _crc = 0;

public:
    virtual ~CCrc32Hasher() {}
    COM_UNKNOWN_IMP(IHasher)
    void Init() override { _crc = crc32(0L, Z_NULL, 0); }
    void Update(const void *data, UInt32 size) override { _crc = crc32(_crc, static_cast<const Bytef *>(data), size); }
    // Stored low byte first, as the program prints short digests from the last byte.
    void Final(Byte *digest) override {
        const UInt32 v = static_cast<UInt32>(_crc);
        for (int i = 0; i < 4; i++)
            digest[i] = static_cast<Byte>(v >> (8 * i));
    }
    UInt32 GetDigestSize() override { return 4; }
};

class CCrc64Hasher : public IHasher, public CMyUnknownImp {
    uint64_t _crc = 0;

public:
    virtual ~CCrc64Hasher() {}
    COM_UNKNOWN_IMP(IHasher)
    void Init() override { _crc = 0; }
    void Update(const void *data, UInt32 size) override {
        _crc = lzma_crc64(static_cast<const uint8_t *>(data), size, _crc);
    }
    void Final(Byte *digest) override {
        for (int i = 0; i < 8; i++)
            digest[i] = static_cast<Byte>(_crc >> (8 * i));
    }
    UInt32 GetDigestSize() override { return 8; }
};

class CEvpHasher : public IHasher, public CMyUnknownImp {
    const EVP_MD *_md;
    EVP_MD_CTX *_ctx;

public:
    explicit CEvpHasher(const EVP_MD *md) : _md(md), _ctx(EVP_MD_CTX_new()) {
        if (!_ctx) throw std::bad_alloc();
        Init();
    }
    virtual ~CEvpHasher() { EVP_MD_CTX_free(_ctx); }
    COM_UNKNOWN_IMP(IHasher)
    void Init() override { EVP_DigestInit_ex(_ctx, _md, nullptr); }
    void Update(const void *data, UInt32 size) override { EVP_DigestUpdate(_ctx, data, size); }
    void Final(Byte *digest) override {
        unsigned len = 0;
        EVP_DigestFinal_ex(_ctx, digest, &len);
    }
    UInt32 GetDigestSize() override { return static_cast<UInt32>(EVP_MD_get_size(_md)); }
};

struct CHasherInfo {
    UInt64 id;
    const wchar_t *name;
    UInt32 digestSize;
};

const CHasherInfo kHashers[] = {
    {0x1, L"CRC32", 4},
    {0x4, L"CRC64", 8},
    {0x201, L"SHA1", 20},
    {0xA, L"SHA256", 32},
};

} // namespace

UInt32 CHashers::GetNumHashers() {
    return ARRAY_SIZE(kHashers);
}

HRESULT CHashers::GetHasherProp(UInt32 index, PROPID propID, PROPVARIANT *value) {
    if (index >= ARRAY_SIZE(kHashers)) return E_INVALIDARG;
    const CHasherInfo &h = kHashers[index];
    switch (propID) {
    case NMethodPropID::kID:
        PropSetUInt64(value, h.id);
        return S_OK;
    case NMethodPropID::kName:
        return PropSetString(value, h.name);
    case NMethodPropID::kDigestSize:
        PropSetUInt32(value, h.digestSize);
        return S_OK;
    default:
        return S_OK;
    }
}

HRESULT CHashers::CreateHasher(UInt32 index, IHasher **hasher) {
    COM_TRY_BEGIN
    *hasher = nullptr;
    CMyComPtr<IHasher> h;
    switch (index) {
    case 0:
        h = new CCrc32Hasher;
        break;
    case 1:
        h = new CCrc64Hasher;
        break;
    case 2:
        h = new CEvpHasher(EVP_sha1());
        break;
    case 3:
        h = new CEvpHasher(EVP_sha256());
        break;
    default:
        return E_INVALIDARG;
    }
    h->Init();
    *hasher = h.Detach();
    return S_OK;
    COM_TRY_END
}

} // namespace NPlugin
