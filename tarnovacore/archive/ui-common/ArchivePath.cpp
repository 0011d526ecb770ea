#include "ArchivePath.h"

void CArchivePath::ParseFromPath(const UString &path, EArcNameMode mode) {
    FullPath = path;
    const int slash = path.ReverseFind_PathSepar();
    Folder.SetFrom(path, (unsigned)(slash + 1));
    BaseName = path.Ptr((unsigned)(slash + 1));
    if (mode == kArcNameAdd) return;
    if (mode == kArcNameExact) {
        MainExt.Empty();
        return;
    }
    const int dot = BaseName.ReverseFind_Dot();
    if (dot < 0) return;
    if ((unsigned)dot == BaseName.Len() - 1) {
        BaseName.DeleteBack();
        MainExt.Empty();
        return;
    }
    const UString ext = BaseName.Ptr((unsigned)(dot + 1));
    if (ext.IsEqualTo_NoCase(MainExt)) {
        MainExt = ext;
        BaseName.DeleteFrom((unsigned)dot);
    } else
        MainExt.Empty();
}

UString CArchivePath::GetFinalPath() const {
    UString path = Folder + BaseName;
    if (!MainExt.IsEmpty()) {
        path += L'.';
        path += MainExt;
    }
    return path;
}

UString CArchivePath::GetFinalVolPath() const {
    UString path = Folder + BaseName;
    // The volume extension is added only where the main one is, so that an exact name keeps its own.
    if (!MainExt.IsEmpty()) {
        path += L'.';
        path += VolumeExt;
    }
    return path;
}

UString CArchivePath::GetTempPath() const {
    UString path = TempFolder + BaseName;
    if (!MainExt.IsEmpty()) {
        path += L'.';
        path += MainExt;
    }
    path += L".tmp";
    path += TempSuffix;
    return path;
}
