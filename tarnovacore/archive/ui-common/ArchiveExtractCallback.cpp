#include "ArchiveExtractCallback.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wchar.h>

#include <algorithm>
#include <vector>

#include "ExtractingFilePath.h"
#include "archive/common/StdOutFileStream.h"
#include "archive/common/StreamUtils.h"
#include "common/IntToString.h"
#include "common/StringConvert.h"
#include "windows/ErrorMsg.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/FileIO.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"
#include "windows/TimeUtils.h"

using namespace NWindows;
using namespace NFile;

HRESULT ApplyOverwriteAnswer(Int32 answer, NExtract::NOverwriteMode::EEnum &mode) {
    switch (answer) {
    case NOverwriteAnswer::kCancel:
        return E_ABORT;
    case NOverwriteAnswer::kNo:
        return S_FALSE;
    case NOverwriteAnswer::kNoToAll:
        mode = NExtract::NOverwriteMode::kSkip;
        return S_FALSE;
    case NOverwriteAnswer::kYes:
        return S_OK;
    case NOverwriteAnswer::kYesToAll:
        mode = NExtract::NOverwriteMode::kOverwrite;
        return S_OK;
    case NOverwriteAnswer::kAutoRename:
        mode = NExtract::NOverwriteMode::kRename;
        return S_OK;
    default:
        return E_FAIL;
    }
}

namespace {

Int32 BoolToInt(bool v) {
    return v ? 1 : 0;
}

// An archive path without empty and "." parts: the key that hard links name their targets by.
std::wstring NormalizeArcPath(const UString &path) {
    std::wstring res;
    unsigned start = 0;
    for (unsigned i = 0; i <= path.Len(); i++) {
        if (i != path.Len() && path[i] != L'/') continue;
        const unsigned len = i - start;
        if (len != 0 && !(len == 1 && path[start] == L'.')) {
            if (!res.empty()) res += L'/';
            res.append(path.Ptr(start), len);
        }
        start = i + 1;
    }
    return res;
}

void FileTimeFromStat(const struct stat &st, FILETIME &ft) {
    if (!NTime::UnixTime64ToFileTime((Int64)st.st_mtime, ft)) ft.dwLowDateTime = ft.dwHighDateTime = 0;
}

bool SetTimesOnFd(int fd, const FILETIME *aTime, const FILETIME *mTime) {
    if (!aTime && !mTime) return true;
    struct timespec ts[2];
    NTime::FileTimesToTimespecs(aTime, mTime, ts);
    return futimens(fd, ts) == 0;
}

} // namespace

bool CensorNode_CheckPath2(const NWildcard::CCensorNode &node, const CReadArcItem &item, bool &include) {
    bool found = node.CheckPathVect(item.pathParts, !item.mainIsDir, include);
    if (found && !include) return true;
    if (!item.isAltStream) return found;
    UStringVector pathParts2 = item.pathParts;
    if (pathParts2.IsEmpty()) pathParts2.AddNew();
    UString &back = pathParts2.Back();
    back += L':';
    back += item.altStreamName;
    bool include2;
    if (node.CheckPathVect(pathParts2, true, include2)) {
        include = include2;
        return true;
    }
    return found;
}

bool CensorNode_CheckPath(const NWildcard::CCensorNode &node, const CReadArcItem &item) {
    bool include;
    if (CensorNode_CheckPath2(node, item, include)) return include;
    return false;
}

CArchiveExtractCallback::CArchiveExtractCallback()
    : _arc(nullptr), _wildcardCensor(nullptr), _pathMode(NExtract::NPathMode::kFullPaths),
      _overwriteMode(NExtract::NOverwriteMode::kAsk), _stdOutMode(false), _testMode(false), _multiArchives(false),
      _extractMode(false), _removePartsForAltStreams(false), _index(0), _diskInRoot(false), _diskPathValid(false),
      _isSplit(false), _position(0), _encrypted(false), _curSize(0), _curSizeDefined(false), _fileWasCreated(false),
      _isRenamedItem(false), _isLinkPlaceholder(false), _arcMTimeDefined(false), _outFileStreamSpec(nullptr),
      _hashStreamSpec(nullptr), _hashStreamWasUsed(false), _getPropSpec(nullptr), _packTotal(0), _progressTotal(0),
      _progressTotal_Defined(false), WriteCTime(true), WriteATime(true), WriteMTime(true), BaseParentFolderMode(false),
      BaseParentFolderIndex((UInt32)(Int32)-1), NumFolders(0), NumFiles(0), NumAltStreams(0), UnpackSize(0),
      AltStreams_UnpackSize(0), NumWarnings(0) {
    _fi = CItemProps();
    _arcMTime.dwLowDateTime = _arcMTime.dwHighDateTime = 0;
    _localProgressSpec = new CLocalProgress;
    _localProgress = _localProgressSpec;
}

CArchiveExtractCallback::~CArchiveExtractCallback() {
    ReleaseOutFile();
    // A placeholder must not stay behind as a small text file.
    if (!_delayedLinks.IsEmpty()) CreateDelayedLinks();
}

void CArchiveExtractCallback::InitForMulti(bool multiArchives, NExtract::NPathMode::EEnum pathMode,
                                           NExtract::NOverwriteMode::EEnum overwriteMode) {
    _multiArchives = multiArchives;
    _pathMode = pathMode;
    _overwriteMode = overwriteMode;
    NumFolders = NumFiles = NumAltStreams = UnpackSize = AltStreams_UnpackSize = NumWarnings = 0;
}

