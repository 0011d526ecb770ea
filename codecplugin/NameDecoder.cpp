#include "NameDecoder.h"

#include "common/MyTypes.h"

#include <archive_entry.h>
#include <errno.h>
#include <iconv.h>
#include <string.h>

namespace NPlugin {

namespace {

const wchar_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// Length of the UTF-8 sequence at p (0 when it is not a well-formed one: overlong forms,
// surrogates and values above U+10FFFF are refused), and its code point.
size_t Utf8Sequence(const unsigned char *p, size_t avail, UInt32 &cp) {
    const unsigned char c = p[0];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    size_t n;
    UInt32 min;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (avail < n) return 0;
    for (size_t i = 1; i < n; i++) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

} // namespace

bool IsValidUtf8(const std::string &s) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
    size_t i = 0;
    while (i < s.size()) {
        UInt32 cp;
        const size_t n = Utf8Sequence(p + i, s.size() - i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::wstring Utf8ToWide(const std::string &s) {
    std::wstring out;
    out.reserve(s.size());
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
    size_t i = 0;
    while (i < s.size()) {
        UInt32 cp;
        const size_t n = Utf8Sequence(p + i, s.size() - i, cp);
        if (n == 0) {
            out += static_cast<wchar_t>(0xFFFD);
            i++;
        } else {
            out += static_cast<wchar_t>(cp);
            i += n;
        }
    }
    return out;
}

std::string WideToUtf8(const wchar_t *s) {
    std::string out;
    for (; s && *s; s++) {
        UInt32 c = static_cast<UInt32>(*s);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool DecodeGb18030(const std::string &s, std::wstring &out) {
    out.clear();
    iconv_t cd = iconv_open("UTF-32LE", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string buf(s.size() * 4 + 4, '\0');
    char *in = const_cast<char *>(s.data());
    size_t inLeft = s.size();
    char *outp = &buf[0];
    size_t outLeft = buf.size();
    const size_t r = iconv(cd, &in, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || inLeft != 0) return false;
    const size_t produced = buf.size() - outLeft;
    for (size_t i = 0; i + 4 <= produced; i += 4) {
        UInt32 cp;
        memcpy(&cp, buf.data() + i, 4);
        out += static_cast<wchar_t>(cp);
    }
    return true;
}

std::wstring DecodeCp437(const std::string &s) {
    std::wstring out;
    out.reserve(s.size());
    for (unsigned char c : s)
        out += c < 0x80 ? static_cast<wchar_t>(c) : kCp437High[c - 0x80];
    return out;
}

std::wstring BytesAsChars(const std::string &s) {
    std::wstring out;
    out.reserve(s.size());
    for (unsigned char c : s)
        out += static_cast<wchar_t>(c);
    return out;
}

std::wstring DecodeName(const char *utf8, const char *raw, bool utf16Conversion) {
    if (!utf16Conversion) {
        if (raw) return BytesAsChars(raw);
        return utf8 ? BytesAsChars(utf8) : std::wstring();
    }
    if (raw && !IsValidUtf8(raw)) {
        std::wstring w;
        if (DecodeGb18030(raw, w)) return w;
        return DecodeCp437(raw);
    }
    if (utf8) return Utf8ToWide(utf8);
    return raw ? Utf8ToWide(raw) : std::wstring();
}

std::wstring EntryPath(archive_entry *entry, bool utf16Conversion) {
    const char *raw = archive_entry_pathname(entry);
    const char *utf8 = archive_entry_pathname_utf8(entry);
    if (!raw && !utf8) {
        const wchar_t *w = archive_entry_pathname_w(entry);
        return w ? std::wstring(w) : std::wstring();
    }
    return DecodeName(utf8, raw, utf16Conversion);
}

std::wstring EntrySymlink(archive_entry *entry, bool utf16Conversion) {
    const char *raw = archive_entry_symlink(entry);
    const char *utf8 = archive_entry_symlink_utf8(entry);
    return DecodeName(utf8, raw, utf16Conversion);
}

std::wstring EntryHardlink(archive_entry *entry, bool utf16Conversion) {
    const char *raw = archive_entry_hardlink(entry);
    const char *utf8 = archive_entry_hardlink_utf8(entry);
    return DecodeName(utf8, raw, utf16Conversion);
}

} // namespace NPlugin
