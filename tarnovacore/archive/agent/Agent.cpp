#include "Agent.h"

#include <errno.h>

#include "AgentFolder.h"
#include "archive/common/StreamUtils.h"
#include "archive/ui-common/ArchiveExtractCallback.h"
#include "windows/FileFind.h"
#include "windows/Synchronization.h"

using namespace NWindows;

// ---------- the process-wide registry ----------

namespace {

// Unloads the plug-ins of the registry it holds when the program ends.
class CCodecsReleaser {
public:
    CCodecs *Codecs = nullptr;
    void Set(CCodecs *codecs) { Codecs = codecs; }
    ~CCodecsReleaser() {
        if (Codecs) Codecs->CloseLibs();
    }
};

} // namespace

CCodecs *g_CodecsObj = nullptr;
CExternalCodecs g_ExternalCodecs_tarnova;
static CCodecsReleaser g_CodecsReleaser;
static NSynchronization::CCriticalSection g_CriticalSection;
// The result of the last load: a registry that failed to load is replaced by a new load on the next call.
static HRESULT g_CodecsLoadResult = S_OK;

static void ReleaseGlobalCodecs() {
    if (g_CodecsObj) g_CodecsObj->CloseLibs();
    g_CodecsObj = nullptr;
    g_CodecsReleaser.Set(nullptr);
    g_ExternalCodecs_tarnova.Codecs.Clear();
    g_ExternalCodecs_tarnova.Hashers.Clear();
    g_ExternalCodecs_tarnova.HashersInfo.Release();
    g_ExternalCodecs_tarnova.CodecsInfo.Release();
}

static HRESULT LoadGlobalCodecs2() {
    g_CodecsObj = new CCodecs;
    g_ExternalCodecs_tarnova.CodecsInfo = g_CodecsObj;
    g_ExternalCodecs_tarnova.HashersInfo = g_CodecsObj;
    g_CodecsReleaser.Set(g_CodecsObj);

    RINOK(g_CodecsObj->Load());
    if (g_CodecsObj->Formats.IsEmpty()) return E_NOTIMPL;
    return g_ExternalCodecs_tarnova.Load();
}

HRESULT LoadGlobalCodecs() {
    NSynchronization::CCriticalSectionLock lock(g_CriticalSection);
    if (g_CodecsObj && g_CodecsLoadResult == S_OK) return S_OK;
    // A failed load (a missing or broken plug-in) is tried again: otherwise every later open would report that
    // nothing can open the file, even once the plug-in is in place. Until then the failed registry stays
    // reachable for callers that go on without formats.
    ReleaseGlobalCodecs();
    g_CodecsLoadResult = E_FAIL; // should the load throw
    g_CodecsLoadResult = LoadGlobalCodecs2();
    return g_CodecsLoadResult;
}

void FreeGlobalCodecs() {
    NSynchronization::CCriticalSectionLock lock(g_CriticalSection);
    ReleaseGlobalCodecs();
    g_CodecsLoadResult = S_OK;
}

// ---------- CAgent ----------

static const wchar_t *const kParserTypeName = L"Parser";

CAgent::CAgent() : ThereIsPathProp(false), _updatePathPrefix_is_AltFolder(false), _agentFolder(nullptr) {}

CAgent::~CAgent() {
    DeleteTrees();
}

void CAgent::DeleteTrees() {
    // Folders may still hold the tree to find their way into the next one; the handler's names go with its reopen.
    if (_proxy2) _proxy2->OwnNames();
    _proxy2.reset();
    _proxy.reset();
}

UString CAgent::GetTypeOfArc(const CArc &arc) const {
    if (arc.formatIndex < 0 || !g_CodecsObj || (unsigned)arc.formatIndex >= g_CodecsObj->Formats.Size())
        return UString(kParserTypeName);
    return g_CodecsObj->Formats[(unsigned)arc.formatIndex].Name;
}

