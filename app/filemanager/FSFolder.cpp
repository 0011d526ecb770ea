#include "FSFolder.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FSDrives.h"
#include "FSFolderSys.h"
#include "common/FolderListCompare.h"
#include "common/Wildcard.h"
#include "windows/FileDir.h"
#include "windows/FileIO.h"
#include "windows/PropVariant.h"

using namespace NWindows;
using namespace NFile;

namespace NFsFolder {

static const wchar_t *const kDescriptionFileName = L"descript.ion";
static const UInt32 kMaxCommentsFileSize = (UInt32)1 << 28;

static const CPropInfo kProps[] = {
    {kpidName, VT_BSTR},      {kpidSize, VT_UI8},        {kpidMTime, VT_FILETIME}, {kpidCTime, VT_FILETIME},
    {kpidATime, VT_FILETIME}, {kpidAttrib, VT_UI4},      {kpidPackSize, VT_UI8},   {kpidComment, VT_BSTR},
    {kpidNumSubDirs, VT_UI8}, {kpidNumSubFiles, VT_UI8}, {kpidPrefix, VT_BSTR},
};
static const unsigned kNumProps = sizeof(kProps) / sizeof(kProps[0]);

HRESULT CFSFolder::Init(const UString &path) {
    folderPath = path;
    return S_OK;
}

// ---------- listing ----------

static bool IsLinkAttrib(DWORD attrib) {
    return (attrib & FILE_ATTRIBUTE_POSIX_MODE) != 0 && S_ISLNK((mode_t)(attrib >> 16));
}

void CFSFolder::LoadSubItems(int parent, const UString &relPrefix) {
    const unsigned start = subPrefixes.Size();
    const UString dirPath = folderPath + relPrefix;
    NFind::CEnumerator enumerator(dirPath + L'*');
    for (;;) {
        NFind::CFileInfo fi;
        if (!enumerator.Next(fi)) break;
        CDirItem &item = items.AddNew();
        static_cast<NFind::CFileInfo &>(item) = fi;
        item.parentPrefix = parent;
        if (IsLinkAttrib(fi.Attrib)) {
            item.isLink = true;
            // Shown and entered as what it points to when that is a folder.
            struct stat st;
            if (StatExisting(dirPath + fi.Name, false, st) && S_ISDIR(st.st_mode))
                item.Attrib |= FILE_ATTRIBUTE_DIRECTORY;
        }
        if (item.IsDir()) {
            item.Size = 0;
            if (flatMode && !item.isLink) subPrefixes.Add(relPrefix + fi.Name + L'/');
        }
    }
    if (!flatMode) return;
    const unsigned end = subPrefixes.Size();
    for (unsigned i = start; i < end; i++) {
        const UString prefix = subPrefixes[i];
        LoadSubItems((int)i, prefix);
    }
}

HRESULT CFSFolder::LoadItems() {
    COM_TRY_BEGIN
    Int32 dummy;
    WasChanged(&dummy);
    items.Clear();
    subPrefixes.Clear();
    LoadSubItems(-1, UString());
    commentsLoaded = false;
    return S_OK;
    COM_TRY_END
}

HRESULT CFSFolder::GetNumberOfItems(UInt32 *numItems) {
    *numItems = items.Size();
    return S_OK;
}

HRESULT CFSFolder::GetNumberOfProperties(UInt32 *numProperties) {
    *numProperties = flatMode ? kNumProps : kNumProps - 1;
    return S_OK;
}

HRESULT GetPropInfoFromTable(const CPropInfo *props, unsigned numProps, UInt32 index, BSTR *name, PROPID *propID,
                             VARTYPE *varType) {
    if (index >= numProps) return E_INVALIDARG;
    *name = nullptr;
    *propID = props[index].id;
    *varType = props[index].type;
    return S_OK;
}

HRESULT CFSFolder::GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    return GetPropInfoFromTable(kProps, kNumProps, index, name, propID, varType);
}

