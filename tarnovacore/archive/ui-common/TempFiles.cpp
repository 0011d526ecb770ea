#include "TempFiles.h"

#include "windows/FileDir.h"

void CTempFiles::Clear() {
    while (!Paths.IsEmpty()) {
        NWindows::NFile::NDir::DeleteFileAlways(Paths.Back());
        Paths.DeleteBack();
    }
}