bool CAgent::IsThereReadOnlyArc() const {
    // An archive the agent will not edit (a tar inside gzip, data after the end) is as read-only
    // to the user as one whose format cannot be written.
    if (!CanUpdate()) return true;
    FOR_VECTOR(i, _archiveLink.levels) {
        const CArc &arc = _archiveLink.levels[i];
        if (arc.formatIndex < 0 || arc.readOnlyArchive) return true;
        if (!g_CodecsObj || (unsigned)arc.formatIndex >= g_CodecsObj->Formats.Size()) return true;
        if (!g_CodecsObj->Formats[(unsigned)arc.formatIndex].CanWrite) return true;
    }
    return false;
}

bool CAgent::CanUpdate() const {
    if (_archiveLink.levels.IsEmpty()) return true;
    if (_archiveLink.levels.Size() != 1) return false;
    return !_archiveLink.levels[0].openErrors.hasTail;
}

HRESULT CAgent::Open(IInStream *inStream, const wchar_t *filePath, const wchar_t *arcFormat, BSTR *archiveType,
                     IArchiveOpenCallback *openArchiveCallback) {
    COM_TRY_BEGIN
    _archiveFilePath = filePath;
    NFile::NFind::CFileInfo fi;
    if (!inStream) {
        errno = 0;
        if (!fi.Find(_archiveFilePath, false)) {
            // A look-up that failed without a reason must still not read as success.
            return HRESULT_FROM_ERRNO(errno);
        }
        if (fi.IsDir()) return E_FAIL;
    }

    RINOK(LoadGlobalCodecs());

    // No format named: detect it. The list parser refuses an empty text, which would make every
    // plain open fail.
    CObjectVector<COpenType> types;
    if (arcFormat && arcFormat[0] != 0 && !ParseOpenTypes(*g_CodecsObj, UString(arcFormat), types)) return S_FALSE;

    CIntVector excluded;
    COpenOptions options;
    options.registry = g_CodecsObj;
    options.requestedTypes = &types;
    options.excludedFormatIndices = &excluded;
    options.inputStream = inStream;
    options.openCallback = openArchiveCallback;
    options.filePath = _archiveFilePath;

    RINOK(_archiveLink.Open(options));

    CArc &arc = _archiveLink.levels.Back();
    if (!inStream) {
        arc.itemTime = fi.MTime;
        arc.itemTimeDefined = true;
    }
    ArchiveType = GetTypeOfArc(arc);
    if (archiveType) {
        *archiveType = ::SysAllocString(ArchiveType);
        if (!*archiveType) return E_OUTOFMEMORY;
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CAgent::ReOpen(IArchiveOpenCallback *openArchiveCallback) {
    COM_TRY_BEGIN
    DeleteTrees();
    CObjectVector<COpenType> types;
    CIntVector excluded;
    COpenOptions options;
    options.registry = g_CodecsObj;
    options.requestedTypes = &types;
    options.excludedFormatIndices = &excluded;
    options.openCallback = openArchiveCallback;
    options.filePath = _archiveFilePath;
    RINOK(_archiveLink.ReOpen(options));
    return ReadItems();
    COM_TRY_END
}

HRESULT CAgent::Close() {
    COM_TRY_BEGIN
    // The tree stays until the next reopen; the closed handler's data does not.
    if (_proxy2) _proxy2->OwnNames();
    return _archiveLink.Close();
    COM_TRY_END
}

HRESULT CAgent::ReadItems() {
    if (_proxy || _proxy2) return S_OK;
    // Nothing open (or closed by a failed reopen): there are no items to build a tree from.
    if (!_archiveLink.isOpen || _archiveLink.levels.IsEmpty()) return E_FAIL;

    const CArc &arc = GetArc();
    if (arc.rawPropsHandler && arc.isTreeArchive)
        _proxy2 = std::make_shared<CProxyArc2>();
    else
        _proxy = std::make_shared<CProxyArc>();

    ThereIsPathProp = false;
    UInt32 numProps = 0;
    HRESULT res = arc.handler->GetNumberOfProperties(&numProps);
    for (UInt32 i = 0; res == S_OK && i < numProps; i++) {
        CMyComBSTR name;
        PROPID propID = 0;
        VARTYPE varType = VT_EMPTY;
        res = arc.handler->GetPropertyInfo(i, &name, &propID, &varType);
        if (propID == kpidPath) ThereIsPathProp = true;
    }
    if (res != S_OK) {
        DeleteTrees();
        return res;
    }

    // A half-built tree has items without names: it must not be handed out by a later call.
    try {
        res = _proxy2 ? _proxy2->Load(arc, nullptr) : _proxy->Load(arc, nullptr);
    } catch (...) {
        DeleteTrees();
        throw;
    }
    if (res != S_OK) DeleteTrees();
    return res;
}

HRESULT CAgent::GetNumberOfProperties(UInt32 *numProperties) {
    COM_TRY_BEGIN
    *numProperties = 0;
    IInArchive *archive = GetArchive();
    if (!archive) return E_FAIL;
    return archive->GetNumberOfProperties(numProperties);
    COM_TRY_END
}

HRESULT CAgent::GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    COM_TRY_BEGIN
    IInArchive *archive = GetArchive();
    if (!archive) return E_FAIL;
    RINOK(archive->GetPropertyInfo(index, name, propID, varType));
    if (*propID == kpidPath) *propID = kpidName;
    return S_OK;
    COM_TRY_END
}

HRESULT CAgent::BindToRootFolder(IFolderFolder **resultFolder) {
    COM_TRY_BEGIN
    RINOK(ReadItems());
    CAgentFolder *folderSpec = new CAgentFolder;
    CMyComPtr<IFolderFolder> rootFolder = folderSpec;
    folderSpec->Init(_proxy, _proxy2, k_Proxy2_RootDirIndex, this, this);
    *resultFolder = rootFolder.Detach();
    return S_OK;
    COM_TRY_END
}

HRESULT CAgent::Extract(NExtract::NPathMode::EEnum pathMode, NExtract::NOverwriteMode::EEnum overwriteMode,
                        const wchar_t *path, Int32 testMode, IFolderArchiveExtractCallback *extractCallback2) {
    COM_TRY_BEGIN
    IInArchive *archive = GetArchive();
    if (!archive) return E_FAIL;
    CArchiveExtractCallback *extractCallbackSpec = new CArchiveExtractCallback;
    CMyComPtr<IArchiveExtractCallback> extractCallback = extractCallbackSpec;
    extractCallbackSpec->InitForMulti(false, pathMode, overwriteMode);

    CExtractNtOptions extractNtOptions;
    extractNtOptions.NtSecurity.Val = false;
    extractNtOptions.SymLinks.Val = true;
    extractNtOptions.HardLinks.Val = true;
    extractNtOptions.AltStreams.Val = true;
    extractNtOptions.AltStreams.Def = true;
    extractNtOptions.ReplaceColonForAltStream = false;
    extractNtOptions.WriteToAltStreamIfColon = false;

    const UStringVector pathParts;
    extractCallbackSpec->Init(extractNtOptions, nullptr, &GetArc(), extractCallback2, false, testMode != 0,
                              UString(path ? path : L""), pathParts, false, (UInt64)(Int64)-1);
    return archive->Extract(nullptr, (UInt32)(Int32)-1, testMode, extractCallback);
    COM_TRY_END
}

// ---------- IFolderArcProps ----------

HRESULT CAgent::GetArcNumLevels(UInt32 *numLevels) {
    *numLevels = _archiveLink.levels.Size();
    return S_OK;
}

HRESULT CAgent::GetArcProp(UInt32 level, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    NCOM::CPropVariant prop;
    const unsigned numLevels = _archiveLink.levels.Size();
    if (level > numLevels) return E_INVALIDARG;
    if (level == numLevels) {
        switch (propID) {
        case kpidPath:
            if (!_archiveLink.failedOpenPath.IsEmpty()) prop = _archiveLink.failedOpenPath;
            break;
        case kpidErrorType: {
            const Int32 f = _archiveLink.failedOpenErrors.failedFormatIndex;
            if (f >= 0 && g_CodecsObj && (unsigned)f < g_CodecsObj->Formats.Size())
                prop = g_CodecsObj->Formats[(unsigned)f].Name;
            break;
        }
        default:
            break;
        }
    } else {
        const CArc &arc = _archiveLink.levels[level];
        switch (propID) {
        case kpidType:
            prop = GetTypeOfArc(arc);
            break;
        case kpidPath:
            prop = arc.arcPath;
            break;
        case kpidErrorType: {
            const Int32 f = arc.openErrors.failedFormatIndex;
            if (f >= 0 && g_CodecsObj && (unsigned)f < g_CodecsObj->Formats.Size())
                prop = g_CodecsObj->Formats[(unsigned)f].Name;
            break;
        }
        case kpidErrorFlags: {
            UInt32 flags = arc.openErrors.errorFlags;
            if (arc.openErrors.endBeyondData) flags |= kpv_ErrorFlags_UnexpectedEnd;
            if (flags != 0) prop = flags;
            break;
        }
        case kpidWarningFlags: {
            UInt32 flags = arc.openErrors.warningFlags;
            if (arc.openErrors.hasTail && !arc.openErrors.tailIsZeros &&
                (arc.openErrors.errorFlags & kpv_ErrorFlags_DataAfterEnd) == 0)
                flags |= kpv_ErrorFlags_DataAfterEnd;
            if (flags != 0) prop = flags;
            break;
        }
        case kpidOffset: {
            const Int64 v = arc.startOffset + (Int64)arc.handlerStreamOffset;
            if (v != 0) prop = v;
            break;
        }
        case kpidTailSize:
            if (arc.openErrors.tailLength != 0) prop = (UInt64)arc.openErrors.tailLength;
            break;
        default:
            return arc.handler->GetArchiveProperty(propID, value);
        }
    }
    prop.Detach(value);
    return S_OK;
    COM_TRY_END
}

HRESULT CAgent::GetArcNumProps(UInt32 level, UInt32 *numProps) {
    *numProps = 0;
    if (level >= _archiveLink.levels.Size()) return E_INVALIDARG;
    return _archiveLink.levels[level].handler->GetNumberOfArchiveProperties(numProps);
}

HRESULT CAgent::GetArcPropInfo(UInt32 level, UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    if (level >= _archiveLink.levels.Size()) return E_INVALIDARG;
    return _archiveLink.levels[level].handler->GetArchivePropertyInfo(index, name, propID, varType);
}

// The item of level - 1 that holds level: the nested archive's own entry.
HRESULT CAgent::GetArcProp2(UInt32 level, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    if (level == 0 || level >= _archiveLink.levels.Size()) return E_INVALIDARG;
    const CArc &arc = _archiveLink.levels[level];
    return _archiveLink.levels[level - 1].handler->GetProperty((UInt32)arc.itemIndexInParent, propID, value);
    COM_TRY_END
}

HRESULT CAgent::GetArcNumProps2(UInt32 level, UInt32 *numProps) {
    *numProps = 0;
    if (level == 0 || level >= _archiveLink.levels.Size()) return E_INVALIDARG;
    return _archiveLink.levels[level - 1].handler->GetNumberOfProperties(numProps);
}

HRESULT CAgent::GetArcPropInfo2(UInt32 level, UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    if (level == 0 || level >= _archiveLink.levels.Size()) return E_INVALIDARG;
    return _archiveLink.levels[level - 1].handler->GetPropertyInfo(index, name, propID, varType);
}
