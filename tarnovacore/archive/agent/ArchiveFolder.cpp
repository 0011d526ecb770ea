#include "AgentFolder.h"
#include "archive/common/StreamUtils.h"

// The folder's edits. Until the editing side lands, every edit is refused; copying out is plain
// extraction and works already.

HRESULT CAgentFolder::CopyTo(Int32 moveMode, const UInt32 *indices, UInt32 numItems, Int32 includeAltStreams,
                             Int32 replaceAltStreamCharsMode, const wchar_t *path,
                             IFolderOperationsExtractCallback *callback) {
    if (moveMode) return E_NOTIMPL;
    COM_TRY_BEGIN
    CMyComPtr<IFolderArchiveExtractCallback> extractCallback2;
    {
        CMyComPtr<IFolderOperationsExtractCallback> callbackWrap = callback;
        RINOK(callbackWrap.QueryInterface(IID_IFolderArchiveExtractCallback, &extractCallback2));
    }
    NExtract::NPathMode::EEnum pathMode;
    if (!_flatMode)
        pathMode = NExtract::NPathMode::kCurPaths;
    else
        pathMode = (_proxy2 && _loadAltStreams) ? NExtract::NPathMode::kNoPathsAlt : NExtract::NPathMode::kNoPaths;
    return Extract(indices, numItems, includeAltStreams, replaceAltStreamCharsMode, pathMode,
                   NExtract::NOverwriteMode::kAsk, path, 0, extractCallback2);
    COM_TRY_END
}

HRESULT CAgentFolder::CreateFile(const wchar_t *, IProgress *) {
    return E_NOTIMPL;
}

HRESULT CAgentFolder::SetProperty(UInt32, PROPID, const PROPVARIANT *, IProgress *) {
    return E_NOTIMPL;
}

HRESULT CAgentFolder::CreateFolder(const wchar_t *, IProgress *) {
    return E_NOTIMPL;
}

HRESULT CAgentFolder::Rename(UInt32, const wchar_t *, IProgress *) {
    return E_NOTIMPL;
}

HRESULT CAgentFolder::Delete(const UInt32 *, UInt32, IProgress *) {
    return E_NOTIMPL;
}

HRESULT CAgentFolder::CopyFrom(Int32, const wchar_t *, const wchar_t *const *, UInt32, IProgress *) {
    return E_NOTIMPL;
}

HRESULT CAgentFolder::CopyFromFile(UInt32, const wchar_t *, IProgress *) {
    return E_NOTIMPL;
}

HRESULT CAgentFolder::CommonUpdateOperation(int, bool, const wchar_t *, const NUpdateArchive::CActionSet *,
                                            const UInt32 *, UInt32, IProgress *) {
    return E_NOTIMPL;
}

void CAgentFolder::GetPathParts(UStringVector &pathParts, bool &isAltStreamFolder) {
    isAltStreamFolder = false;
    if (_proxy2)
        _proxy2->GetDirPathParts(_proxyDirIndex, pathParts, isAltStreamFolder);
    else
        _proxy->GetDirPathParts(_proxyDirIndex, pathParts);
}
