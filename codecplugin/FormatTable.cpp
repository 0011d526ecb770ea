#include "FormatTable.h"

#include "libarchive/LibarchiveHandler.h"
#include "PropVariantUtils.h"
#include "sevenzip/SevenZipHandler.h"
#include "streams/SplitHandler.h"
#include "streams/StreamHandler.h"
#include "WriteProps.h"
#include "zip/ZipHandler.h"
#include "common/MyCom.h"

#include <archive.h>
#include <string.h>

namespace NPlugin {

namespace {

using namespace NArcInfoFlags;

void Setup7z(struct archive *a) {
    archive_read_support_format_7zip(a);
}
void SetupZipSeekable(struct archive *a) {
    archive_read_support_format_zip_seekable(a);
}
void SetupZipStreamable(struct archive *a) {
    archive_read_support_format_zip_streamable(a);
}
void SetupTar(struct archive *a) {
    archive_read_support_format_tar(a);
}
void SetupRar(struct archive *a) {
    archive_read_support_format_rar(a);
}
void SetupRar5(struct archive *a) {
    archive_read_support_format_rar5(a);
}
void SetupCab(struct archive *a) {
    archive_read_support_format_cab(a);
}
void SetupIso(struct archive *a) {
    archive_read_support_format_iso9660(a);
}
void SetupCpio(struct archive *a) {
    archive_read_support_format_cpio(a);
}
void SetupAr(struct archive *a) {
    archive_read_support_format_ar(a);
}
void SetupXar(struct archive *a) {
    archive_read_support_format_xar(a);
}
void SetupLha(struct archive *a) {
    archive_read_support_format_lha(a);
}
// An rpm is a lead and headers before a compressed cpio payload. Only built-in decoders: the
// filters that run outside programs stay off.
void SetupRpm(struct archive *a) {
    archive_read_support_filter_rpm(a);
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_xz(a);
    archive_read_support_filter_lzma(a);
    archive_read_support_filter_zstd(a);
    archive_read_support_format_cpio(a);
}
void SetupGzip(struct archive *a) {
    archive_read_support_filter_gzip(a);
    archive_read_support_format_raw(a);
}
void SetupBzip2(struct archive *a) {
    archive_read_support_filter_bzip2(a);
    archive_read_support_format_raw(a);
}
void SetupXz(struct archive *a) {
    archive_read_support_filter_xz(a);
    archive_read_support_format_raw(a);
}
void SetupZstd(struct archive *a) {
    archive_read_support_filter_zstd(a);
    archive_read_support_format_raw(a);
}

UInt32 ParseOctal(const Byte *p, size_t n, bool &ok) {
    UInt32 v = 0;
    size_t i = 0;
    while (i < n && p[i] == ' ')
        i++;
    size_t digits = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '7'; i++, digits++)
        v = (v << 3) | static_cast<UInt32>(p[i] - '0');
    for (; i < n; i++)
        if (p[i] != ' ' && p[i] != 0) {
            ok = false;
            return 0;
        }
    ok = digits != 0;
    return v;
}

// A tar has no magic that every writer puts in, but every header carries a checksum. An empty
// tar is its two zero end blocks (and the zeros that pad its last record).
UInt32 IsArcTar(const Byte *p, size_t size) {
    if (size < 512) return k_IsArc_Res_NEED_MORE;
    if (p[0] == 0) {
        // An empty tar is its end blocks and nothing else: zeros followed by data (a disk image
        // whose first sectors are blank) are no tar.
        if (size < 1024) return k_IsArc_Res_NEED_MORE;
        for (size_t i = 0; i < size; i++)
            if (p[i] != 0) return k_IsArc_Res_NO;
        return k_IsArc_Res_YES;
    }
    bool ok;
    const UInt32 stored = ParseOctal(p + 148, 8, ok);
    if (!ok) return k_IsArc_Res_NO;
    UInt32 sumUnsigned = 0;
    Int32 sumSigned = 0;
    for (size_t i = 0; i < 512; i++) {
        const Byte b = (i >= 148 && i < 156) ? ' ' : p[i];
        sumUnsigned += b;
        sumSigned += static_cast<signed char>(b);
    }
    return (stored == sumUnsigned || static_cast<Int32>(stored) == sumSigned) ? k_IsArc_Res_YES : k_IsArc_Res_NO;
}

bool AllDigits(const Byte *p, size_t n, bool hex) {
    for (size_t i = 0; i < n; i++) {
        const Byte c = p[i];
        const bool ok =
            hex ? ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) : (c >= '0' && c <= '7');
        if (!ok) return false;
    }
    return true;
}

