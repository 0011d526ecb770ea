#include "UpdateCallback.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unordered_map>
#include <utility>

#include "archive/common/BufInStream.h"
#include "archive/common/StreamUtils.h"
#include "common/IntToString.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"
#include "windows/Synchronization.h"

using namespace NWindows;

// The writer may open, read and release input streams on several threads.
static NSynchronization::CCriticalSection g_CriticalSection;   // the open-file lists
static NSynchronization::CCriticalSection CS;                  // the processed flags
static NSynchronization::CCriticalSection g_ArcItemMapSection; // the handler-index look-up
static NSynchronization::CCriticalSection g_HardLinkSection;   // the hard-link look-up

namespace {
struct CFileIdHash {
    size_t operator()(const std::pair<UInt64, UInt64> &id) const {
        return std::hash<UInt64>()(id.first * 0x9E3779B97F4A7C15ULL ^ id.second);
    }
};
} // namespace

CArchiveUpdateCallback::CArchiveUpdateCallback()
    : _arcItemMapBuilt(false), _hardLinksFound(false), Callback(nullptr), DirItems(nullptr), ParentDirItem(nullptr),
      Arc(nullptr), ArcItems(nullptr), Records(nullptr), NewNames(nullptr), OpenShared(false), FromStdIn(false),
      KeepArcNames(false), WithNtSecurity(false), WithHardLinks(false), WithSymLinks(false), FollowSymLinks(false),
      ProcessedFlags(nullptr) {}

CArchiveUpdateCallback::~CArchiveUpdateCallback() {
    if (_heldFolderFd >= 0) close(_heldFolderFd);
}

