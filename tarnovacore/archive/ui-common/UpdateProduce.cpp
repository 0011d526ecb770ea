#include "UpdateProduce.h"

using namespace NUpdateArchive;

static const char *const kUpdateActionSetCollision = "Internal collision in update action set";

void UpdateProduce(const CRecordVector<CUpdatePair> &updatePairs, const CActionSet &actionSet,
                   CRecordVector<CUpdatePair2> &operationChain, IUpdateProduceCallback *callback) {
    for (unsigned i = 0; i < updatePairs.Size(); i++) {
        const CUpdatePair &pair = updatePairs[i];

        CUpdatePair2 up;
        up.DiskIndex = pair.DiskIndex;
        up.ArchiveIndex = pair.ArchiveIndex;
        up.RenameIndex = -1;
        up.IsRenameTarget = false;

        switch (actionSet.StateActions[(unsigned)pair.State]) {
        case kActionIgnore:
            if (pair.ArchiveIndex >= 0 && callback) callback->ShowDeleteFile((unsigned)pair.ArchiveIndex);
            continue;

        case kActionCopy:
            if (pair.State == kPairDiskOnly) throw kUpdateActionSetCollision;
            // An old stream of a host that is replaced from disk goes with the old host.
            if (pair.State == kPairArchiveOnly && pair.HostPair >= 0 &&
                updatePairs[(unsigned)pair.HostPair].DiskIndex >= 0)
                continue;
            up.HasNewData = false;
            up.HasNewProps = false;
            up.KeepArcProps = true;
            break;

        case kActionCompress:
            if (pair.State == kPairNotSelected || pair.State == kPairArchiveOnly) throw kUpdateActionSetCollision;
            up.HasNewData = true;
            up.HasNewProps = true;
            up.KeepArcProps = false;
            break;

        case kActionAnti:
            up.HasNewData = true;
            up.HasNewProps = true;
            up.Anti = true;
            up.KeepArcProps = pair.ArchiveIndex >= 0;
            break;
        }
        operationChain.Add(up);
    }
}