const UString &CFSFolder::GetPrefixOf(const CDirItem &item) const {
    static const UString kEmpty;
    return item.parentPrefix < 0 ? kEmpty : subPrefixes[(unsigned)item.parentPrefix];
}

UString CFSFolder::GetRelPath(const CDirItem &item) const {
    if (item.parentPrefix < 0) return item.Name;
    return subPrefixes[(unsigned)item.parentPrefix] + item.Name;
}

UString CFSFolder::GetAbsPath(const wchar_t *name) const {
    if (NName::IsAbsolutePath(name)) return name;
    return folderPath + name;
}

HRESULT CFSFolder::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    NCOM::CPropVariant prop;
    if (index >= items.Size()) return E_INVALIDARG;
    const CDirItem &fi = items[index];
    switch (propID) {
    case kpidIsDir:
        prop = fi.IsDir();
        break;
    case kpidIsAltStream:
        prop = false;
        break;
    case kpidName:
        prop = fi.Name;
        break;
    case kpidSize:
        if (!fi.IsDir() || fi.folderStatKnown) prop = fi.Size;
        break;
    case kpidPackSize:
        prop = fi.Size;
        break;
    case kpidNumSubDirs:
        if (fi.IsDir() && fi.folderStatKnown) prop = fi.numSubFolders;
        break;
    case kpidNumSubFiles:
        if (fi.IsDir() && fi.folderStatKnown) prop = fi.numSubFiles;
        break;
    case kpidAttrib:
        prop = (UInt32)fi.Attrib;
        break;
    case kpidCTime:
        prop = fi.CTime;
        break;
    case kpidATime:
        prop = fi.ATime;
        break;
    case kpidMTime:
        prop = fi.MTime;
        break;
    case kpidComment: {
        if (!commentsLoaded) LoadComments();
        UString comment;
        if (comments.GetValue(GetRelPath(fi), comment)) {
            const int pos = comment.Find((wchar_t)4);
            if (pos >= 0) comment.DeleteFrom((unsigned)pos);
            prop = comment;
        }
        break;
    }
    case kpidPrefix:
        prop = GetPrefixOf(fi);
        break;
    default:
        break;
    }
    prop.Detach(value);
    return S_OK;
    COM_TRY_END
}

HRESULT GetPathOrTypeProperty(PROPID propID, const wchar_t *path, const wchar_t *type, PROPVARIANT *value) {
    COM_TRY_BEGIN
    NCOM::CPropVariant prop;
    if (propID == kpidPath)
        prop = path;
    else if (propID == kpidType)
        prop = type;
    prop.Detach(value);
    return S_OK;
    COM_TRY_END
}

HRESULT CFSFolder::GetFolderProperty(PROPID propID, PROPVARIANT *value) {
    return GetPathOrTypeProperty(propID, folderPath, L"FSFolder", value);
}

// ---------- binding ----------

HRESULT CreateFsFolder(const UString &path, IFolderFolder **resultFolder) {
    *resultFolder = nullptr;
    CFSFolder *folderImpl = new CFSFolder;
    CMyComPtr<IFolderFolder> folder = folderImpl;
    RINOK(folderImpl->Init(path));
    *resultFolder = folder.Detach();
    return S_OK;
}

HRESULT CFSFolder::BindToFolder(UInt32 index, IFolderFolder **resultFolder) {
    *resultFolder = nullptr;
    if (index >= items.Size()) return E_INVALIDARG;
    const CDirItem &fi = items[index];
    if (!fi.IsDir()) return E_INVALIDARG;
    return CreateFsFolder(folderPath + GetRelPath(fi) + L'/', resultFolder);
}

HRESULT CFSFolder::BindToFolder(const wchar_t *name, IFolderFolder **resultFolder) {
    return CreateFsFolder(folderPath + name + L'/', resultFolder);
}

