// Editing an archive folder: every edit writes a complete new archive into a temporary file of the work folder, and
// only a finished one replaces the archive; then the archive is reopened and the folder finds its way back to the level
// it showed.
#include <errno.h>
#include <sys/stat.h>

#include "AgentFolder.h"

#include "archive/common/CopyCoder.h"
#include "archive/common/StreamUtils.h"
#include "archive/common/TailOutStream.h"
#include "archive/ui-common/UpdateAction.h"
#include "archive/ui-common/WorkDirTempFile.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/FileName.h"

using namespace NWindows;
using namespace NFile;

enum AGENT_OP { AGENT_OP_Uni, AGENT_OP_Delete, AGENT_OP_CreateFolder, AGENT_OP_Rename, AGENT_OP_CopyFromFile };

// Names typed by the user become one path component inside the archive, never a path of their own.
static bool IsAllowedItemName(const wchar_t *name) {
    if (!name || name[0] == 0) return false;
    if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) return false;
    for (const wchar_t *p = name; *p; p++)
        if (*p == L'/') return false;
    return true;
}

static HRESULT RefuseName(IProgress *progress, const wchar_t *name) {
    CMyComPtr<IFolderArchiveUpdateCallback> callback;
    if (progress) progress->QueryInterface(IID_IFolderArchiveUpdateCallback, reinterpret_cast<void **>(&callback));
    if (callback) {
        UString s(L"The name cannot be used inside the archive (it must not be "
                  L"empty, \".\" or \"..\", "
                  L"or contain '/'): ");
        if (name) s += name;
        RINOK(callback->UpdateErrorMessage(s));
    }
    return E_INVALIDARG;
}

void CAgentFolder::GetPathParts(UStringVector &pathParts, bool &isAltStreamFolder) {
    isAltStreamFolder = false;
    if (_onStandIn) {
        pathParts = _standInPathParts;
        isAltStreamFolder = _standInIsAltFolder;
    } else if (_proxy2)
        _proxy2->GetDirPathParts(_proxyDirIndex, pathParts, isAltStreamFolder);
    else
        _proxy->GetDirPathParts(_proxyDirIndex, pathParts);
}

