#pragma once

// Writing a changed item back into its archive, through every archive level it lies in: the item
// goes into the innermost archive (a file copied out of the level above), that archive goes into
// the level above, and so on up to the archive on disk.
#include "archive/IFolder.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "common/MyVector.h"

struct CWriteBackLevel {
    CMyComPtr<IFolderOperations> Folder; // the folder that holds the item at this level
    UInt32 ItemIndex = 0;                // the item's index in that folder
    UString FilePath;                    // the file that becomes the item's new data
    CMyComPtr<IProgress> Progress;       // the level's update callback, with its password state
};

// levels[0] is the edited item in its folder, each next entry the archive file of the level
// before it as an item of the level above. Each archive is replaced only by its complete new
// version, and a level is written only after the one inside it has been; on a failure the outer
// levels stay as they were. numWritten tells how many levels were written; the files of the
// levels written must be kept, as the outer archives do not hold them yet.
HRESULT WriteBackThroughLevels(const CObjectVector<CWriteBackLevel> &levels, unsigned &numWritten);

// Whether an item of the folder can be replaced: the folder is not read-only and its archive is
// one level in one file (a tar inside a gzip stream cannot be rewritten in place).
bool CanWriteIntoFolder(IFolderFolder *folder);

// What tells two archive levels apart: the agent behind an archive folder (any folder of the same
// opened archive gives the same), the folder itself for other folders.
const void *ArchiveIdentity(IFolderFolder *folder);
