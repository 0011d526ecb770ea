#include "ArchiveWriteBack.h"

#include <errno.h>

#include "FileMenu.h"
#include "windows/FileFind.h"

using namespace NWindows::NFile;

// A level that says it is read-only is refused before anything is written.
static bool IsReadOnly(IFolderOperations *operations) {
    CMyComPtr<IFolderFolder> folder;
    if (operations->QueryInterface(IID_IFolderFolder, reinterpret_cast<void **>(&folder)) != S_OK) return false;
    return IsReadOnlyFolder(folder);
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
        if (!fi.Find(level.FilePath, true)) return errno != 0 ? (HRESULT)errno : E_FAIL;
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
