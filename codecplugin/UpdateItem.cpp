#include "UpdateItem.h"

#include "NameDecoder.h"
#include "PluginGlobals.h"
#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "archive/IPassword.h"
#include "archive/PropID.h"
#include "common/MyCom.h"

#include <archive_entry.h>
#include <string.h>
#include <sys/stat.h>

namespace NPlugin {

namespace {

const UInt32 kAttribReadOnly = 0x1;
const UInt32 kAttribDirectory = 0x10;
const UInt32 kAttribUnixExtension = 0x8000;

struct CPropHolder : PROPVARIANT {
    CPropHolder() {
        vt = VT_EMPTY;
        wReserved1 = wReserved2 = wReserved3 = 0;
        uhVal.QuadPart = 0;
    }
    ~CPropHolder() { VariantClear(this); }
    CPropHolder(const CPropHolder &) = delete;
    CPropHolder &operator=(const CPropHolder &) = delete;
};

HRESULT ReadString(const PropGetter &get, PROPID id, std::wstring &out) {
    CPropHolder v;
    RINOK_PLUGIN(get(id, &v));
    if (v.vt == VT_BSTR && v.bstrVal)
        out.assign(v.bstrVal, SysStringLen(v.bstrVal));
    else if (v.vt != VT_EMPTY)
        return E_INVALIDARG;
    return S_OK;
}

// A property that is either not given or of type vt; any other type is refused.
HRESULT ReadOptional(const PropGetter &get, PROPID id, VARTYPE vt, CPropHolder &v, bool &defined) {
    RINOK_PLUGIN(get(id, &v));
    defined = v.vt == vt;
    return defined || v.vt == VT_EMPTY ? S_OK : E_INVALIDARG;
}

HRESULT ReadTime(const PropGetter &get, PROPID id, bool &defined, FILETIME &out) {
    CPropHolder v;
    RINOK_PLUGIN(ReadOptional(get, id, VT_FILETIME, v, defined));
    if (defined) out = v.filetime;
    return S_OK;
}

HRESULT ReadUInt32(const PropGetter &get, PROPID id, bool &defined, UInt32 &out) {
    CPropHolder v;
    RINOK_PLUGIN(ReadOptional(get, id, VT_UI4, v, defined));
    if (defined) out = v.ulVal;
    return S_OK;
}

// The first len characters of a name as stored, up to a zero character (where a C string of it
// would end). ASCII, the usual case, is the same either way and is copied in one go.
// True when the bytes are all ASCII.
bool NameBytesOf(const wchar_t *name, size_t len, std::string &out) {
    out.resize(len);
    size_t i = 0;
    for (; i < len; i++) {
        const wchar_t c = name[i];
        if (c <= 0 || c >= 0x80) break;
        out[i] = static_cast<char>(c);
    }
    if (i == len) return true;
    if (name[i] == 0) {
        out.resize(i);
        return true;
    }
    out = NameBytes(std::wstring(name, len));
    out.resize(strlen(out.c_str()));
    return false;
}

// Names go to libarchive as UTF-8; with the program's UTF-16 conversion off each character is a byte.
// asciiAsIs: an ASCII name is set as the locale's bytes, which are the same: a tar header is made of
// those, and a name set as UTF-8 is converted on every read.
void SetName(archive_entry *entry, const wchar_t *name, size_t len, void (*setUtf8)(archive_entry *, const char *),
             void (*setRaw)(archive_entry *, const char *), bool asciiAsIs) {
    std::string bytes;
    const bool ascii = NameBytesOf(name, len, bytes);
    (global_use_utf16_conversion && !(ascii && asciiAsIs) ? setUtf8 : setRaw)(entry, bytes.c_str());
}

void SetName(archive_entry *entry, const std::wstring &name, void (*setUtf8)(archive_entry *, const char *),
             void (*setRaw)(archive_entry *, const char *), bool asciiAsIs) {
    SetName(entry, name.data(), name.size(), setUtf8, setRaw, asciiAsIs);
}

// The length of a path without its final slashes.
size_t TrimmedLen(const std::wstring &path) {
    size_t len = path.size();
    while (len != 0 && path[len - 1] == L'/')
        len--;
    return len;
}

} // namespace

void FileTimeToUnix(const FILETIME &ft, Int64 &sec, long &nsec) {
    const UInt64 ticks = (static_cast<UInt64>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const Int64 kUnixToFileTimeSeconds = 11644473600LL;
    sec = static_cast<Int64>(ticks / 10000000) - kUnixToFileTimeSeconds;
    nsec = static_cast<long>(ticks % 10000000) * 100;
}

std::string NameBytes(const std::wstring &name) {
    if (global_use_utf16_conversion) return WideToUtf8(name.c_str());
    std::string bytes;
    for (wchar_t c : name)
        bytes += static_cast<char>(static_cast<unsigned char>(c));
    return bytes;
}

HRESULT ReadBoolProp(const PropGetter &get, PROPID propID, bool &value) {
    CPropHolder v;
    RINOK_PLUGIN(get(propID, &v));
    value = v.vt == VT_BOOL && v.boolVal != VARIANT_FALSE;
    if (v.vt != VT_BOOL && v.vt != VT_EMPTY) return E_INVALIDARG;
    return S_OK;
}

HRESULT ReadItemProps(const PropGetter &get, CUpdateItem &item) {
    RINOK_PLUGIN(ReadString(get, kpidPath, item.path));
    RINOK_PLUGIN(ReadBoolProp(get, kpidIsDir, item.isDir));
    {
        CPropHolder v;
        RINOK_PLUGIN(get(kpidSize, &v));
        item.sizeDefined = v.vt == VT_UI8 || v.vt == VT_UI4;
        if (v.vt == VT_UI8)
            item.size = v.uhVal.QuadPart;
        else if (v.vt == VT_UI4)
            item.size = v.ulVal;
        else if (v.vt != VT_EMPTY)
            return E_INVALIDARG;
    }
    RINOK_PLUGIN(ReadTime(get, kpidMTime, item.mtimeDefined, item.mtime));
    RINOK_PLUGIN(ReadTime(get, kpidCTime, item.ctimeDefined, item.ctime));
    RINOK_PLUGIN(ReadTime(get, kpidATime, item.atimeDefined, item.atime));
    RINOK_PLUGIN(ReadUInt32(get, kpidAttrib, item.attribDefined, item.attrib));
    RINOK_PLUGIN(ReadUInt32(get, kpidPosixAttrib, item.posixDefined, item.posixAttrib));
    RINOK_PLUGIN(ReadString(get, kpidSymLink, item.symlink));
    RINOK_PLUGIN(ReadString(get, kpidHardLink, item.hardlink));
    RINOK_PLUGIN(ReadString(get, kpidUser, item.user));
    RINOK_PLUGIN(ReadString(get, kpidGroup, item.group));
    if (item.attribDefined && (item.attrib & kAttribDirectory)) item.isDir = true;
    return S_OK;
}

HRESULT ReadUpdateRecord(IArchiveUpdateCallback *callback, IInArchive *old, UInt32 numOld, UInt32 i, CUpdateItem &item,
                         bool &skip) {
    skip = false;
    item = CUpdateItem();
    item.index = i;
    Int32 newData = 0, newProps = 0;
    UInt32 indexInArchive = kNoArchiveIndex;
    RINOK_PLUGIN(callback->GetUpdateItemInfo(i, &newData, &newProps, &indexInArchive));
    item.newData = newData != 0;
    item.newProps = newProps != 0;
    item.indexInArchive = indexInArchive;
    const bool inOld = old && indexInArchive < numOld;
    // Without new data or new properties they can only come from the old archive.
    if ((!item.newData || !item.newProps) && !inOld) return E_INVALIDARG;
    const PropGetter fromCallback = [&](PROPID id, PROPVARIANT *v) { return callback->GetProperty(i, id, v); };
    const PropGetter fromOld = [&](PROPID id, PROPVARIANT *v) { return old->GetProperty(indexInArchive, id, v); };
    if (item.newProps) {
        RINOK_PLUGIN(ReadBoolProp(fromCallback, kpidIsAnti, item.isAnti));
        // A deletion is done by leaving the item out.
        skip = item.isAnti;
        if (skip) return S_OK;
        RINOK_PLUGIN(ReadItemProps(fromCallback, item));
    }
    if (!item.newData || !item.newProps) {
        CUpdateItem oldItem;
        RINOK_PLUGIN(ReadItemProps(fromOld, oldItem));
        RINOK_PLUGIN(ReadBoolProp(fromOld, kpidEncrypted, oldItem.encrypted));
        RINOK_PLUGIN(ReadBoolProp(fromOld, kpidIsAnti, oldItem.isAnti));
        if (!item.newProps) {
            skip = oldItem.isAnti;
            oldItem.index = item.index;
            oldItem.newData = item.newData;
            oldItem.indexInArchive = item.indexInArchive;
            item = oldItem;
        } else if (!item.newData) {
            // Renamed: the data and what describes it stay the old item's.
            item.isDir = oldItem.isDir;
            item.size = oldItem.size;
            item.sizeDefined = oldItem.sizeDefined;
            item.symlink = oldItem.symlink;
            item.hardlink = oldItem.hardlink;
            item.encrypted = oldItem.encrypted;
        }
    }
    return S_OK;
}

UInt32 CUpdateItem::Mode() const {
    UInt32 mode = 0;
    if (posixDefined)
        mode = posixAttrib;
    else if (attribDefined && (attrib & kAttribUnixExtension))
        mode = attrib >> 16;
    if ((mode & 07777) == 0 && (mode & S_IFMT) == 0) {
        mode = isDir ? 0755 : 0644;
        if (attribDefined && (attrib & kAttribReadOnly)) mode &= ~0222u;
    }
    return mode;
}

EEntryKind CUpdateItem::Kind(EWriteFormat format) const {
    if (isDir) return EEntryKind::kDir;
    if (!symlink.empty() || (Mode() & S_IFMT) == S_IFLNK) return EEntryKind::kSymLink;
    // Only tar keeps hard links; other formats store the data again.
    if (!hardlink.empty() && format == EWriteFormat::kTar) return EEntryKind::kHardLink;
    return EEntryKind::kFile;
}

UInt64 CUpdateItem::DataSize(EWriteFormat format) const {
    return Kind(format) == EEntryKind::kFile ? size : 0;
}

void CEntryDeleter::operator()(archive_entry *entry) const {
    archive_entry_free(entry);
}

namespace {

// Printable ASCII, short enough for a header field of `room` bytes and its terminator.
bool FitsPlainField(const wchar_t *s, size_t len, size_t room) {
    if (len >= room) return false;
    for (size_t i = 0; i < len; i++)
        if (s[i] < 0x20 || s[i] > 0x7e) return false;
    return true;
}

bool FitsPlainField(const std::wstring &s, size_t room) {
    return FitsPlainField(s.data(), s.size(), room);
}

} // namespace

bool FitsPlainTar(const CUpdateItem &item) {
    const EEntryKind kind = item.Kind(EWriteFormat::kTar);
    // Stored without its final slashes, a folder with one.
    const size_t len = TrimmedLen(item.path);
    if (len == 0 || !FitsPlainField(item.path.data(), len, kind == EEntryKind::kDir ? 99 : 100)) return false;
    // A link target read only when the item is written is not known here.
    if (kind == EEntryKind::kSymLink && (item.symlink.empty() || !FitsPlainField(item.symlink, 100))) return false;
    if (kind == EEntryKind::kHardLink && !FitsPlainField(item.hardlink, 100)) return false;
    if (!FitsPlainField(item.user, 32) || !FitsPlainField(item.group, 32)) return false;
    const UInt64 kMaxOctal11 = 077777777777ULL;
    if (kind == EEntryKind::kFile && (!item.sizeDefined || item.size > kMaxOctal11)) return false;
    if (item.mtimeDefined) {
        Int64 sec;
        long nsec;
        FileTimeToUnix(item.mtime, sec, nsec);
        if (sec < 0 || (UInt64)sec > kMaxOctal11) return false;
    }
    return true;
}

CEntryPtr MakeEntry(const CUpdateItem &item, EWriteFormat format) {
    CEntryPtr entry(archive_entry_new());
    if (entry) FillEntry(entry.get(), item, format);
    return entry;
}

void FillEntry(archive_entry *e, const CUpdateItem &item, EWriteFormat format) {
    const bool tar = format == EWriteFormat::kTar;
    SetName(e, item.path.data(), TrimmedLen(item.path), archive_entry_set_pathname_utf8, archive_entry_copy_pathname,
            tar);
    const EEntryKind kind = item.Kind(format);
    const UInt32 perm = item.Mode() & 07777;
    switch (kind) {
    case EEntryKind::kDir:
        archive_entry_set_filetype(e, AE_IFDIR);
        archive_entry_set_size(e, 0);
        break;
    case EEntryKind::kSymLink:
        archive_entry_set_filetype(e, AE_IFLNK);
        SetName(e, item.symlink, archive_entry_set_symlink_utf8, archive_entry_copy_symlink, tar);
        break;
    case EEntryKind::kHardLink:
        archive_entry_set_filetype(e, AE_IFREG);
        SetName(e, item.hardlink, archive_entry_set_hardlink_utf8, archive_entry_copy_hardlink, tar);
        archive_entry_set_size(e, 0);
        break;
    case EEntryKind::kFile:
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_size(e, static_cast<la_int64_t>(item.size));
        break;
    }
    archive_entry_set_perm(e, perm);
    Int64 sec;
    long nsec;
    if (item.mtimeDefined) {
        FileTimeToUnix(item.mtime, sec, nsec);
        archive_entry_set_mtime(e, sec, nsec);
    }
    if (item.ctimeDefined) {
        FileTimeToUnix(item.ctime, sec, nsec);
        archive_entry_set_ctime(e, sec, nsec);
    }
    if (item.atimeDefined) {
        FileTimeToUnix(item.atime, sec, nsec);
        archive_entry_set_atime(e, sec, nsec);
    }
    if (!item.user.empty()) SetName(e, item.user, archive_entry_set_uname_utf8, archive_entry_copy_uname, tar);
    if (!item.group.empty()) SetName(e, item.group, archive_entry_set_gname_utf8, archive_entry_copy_gname, tar);
}

HRESULT ReadLinkTarget(ISequentialInStream *in, std::string &target) {
    const size_t kMaxLinkTarget = 1 << 16;
    target.assign(kMaxLinkTarget + 1, '\0');
    size_t got = 0;
    RINOK_PLUGIN(ReadStreamMax(in, &target[0], target.size(), got));
    if (got > kMaxLinkTarget) return E_INVALIDARG;
    target.resize(got);
    return S_OK;
}

HRESULT AskWritePassword(IArchiveUpdateCallback *callback, bool &defined, std::string &password) {
    defined = false;
    password.clear();
    CMyComPtr<ICryptoGetTextPassword2> getter;
    callback->QueryInterface(IID_ICryptoGetTextPassword2, reinterpret_cast<void **>(&getter));
    if (!getter) return S_OK;
    Int32 isDefined = 0;
    BSTR b = nullptr;
    const HRESULT res = getter->CryptoGetTextPassword2(&isDefined, &b);
    std::wstring wide(b ? b : L"");
    SysFreeString(b);
    RINOK_PLUGIN(res);
    defined = isDefined != 0;
    if (defined) password = WideToUtf8(wide.c_str());
    // The secret does not linger in freed memory.
    if (!wide.empty()) memset(&wide[0], 0, wide.size() * sizeof(wchar_t));
    return S_OK;
}

HRESULT CollectUpdateItems(IInArchive *old, IArchiveUpdateCallback *callback, UInt32 numItems, EWriteFormat format,
                           std::vector<CUpdateItem> &items) {
    UInt32 numOld = 0;
    if (old) RINOK_PLUGIN(old->GetNumberOfItems(&numOld));
    items.reserve(items.size() + numItems);
    for (UInt32 i = 0; i < numItems; i++) {
        CUpdateItem item;
        bool skip = false;
        RINOK_PLUGIN(ReadUpdateRecord(callback, old, numOld, i, item, skip));
        if (skip) continue;
        if (!item.newData || !item.newProps) {
            if (item.newData) item.encrypted = false;
            if (!item.newData && !item.sizeDefined && item.Kind(format) == EEntryKind::kFile) return E_NOTIMPL;
        }
        items.push_back(std::move(item));
    }
    return S_OK;
}

} // namespace NPlugin
