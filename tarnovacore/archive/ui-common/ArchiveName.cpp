#include "ArchiveName.h"

#include "ExtractingFilePath.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"

using namespace NWindows;
using namespace NFile;

UString CreateArchiveName(const UString &path, bool fromPrev, bool keepName) {
    UString name(L"Archive");
    bool done = false;
    if (fromPrev) {
        UString dirPrefix;
        if (NDir::GetOnlyDirPrefix(path, dirPrefix) && !dirPrefix.IsEmpty() && dirPrefix.Back() == L'/') {
            dirPrefix.DeleteBack();
            NFind::CFileInfo fi;
            if (fi.Find(dirPrefix)) {
                name = fi.Name;
                done = true;
            }
        }
    }
    if (!done) {
        NFind::CFileInfo fi;
        if (fi.Find(path)) {
            name = fi.Name;
            if (!fi.IsDir() && !keepName) {
                const int dotPos = name.ReverseFind_Dot();
                if (dotPos > 0 && name.Left((unsigned)dotPos).Find(L'.') < 0) name.DeleteFrom((unsigned)dotPos);
            }
        }
    }
    return Get_Correct_FsFile_Name(name);
}