// The text forms of a cpio header are numbers of fixed width; anything else there is no header.
UInt32 IsArcCpio(const Byte *p, size_t size) {
    if (size < 6) return k_IsArc_Res_NEED_MORE;
    if (memcmp(p, "070707", 6) == 0) {
        if (size < 76) return k_IsArc_Res_NEED_MORE;
        return AllDigits(p + 6, 70, false) ? k_IsArc_Res_YES : k_IsArc_Res_NO;
    }
    if (memcmp(p, "070701", 6) == 0 || memcmp(p, "070702", 6) == 0) {
        if (size < 110) return k_IsArc_Res_NEED_MORE;
        return AllDigits(p + 6, 104, true) ? k_IsArc_Res_YES : k_IsArc_Res_NO;
    }
    // The binary form. Its two-byte magic turns up by chance in any data, so the header must also
    // hold a real file type and a name that ends with its zero exactly where its length says.
    if (size < 26) return k_IsArc_Res_NEED_MORE;
    const bool little = p[0] == 0xC7;
    if (!little && !(p[0] == 0x71 && p[1] == 0xC7)) return k_IsArc_Res_NO;
    auto word = [&](size_t at) -> UInt32 { return little ? (p[at] | (p[at + 1] << 8)) : ((p[at] << 8) | p[at + 1]); };
    const UInt32 nameSize = word(20);
    if (nameSize < 1 || nameSize > 4096) return k_IsArc_Res_NO;
    const Byte *name = p + 26;
    const size_t namePresent = size - 26 < nameSize ? size - 26 : nameSize;
    const Byte *firstZero = static_cast<const Byte *>(memchr(name, 0, namePresent));
    if (namePresent == nameSize) {
        if (firstZero != name + nameSize - 1) return k_IsArc_Res_NO;
    } else if (firstZero) {
        return k_IsArc_Res_NO;
    }
    static const char kTrailer[] = "TRAILER!!!";
    const bool trailer =
        nameSize == sizeof(kTrailer) && namePresent == nameSize && memcmp(name, kTrailer, nameSize) == 0;
    switch (word(6) & 0170000) {
    case 0010000: // fifo
    case 0020000: // character device
    case 0040000: // folder
    case 0060000: // block device
    case 0100000: // file
    case 0120000: // symbolic link
    case 0140000: // socket
        return k_IsArc_Res_YES;
    default:
        return trailer ? k_IsArc_Res_YES : k_IsArc_Res_NO;
    }
}

// "BZh" alone is common text: a stream goes on with its block size and a block or end marker.
UInt32 IsArcBzip2(const Byte *p, size_t size) {
    if (size < 4) return k_IsArc_Res_NEED_MORE;
    if (memcmp(p, "BZh", 3) != 0 || p[3] < '1' || p[3] > '9') return k_IsArc_Res_NO;
    if (size < 10) return k_IsArc_Res_NEED_MORE;
    static const Byte kBlock[6] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
    static const Byte kEnd[6] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
    return memcmp(p + 4, kBlock, 6) == 0 || memcmp(p + 4, kEnd, 6) == 0 ? k_IsArc_Res_YES : k_IsArc_Res_NO;
}

std::string Sig(const char *bytes, size_t n) {
    return std::string(bytes, n);
}