void CArchiveExtractCallback::SetHashMethods(IHashCalc *hash) {
    if (!hash) {
        _hashStream.Release();
        _hashStreamSpec = nullptr;
        return;
    }
    _hashStreamSpec = new COutStreamWithHash;
    _hashStream = _hashStreamSpec;
    _hashStreamSpec->_hash = hash;
}

void CArchiveExtractCallback::Init(const CExtractNtOptions &ntOptions, const NWildcard::CCensorNode *wildcardCensor,
                                   const CArc *arc, IFolderArchiveExtractCallback *extractCallback2, bool stdOutMode,
                                   bool testMode, const UString &directoryPath, const UStringVector &removePathParts,
                                   bool removePartsForAltStreams, UInt64 packSize) {
    if (!_delayedLinks.IsEmpty()) CreateDelayedLinks();
    _extractedDirs.Clear();
    _lastDirPath.Empty();
    _renamedFiles.Clear();
    _writtenFiles.clear();
    _writtenPaths.clear();

    _ntOptions = ntOptions;
    _wildcardCensor = wildcardCensor;
    _stdOutMode = stdOutMode;
    _testMode = testMode;
    _packTotal = packSize;
    _progressTotal = packSize;
    _progressTotal_Defined = true;

    _extractCallback2 = extractCallback2;
    _compressProgress.Release();
    _extractCallback2.QueryInterface(IID_ICompressProgressInfo, &_compressProgress);
    _callbackMessage.Release();
    _extractCallback2.QueryInterface(IID_IArchiveExtractCallbackMessage, &_callbackMessage);
    _folderArchiveExtractCallback2.Release();
    _extractCallback2.QueryInterface(IID_IFolderArchiveExtractCallback2, &_folderArchiveExtractCallback2);
    _cryptoGetTextPassword.Release();

    ExtractToStreamCallback.Release();
    _extractCallback2.QueryInterface(IID_IFolderExtractToStreamCallback, &ExtractToStreamCallback);
    if (ExtractToStreamCallback) {
        Int32 useStreams = 0;
        if (ExtractToStreamCallback->UseExtractToStream(&useStreams) != S_OK) useStreams = 0;
        if (useStreams == 0) ExtractToStreamCallback.Release();
    }

    _localProgressSpec->Init(extractCallback2, true);
    _localProgressSpec->SendProgress = false;

    _removePathParts = removePathParts;
    _removePartsForAltStreams = removePartsForAltStreams;
    BaseParentFolderMode = false;
    BaseParentFolderIndex = (UInt32)(Int32)-1;

    _arc = arc;
    _dirPathPrefix = directoryPath;
    _dirPathPrefix_Full = directoryPath;
    if (!_dirPathPrefix.IsEmpty()) NName::NormalizeDirPathPrefix(_dirPathPrefix);
    NName::GetFullPath(directoryPath, _dirPathPrefix_Full);
    NName::NormalizeDirPathPrefix(_dirPathPrefix_Full);

    _outDir.Close();
    if (!_stdOutMode && !_testMode) {
        _outDir.Open(_dirPathPrefix);
        if (_pathMode == NExtract::NPathMode::kAbsPaths && !_rootDir.IsOpen()) _rootDir.Open(UString(L"/"));
    }
}

HRESULT CArchiveExtractCallback::SetTotal(UInt64 size) {
    _progressTotal = size;
    _progressTotal_Defined = true;
    if (!_multiArchives && _extractCallback2) return _extractCallback2->SetTotal(size);
    return S_OK;
}

HRESULT CArchiveExtractCallback::SetCompleted(const UInt64 *completeValue) {
    if (!_extractCallback2) return S_OK;
    if (_multiArchives) {
        UInt64 packCur = _localProgressSpec->InSize;
        if (completeValue && _progressTotal_Defined) {
            UInt64 packTotal = _packTotal;
            UInt64 progressTotal = _progressTotal;
            UInt64 value = *completeValue;
            const UInt64 kMax = (UInt64)1 << 31;
            while (packTotal > kMax) {
                packTotal >>= 1;
                progressTotal >>= 1;
            }
            while (value > kMax) {
                value >>= 1;
                progressTotal >>= 1;
            }
            if (progressTotal == 0) progressTotal = 1;
            packCur += value * packTotal / progressTotal;
        }
        return _extractCallback2->SetCompleted(&packCur);
    }
    return _extractCallback2->SetCompleted(completeValue);
}

HRESULT CArchiveExtractCallback::SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) {
    COM_TRY_BEGIN
    return _localProgress->SetRatioInfo(inSize, outSize);
    COM_TRY_END
}

HRESULT CArchiveExtractCallback::CryptoGetTextPassword(BSTR *password) {
    COM_TRY_BEGIN
    if (!_cryptoGetTextPassword)
        RINOK(_extractCallback2.QueryInterface(IID_ICryptoGetTextPassword, &_cryptoGetTextPassword));
    return _cryptoGetTextPassword->CryptoGetTextPassword(password);
    COM_TRY_END
}

HRESULT CArchiveExtractCallback::MessageError(const char *message, const UString &path) {
    UString s;
    s.SetFromAscii(message);
    s += L" : ";
    s += path;
    return _extractCallback2->MessageError(s);
}

HRESULT CArchiveExtractCallback::SendMessageError_with_Error(DWORD errorCode, const char *message,
                                                             const UString &path) {
    UString s;
    s.SetFromAscii(message);
    if (errorCode != 0) {
        s += L" : ";
        s += NError::MyFormatMessage(errorCode);
    }
    s += L" : ";
    s += path;
    return _extractCallback2->MessageError(s);
}

