#include "CellText.h"

#include "archive/ui-common/PropIDUtils.h"
#include "common/IntToString.h"
#include "windows/PropVariant.h"

bool IsSizeProp(UInt32 propID) throw() {
    switch (propID) {
    case kpidSize:
    case kpidPackSize:
    case kpidNumSubDirs:
    case kpidNumSubFiles:
    case kpidOffset:
    case kpidLinks:
    case kpidNumBlocks:
    case kpidNumVolumes:
    case kpidPhySize:
    case kpidHeadersSize:
    case kpidTotalSize:
    case kpidFreeSpace:
    case kpidClusterSize:
    case kpidNumErrors:
    case kpidNumStreams:
    case kpidNumAltStreams:
    case kpidAltStreamsSize:
    case kpidVirtualSize:
    case kpidUnpackSize:
    case kpidTotalPhySize:
    case kpidTailSize:
    case kpidEmbeddedStubSize:
        return true;
    default:
        return false;
    }
}

void ConvertSizeToString(UInt64 value, wchar_t *dest) throw() {
    wchar_t digits[32];
    unsigned n = 0;
    do {
        digits[n++] = (wchar_t)(L'0' + (unsigned)(value % 10));
        value /= 10;
    } while (value != 0);
    unsigned pos = 0;
    while (n != 0) {
        dest[pos++] = digits[--n];
        if (n != 0 && n % 3 == 0) dest[pos++] = L' ';
    }
    dest[pos] = 0;
}

UString ConvertSizeToString(UInt64 value) {
    wchar_t s[32];
    ConvertSizeToString(value, s);
    return UString(s);
}

static void CopyBounded(wchar_t *dest, const wchar_t *src, unsigned srcLen, int maxChars) {
    unsigned n = srcLen;
    if (n > (unsigned)maxChars - 1) n = (unsigned)maxChars - 1;
    wmemcpy(dest, src, n);
    dest[n] = 0;
}

static void CopyAsciiBounded(wchar_t *dest, const char *src, int maxChars) {
    unsigned i = 0;
    for (; src[i] != 0 && i + 1 < (unsigned)maxChars; i++)
        dest[i] = (wchar_t)(Byte)src[i];
    dest[i] = 0;
}

// Characters that change how the rest of a name is shown: direction marks, embeddings,
// overrides and isolates turn it around, and a line break or another control character cuts
// the line, so that the real extension is out of sight.
static bool HidesRestOfName(wchar_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x200E || c == 0x200F || c == 0x061C ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

// A right-to-left override would turn the rest of the name around ("txt.exe" shown as
// "exe.txt"); a long run of blanks could push the real extension out of sight.
static void CopyName(wchar_t *dest, const wchar_t *name, unsigned len, int maxChars) {
    const unsigned limit = (unsigned)maxChars - 1;
    unsigned d = 0;
    for (unsigned i = 0; i < len && d < limit;) {
        const wchar_t c = name[i];
        if (HidesRestOfName(c)) {
            dest[d++] = L'_';
            i++;
            continue;
        }
        if (c == L' ' && i + 4 < len && name[i + 1] == L' ' && name[i + 2] == L' ' && name[i + 3] == L' ' &&
            name[i + 4] == L' ' && limit - d >= 5) {
            const wchar_t *kDots = L" ... ";
            for (unsigned k = 0; k < 5; k++)
                dest[d++] = kDots[k];
            i += 5;
            while (i < len && name[i] == L' ')
                i++;
            continue;
        }
        dest[d++] = c;
        i++;
    }
    dest[d] = 0;
}

UString MaskedItemName(const UString &name) {
    // The mask never makes a name longer: one unit per unit, five for a run of five or more.
    UString result;
    wchar_t *buf = result.GetBuf(name.Len());
    CopyName(buf, name.Ptr(), name.Len(), (int)name.Len() + 1);
    result.ReleaseBuf_CalcLen(name.Len());
    return result;
}

static const unsigned kMaxRawHexBytes = 64;

static HRESULT SetRawText(IArchiveGetRawProps *rawProps, UInt32 item, PROPID propID, wchar_t *text, int maxChars) {
    const void *data = nullptr;
    UInt32 size = 0;
    UInt32 propType = 0;
    RINOK(rawProps->GetRawProp(item, propID, &data, &size, &propType));
    if (size == 0 || !data) return S_OK;
    if (propID == kpidNtSecure) {
        AString s;
        ConvertNtSecureToString((const Byte *)data, size, s);
        if (!s.IsEmpty()) CopyAsciiBounded(text, s, maxChars);
        return S_OK;
    }
    char buf[kMaxRawHexBytes * 2 + 16];
    if (size > kMaxRawHexBytes) {
        memcpy(buf, "data:", 5);
        ConvertUInt32ToString(size, buf + 5);
    } else {
        static const char kHex[] = "0123456789ABCDEF";
        const Byte *p = (const Byte *)data;
        for (UInt32 i = 0; i < size; i++) {
            buf[i * 2] = kHex[p[i] >> 4];
            buf[i * 2 + 1] = kHex[p[i] & 15];
        }
        buf[size * 2] = 0;
    }
    CopyAsciiBounded(text, buf, maxChars);
    return S_OK;
}

HRESULT SetFolderItemText(IFolderFolder *folder, IArchiveGetRawProps *folderRawProps,
                          IFolderGetItemName *folderGetItemName, UInt32 item, PROPID propID, bool isRawProp,
                          wchar_t *text, int maxChars) {
    if (maxChars <= 0) return S_OK;
    text[0] = 0;
    if (maxChars == 1) return S_OK;

    if (isRawProp) {
        if (!folderRawProps) return S_OK;
        return SetRawText(folderRawProps, item, propID, text, maxChars);
    }
    if (maxChars <= 31) return S_OK;

    if (folderGetItemName && (propID == kpidName || propID == kpidPrefix)) {
        const wchar_t *s = nullptr;
        unsigned len = 0;
        if (propID == kpidName)
            folderGetItemName->GetItemName(item, &s, &len);
        else
            folderGetItemName->GetItemPrefix(item, &s, &len);
        if (s) {
            if (propID == kpidName)
                CopyName(text, s, len, maxChars);
            else
                CopyBounded(text, s, len, maxChars);
            return S_OK;
        }
        // A prefix that the folder does not supply is an empty one.
        if (propID == kpidPrefix) return S_OK;
    }

    NWindows::NCOM::CPropVariant prop;
    if (folder->GetProperty(item, propID, &prop) != S_OK) {
        CopyAsciiBounded(text, "Error: ", maxChars);
        return S_OK;
    }
    if (IsSizeProp(propID) && (prop.vt == VT_UI2 || prop.vt == VT_UI4 || prop.vt == VT_UI8)) {
        const UInt64 v = prop.vt == VT_UI8 ? prop.uhVal.QuadPart : (prop.vt == VT_UI4 ? prop.ulVal : prop.uiVal);
        ConvertSizeToString(v, text);
        return S_OK;
    }
    if (prop.vt == VT_BSTR) {
        if (prop.bstrVal) CopyBounded(text, prop.bstrVal, MyStringLen(prop.bstrVal), maxChars);
        return S_OK;
    }
    char buf[64];
    ConvertPropertyToShortString(buf, prop, propID, false);
    CopyAsciiBounded(text, buf, maxChars);
    return S_OK;
}
