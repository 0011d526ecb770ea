#pragma once

#include "common/MyString.h"

// How an archive name given by the user gets its extension ("s", "e", "a" on the command line).
enum EArcNameMode {
    kArcNameSmart = 0, // add the type's extension unless the name already ends in it
    kArcNameExact,     // take the name as given
    kArcNameAdd        // always add the type's extension
};

// The parts of an output archive's path and the temporary name it is written under first.
struct CArchivePath {
    UString FullPath;
    UString Folder;   // ending in '/', or empty
    UString BaseName; // without the main extension
    UString MainExt;
    UString VolumeExt;
    bool UseTemp;
    UString TempFolder; // ending in '/'
    UString TempSuffix; // after ".tmp": empty, then 1, 2, ... while names are taken

    CArchivePath() : UseTemp(false) {}

    void ParseFromPath(const UString &path, EArcNameMode mode);

    UString GetFinalPath() const;
    UString GetFinalVolPath() const;
    UString GetTempPath() const;
};