HRESULT CFSFolder::BindToParentFolder(IFolderFolder **resultFolder) {
    *resultFolder = nullptr;
    if (folderPath.IsEmpty()) return E_INVALIDARG;
    if (folderPath.Back() != L'/') return E_FAIL;
    UString parent = folderPath;
    parent.DeleteBack();
    if (parent.ReverseFind_PathSepar() >= 0) return S_OK;
    CFSDrives *drivesSpec = new CFSDrives;
    CMyComPtr<IFolderFolder> drives = drivesSpec;
    *resultFolder = drives.Detach();
    return S_OK;
}

HRESULT CFSFolder::Clone(IFolderFolder **resultFolder) {
    return CreateFsFolder(folderPath, resultFolder);
}

// ---------- item access ----------

HRESULT CFSFolder::GetItemName(UInt32 index, const wchar_t **name, unsigned *len) {
    if (index >= items.Size()) {
        *name = nullptr;
        *len = 0;
        return S_OK;
    }
    const CDirItem &fi = items[index];
    *name = fi.Name;
    *len = fi.Name.Len();
    return S_OK;
}

HRESULT CFSFolder::GetItemPrefix(UInt32 index, const wchar_t **name, unsigned *len) {
    *name = nullptr;
    *len = 0;
    if (index >= items.Size()) return S_OK;
    const CDirItem &fi = items[index];
    if (fi.parentPrefix >= 0) {
        const UString &prefix = subPrefixes[(unsigned)fi.parentPrefix];
        *name = prefix;
        *len = prefix.Len();
    }
    return S_OK;
}

UInt64 CFSFolder::GetItemSize(UInt32 index) {
    if (index >= items.Size()) return 0;
    const CDirItem &fi = items[index];
    return fi.IsDir() ? 0 : fi.Size;
}

HRESULT CFSFolder::GetParent(UInt32, UInt32 *, UInt32 *) {
    return E_FAIL;
}

HRESULT CFSFolder::GetRawProp(UInt32, PROPID, const void **data, UInt32 *dataSize, UInt32 *propType) {
    *data = nullptr;
    *dataSize = 0;
    *propType = 0;
    return S_OK;
}

HRESULT CFSFolder::GetNumRawProps(UInt32 *numProps) {
    *numProps = 1;
    return S_OK;
}

HRESULT CFSFolder::GetRawPropInfo(UInt32, BSTR *name, PROPID *propID) {
    *name = nullptr;
    *propID = kpidNtReparse;
    return S_OK;
}

HRESULT CFSFolder::WasChanged(Int32 *wasChanged) {
    *wasChanged = 0;
    return S_OK;
}

HRESULT CFSFolder::SetFlatMode(Int32 flatMode_) {
    flatMode = flatMode_ != 0;
    return S_OK;
}

// No icon data is kept on this side; the window draws icons by item type.
HRESULT CFSFolder::GetSystemIconIndex(UInt32 index, Int32 *iconIndex) {
    if (index >= items.Size()) return E_INVALIDARG;
    *iconIndex = 0;
    return S_OK;
}

// ---------- ordering ----------

static const wchar_t *GetExtensionPtr(const UString &name) {
    const int dotPos = name.ReverseFind_Dot();
    return name.Ptr(dotPos < 0 ? name.Len() : (unsigned)dotPos);
}

template <class T> static Int32 CompareValues(T a, T b) {
    return a < b ? -1 : (a == b ? 0 : 1);
}