const std::vector<CFormatInfo> &Formats() {
    static const std::vector<CFormatInfo> formats = {
        {1,
         "7z",
         "7z",
         "",
         {Sig("7z\xBC\xAF\x27\x1C", 6)},
         0,
         kSymLinks,
         EHandlerKind::kSevenZip,
         Setup7z,
         nullptr,
         0,
         false,
         nullptr},
        {2,
         "zip",
         "zip z01 zipx jar xpi odt ods odp docx xlsx pptx epub apk",
         "",
         {Sig("PK\x03\x04", 4), Sig("PK\x05\x06", 4)},
         0,
         kMultiSignature | kSymLinks,
         EHandlerKind::kZip,
         SetupZipSeekable,
         SetupZipStreamable,
         0,
         true,
         nullptr,
         true},
        {3,
         "tar",
         "tar ova",
         "",
         {},
         0,
         kSymLinks | kHardLinks,
         EHandlerKind::kLibarchive,
         SetupTar,
         nullptr,
         0,
         false,
         IsArcTar,
         false,
         true},
        {4,
         "gzip",
         "gz gzip tgz tpz",
         "* * .tar .tar",
         {Sig("\x1F\x8B\x08", 3)},
         0,
         kKeepName,
         EHandlerKind::kStream,
         SetupGzip,
         nullptr,
         ARCHIVE_FILTER_GZIP,
         false,
         nullptr},
        {5,
         "bzip2",
         "bz2 bzip2 tbz2 tbz",
         "* * .tar .tar",
         {Sig("BZh", 3)},
         0,
         kKeepName,
         EHandlerKind::kStream,
         SetupBzip2,
         nullptr,
         ARCHIVE_FILTER_BZIP2,
         false,
         IsArcBzip2},
        {6,
         "xz",
         "xz txz",
         "* .tar",
         {Sig("\xFD"
              "7zXZ\x00",
              6)},
         0,
         kKeepName,
         EHandlerKind::kStream,
         SetupXz,
         nullptr,
         ARCHIVE_FILTER_XZ,
         false,
         nullptr},
        {7,
         "zstd",
         "zst zstd tzst",
         "* * .tar",
         {Sig("\x28\xB5\x2F\xFD", 4)},
         0,
         kKeepName,
         EHandlerKind::kStream,
         SetupZstd,
         nullptr,
         ARCHIVE_FILTER_ZSTD,
         false,
         nullptr},
        {8,
         "rar",
         "rar r00",
         "",
         {Sig("Rar!\x1A\x07\x00", 7)},
         0,
         0,
         EHandlerKind::kLibarchive,
         SetupRar,
         nullptr,
         0,
         false,
         nullptr},
        {9,
         "rar5",
         "rar r00",
         "",
         {Sig("Rar!\x1A\x07\x01\x00", 8)},
         0,
         0,
         EHandlerKind::kLibarchive,
         SetupRar5,
         nullptr,
         0,
         false,
         nullptr},
        {10,
         "cab",
         "cab",
         "",
         {Sig("MSCF\0\0\0\0", 8)},
         0,
         0,
         EHandlerKind::kLibarchive,
         SetupCab,
         nullptr,
         0,
         false,
         nullptr},
        {11,
         "iso",
         "iso img",
         "",
         {Sig("CD001", 5)},
         0x8001,
         0,
         EHandlerKind::kLibarchive,
         SetupIso,
         nullptr,
         0,
         false,
         nullptr},
        {12,
         "cpio",
         "cpio",
         "",
         {Sig("070701", 6), Sig("070702", 6), Sig("070707", 6), Sig("\xC7\x71", 2), Sig("\x71\xC7", 2)},
         0,
         kMultiSignature | kSymLinks | kHardLinks,
         EHandlerKind::kLibarchive,
         SetupCpio,
         nullptr,
         0,
         false,
         IsArcCpio,
         false,
         true},
        {13,
         "ar",
         "ar a deb udeb lib",
         "",
         {Sig("!<arch>\n", 8)},
         0,
         0,
         EHandlerKind::kLibarchive,
         SetupAr,
         nullptr,
         0,
         false,
         nullptr},
        {14,
         "rpm",
         "rpm",
         "",
         {Sig("\xED\xAB\xEE\xDB", 4)},
         0,
         0,
         EHandlerKind::kLibarchive,
         SetupRpm,
         nullptr,
         0,
         false,
         nullptr},
        {15,
         "xar",
         "xar pkg xip",
         "",
         {Sig("xar!", 4)},
         0,
         0,
         EHandlerKind::kLibarchive,
         SetupXar,
         nullptr,
         0,
         false,
         nullptr},
        {16,
         "lzh",
         "lzh lha",
         "",
         {Sig("-lh", 3), Sig("-lz", 3)},
         2,
         kMultiSignature,
         EHandlerKind::kLibarchive,
         SetupLha,
         nullptr,
         0,
         false,
         nullptr},
        {17, "Split", "001", "", {}, 0, 0, EHandlerKind::kSplit, nullptr, nullptr, 0, false, nullptr},
    };
    return formats;
}

} // namespace

bool CFormatInfo::SignatureMatches(const Byte *data, size_t size) const {
    if (signatures.empty()) return true;
    for (const std::string &s : signatures)
        if (size >= signatureOffset + s.size() && memcmp(data + signatureOffset, s.data(), s.size()) == 0) return true;
    return false;
}