HRESULT CArchiveExtractCallback::SendMessageError2(const char *message, const UString &path1, const UString &path2) {
    UString s;
    s.SetFromAscii(message);
    s += L" : ";
    s += path1;
    s += L" : ";
    s += path2;
    return _extractCallback2->MessageError(s);
}

HRESULT CArchiveExtractCallback::GetTime(UInt32 index, PROPID propID, FILETIME &filetime, bool &filetimeIsDefined) {
    filetimeIsDefined = false;
    filetime.dwLowDateTime = filetime.dwHighDateTime = 0;
    NCOM::CPropVariant prop;
    RINOK(_arc->handler->GetProperty(index, propID, &prop));
    if (prop.vt == VT_FILETIME) {
        filetime = prop.filetime;
        filetimeIsDefined = (filetime.dwHighDateTime != 0 || filetime.dwLowDateTime != 0);
    } else if (prop.vt != VT_EMPTY)
        return E_FAIL;
    return S_OK;
}

HRESULT CArchiveExtractCallback::GetUnpackSize() {
    return _arc->GetItemSize(_index, _curSize, _curSizeDefined);
}

bool CArchiveExtractCallback::ToRelPath(const UString &fullPath, UString &relPath, bool &inRoot) const {
    if (!_dirPathPrefix.IsEmpty() && fullPath.IsPrefixedBy(_dirPathPrefix)) {
        relPath = fullPath.Ptr(_dirPathPrefix.Len());
        inRoot = false;
        return true;
    }
    if (_dirPathPrefix.IsEmpty() && !NName::IsAbsolutePath(fullPath)) {
        relPath = fullPath;
        inRoot = false;
        return true;
    }
    if (_pathMode == NExtract::NPathMode::kAbsPaths && NName::IsAbsolutePath(fullPath)) {
        relPath = fullPath.Ptr(1);
        inRoot = true;
        return true;
    }
    errno = EPERM;
    return false;
}

void CArchiveExtractCallback::SetDirTimes(const CExtractOutDir &dir, const UString &relPath) {
    const int fd = dir.OpenDir(relPath);
    if (fd < 0) return; // not a folder (a file or a link is in its place): its times stay
    const FILETIME *aTime = (WriteATime && _fi.ATimeDefined) ? &_fi.ATime : nullptr;
    const FILETIME *mTime = _fi.MTimeDefined ? &_fi.MTime : (_arcMTimeDefined ? &_arcMTime : nullptr);
    SetTimesOnFd(fd, aTime, mTime);
    close(fd);
}

void CArchiveExtractCallback::AddExtractedDir(const UString &relPath, bool inRoot, UInt32 index) {
    // The deepest folder on the way to the last one that holds this one: found from the length
    // the two paths share, so a walk back up costs no comparison of names per level.
    int parent = -1;
    if (!_extractedDirs.IsEmpty() && _extractedDirs.Back().InRoot == inRoot) {
        unsigned common = 0;
        while (common < relPath.Len() && common < _lastDirPath.Len() && relPath[common] == _lastDirPath[common])
            common++;
        for (int k = (int)_extractedDirs.Size() - 1; k >= 0; k = _extractedDirs[(unsigned)k].Parent) {
            const unsigned len = _extractedDirs[(unsigned)k].Len;
            if (len <= common && len < relPath.Len() && relPath[len] == L'/' &&
                (len == _lastDirPath.Len() || _lastDirPath[len] == L'/')) {
                parent = k;
                break;
            }
        }
    }
    CExtractedDir &d = _extractedDirs.AddNew();
    d.Parent = parent;
    d.Name = parent < 0 ? relPath : UString(relPath.Ptr(_extractedDirs[(unsigned)parent].Len + 1));
    d.Len = relPath.Len();
    d.InRoot = inRoot;
    d.Index = index;
    d.NumSlashes = 0;
    for (unsigned k = 0; k < relPath.Len(); k++)
        if (relPath[k] == L'/') d.NumSlashes++;
    _lastDirPath = relPath;
}

UString CArchiveExtractCallback::ExtractedDirPath(unsigned k) const {
    const CExtractedDir &d = _extractedDirs[k];
    UString path;
    wchar_t *end = path.GetBuf_SetEnd(d.Len) + d.Len;
    for (int i = (int)k; i >= 0; i = _extractedDirs[(unsigned)i].Parent) {
        const UString &name = _extractedDirs[(unsigned)i].Name;
        end -= name.Len();
        wmemcpy(end, name.Ptr(), name.Len());
        if (_extractedDirs[(unsigned)i].Parent >= 0) *--end = L'/';
    }
    return path;
}

UString CArchiveExtractCallback::JoinDirParts(const UStringVector &parts, unsigned count, bool inRoot) {
    unsigned len = 0;
    for (unsigned i = inRoot ? 1 : 0; i < count; i++)
        len += parts[i].Len() + 1;
    UString rel;
    rel.GetBuf(len);
    for (unsigned i = inRoot ? 1 : 0; i < count; i++) {
        if (!rel.IsEmpty()) rel += L'/';
        rel += parts[i];
    }
    return rel;
}