static bool IsLinkInfo(const NFind::CFileInfo &fi) {
    if ((fi.Attrib & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
    return (fi.Attrib & FILE_ATTRIBUTE_POSIX_MODE) != 0 && S_ISLNK(fi.Attrib >> 16);
}

static bool DeleteEmptyFolderAndEmptySubFolders(const UString &path) {
    NFind::CFileInfo fileInfo;
    const UString pathPrefix = path + L'/';
    {
        NFind::CEnumerator enumerator(pathPrefix + L'*');
        while (enumerator.Next(fileInfo)) {
            // A link to a folder is an entry of this folder, not a folder to empty.
            if (fileInfo.IsDir() && !IsLinkInfo(fileInfo))
                if (!DeleteEmptyFolderAndEmptySubFolders(pathPrefix + fileInfo.Name)) return false;
        }
    }
    return NDir::RemoveDir(path);
}

HRESULT CAgentFolder::CommonUpdateOperation(int operation, bool moveMode, const wchar_t *newItemName,
                                            const NUpdateArchive::CActionSet *actionSet, const UInt32 *indices,
                                            UInt32 numItems, IProgress *progress) {
    if (!_agentSpec->CanUpdate()) return E_NOTIMPL;
    // After a failed reopen there is no archive to edit; and an edit pairs against the tree, so it runs only on a tree
    // that describes the archive on disk.
    if (!_agentSpec->_archiveLink.isOpen || _agentSpec->_archiveLink.levels.IsEmpty()) return E_FAIL;
    RINOK(SyncWithAgent(true));
    if (!AreRows(indices, numItems)) return E_INVALIDARG;

    CMyComPtr<IFolderArchiveUpdateCallback> updateCallback100;
    if (progress)
        progress->QueryInterface(IID_IFolderArchiveUpdateCallback, reinterpret_cast<void **>(&updateCallback100));

    try {
        RINOK(_agentSpec->SetFolder(this));

        // Deleted with this object unless the new archive has been moved into place.
        CWorkDirTempFile tempFile;
        RINOK(tempFile.CreateTempFile(_agentSpec->_archiveFilePath));

        UStringVector requestedPaths;
        UStringVector processedPaths;
        {
            CMyComPtr<IOutStream> tailStream;
            const CArc &arc = _agentSpec->GetArc();
            if (arc.handlerStreamOffset == 0) {
                tailStream = tempFile.Stream;
            } else {
                if (arc.startOffset < 0) return E_NOTIMPL;
                // Whatever stands in front of the archive stays in front of the new one.
                RINOK(arc.subRangeStream->Seek(0, STREAM_SEEK_SET, nullptr));
                RINOK(NCompress::CopyStream_ExactSize(arc.subRangeStream, tempFile.Stream, arc.handlerStreamOffset,
                                                      nullptr));
                CTailOutStream *tailStreamImpl = new CTailOutStream;
                tailStream = tailStreamImpl;
                tailStreamImpl->Stream = tempFile.Stream;
                tailStreamImpl->Offset = arc.handlerStreamOffset;
                tailStreamImpl->Init();
            }

            HRESULT result;
            _agentSpec->_outArchivePath = tempFile.TempFile.NamedPath();
            switch (operation) {
            case AGENT_OP_Uni: {
                Byte actionSetByte[NUpdateArchive::kNumPairStates];
                for (unsigned i = 0; i < NUpdateArchive::kNumPairStates; i++)
                    actionSetByte[i] = (Byte)actionSet->StateActions[i];
                result =
                    _agentSpec->DoOperation2(moveMode ? &requestedPaths : nullptr, moveMode ? &processedPaths : nullptr,
                                             tailStream, actionSetByte, nullptr, updateCallback100);
                break;
            }
            case AGENT_OP_Delete:
                result = _agentSpec->DeleteItems(tailStream, indices, numItems, updateCallback100);
                break;
            case AGENT_OP_CreateFolder:
                result = _agentSpec->CreateFolder(tailStream, newItemName, updateCallback100);
                break;
            case AGENT_OP_Rename:
                result = _agentSpec->RenameItem(tailStream, indices, numItems, newItemName, updateCallback100);
                break;
            case AGENT_OP_CopyFromFile:
                result = _agentSpec->UpdateOneFile(tailStream, indices, numItems, newItemName, updateCallback100);
                break;
            default:
                return E_FAIL;
            }
            _agentSpec->_outArchivePath.Empty();
            // The archive is still open and unchanged; the temporary file goes with tempFile.
            RINOK(result);
        }

        _agentSpec->_archiveLink.KeepModeForNextOpen();
        _agentSpec->Close();

        // One rename puts the new archive in place, so the old one is never missing or half-written;
        // it keeps the old archive's permissions.
        const UString tempPath = tempFile.TempFile.NamedPath();
        const HRESULT result = tempFile.MoveToOriginal(true);
        if (result != S_OK) {
            // The old archive is still in place: a copy of the new one nobody asked for is only litter.
            const bool tempKept =
                !tempPath.IsEmpty() && NFind::DoesFileExist(tempPath) && !NDir::DeleteFileAlways(tempPath);
            if (updateCallback100) {
                UString s(L"Cannot replace the archive; it is unchanged: ");
                s += _agentSpec->_archiveFilePath;
                if (tempKept) {
                    s += L"\nThe new archive is kept as: ";
                    s += tempPath;
                }
                updateCallback100->UpdateErrorMessage(s);
            }
        }

        // Sources go only once the archive that holds them is in place.
        if (result == S_OK && moveMode) {
            for (unsigned i = 0; i < processedPaths.Size(); i++)
                NDir::DeleteFileAlways(processedPaths[i]);
            for (unsigned i = 0; i < requestedPaths.Size(); i++) {
                const UString &path = requestedPaths[i];
                if (NFind::DoesDirExist(path)) DeleteEmptyFolderAndEmptySubFolders(path);
            }
        }

        {
            CMyComPtr<IArchiveOpenCallback> openCallback;
            if (updateCallback100)
                updateCallback100->QueryInterface(IID_IArchiveOpenCallback, reinterpret_cast<void **>(&openCallback));
            const HRESULT reopenResult = _agentSpec->ReOpen(openCallback);
            if (reopenResult != S_OK) {
                // Until a later call finds a tree again the folder lists an empty root instead of a tree that is
                // gone or half-built; the agent itself keeps none, so the next use builds it anew.
                MoveToStandIn();
                return reopenResult;
            }
        }
        // Back to the same level in the new tree, or the deepest part of it that is left.
        RINOK(SyncWithAgent(true));
        return result;
    } catch (const UString &s) {
        if (!updateCallback100) throw;
        UString s2(L"Error: ");
        s2 += s;
        RINOK(updateCallback100->UpdateErrorMessage(s2));
        return E_FAIL;
    }
}

HRESULT CAgentFolder::CopyTo(Int32 moveMode, const UInt32 *indices, UInt32 numItems, Int32 includeAltStreams,
                             Int32 replaceAltStreamCharsMode, const wchar_t *path,
                             IFolderOperationsExtractCallback *callback) {
    if (moveMode) return E_NOTIMPL;
    COM_TRY_BEGIN
    if (!callback) return E_INVALIDARG;
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

HRESULT CAgentFolder::CopyFrom(Int32 moveMode, const wchar_t *fromFolderPath, const wchar_t *const *itemsPaths,
                               UInt32 numItems, IProgress *progress) {
    COM_TRY_BEGIN
    RINOK(_agentSpec->SetFiles(fromFolderPath, itemsPaths, numItems));
    return CommonUpdateOperation(AGENT_OP_Uni, (moveMode != 0), nullptr, &NUpdateArchive::k_ActionSet_Add, nullptr, 0,
                                 progress);
    COM_TRY_END
}

HRESULT CAgentFolder::CopyFromFile(UInt32 destIndex, const wchar_t *itemPath, IProgress *progress) {
    COM_TRY_BEGIN
    return CommonUpdateOperation(AGENT_OP_CopyFromFile, false, itemPath, &NUpdateArchive::k_ActionSet_Add, &destIndex,
                                 1, progress);
    COM_TRY_END
}

HRESULT CAgentFolder::Delete(const UInt32 *indices, UInt32 numItems, IProgress *progress) {
    COM_TRY_BEGIN
    return CommonUpdateOperation(AGENT_OP_Delete, false, nullptr, &NUpdateArchive::k_ActionSet_Delete, indices,
                                 numItems, progress);
    COM_TRY_END
}

HRESULT CAgentFolder::CreateFolder(const wchar_t *name, IProgress *progress) {
    COM_TRY_BEGIN
    if (_agentSpec->_archiveLink.isOpen) RINOK(SyncWithAgent(true));
    if (_isAltStreamFolder) return E_NOTIMPL;
    if (!IsAllowedItemName(name)) return RefuseName(progress, name);
    // The agent refuses a name that any item (a file too) already has, with EEXIST and a message.
    return CommonUpdateOperation(AGENT_OP_CreateFolder, false, name, nullptr, nullptr, 0, progress);
    COM_TRY_END
}

HRESULT CAgentFolder::Rename(UInt32 index, const wchar_t *newName, IProgress *progress) {
    COM_TRY_BEGIN
    if (!IsAllowedItemName(newName)) return RefuseName(progress, newName);
    return CommonUpdateOperation(AGENT_OP_Rename, false, newName, nullptr, &index, 1, progress);
    COM_TRY_END
}

HRESULT CAgentFolder::CreateFile(const wchar_t * /* name */, IProgress * /* progress */) {
    return E_NOTIMPL;
}

HRESULT CAgentFolder::SetProperty(UInt32 /* index */, PROPID /* propID */, const PROPVARIANT * /* value */,
                                  IProgress * /* progress */) {
    return E_NOTIMPL;
}
