#include "WorkDirInfo.h"

namespace NWorkDir {

// Without a settings store the defaults stand, as after a failed read.
__attribute__((weak)) bool CInfo::Load() {
    SetDefault();
    return false;
}

} // namespace NWorkDir
