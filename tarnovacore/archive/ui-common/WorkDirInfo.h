#pragma once

#include "common/MyString.h"
#include "common/MyTypes.h"

namespace NWorkDir {

const UInt32 kWorkDirSystemTemp = 0;
const UInt32 kWorkDirArchiveFolder = 1;
const UInt32 kWorkDirSpecified = 2;

// The stored work-folder setting: where temporary archives are built.
struct CInfo {
    UInt32 Mode;
    UString Path;
    bool ForRemovableOnly;

    CInfo() { SetDefault(); }
    void SetDefault() {
        Mode = kWorkDirSystemTemp;
        Path.Empty();
        ForRemovableOnly = true;
    }
    // Fills the record from the settings store; false (defaults kept) when nothing could be read.
    // The program that owns the settings store supplies the real reader.
    bool Load();
};

} // namespace NWorkDir
