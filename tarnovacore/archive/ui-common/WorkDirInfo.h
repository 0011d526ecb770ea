#pragma once

#include "common/MyString.h"
#include "common/MyTypes.h"

namespace NWorkDir {

const int kWorkDirSystemTemp = 0;
const int kWorkDirArchiveFolder = 1;
const int kWorkDirSpecified = 2;

// The stored work-folder setting: where temporary archives are built.
struct CInfo {
    int WorkDirType;
    UString WorkDirPath;
    bool TempRemovableOnly;

    CInfo() { SetDefault(); }
    void SetDefault() {
        WorkDirType = kWorkDirSystemTemp;
        WorkDirPath.Empty();
        TempRemovableOnly = true;
    }
    // Fills the record from the settings store; false (defaults kept) when nothing could be read.
    // The program that owns the settings store supplies the real reader and writer; the core
    // itself only reads.
    bool Load();
    bool Save() const;
};

} // namespace NWorkDir