HRESULT CArchiveExtractCallback::CheckExistFile(const UString &fullPathIn, bool &needExit) {
    needExit = true;
    UString fullPath = fullPathIn;
    UString rel;
    bool inRoot;
    if (!ToRelPath(fullPath, rel, inRoot)) return S_OK;
    const CExtractOutDir &dir = DirFor(inRoot);
    struct stat st;
    if (!dir.Stat(rel, st)) {
        needExit = false;
        return S_OK;
    }

    switch (_overwriteMode) {
    case NExtract::NOverwriteMode::kSkip:
        return S_OK;
    case NExtract::NOverwriteMode::kAsk: {
        FILETIME existTime;
        FileTimeFromStat(st, existTime);
        const UInt64 existSize = (UInt64)st.st_size;
        Int32 overwriteResult;
        RINOK(_extractCallback2->AskOverwrite(fullPath, &existTime, &existSize, _item.itemPath,
                                              _fi.MTimeDefined ? &_fi.MTime : nullptr,
                                              _curSizeDefined ? &_curSize : nullptr, &overwriteResult));
        const HRESULT res = ApplyOverwriteAnswer(overwriteResult, _overwriteMode);
        if (res == S_FALSE) return S_OK;
        if (res != S_OK) return res;
        break;
    }
    default:
        break;
    }

    if (_overwriteMode == NExtract::NOverwriteMode::kRename) {
        if (!AutoRenamePath(fullPath)) {
            const HRESULT res = MessageError("Can not create file with auto name", fullPath);
            return res != S_OK ? res : E_FAIL;
        }
        _diskFilePath = fullPath;
        _isRenamedItem = true;
    } else if (_overwriteMode == NExtract::NOverwriteMode::kRenameExisting) {
        UString existPath = fullPath;
        UString existRel;
        bool existInRoot;
        if (!AutoRenamePath(existPath) || !ToRelPath(existPath, existRel, existInRoot)) {
            const HRESULT res = MessageError("Can not create file with auto name", fullPath);
            return res != S_OK ? res : E_FAIL;
        }
        if (existInRoot != inRoot || !dir.Rename(rel, existRel)) {
            const HRESULT res = SendMessageError2("Can not rename existing file", existPath, fullPath);
            return res != S_OK ? res : E_FAIL;
        }
    } else if (S_ISDIR(st.st_mode)) {
        // Only an empty folder makes way for a file.
        if (!dir.RemoveEmptyDir(rel))
            return SendMessageError_with_Error((DWORD)errno, "Can not delete output folder", fullPath);
    } else if (!dir.DeleteFile(rel)) {
        return SendMessageError_with_Error((DWORD)errno, "Can not delete output file", fullPath);
    }
    needExit = false;
    return S_OK;
}

void CArchiveExtractCallback::RememberWrittenFile(const UString &itemPath) {
    const std::wstring key = NormalizeArcPath(itemPath);
    UInt32 where = kWrittenAtArcPath;
    if (_diskInRoot || key != _diskRelPath.Ptr()) {
        where = (UInt32)_writtenPaths.size();
        _writtenPaths += _diskInRoot ? L'/' : L'.';
        _writtenPaths += _diskRelPath.Ptr();
        _writtenPaths += L'\0';
    }
    _writtenFiles[std::hash<std::wstring>()(key)] = where;
}

HRESULT CArchiveExtractCallback::MakeHardLink(const UString &target, const UString &fullPath, bool &handled) {
    handled = true;
    UString rel;
    bool inRoot;
    const std::wstring key = NormalizeArcPath(target);
    const auto it = _writtenFiles.find(std::hash<std::wstring>()(key));
    UString targetRel;
    bool targetInRoot = false;
    if (it != _writtenFiles.end()) {
        if (it->second == kWrittenAtArcPath)
            targetRel = key.c_str();
        else {
            targetInRoot = _writtenPaths[it->second] == L'/';
            targetRel = _writtenPaths.c_str() + it->second + 1;
        }
    }
    if (it == _writtenFiles.end() || !ToRelPath(fullPath, rel, inRoot) || targetInRoot != inRoot) {
        // Only files written from this archive are linked to: never anything outside.
        UString s = target;
        s += L" -> ";
        s += fullPath;
        return MessageError("Hard link target is not a file extracted from this archive", s);
    }
    if (!DirFor(inRoot).HardLink(targetRel, rel))
        return SendMessageError_with_Error((DWORD)errno, "Can not create hard link", fullPath);
    return S_OK;
}

void CArchiveExtractCallback::ReleaseOutFile() {
    _outFileStream.Release();
    _outFileStreamSpec = nullptr;
}

