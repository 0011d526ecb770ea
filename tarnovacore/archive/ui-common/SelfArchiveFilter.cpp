#include "SelfArchiveFilter.h"

#include <sys/stat.h>

#include <vector>

#include "windows/FileName.h"

using namespace NWindows::NFile;

unsigned RemoveFilesFromDirItems(CDirItems &dirItems, const UStringVector &paths) {
    std::vector<struct stat> targets;
    FOR_VECTOR(i, paths) {
        struct stat st;
        if (!paths[i].IsEmpty() && stat(NName::GetOsPath(paths[i]), &st) == 0 && S_ISREG(st.st_mode))
            targets.push_back(st);
    }
    if (targets.empty()) return 0;
    unsigned numRemoved = 0;
    for (unsigned i = dirItems.Items.Size(); i != 0;) {
        i--;
        const CDirItem &item = dirItems.Items[i];
        if (item.IsDir()) continue;
        // Only a file of a target's size can be one; the others are not looked at again.
        bool candidate = false;
        for (const struct stat &t : targets)
            candidate = candidate || item.Size == (UInt64)t.st_size;
        if (!candidate) continue;
        // A link stored as a link holds no data of the file it points to.
        if (item.IsSymLink()) continue;
        struct stat st;
        const AString osPath = NName::GetOsPath(dirItems.GetPhyPath(i));
        if (stat(osPath, &st) != 0) continue;
        bool same = false;
        for (const struct stat &t : targets)
            same = same || (st.st_dev == t.st_dev && st.st_ino == t.st_ino);
        if (!same) continue;
        if (item.IsAltStream) {
            dirItems.Stat.NumAltStreams--;
            dirItems.Stat.AltStreamsSize -= item.Size;
        } else {
            dirItems.Stat.NumFiles--;
            dirItems.Stat.FilesSize -= item.Size;
        }
        dirItems.Items.Delete(i);
        numRemoved++;
    }
    return numRemoved;
}
