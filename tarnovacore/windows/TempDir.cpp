#include "TempDir.h"

#include "FileDir.h"

namespace NWindows {
namespace NFile {
namespace NDir {

bool CTempDir::Create(CFSTR namePrefix) {
    if (!Remove()) return false;
    UString tempPath;
    MyGetTempPath(tempPath);
    if (!CreateTempName(tempPath + namePrefix, true, _path, nullptr)) return false;
    _mustBeDeleted = true;
    return true;
}

bool CTempDir::Remove() {
    if (!_mustBeDeleted) return true;
    _mustBeDeleted = !RemoveDirectoryWithSubItems(_path);
    return !_mustBeDeleted;
}

} // namespace NDir
} // namespace NFile
} // namespace NWindows
