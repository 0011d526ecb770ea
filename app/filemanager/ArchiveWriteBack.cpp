#include "ArchiveWriteBack.h"

#include <errno.h>

#include "FileMenu.h"
#include "archive/agent/Agent.h"
#include "archive/agent/AgentFolder.h"
#include "windows/FileFind.h"

using namespace NWindows::NFile;

static CAgentFolder *AgentFolderOf(IFolderFolder *folder) {
    if (!folder) return nullptr;
    CMyComPtr<IArchiveFolderInternal> internal;
    folder->QueryInterface(IID_IArchiveFolderInternal, reinterpret_cast<void **>(&internal));
    CAgentFolder *agentFolder = nullptr;
    if (!internal || internal->GetAgentFolder(&agentFolder) != S_OK) return nullptr;
    return agentFolder;
}

const void *ArchiveIdentity(IFolderFolder *folder) {
    CAgentFolder *agentFolder = AgentFolderOf(folder);
    if (agentFolder && agentFolder->_agentSpec) return agentFolder->_agentSpec;
    return folder;
}

bool CanWriteIntoFolder(IFolderFolder *folder) {
    if (!folder || IsReadOnlyFolder(folder)) return false;
    CMyComPtr<IFolderOperations> operations;
    if (folder->QueryInterface(IID_IFolderOperations, reinterpret_cast<void **>(&operations)) != S_OK || !operations)
        return false;
    CAgentFolder *agentFolder = AgentFolderOf(folder);
    return !agentFolder || !agentFolder->_agentSpec || agentFolder->_agentSpec->CanUpdate();
}

// A level that cannot be written is refused before anything is written.
static bool IsReadOnly(IFolderOperations *operations) {
    CMyComPtr<IFolderFolder> folder;
    if (operations->QueryInterface(IID_IFolderFolder, reinterpret_cast<void **>(&folder)) != S_OK) return false;
    return !CanWriteIntoFolder(folder);
}

HRESULT WriteBackThroughLevels(const CObjectVector<CWriteBackLevel> &levels, unsigned &numWritten) {
    numWritten = 0;
    if (levels.IsEmpty()) return E_INVALIDARG;
    // Every level must be writable before the first one changes: a chain that breaks half-way
    // would leave the archive on disk without the change and nobody told why.
    FOR_VECTOR(i, levels) {
        const CWriteBackLevel &level = levels[i];
        if (!level.Folder || IsReadOnly(level.Folder)) return E_NOTIMPL;
        NFind::CFileInfo fi;
        if (!fi.Find(level.FilePath, true)) return HRESULT_FROM_ERRNO(errno);
        if (fi.IsDir()) return E_INVALIDARG;
    }
    FOR_VECTOR(i, levels) {
        const CWriteBackLevel &level = levels[i];
        const HRESULT res = level.Folder->CopyFromFile(level.ItemIndex, level.FilePath, level.Progress);
        if (res != S_OK) return res;
        numWritten++;
    }
    return S_OK;
}