size_t CFormatInfo::SignatureSpan() const {
    size_t n = 0;
    for (const std::string &s : signatures)
        if (s.size() > n) n = s.size();
    return signatureOffset + n;
}

GUID MakeClassId(EClassKind kind, Byte id) {
    GUID g = {0x5441524E, 0x4F56, static_cast<UInt16>(kind), {0x10, 0, 0, 0, 0, 0, 0, id}};
    return g;
}

UInt32 GetNumFormats() {
    return static_cast<UInt32>(Formats().size());
}

const CFormatInfo &GetFormat(UInt32 index) {
    return Formats()[index];
}

GUID FormatClassId(const CFormatInfo &format) {
    return MakeClassId(kClassFormat, format.classIdByte);
}

static std::wstring Widen(const char *s) {
    std::wstring w;
    for (; *s; s++)
        w += static_cast<wchar_t>(static_cast<unsigned char>(*s));
    return w;
}

HRESULT GetFormatProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    if (index >= GetNumFormats()) return E_INVALIDARG;
    const CFormatInfo &f = GetFormat(index);
    switch (propID) {
    case NArchive::NHandlerPropID::kName:
        return PropSetString(value, Widen(f.name));
    case NArchive::NHandlerPropID::kClassID: {
        const GUID g = FormatClassId(f);
        return PropSetBinary(value, &g, sizeof(g));
    }
    case NArchive::NHandlerPropID::kExtension:
        return PropSetString(value, Widen(f.exts));
    case NArchive::NHandlerPropID::kAddExtension:
        if (f.addExts[0] == 0) return S_OK;
        return PropSetString(value, Widen(f.addExts));
    case NArchive::NHandlerPropID::kUpdate:
        PropSetBool(value, WriteFormatOf(f) != EWriteFormat::kNone);
        return S_OK;
    case NArchive::NHandlerPropID::kKeepName:
        PropSetBool(value, (f.flags & kKeepName) != 0);
        return S_OK;
    case NArchive::NHandlerPropID::kAltStreams:
        PropSetBool(value, (f.flags & kAltStreams) != 0);
        return S_OK;
    case NArchive::NHandlerPropID::kNtSecure:
        PropSetBool(value, (f.flags & kNtSecure) != 0);
        return S_OK;
    case NArchive::NHandlerPropID::kSignature:
        if (f.signatures.size() != 1) return S_OK;
        return PropSetBinary(value, f.signatures[0].data(), static_cast<UInt32>(f.signatures[0].size()));
    case NArchive::NHandlerPropID::kMultiSignature: {
        if (f.signatures.size() < 2) return S_OK;
        std::string packed;
        for (const std::string &s : f.signatures) {
            packed += static_cast<char>(s.size());
            packed += s;
        }
        return PropSetBinary(value, packed.data(), static_cast<UInt32>(packed.size()));
    }
    case NArchive::NHandlerPropID::kSignatureOffset:
        PropSetUInt32(value, f.signatureOffset);
        return S_OK;
    case NArchive::NHandlerPropID::kFlags:
        PropSetUInt32(value, f.flags);
        return S_OK;
    default:
        return S_OK;
    }
}

HRESULT GetFormatIsArc(UInt32 index, Func_IsArc *isArc) {
    *isArc = nullptr;
    if (index >= GetNumFormats()) return E_INVALIDARG;
    *isArc = GetFormat(index).isArc;
    return S_OK;
}

HRESULT CreateFormatHandler(const GUID &classId, const GUID &iid, void **outObject) {
    *outObject = nullptr;
    for (const CFormatInfo &f : Formats()) {
        if (FormatClassId(f) != classId) continue;
        CMyComPtr<IInArchive> handler;
        switch (f.kind) {
        case EHandlerKind::kLibarchive:
            handler = new CLibarchiveHandler(f);
            break;
        case EHandlerKind::kZip:
            handler = new CZipHandler(f);
            break;
        case EHandlerKind::kStream:
            handler = new CStreamHandler(f);
            break;
        case EHandlerKind::kSplit:
            handler = new CSplitHandler();
            break;
        case EHandlerKind::kSevenZip:
            handler = new CSevenZipHandler(f);
            break;
        }
        return handler->QueryInterface(iid, outObject);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace NPlugin