Int32 CFSFolder::CompareItems(UInt32 index1, UInt32 index2, PROPID propID, Int32 /* propIsRaw */) {
    const CDirItem &fi1 = items[index1];
    const CDirItem &fi2 = items[index2];
    switch (propID) {
    case kpidName:
        return CompareFileNames_ForFolderList(fi1.Name, fi2.Name);
    case kpidExtension:
        return CompareFileNames_ForFolderList(GetExtensionPtr(fi1.Name), GetExtensionPtr(fi2.Name));
    case kpidIsDir:
        return fi1.IsDir() == fi2.IsDir() ? 0 : (fi1.IsDir() ? -1 : 1);
    case kpidSize:
    case kpidPackSize:
        return CompareValues(fi1.Size, fi2.Size);
    case kpidAttrib:
        return CompareValues((UInt32)fi1.Attrib, (UInt32)fi2.Attrib);
    case kpidCTime:
        return CompareFileTime(&fi1.CTime, &fi2.CTime);
    case kpidATime:
        return CompareFileTime(&fi1.ATime, &fi2.ATime);
    case kpidMTime:
        return CompareFileTime(&fi1.MTime, &fi2.MTime);
    case kpidComment: {
        const UString c1 = comments.GetValue(GetRelPath(fi1));
        const UString c2 = comments.GetValue(GetRelPath(fi2));
        return MyStringCompareNoCase(c1, c2);
    }
    case kpidPrefix:
        if (fi1.parentPrefix < 0) return fi2.parentPrefix < 0 ? 0 : -1;
        if (fi2.parentPrefix < 0) return 1;
        return CompareFileNames_ForFolderList(subPrefixes[(unsigned)fi1.parentPrefix],
                                              subPrefixes[(unsigned)fi2.parentPrefix]);
    default:
        return 0;
    }
}

// ---------- sizes ----------

HRESULT CFsFolderStat::Enumerate() {
    if (progress) RINOK(progress->SetCompleted(nullptr));
    path += L'/';
    const unsigned len = path.Len();
    NFind::CEnumerator enumerator(path + L'*');
    NFind::CFileInfo fi;
    // Listed without following links: a link is counted as what it is, so a loop of links
    // cannot make the walk endless.
    while (enumerator.Next(fi)) {
        if (fi.IsDir()) {
            path.DeleteFrom(len);
            path += fi.Name;
            RINOK(Enumerate());
            numFolders++;
        } else {
            numFiles++;
            size += fi.Size;
        }
    }
    return S_OK;
}

HRESULT CFSFolder::CalcItemFullSize(UInt32 index, IProgress *progress) {
    if (index >= items.Size()) return S_OK;
    CDirItem &fi = items[index];
    if (!fi.IsDir() || fi.isLink) return S_OK;
    CFsFolderStat stat;
    stat.path = folderPath + GetRelPath(fi);
    stat.progress = progress;
    const HRESULT res = stat.Enumerate();
    if (res == S_OK) {
        fi.Size = stat.size;
        fi.numSubFolders = stat.numFolders;
        fi.numSubFiles = stat.numFiles;
        fi.folderStatKnown = true;
    }
    return res;
}

HRESULT CFSFolder::GetItemsFullSize(const UInt32 *indices, UInt32 numItems, CFsFolderStat &stat) {
    for (UInt32 i = 0; i < numItems; i++) {
        const CDirItem &fi = items[indices[i]];
        if (fi.IsDir() && !fi.isLink) {
            stat.path = folderPath + GetRelPath(fi);
            RINOK(stat.Enumerate());
            stat.numFolders++;
        } else {
            stat.numFiles++;
            stat.size += fi.Size;
        }
    }
    return S_OK;
}

// ---------- edits ----------

HRESULT CFSFolder::CreateFolder(const wchar_t *name, IProgress * /* progress */) {
    const UString path = GetAbsPath(name);
    if (NDir::CreateDir(path)) return S_OK;
    if (errno == EEXIST) return HRESULT_FROM_ERRNO(EEXIST);
    if (NDir::CreateComplexDir(path)) return S_OK;
    return LastErrorResult();
}

HRESULT CFSFolder::CreateFile(const wchar_t *name, IProgress * /* progress */) {
    NIO::COutFile outFile;
    if (!outFile.Create(GetAbsPath(name), false)) return LastErrorResult();
    if (!outFile.Close()) return LastErrorResult();
    return S_OK;
}

HRESULT CFSFolder::Rename(UInt32 index, const wchar_t *newName, IProgress * /* progress */) {
    if (index >= items.Size()) return E_NOTIMPL;
    const CDirItem &fi = items[index];
    const UString prefix = folderPath + GetPrefixOf(fi);
    if (fi.Name == newName) return S_OK;
    // Never over another item: renaming onto an existing name would silently destroy it.
    if (!RenameNoReplace(prefix + fi.Name, prefix + newName)) return LastErrorResult();
    return S_OK;
}

