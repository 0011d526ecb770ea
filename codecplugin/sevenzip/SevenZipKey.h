#pragma once

// AES-256 keys of 7z: SHA-256 over 2^n rounds of salt, the UTF-16LE password and a round counter.
// The last key is kept, since every folder of an archive usually shares salt and round count.
#include "common/MyWindows.h"

#include <string>
#include <vector>

namespace NPlugin {

struct CSevenZipAesProps {
    UInt32 numCyclesPower = 19;
    std::vector<Byte> salt;
    Byte iv[16] = {};

    bool Parse(const std::vector<Byte> &props);
    std::vector<Byte> Bytes() const;
};

class CSevenZipKey {
    bool _valid = false;
    UInt32 _cycles = 0;
    std::vector<Byte> _salt;
    std::string _password;
    Byte _key[32] = {};

public:
    ~CSevenZipKey() { Clear(); }
    void Clear();
    // password: UTF-8.
    void Derive(const std::string &password, const CSevenZipAesProps &props, Byte key[32]);
};

} // namespace NPlugin