HRESULT CArchiveExtractCallback::GetStream(UInt32 index, ISequentialOutStream **outStream, Int32 askExtractMode) {
    COM_TRY_BEGIN
    *outStream = nullptr;
    if (_hashStreamSpec) _hashStreamSpec->ReleaseStream();
    _hashStreamWasUsed = false;
    ReleaseOutFile();
    _encrypted = false;
    _position = 0;
    _isSplit = false;
    _curSize = 0;
    _curSizeDefined = false;
    _fileWasCreated = false;
    _isRenamedItem = false;
    _isLinkPlaceholder = false;
    _index = index;
    _diskFilePath.Empty();
    _diskRelPath.Empty();
    _diskPathValid = false;
    _fi = CItemProps();

    CReadArcItem &item = _item;
    item.relativeToBase = BaseParentFolderMode;
    if (BaseParentFolderMode) {
        item.baseFolderIndex = BaseParentFolderIndex;
        if (_pathMode == NExtract::NPathMode::kFullPaths || _pathMode == NExtract::NPathMode::kAbsPaths)
            item.baseFolderIndex = (UInt32)(Int32)-1;
    }
    item.splitAtColon = _ntOptions.WriteToAltStreamIfColon;
    RINOK(_arc->GetItem(index, item));

    IInArchive *archive = _arc->handler;
    {
        NCOM::CPropVariant prop;
        RINOK(archive->GetProperty(index, kpidPosition, &prop));
        if (prop.vt != VT_EMPTY) {
            if (prop.vt != VT_UI8) return E_FAIL;
            _position = prop.uhVal.QuadPart;
            _isSplit = true;
        }
    }
    RINOK(Archive_GetItemBoolProp(archive, index, kpidEncrypted, _encrypted));
    RINOK(GetUnpackSize());

    if (!_ntOptions.AltStreams.Val && item.isAltStream) return S_OK;
    if (_wildcardCensor && !CensorNode_CheckPath(*_wildcardCensor, item)) return S_OK;

    // Nothing reads the item's parts after this: taken, not copied (a deep path has thousands).
    UStringVector pathParts = std::move(item.pathParts);
    if (BaseParentFolderMode) {
        if (!pathParts.IsEmpty()) {
            if (_pathMode == NExtract::NPathMode::kNoPathsAlt && item.isAltStream)
                pathParts.Clear();
            else if (_pathMode == NExtract::NPathMode::kNoPaths || _pathMode == NExtract::NPathMode::kNoPathsAlt)
                pathParts.DeleteFrontal(pathParts.Size() - 1);
        }
    } else {
        if (pathParts.IsEmpty() && item.isDir) return S_OK;
        switch (_pathMode) {
        case NExtract::NPathMode::kFullPaths:
        case NExtract::NPathMode::kCurPaths: {
            if (_removePathParts.IsEmpty()) break;
            bool badPrefix = false;
            if (pathParts.Size() < _removePathParts.Size())
                badPrefix = true;
            else if (pathParts.Size() == _removePathParts.Size()) {
                if (_removePartsForAltStreams) {
                    if (!item.isAltStream) badPrefix = true;
                } else if (!item.mainIsDir)
                    badPrefix = true;
            }
            if (!badPrefix)
                for (unsigned i = 0; i < _removePathParts.Size(); i++)
                    if (CompareFileNames(_removePathParts[i], pathParts[i]) != 0) {
                        badPrefix = true;
                        break;
                    }
            if (badPrefix) {
                if (askExtractMode == NArchive::NExtract::NAskMode::kExtract && !_testMode) return E_FAIL;
            } else
                pathParts.DeleteFrontal(_removePathParts.Size());
            break;
        }
        case NExtract::NPathMode::kNoPaths:
            if (!pathParts.IsEmpty()) pathParts.DeleteFrontal(pathParts.Size() - 1);
            break;
        case NExtract::NPathMode::kNoPathsAlt:
            if (item.isAltStream)
                pathParts.Clear();
            else if (!pathParts.IsEmpty())
                pathParts.DeleteFrontal(pathParts.Size() - 1);
            break;
        default:
            break;
        }
    }

    if (ExtractToStreamCallback) {
        if (!_getProp) {
            _getPropSpec = new CGetProp;
            _getProp = _getPropSpec;
        }
        _getPropSpec->Arc = _arc;
        _getPropSpec->IndexInArc = index;
        UString name = MakePathFromParts(pathParts);
        if (item.isAltStream) {
            if (!pathParts.IsEmpty() || (!_removePartsForAltStreams && _pathMode != NExtract::NPathMode::kNoPathsAlt))
                name += L':';
            name += item.altStreamName;
        }
        return ExtractToStreamCallback->GetStream7(name, BoolToInt(item.isDir), outStream, askExtractMode, _getProp);
    }

    CMyComPtr<ISequentialOutStream> outStreamLoc;

    if (askExtractMode == NArchive::NExtract::NAskMode::kExtract && !_testMode) {
        if (_stdOutMode) {
            outStreamLoc = new CStdOutFileStream;
        } else {
            {
                NCOM::CPropVariant prop;
                RINOK(archive->GetProperty(index, kpidAttrib, &prop));
                if (prop.vt == VT_UI4) {
                    _fi.Attrib = prop.ulVal;
                    _fi.AttribDefined = true;
                } else if (prop.vt != VT_EMPTY)
                    return E_FAIL;
            }
            RINOK(GetTime(index, kpidCTime, _fi.CTime, _fi.CTimeDefined));
            RINOK(GetTime(index, kpidATime, _fi.ATime, _fi.ATimeDefined));
            RINOK(GetTime(index, kpidMTime, _fi.MTime, _fi.MTimeDefined));
            RINOK(Archive_GetItemBoolProp(archive, index, kpidIsAnti, _fi.IsAnti));

            // Devices, FIFOs and sockets are never made: an empty file would pass for the item.
            if (_fi.AttribDefined && (_fi.Attrib & FILE_ATTRIBUTE_POSIX_MODE) && !item.isDir) {
                const mode_t m = (mode_t)(_fi.Attrib >> 16);
                if (S_ISCHR(m) || S_ISBLK(m) || S_ISFIFO(m) || S_ISSOCK(m)) {
                    NumWarnings++;
                    return MessageError("special file not extracted", item.itemPath);
                }
            }

            const bool isAbsMode = _pathMode == NExtract::NPathMode::kAbsPaths;
            if (!(item.isAltStream && pathParts.IsEmpty() &&
                  (_removePartsForAltStreams || _pathMode == NExtract::NPathMode::kNoPathsAlt))) {
                // Parts that climb or start at the root are dropped: the user is told the new name.
                bool changed = !isAbsMode && pathParts.Size() > 1 && pathParts.Front().IsEmpty();
                FOR_VECTOR(i, pathParts)
                if (pathParts[i] == L"..") changed = true;
                Correct_FsPath(isAbsMode, pathParts, item.mainIsDir);
                if (changed) {
                    NumWarnings++;
                    UString s(L"path changed to ");
                    s += MakePathFromParts(pathParts);
                    s += L" : ";
                    s += item.itemPath;
                    RINOK(_extractCallback2->MessageError(s));
                }
            }

            if (item.isAltStream) {
                UString s = item.altStreamName;
                Correct_AltStream_Name(s);
                bool needColon = true;
                if (pathParts.IsEmpty()) {
                    pathParts.AddNew();
                    if (_removePartsForAltStreams || _pathMode == NExtract::NPathMode::kNoPathsAlt) needColon = false;
                } else if (isAbsMode && NWildcard::GetNumPrefixParts_if_DrivePath(pathParts) == pathParts.Size())
                    pathParts.AddNew();
                UString &name = pathParts.Back();
                if (needColon) name += (wchar_t)(_ntOptions.ReplaceColonForAltStream ? L'_' : L':');
                name += s;
            }

            const UString processedPath = MakePathFromParts(pathParts);
            const bool inRootPath = isAbsMode && !pathParts.IsEmpty() && pathParts.Front().IsEmpty();

            if (!_outDir.IsOpen() && !inRootPath) {
                // The agent may extract into a folder that does not exist yet.
                NDir::CreateComplexDir(_dirPathPrefix);
                _outDir.Open(_dirPathPrefix);
            }

            if (!_fi.IsAnti) {
                // The folders above a file, or the folder item itself.
                const unsigned numDirParts =
                    !item.isDir && !pathParts.IsEmpty() ? pathParts.Size() - 1 : pathParts.Size();
                if (numDirParts != 0) {
                    const UString relPath = JoinDirParts(pathParts, numDirParts, inRootPath);
                    // Failures show up when the file is opened.
                    if (!relPath.IsEmpty()) DirFor(inRootPath).CreateDirs(relPath);
                    if (item.isDir) {
                        AddExtractedDir(relPath, inRootPath, index);
                        SetDirTimes(DirFor(inRootPath), relPath);
                    }
                }
            }

            UString fullPath;
            if (inRootPath && NName::IsAbsolutePath(processedPath))
                fullPath = processedPath;
            else
                fullPath = _dirPathPrefix + processedPath;

            if (item.isAltStream && item.parentIndex != (UInt32)(Int32)-1) {
                const unsigned i = RenamedFileLowerBound(item.parentIndex);
                if (i < _renamedFiles.Size() && _renamedFiles[i].Index == item.parentIndex) {
                    UString s = item.altStreamName;
                    Correct_AltStream_Name(s);
                    fullPath = _renamedFiles[i].Path;
                    fullPath += L':';
                    fullPath += s;
                }
            }

            if (item.isDir) {
                _diskFilePath = fullPath;
                _diskPathValid = ToRelPath(fullPath, _diskRelPath, _diskInRoot);
                if (_fi.IsAnti && _diskPathValid) DirFor(_diskInRoot).RemoveEmptyDir(_diskRelPath);
                return S_OK;
            }

            const std::wstring splitKey = std::wstring(fullPath.Ptr()) + L'\n' + std::wstring(item.itemPath.Ptr());
            const bool continueSplit = _isSplit && _splitFilesCreated.count(splitKey) != 0;
            if (!continueSplit) {
                bool needExit = true;
                RINOK(CheckExistFile(fullPath, needExit));
                if (needExit) return S_OK;
                if (_isRenamedItem) fullPath = _diskFilePath;
            }

            _diskFilePath = fullPath;
            if (!ToRelPath(fullPath, _diskRelPath, _diskInRoot))
                return SendMessageError_with_Error((DWORD)errno, "Can not open output file", fullPath);
            _diskPathValid = true;

            if (!_fi.IsAnti) {
                {
                    NCOM::CPropVariant prop;
                    RINOK(archive->GetProperty(index, kpidHardLink, &prop));
                    if (prop.vt == VT_BSTR && prop.bstrVal && prop.bstrVal[0] != 0 &&
                        (!_curSizeDefined || _curSize == 0)) {
                        bool handled;
                        return MakeHardLink(UString(prop.bstrVal), fullPath, handled);
                    }
                }
                // A later item of the same name replaces a link still waiting to be made.
                const auto waiting = _delayedLinkOfPath.find(DelayedLinkKey(_diskInRoot, _diskRelPath));
                if (waiting != _delayedLinkOfPath.end()) {
                    _delayedLinks[waiting->second].Dropped = true;
                    _delayedLinkOfPath.erase(waiting);
                }
                const int fd = DirFor(_diskInRoot).OpenFile(_diskRelPath, continueSplit, false);
                if (fd < 0) return SendMessageError_with_Error((DWORD)errno, "Can not open output file", fullPath);
                _outFileStreamSpec = new COutFdStream(fd);
                _outFileStream = _outFileStreamSpec;
                _fileWasCreated = true;
                if (_isRenamedItem && !item.isAltStream) {
                    const unsigned i = RenamedFileLowerBound(index);
                    if (i < _renamedFiles.Size() && _renamedFiles[i].Index == index)
                        _renamedFiles[i].Path = fullPath;
                    else {
                        CIndexToPathPair pair;
                        pair.Index = index;
                        pair.Path = fullPath;
                        _renamedFiles.Insert(i, pair);
                    }
                }
                if (_isSplit) {
                    if (!continueSplit) _splitFilesCreated.insert(splitKey);
                    RINOK(_outFileStreamSpec->Seek((Int64)_position, STREAM_SEEK_SET, nullptr));
                }
                outStreamLoc = _outFileStream;
            }
        }
    } else if (!(askExtractMode == NArchive::NExtract::NAskMode::kExtract ||
                 askExtractMode == NArchive::NExtract::NAskMode::kTest) ||
               !_hashStream) {
        return S_OK;
    }

    if (_hashStream && (askExtractMode == NArchive::NExtract::NAskMode::kExtract ||
                        askExtractMode == NArchive::NExtract::NAskMode::kTest)) {
        _hashStreamSpec->SetStream(outStreamLoc);
        _hashStreamSpec->Init(true);
        outStreamLoc = _hashStream;
        _hashStreamWasUsed = true;
    }
    *outStream = outStreamLoc.Detach();
    return S_OK;
    COM_TRY_END
}