HRESULT CFSFolder::Delete(const UInt32 *indices, UInt32 numItems, IProgress *progress) {
    if (progress) RINOK(progress->SetTotal(numItems));
    for (UInt32 i = 0; i < numItems; i++) {
        const UInt32 index = indices[i];
        if (index >= items.Size()) return E_INVALIDARG;
        const CDirItem &fi = items[index];
        const UString path = folderPath + GetRelPath(fi);
        // A link goes as a link, whatever it points to.
        const bool ok = (fi.IsDir() && !fi.isLink) ? NDir::RemoveDirWithSubItems(path) : NDir::DeleteFileAlways(path);
        if (!ok) return LastErrorResult();
        const UInt64 completed = i;
        if (progress) RINOK(progress->SetCompleted(&completed));
    }
    return S_OK;
}

static void TrimBlanks(UString &s) {
    s.Trim();
}

HRESULT CFSFolder::SetProperty(UInt32 index, PROPID propID, const PROPVARIANT *value, IProgress * /* progress */) {
    COM_TRY_BEGIN
    if (index >= items.Size()) return E_INVALIDARG;
    const CDirItem &fi = items[index];
    if (fi.parentPrefix >= 0 || propID != kpidComment) return E_NOTIMPL;
    if (!commentsLoaded) LoadComments();
    UString key = fi.Name;
    TrimBlanks(key);
    if (value->vt == VT_EMPTY)
        comments.DeletePair(key);
    else if (value->vt == VT_BSTR) {
        CTextPair pair;
        pair.key = key;
        pair.value = value->bstrVal;
        TrimBlanks(pair.value);
        if (pair.value.IsEmpty())
            comments.DeletePair(key);
        else
            comments.AddPair(pair);
    } else
        return E_INVALIDARG;
    SaveComments();
    return S_OK;
    COM_TRY_END
}

HRESULT CFSFolder::CopyFrom(Int32, const wchar_t *, const wchar_t *const *, UInt32, IProgress *) {
    return E_NOTIMPL;
}

HRESULT CFSFolder::CopyFromFile(UInt32, const wchar_t *, IProgress *) {
    return E_NOTIMPL;
}

// ---------- comments file ----------

bool CFSFolder::LoadComments() {
    comments.Clear();
    commentsLoaded = true;
    NIO::CInFile file;
    if (!file.Open(folderPath + kDescriptionFileName, true)) return false;
    UInt64 length;
    if (!file.GetLength(length) || length >= kMaxCommentsFileSize) return false;
    AString data;
    char *buf = data.GetBuf((unsigned)length);
    UInt32 total = 0;
    while (total < (UInt32)length) {
        UInt32 processed = 0;
        if (!file.Read(buf + total, (UInt32)length - total, processed)) {
            data.ReleaseBuf_SetEnd(0);
            return false;
        }
        if (processed == 0) break;
        total += processed;
    }
    data.ReleaseBuf_SetEnd(total);
    if (total != (UInt32)length) return false;
    file.Close();
    // The text ends at the first NUL byte.
    const char *nul = (const char *)memchr(data.Ptr(), 0, data.Len());
    const size_t size = nul ? (size_t)(nul - data.Ptr()) : data.Len();
    UString text;
    if (!DecodeCommentsText(data.Ptr(), size, text)) return false;
    return comments.ReadFromString(text);
}

bool CFSFolder::SaveComments() {
    AString data;
    EncodeCommentsText(comments, data);
    // Written under a temporary name and renamed over the old file: every save replaces it,
    // and a failed write leaves the old comments in place.
    if (!ReplaceFileContents(folderPath + kDescriptionFileName, data.Ptr(), data.Len())) return false;
    commentsLoaded = false;
    return true;
}

} // namespace NFsFolder