bool CArchiveUpdateCallback::OpenInHeldFolder(CInFileStream &stream, const CDirItem &di) {
    // A name the path conversion would change on its own is left to the open by path.
    if (di.PhyParent < 0 || di.IsAltStream || di.Name.IsEmpty() ||
        (di.Name.Len() >= 2 && di.Name[0] == L'c' && di.Name[1] == L':'))
        return false;
    std::lock_guard<std::mutex> lock(_heldFolderLock);
    if (di.PhyParent != _heldFolder) {
        if (_heldFolderFd >= 0) close(_heldFolderFd);
        _heldFolder = di.PhyParent;
        // The folder's path resolves as it would inside the file's whole path.
        const UString folder = DirItems->GetPhyPrefixPath(di.PhyParent);
        _heldFolderFd = open(NFile::NName::GetOsPath(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (_heldFolderFd < 0) return false;
    return stream.File.OpenInFolder(_heldFolderFd, NFile::NName::GetOsPath(di.Name), FollowSymLinks);
}

bool CArchiveUpdateCallback::AreAllFilesClosed() const {
    NSynchronization::CCriticalSectionLock lock(g_CriticalSection);
    return OpenIndexes.IsEmpty();
}

UStringVector CArchiveUpdateCallback::GetOpenPaths() const {
    NSynchronization::CCriticalSectionLock lock(g_CriticalSection);
    UStringVector paths;
    for (unsigned i = 0; i < OpenIndexes.Size(); i++)
        paths.Add(DirItems->GetPhyPath((unsigned)(*Records)[OpenIndexes[i]].DiskIndex));
    return paths;
}

void CArchiveUpdateCallback::SetProcessedFlag(int diskIndex, Byte value) {
    if (!ProcessedFlags || diskIndex < 0) return;
    NSynchronization::CCriticalSectionLock lock(CS);
    Byte &flag = ProcessedFlags[(unsigned)diskIndex];
    // A failure sticks: a later successful open does not make a damaged copy whole.
    if (flag != kProcessed_Failed) flag = value;
}

const CArcItem *CArchiveUpdateCallback::FindArcItem(UInt32 handlerIndex) {
    if (!ArcItems) return nullptr;
    NSynchronization::CCriticalSectionLock lock(g_ArcItemMapSection);
    if (!_arcItemMapBuilt) {
        const CObjectVector<CArcItem> &items = *ArcItems;
        UInt32 numIndices = 0;
        for (unsigned i = 0; i < items.Size(); i++)
            if (items[i].HandlerIndex >= numIndices) numIndices = items[i].HandlerIndex + 1;
        _arcItemOfHandlerIndex.ClearAndSetSize(numIndices);
        for (UInt32 i = 0; i < numIndices; i++)
            _arcItemOfHandlerIndex[i] = -1;
        for (unsigned i = 0; i < items.Size(); i++)
            _arcItemOfHandlerIndex[items[i].HandlerIndex] = (int)i;
        _arcItemMapBuilt = true;
    }
    if (handlerIndex >= _arcItemOfHandlerIndex.Size()) return nullptr;
    const int pos = _arcItemOfHandlerIndex[handlerIndex];
    return pos < 0 ? nullptr : &(*ArcItems)[(unsigned)pos];
}

int CArchiveUpdateCallback::FindHardLinkTarget(UInt32 index) {
    NSynchronization::CCriticalSectionLock lock(g_HardLinkSection);
    if (!_hardLinksFound) {
        const CRecordVector<CUpdatePair2> &records = *Records;
        _hardLinkOf.ClearAndSetSize(records.Size());
        std::unordered_map<std::pair<UInt64, UInt64>, int, CFileIdHash> first;
        for (unsigned i = 0; i < records.Size(); i++) {
            _hardLinkOf[i] = -1;
            const CUpdatePair2 &up = records[i];
            if (!up.HasNewData || up.Anti || !up.ExistOnDisk()) continue;
            const CDirItem &di = DirItems->Items[(unsigned)up.DiskIndex];
            if (di.IsDir() || di.IsAltStream) continue;
            // Only the file itself counts: a link read through, as a format without links does,
            // is the data of its target and stays a copy.
            struct stat st;
            if (lstat(NWindows::NFile::NName::GetOsPath(DirItems->GetPhyPath((unsigned)up.DiskIndex)), &st) != 0 ||
                !S_ISREG(st.st_mode) || st.st_nlink < 2)
                continue;
            const auto ins = first.emplace(std::make_pair((UInt64)st.st_dev, (UInt64)st.st_ino), (int)i);
            if (!ins.second) _hardLinkOf[i] = ins.first->second;
        }
        _hardLinksFound = true;
    }
    return index < _hardLinkOf.Size() ? _hardLinkOf[index] : -1;
}

HRESULT CArchiveUpdateCallback::SetTotal(UInt64 size) {
    COM_TRY_BEGIN
    return Callback->SetTotal(size);
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::SetCompleted(const UInt64 *completeValue) {
    COM_TRY_BEGIN
    return Callback->SetCompleted(completeValue);
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) {
    COM_TRY_BEGIN
    return Callback->SetRatioInfo(inSize, outSize);
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::SetOperationResult(Int32 operationResult) {
    COM_TRY_BEGIN
    return Callback->SetOperationResult(operationResult);
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *password) {
    COM_TRY_BEGIN
    const HRESULT res = Callback->CryptoGetTextPassword2(passwordIsDefined, password);
    if (res == S_OK && passwordIsDefined && *passwordIsDefined) PasswordWasGiven = true;
    return res;
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::CryptoGetTextPassword(BSTR *password) {
    COM_TRY_BEGIN
    return Callback->CryptoGetTextPassword(password);
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::GetUpdateItemInfo(UInt32 index, Int32 *newData, Int32 *newProps,
                                                  UInt32 *indexInArchive) {
    COM_TRY_BEGIN
    RINOK(Callback->CheckBreak())
    const CUpdatePair2 &up = (*Records)[index];
    if (newData) *newData = up.HasNewData ? 1 : 0;
    if (newProps) *newProps = up.HasNewProps ? 1 : 0;
    if (indexInArchive) {
        *indexInArchive = (UInt32)(Int32)-1;
        if (up.ExistInArchive()) *indexInArchive = ArcIndexOf(up);
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::GetRootProp(PROPID propID, PROPVARIANT *value) {
    NCOM::CPropVariant prop;
    switch (propID) {
    case kpidIsDir:
        prop = true;
        break;
    case kpidAttrib:
        if (ParentDirItem) prop = ParentDirItem->Attrib;
        break;
    case kpidCTime:
        if (ParentDirItem) prop = ParentDirItem->CTime;
        break;
    case kpidATime:
        if (ParentDirItem) prop = ParentDirItem->ATime;
        break;
    case kpidMTime:
        if (ParentDirItem) prop = ParentDirItem->MTime;
        break;
    }
    return prop.Detach(value);
}

HRESULT CArchiveUpdateCallback::GetParent(UInt32, UInt32 *parent, UInt32 *parentType) {
    *parentType = 0;
    *parent = (UInt32)(Int32)-1;
    return S_OK;
}

HRESULT CArchiveUpdateCallback::GetNumRawProps(UInt32 *numProps) {
    *numProps = WithNtSecurity ? 1 : 0;
    return S_OK;
}

HRESULT CArchiveUpdateCallback::GetRawPropInfo(UInt32, BSTR *name, PROPID *propID) {
    *name = nullptr;
    *propID = kpidNtSecure;
    return S_OK;
}

HRESULT CArchiveUpdateCallback::GetRootRawProp(PROPID, const void **data, UInt32 *dataSize, UInt32 *propType) {
    *data = nullptr;
    *dataSize = 0;
    *propType = 0;
    return S_OK;
}

HRESULT CArchiveUpdateCallback::GetRawProp(UInt32 index, PROPID propID, const void **data, UInt32 *dataSize,
                                           UInt32 *propType) {
    *data = nullptr;
    *dataSize = 0;
    *propType = 0;
    if (propID != kpidNtSecure && propID != kpidNtReparse) return S_OK;
    if (FromStdIn) return S_OK;
    const CUpdatePair2 &up = (*Records)[index];
    if (up.KeepArcProps && up.ExistInArchive() && Arc && Arc->rawPropsHandler)
        return Arc->rawPropsHandler->GetRawProp(ArcIndexOf(up), propID, data, dataSize, propType);
    return S_OK;
}

HRESULT CArchiveUpdateCallback::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    const CUpdatePair2 &up = (*Records)[index];
    NCOM::CPropVariant prop;
    bool skipToArchive = false;

    if (up.HasNewData) {
        if (propID == kpidSymLink) {
            if (!up.Anti) skipToArchive = true;
        } else if (propID == kpidHardLink) {
            if (up.ExistOnDisk() && WithHardLinks && !up.Anti) {
                // A second name of a file already stored is stored as a link to the first name.
                const int target = FindHardLinkTarget(index);
                if (target >= 0) prop = DirItems->GetLogPath((unsigned)(*Records)[(unsigned)target].DiskIndex);
            }
            if (up.ExistOnDisk() || up.Anti) return prop.Detach(value);
            skipToArchive = true;
        }
    }

    if (!skipToArchive) {
        if (up.Anti && propID != kpidPath && propID != kpidIsDir && propID != kpidIsAltStream) {
            if (propID == kpidSize)
                prop = (UInt64)0;
            else if (propID == kpidIsAnti)
                prop = true;
            return prop.Detach(value);
        }
        if (up.RenameIndex >= 0) {
            if (propID == kpidPath) {
                prop = (*NewNames)[(unsigned)up.RenameIndex];
                return prop.Detach(value);
            }
            if (propID == kpidShortName && up.IsRenameTarget) return prop.Detach(value);
        }
    }

    if ((up.KeepArcProps || (KeepArcNames && (propID == kpidPath || propID == kpidIsAltStream))) &&
        up.ExistInArchive() && Archive)
        return Archive->GetProperty(ArcIndexOf(up), propID, value);

    if (up.ExistOnDisk()) {
        const CDirItem &di = DirItems->Items[(unsigned)up.DiskIndex];
        switch (propID) {
        case kpidPath: {
            // Straight into the value's string: one allocation per item.
            BSTR path = prop.AllocBstr(DirItems->GetLogPathLen((unsigned)up.DiskIndex));
            DirItems->WriteLogPath((unsigned)up.DiskIndex, path);
            break;
        }
        case kpidIsDir:
            prop = di.IsDir();
            break;
        case kpidSize:
            // All ones is an unknown size (standard input): the writer gets none rather than 16 EiB.
            if (di.IsDir())
                prop = (UInt64)0;
            else if (di.Size != (UInt64)(Int64)-1)
                prop = di.Size;
            break;
        case kpidAttrib:
            prop = di.Attrib;
            break;
        case kpidCTime:
            prop = di.CTime;
            break;
        case kpidATime:
            prop = di.ATime;
            break;
        case kpidMTime:
            prop = di.MTime;
            break;
        case kpidIsAltStream:
            prop = di.IsAltStream;
            break;
        }
    }
    return prop.Detach(value);
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::GetStream2(UInt32 index, ISequentialInStream **inStream, UInt32 notifyOp) {
    COM_TRY_BEGIN
    *inStream = nullptr;
    const CUpdatePair2 &up = (*Records)[index];
    if (!up.HasNewData) return E_FAIL;
    RINOK(Callback->CheckBreak())

    bool isDir = false;
    if (up.DiskIndex >= 0)
        isDir = DirItems->Items[(unsigned)up.DiskIndex].IsDir();
    else if (up.ArchiveIndex >= 0 && ArcItems)
        isDir = (*ArcItems)[(unsigned)up.ArchiveIndex].IsDir;

    if (up.Anti) {
        UString name;
        if (up.ArchiveIndex >= 0 && ArcItems)
            name = (*ArcItems)[(unsigned)up.ArchiveIndex].Name;
        else if (up.DiskIndex >= 0)
            name = DirItems->GetLogPath((unsigned)up.DiskIndex);
        RINOK(Callback->GetStream(name, isDir, true, notifyOp))
        if (!isDir) {
            CBufInStream *impl = new CBufInStream;
            CMyComPtr<ISequentialInStream> stream = impl;
            impl->Init(nullptr, 0);
            *inStream = stream.Detach();
        }
        return S_OK;
    }

    if (up.DiskIndex < 0) return E_FAIL;
    RINOK(Callback->GetStream(DirItems->GetLogPath((unsigned)up.DiskIndex), isDir, false, notifyOp))
    if (isDir) return S_OK;

    if (FromStdIn) {
        if (notifyOp == NArchive::NUpdateNotifyOp::kAdd || notifyOp == NArchive::NUpdateNotifyOp::kUpdate) {
            CStdInFileStream *impl = new CStdInFileStream;
            CMyComPtr<ISequentialInStream> stream = impl;
            *inStream = stream.Detach();
        }
        return S_OK;
    }

    CInFileStream *impl = new CInFileStream(FollowSymLinks);
    CMyComPtr<ISequentialInStream> stream = impl;
    impl->SupportHardLinks = WithHardLinks;
    impl->Callback = this;
    impl->CallbackRef = index;
    {
        NSynchronization::CCriticalSectionLock lock(g_CriticalSection);
        OpenIndexes.Add(index);
    }
    if (!OpenInHeldFolder(*impl, DirItems->Items[(unsigned)up.DiskIndex]) &&
        !impl->Open(DirItems->GetPhyPath((unsigned)up.DiskIndex))) {
        const DWORD error = (DWORD)errno;
        const UString path = DirItems->GetPhyPath((unsigned)up.DiskIndex);
        SetProcessedFlag(up.DiskIndex, kProcessed_Failed);
        // Releasing the stream takes it off the open list.
        stream.Release();
        return Callback->OpenFileError(path, error);
    }
    SetProcessedFlag(up.DiskIndex, kProcessed_Opened);
    *inStream = stream.Detach();
    return S_OK;
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::GetStream(UInt32 index, ISequentialInStream **inStream) {
    const CUpdatePair2 &up = (*Records)[index];
    return GetStream2(index, inStream,
                      up.ArchiveIndex >= 0 ? NArchive::NUpdateNotifyOp::kUpdate : NArchive::NUpdateNotifyOp::kAdd);
}

HRESULT CArchiveUpdateCallback::ReportOperation(UInt32 indexType, UInt32 index, UInt32 notifyOp) {
    COM_TRY_BEGIN
    bool isDir = false;
    if (indexType == NArchive::NEventIndexType::kOutArcIndex) {
        UString name;
        if (index != (UInt32)(Int32)-1) {
            const CUpdatePair2 &up = (*Records)[index];
            if (up.ExistOnDisk()) {
                name = DirItems->GetLogPath((unsigned)up.DiskIndex);
                isDir = DirItems->Items[(unsigned)up.DiskIndex].IsDir();
            }
        }
        return Callback->ReportUpdateOpeartion(notifyOp, name.IsEmpty() ? nullptr : name.Ptr(), isDir);
    }

    UString name;
    if (indexType == NArchive::NEventIndexType::kInArcIndex) {
        if (index != (UInt32)(Int32)-1) {
            const CArcItem *ai = FindArcItem(index);
            if (ai) {
                name = ai->Name;
                isDir = ai->IsDir;
            } else if (Arc) {
                RINOK(Arc->GetItemPath(index, name))
                RINOK(Archive_IsItem_Dir(Arc->handler, index, isDir))
            }
        }
    } else if (indexType == NArchive::NEventIndexType::kBlockIndex) {
        wchar_t temp[16];
        ConvertUInt32ToString(index, temp);
        name = L"#";
        name += temp;
    }
    return Callback->ReportUpdateOpeartion(notifyOp, name, isDir);
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::ReportExtractResult(UInt32 indexType, UInt32 index, Int32 opRes) {
    COM_TRY_BEGIN
    bool isEncrypted = false;
    UString name;
    bool haveName = false;
    if (indexType == NArchive::NEventIndexType::kOutArcIndex) return E_FAIL;
    if (indexType == NArchive::NEventIndexType::kInArcIndex) {
        if (index != (UInt32)(Int32)-1) {
            const CArcItem *ai = FindArcItem(index);
            if (ai) {
                name = ai->Name;
                haveName = true;
            } else if (Arc) {
                RINOK(Arc->GetItemPath(index, name))
                haveName = true;
            }
            if (Archive) RINOK(Archive_GetItemBoolProp(Archive, index, kpidEncrypted, isEncrypted))
        }
    } else if (indexType == NArchive::NEventIndexType::kBlockIndex) {
        wchar_t temp[16];
        ConvertUInt32ToString(index, temp);
        name = L"#";
        name += temp;
        haveName = true;
    }
    return Callback->ReportExtractResult(opRes, isEncrypted ? 1 : 0, haveName ? name.Ptr() : nullptr);
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::GetVolumeSize(UInt32 index, UInt64 *size) {
    if (VolumeSizes.IsEmpty()) return S_FALSE;
    *size = index < VolumeSizes.Size() ? VolumeSizes[index] : VolumeSizes.Back();
    return S_OK;
}

HRESULT CArchiveUpdateCallback::GetVolumeStream(UInt32 index, ISequentialOutStream **volumeStream) {
    COM_TRY_BEGIN
    *volumeStream = nullptr;
    wchar_t temp[16];
    ConvertUInt32ToString(index + 1, temp);
    UString num;
    for (size_t len = wcslen(temp); len < 2; len++)
        num += L'0';
    num += temp;
    const UString path = VolumeName + L'.' + num + VolumeExt;
    COutFileStream *impl = new COutFileStream;
    CMyComPtr<ISequentialOutStream> stream = impl;
    if (!impl->Create(path, false)) return HRESULT_FROM_ERRNO(errno);
    *volumeStream = stream.Detach();
    return S_OK;
    COM_TRY_END
}

HRESULT CArchiveUpdateCallback::InFileStream_On_Error(UInt64 val, UInt32 error) {
    // A file that could not be read whole is not in the archive as it is on disk.
    if (Records && val < Records->Size()) SetProcessedFlag((*Records)[(unsigned)val].DiskIndex, kProcessed_Failed);
    if ((Int32)error <= 0) return (HRESULT)error;
    return (HRESULT)(0x80070000u | (error & 0xFFFF));
}

void CArchiveUpdateCallback::InFileStream_On_Destroy(UInt64 val) {
    NSynchronization::CCriticalSectionLock lock(g_CriticalSection);
    for (unsigned i = 0; i < OpenIndexes.Size(); i++)
        if (OpenIndexes[i] == val) {
            OpenIndexes.Delete(i);
            return;
        }
    // Every stream of GetStream2 is listed; this runs inside a stream's destructor, so an unknown
    // value is ignored rather than thrown.
}