HRESULT CArchiveExtractCallback::PrepareOperation(Int32 askExtractMode) {
    COM_TRY_BEGIN
    if (ExtractToStreamCallback) return ExtractToStreamCallback->PrepareOperation7(askExtractMode);
    _extractMode = false;
    if (askExtractMode == NArchive::NExtract::NAskMode::kExtract) {
        if (_testMode)
            askExtractMode = NArchive::NExtract::NAskMode::kTest;
        else
            _extractMode = true;
    }
    return _extractCallback2->PrepareOperation(_item.itemPath, BoolToInt(_item.isDir), askExtractMode,
                                               _isSplit ? &_position : nullptr);
    COM_TRY_END
}

void CArchiveExtractCallback::ApplyAttribToFile() {
    const int fd = _outFileStreamSpec->Fd();
    const UInt32 attrib = _fi.Attrib;
    const mode_t mask = (mode_t)gbl_umask.mask;
    if (attrib & FILE_ATTRIBUTE_POSIX_MODE) {
        const mode_t m = (mode_t)(attrib >> 16);
        if (S_ISLNK(m)) {
            // The content is the link target; the link is made at the end of the archive, so that
            // nothing of this archive is written through it.
            _isLinkPlaceholder = true;
            return;
        }
        // A mode without a file type, as some writers store it, is the file's permissions.
        if (S_ISREG(m) || (m & S_IFMT) == 0) fchmod(fd, m & mask);
        return;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) return;
    mode_t m = st.st_mode;
    if (attrib & FILE_ATTRIBUTE_READONLY) m &= ~(mode_t)0222;
    fchmod(fd, m & mask);
}

