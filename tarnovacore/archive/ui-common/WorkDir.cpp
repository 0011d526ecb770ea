#include "WorkDir.h"

#include "windows/FileDir.h"
#include "windows/FileName.h"

using namespace NWindows;
using namespace NFile;

UString GetWorkDir(const NWorkDir::CInfo &workDirInfo, const UString &path, UString &fileName) {
    const int pos = path.ReverseFind_PathSepar();
    fileName = path.Ptr((unsigned)(pos + 1));
    switch (workDirInfo.WorkDirType) {
    case NWorkDir::kWorkDirArchiveFolder:
        return path.Left((unsigned)(pos + 1));
    case NWorkDir::kWorkDirSpecified: {
        UString dir = workDirInfo.WorkDirPath;
        NName::NormalizeDirPathPrefix(dir);
        return dir;
    }
    default: {
        UString dir;
        if (!NDir::MyGetTempPath(dir)) throw 141717;
        return dir;
    }
    }
}
