#include "sevenzip/SevenZipKey.h"

#include "NameDecoder.h"

#include <openssl/evp.h>
#include <string.h>

namespace NPlugin {

bool CSevenZipAesProps::Parse(const std::vector<Byte> &props) {
    salt.clear();
    memset(iv, 0, sizeof(iv));
    if (props.empty()) return false;
    const Byte b0 = props[0];
    numCyclesPower = b0 & 0x3F;
    if ((b0 & 0xC0) == 0) return props.size() == 1;
    if (props.size() < 2) return false;
    const Byte b1 = props[1];
    const size_t saltSize = ((b0 >> 7) & 1) + (b1 >> 4);
    const size_t ivSize = ((b0 >> 6) & 1) + (b1 & 0x0F);
    if (props.size() != 2 + saltSize + ivSize || ivSize > 16) return false;
    salt.assign(props.begin() + 2, props.begin() + 2 + static_cast<long>(saltSize));
    memcpy(iv, props.data() + 2 + saltSize, ivSize);
    return numCyclesPower <= 24 || numCyclesPower == 0x3F;
}

std::vector<Byte> CSevenZipAesProps::Bytes() const {
    // Always a full 16-byte IV; salt of up to 16 bytes.
    std::vector<Byte> p;
    const size_t saltSize = salt.size();
    p.push_back(static_cast<Byte>(numCyclesPower | (saltSize ? 0x80 : 0) | 0x40));
    p.push_back(static_cast<Byte>(((saltSize ? saltSize - 1 : 0) << 4) | 15));
    p.insert(p.end(), salt.begin(), salt.end());
    p.insert(p.end(), iv, iv + 16);
    return p;
}

void CSevenZipKey::Clear() {
    if (!_password.empty()) memset(&_password[0], 0, _password.size());
    _password.clear();
    memset(_key, 0, sizeof(_key));
    _valid = false;
}

void CSevenZipKey::Derive(const std::string &password, const CSevenZipAesProps &props, Byte key[32]) {
    if (_valid && _cycles == props.numCyclesPower && _salt == props.salt && _password == password) {
        memcpy(key, _key, 32);
        return;
    }
    Clear();
    std::vector<Byte> unit(props.salt);
    const std::wstring wide = Utf8ToWide(password);
    for (wchar_t wc : wide) {
        UInt32 c = static_cast<UInt32>(wc);
        auto put = [&unit](UInt32 u) {
            unit.push_back(static_cast<Byte>(u));
            unit.push_back(static_cast<Byte>(u >> 8));
        };
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    if (props.numCyclesPower == 0x3F) {
        memset(_key, 0, 32);
        memcpy(_key, unit.data(), unit.size() < 32 ? unit.size() : 32);
    } else {
        // Rounds go to the hash in batches: one call per round would cost more than the hashing.
        const size_t unitSize = unit.size() + 8;
        const UInt64 rounds = static_cast<UInt64>(1) << props.numCyclesPower;
        const UInt64 perBatch = 1024;
        std::vector<Byte> batch(unitSize * perBatch);
        EVP_MD_CTX *ctx = EVP_MD_CTX_new();
        EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
        for (UInt64 done = 0; done < rounds;) {
            const UInt64 n = rounds - done < perBatch ? rounds - done : perBatch;
            for (UInt64 i = 0; i < n; i++) {
                Byte *p = batch.data() + i * unitSize;
                memcpy(p, unit.data(), unit.size());
                const UInt64 counter = done + i;
                for (int b = 0; b < 8; b++)
                    p[unit.size() + static_cast<size_t>(b)] = static_cast<Byte>(counter >> (8 * b));
            }
            EVP_DigestUpdate(ctx, batch.data(), n * unitSize);
            done += n;
        }
        unsigned len = 0;
        EVP_DigestFinal_ex(ctx, _key, &len);
        EVP_MD_CTX_free(ctx);
        memset(batch.data(), 0, batch.size());
    }
    memset(unit.data(), 0, unit.size());
    _valid = true;
    _cycles = props.numCyclesPower;
    _salt = props.salt;
    _password = password;
    memcpy(key, _key, 32);
}

} // namespace NPlugin
