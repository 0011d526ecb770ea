#pragma once

// The write options of one output format, as the program sends them through ISetProperties: a
// level, a method, a thread count and, for zip, an encryption method. Names are matched without
// case and may carry their number ("x9", "mt4", "d24"); what a format cannot take is refused.
#include "common/MyWindows.h"

#include <string>

namespace NPlugin {

struct CFormatInfo;

enum class EWriteFormat { kNone, k7z, kZip, kTar, kGzip, kBzip2, kXz, kZstd };

enum class EWriteMethod { kDefault, kCopy, kDeflate, kBzip2, kLzma, kLzma2, kPpmd, kZstd };

enum class EZipEncryption { kZipCrypto, kAes128, kAes192, kAes256 };

UInt32 NumCpus();

// Which writer a format has; kNone when it cannot be written.
EWriteFormat WriteFormatOf(const CFormatInfo &format);

class CWriteProps {
    EWriteFormat _format;

    HRESULT SetOne(const std::wstring &name, const PROPVARIANT &value);

public:
    explicit CWriteProps(EWriteFormat format) : _format(format) {}

    int level = -1; // -1: the library's default
    EWriteMethod method = EWriteMethod::kDefault;
    UInt32 threads = 0; // 0: the library's default
    EZipEncryption encryption = EZipEncryption::kZipCrypto;
    bool encryptionGiven = false; // "em" was set
    bool encryptHeaders = false;  // 7z "he"
    bool encryptHeadersGiven = false;
    // Set by the 7z handler, never by Set(): the archive being updated has its names encrypted.
    bool oldHeadersEncrypted = false;

    void Reset();
    // All or nothing: a failing property leaves the defaults.
    HRESULT Set(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps);
};

} // namespace NPlugin