void CArchiveExtractCallback::ApplyAttribToDir() {
    if (!_diskPathValid) return;
    const int fd = DirFor(_diskInRoot).OpenDir(_diskRelPath);
    if (fd < 0) return; // a file or a link in the folder's place keeps its mode
    const mode_t mask = (mode_t)gbl_umask.mask;
    const UInt32 attrib = _fi.Attrib;
    struct stat st;
    if (fstat(fd, &st) == 0) {
        if (attrib & FILE_ATTRIBUTE_POSIX_MODE) {
            const mode_t m = (mode_t)(attrib >> 16);
            if (S_ISDIR(m)) fchmod(fd, (m | 0700) & mask);
        } else
            fchmod(fd, st.st_mode & mask);
    }
    close(fd);
}

HRESULT CArchiveExtractCallback::CloseFile() {
    const FILETIME *aTime = (WriteATime && _fi.ATimeDefined) ? &_fi.ATime : nullptr;
    const FILETIME *mTime = _fi.MTimeDefined ? &_fi.MTime : (_arcMTimeDefined ? &_arcMTime : nullptr);
    _outFileStreamSpec->SetTimes(aTime, mTime);
    _curSize = _outFileStreamSpec->ProcessedSize();
    _curSizeDefined = true;
    const bool ok = _outFileStreamSpec->Close();
    const int err = errno;
    ReleaseOutFile();
    if (!ok) return err == 0 ? E_FAIL : HRESULT_FROM_ERRNO(err);
    return S_OK;
}

HRESULT CArchiveExtractCallback::SetOperationResult(Int32 opRes) {
    COM_TRY_BEGIN
    if (ExtractToStreamCallback) return ExtractToStreamCallback->SetOperationResult7(opRes, BoolToInt(_encrypted));

    if (_hashStreamWasUsed) {
        _hashStreamSpec->_hash->Final(_item.isDir, _item.isAltStream, _item.itemPath);
        _curSize = _hashStreamSpec->GetSize();
        _curSizeDefined = true;
        _hashStreamSpec->ReleaseStream();
        _hashStreamWasUsed = false;
    }

    if (_outFileStream) {
        if (!_stdOutMode && _extractMode && _fi.AttribDefined) ApplyAttribToFile();
        // Only a link placeholder needs its identity, to be sure it is still the file made here.
        struct stat st;
        const bool haveStat = _isLinkPlaceholder && fstat(_outFileStreamSpec->Fd(), &st) == 0;
        RINOK(CloseFile());
        if (_isLinkPlaceholder) {
            if (opRes == NArchive::NExtract::NOperationResult::kOK && haveStat) {
                _delayedLinkOfPath[DelayedLinkKey(_diskInRoot, _diskRelPath)] = _delayedLinks.Size();
                CDelayedLink &link = _delayedLinks.AddNew();
                link.RelPath = _diskRelPath;
                link.InRoot = _diskInRoot;
                link.Dropped = false;
                link.Dev = (UInt64)st.st_dev;
                link.Ino = (UInt64)st.st_ino;
                link.ATimeDefined = WriteATime && _fi.ATimeDefined;
                link.ATime = _fi.ATime;
                link.MTimeDefined = _fi.MTimeDefined || _arcMTimeDefined;
                link.MTime = _fi.MTimeDefined ? _fi.MTime : _arcMTime;
            } else
                DirFor(_diskInRoot).DeleteFile(_diskRelPath); // a damaged link target is no file to keep
        } else if (_fileWasCreated && !_isSplit &&
                   (opRes == NArchive::NExtract::NOperationResult::kWrongPassword ||
                    opRes == NArchive::NExtract::NOperationResult::kUnsupportedMethod)) {
            // Nothing of the item could be decoded: an empty file would only stand in the way of
            // the next try.
            DirFor(_diskInRoot).DeleteFile(_diskRelPath);
        } else if (_fileWasCreated && !_item.isAltStream && opRes == NArchive::NExtract::NOperationResult::kOK)
            RememberWrittenFile(_item.itemPath);
    }

    if (!_curSizeDefined) GetUnpackSize();
    if (_curSizeDefined) {
        if (_item.isAltStream)
            AltStreams_UnpackSize += _curSize;
        else
            UnpackSize += _curSize;
    }
    if (_item.isDir)
        NumFolders++;
    else if (_item.isAltStream)
        NumAltStreams++;
    else
        NumFiles++;

    if (!_stdOutMode && _extractMode && _fi.AttribDefined && _item.isDir) ApplyAttribToDir();

    return _extractCallback2->SetOperationResult(opRes, BoolToInt(_encrypted));
    COM_TRY_END
}

