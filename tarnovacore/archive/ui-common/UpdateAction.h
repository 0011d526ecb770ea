#pragma once

#include "common/MyTypes.h"

namespace NUpdateArchive {

// Where a name exists (disk, old archive, both) and, on both sides, which copy is newer.
enum EPairState {
    kPairNotSelected = 0, // only in the archive, not selected
    kPairArchiveOnly,     // only in the archive, selected
    kPairDiskOnly,        // only on disk
    kPairArchiveNewer,    // both; the archive's copy is newer
    kPairDiskNewer,       // both; the disk file is newer
    kPairSame,            // both; same time and size
    kPairUndecided        // both; same time, size different or unknown
};
const unsigned kNumPairStates = 7;

enum EPairAction {
    kActionIgnore = 0, // drop the name
    kActionCopy,       // keep the old item
    kActionCompress,   // take the disk file
    kActionAnti        // write an anti-item
};

// One action per pair state.
struct CActionSet {
    EPairAction StateActions[kNumPairStates];

    bool IsEqualTo(const CActionSet &a) const {
        for (unsigned i = 0; i < kNumPairStates; i++)
            if (StateActions[i] != a.StateActions[i]) return false;
        return true;
    }

    // The disk has to be scanned when something may be compressed or a disk-side state matters.
    bool NeedScanning() const {
        for (unsigned i = 0; i < kNumPairStates; i++)
            if (StateActions[i] == kActionCompress) return true;
        for (unsigned i = 1; i < kNumPairStates; i++)
            if (StateActions[i] != kActionIgnore) return true;
        return false;
    }
};

extern const CActionSet k_ActionSet_Add;
extern const CActionSet k_ActionSet_Update;
extern const CActionSet k_ActionSet_Fresh;
extern const CActionSet k_ActionSet_Sync;
extern const CActionSet k_ActionSet_Delete;

} // namespace NUpdateArchive
