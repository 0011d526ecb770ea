#include "TempFile.h"

#include "FileDir.h"

namespace NWindows {
namespace NFile {
namespace NDir {

bool CTempFile::Create(CFSTR prefix, NIO::COutFile *outFile) {
    if (!Remove()) return false;
    if (!CreateTempName(prefix, false, _path, outFile)) return false;
    _mustBeDeleted = true;
    return true;
}

bool CTempFile::CreateRandomInTempFolder(CFSTR namePrefix, NIO::COutFile *outFile) {
    if (!Remove()) return false;
    UString tempPath;
    MyGetTempPath(tempPath);
    if (!CreateTempName(tempPath + namePrefix, true, _path, outFile)) return false;
    _mustBeDeleted = true;
    return true;
}

bool CTempFile::Remove() {
    if (!_mustBeDeleted) return true;
    _mustBeDeleted = !DeleteFileAlways(_path);
    return !_mustBeDeleted;
}

bool CTempFile::MoveTo(CFSTR name, bool /* deleteDestBefore */) {
    // No delete beforehand: MyMoveFile replaces an existing file in one step, so a failed move
    // leaves the old file in place instead of nothing.
    DisableDeleting();
    return MyMoveFile(_path, name);
}

} // namespace NDir
} // namespace NFile
} // namespace NWindows