HRESULT CArchiveExtractCallback::ReportExtractResult(UInt32 indexType, UInt32 index, Int32 opRes) {
    COM_TRY_BEGIN
    if (!_folderArchiveExtractCallback2) return S_OK;
    bool isEncrypted = false;
    UString s;
    if (indexType == NArchive::NEventIndexType::kInArcIndex && index != (UInt32)(Int32)-1) {
        CReadArcItem item;
        RINOK(_arc->GetItem(index, item));
        s = item.itemPath;
        RINOK(Archive_GetItemBoolProp(_arc->handler, index, kpidEncrypted, isEncrypted));
    } else {
        s = L"#";
        wchar_t temp[16];
        ConvertUInt32ToString(index, temp);
        s += temp;
    }
    return _folderArchiveExtractCallback2->ReportExtractResult(opRes, BoolToInt(isEncrypted), s);
    COM_TRY_END
}

HRESULT CArchiveExtractCallback::SetDirsTimes() {
    // Links first: making one changes its folder's time.
    const HRESULT linksResult = CreateDelayedLinks();
    if (!_arc) return linksResult;
    // Deepest first, so that setting a folder's time is not undone by work on its children.
    std::vector<unsigned> order(_extractedDirs.Size());
    for (unsigned i = 0; i < order.size(); i++)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [this](unsigned a, unsigned b) {
        return _extractedDirs[a].NumSlashes > _extractedDirs[b].NumSlashes;
    });
    for (unsigned k : order) {
        const CExtractedDir &d = _extractedDirs[k];
        CItemProps saved = _fi;
        RINOK(GetTime(d.Index, kpidCTime, _fi.CTime, _fi.CTimeDefined));
        RINOK(GetTime(d.Index, kpidATime, _fi.ATime, _fi.ATimeDefined));
        RINOK(GetTime(d.Index, kpidMTime, _fi.MTime, _fi.MTimeDefined));
        SetDirTimes(DirFor(d.InRoot), ExtractedDirPath(k));
        _fi = saved;
    }
    _extractedDirs.Clear();
    _lastDirPath.Empty();
    return linksResult;
}

void CArchiveExtractCallback::DiscardUnfinishedFile(bool runFailed) {
    // The handler stopped inside an item (a cancel, a cancelled password prompt, a full disk): the
    // file it was writing is not left behind empty, nor cut short as if it were the item.
    if (_outFileStream && _fileWasCreated && !_isSplit && _diskPathValid &&
        (runFailed || _outFileStreamSpec->ProcessedSize() == 0)) {
        ReleaseOutFile();
        DirFor(_diskInRoot).DeleteFile(_diskRelPath);
    }
    ReleaseOutFile();
}

HRESULT CArchiveExtractCallback::CreateDelayedLinks() {
    DiscardUnfinishedFile();
    HRESULT res = S_OK;
    for (unsigned i = 0; i < _delayedLinks.Size(); i++) {
        const CDelayedLink &link = _delayedLinks[i];
        if (link.Dropped) continue;
        const CExtractOutDir &dir = DirFor(link.InRoot);
        if (dir.ConvertPlaceholderToLink(link.RelPath, link.Dev, link.Ino, link.ATimeDefined ? &link.ATime : nullptr,
                                         link.MTimeDefined ? &link.MTime : nullptr))
            continue;
        const DWORD err = (DWORD)errno;
        // Never leave the target text behind as if it were the link; but only remove the file if
        // it is still the placeholder.
        struct stat st;
        if (dir.Stat(link.RelPath, st) && S_ISREG(st.st_mode) && (UInt64)st.st_dev == link.Dev &&
            (UInt64)st.st_ino == link.Ino)
            dir.DeleteFile(link.RelPath);
        if (_extractCallback2) {
            const UString path = link.InRoot ? UString(L"/") + link.RelPath : _dirPathPrefix + link.RelPath;
            SendMessageError_with_Error(err, "Can not create symbolic link", path);
        }
        res = E_FAIL;
    }
    _delayedLinks.Clear();
    _delayedLinkOfPath.clear();
    return res;
}

std::wstring CArchiveExtractCallback::DelayedLinkKey(bool inRoot, const UString &relPath) {
    std::wstring key(1, inRoot ? L'/' : L'.');
    key += relPath.Ptr();
    return key;
}

unsigned CArchiveExtractCallback::RenamedFileLowerBound(UInt32 index) const {
    unsigned lo = 0, hi = _renamedFiles.Size();
    while (lo < hi) {
        const unsigned mid = lo + (hi - lo) / 2;
        if (_renamedFiles[mid].Index < index)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}
