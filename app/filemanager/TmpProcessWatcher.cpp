#include "TmpProcessWatcher.h"

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "ProcessList.h"
#include "module.h"
#include "windows/FileDir.h"
#include "windows/FileName.h"

using namespace NWindows::NFile;

namespace {

// Sleeps ms in slices; false when stop() held on the way.
bool Wait(unsigned ms, unsigned sliceMs, const std::function<bool()> &stop) {
    if (sliceMs == 0) sliceMs = 1;
    for (unsigned waited = 0;;) {
        if (stop && stop()) return false;
        if (waited >= ms) return true;
        const unsigned step = ms - waited < sliceMs ? ms - waited : sliceMs;
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
        waited += step;
    }
}

struct CWatcherStart {
    std::unique_ptr<CTmpProcessInfo> Info;
    CWatchTiming Timing;
    CWatchEndHandler OnEnd;
};

THREAD_FUNC_DECL WatcherThread(void *param) {
    std::unique_ptr<CWatcherStart> start(static_cast<CWatcherStart *>(param));
    try {
        const EWatchEnd end = WatchOpenedItem(*start->Info, start->Timing, [] { return _module.is_shutting_down(); });
        if (start->OnEnd) start->OnEnd(end, std::move(start->Info));
    } catch (...) {
        // The copy stays where it is; nothing else depends on the watch.
    }
    return 0;
}

} // namespace

bool CFileStamp::Read(const UString &path) {
    struct stat st;
    Valid = stat(NName::GetOsPath(path), &st) == 0;
    if (!Valid) return false;
    Size = (UInt64)st.st_size;
    MTimeNs = (Int64)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    CTimeNs = (Int64)st.st_ctim.tv_sec * 1000000000 + st.st_ctim.tv_nsec;
    Device = (UInt64)st.st_dev;
    Inode = (UInt64)st.st_ino;
    return true;
}

bool CFileStamp::operator==(const CFileStamp &o) const {
    return Valid == o.Valid && Size == o.Size && MTimeNs == o.MTimeNs && CTimeNs == o.CTimeNs && Device == o.Device &&
           Inode == o.Inode;
}

bool IsTmpFileUnchanged(const CTmpProcessInfo &info) {
    CFileStamp now;
    return info.Stamp.Valid && now.Read(info.FilePath) && now == info.Stamp;
}

EWatchEnd WatchOpenedItem(const CTmpProcessInfo &info, const CWatchTiming &timing, const std::function<bool()> &stop) {
    // The name as the programs got it: the bytes of the path on disk.
    const AString path = NName::GetOsPath(info.FilePath);
    int pid = -1;
    for (unsigned i = 0; i < timing.LookupAttempts && pid < 1; i++) {
        if (!Wait(timing.LookupIntervalMs, timing.SliceMs, stop)) return EWatchEnd::KeptStopped;
        pid = GetPIDbyCmdline(path, false, true);
        if (pid == -2) break;
    }
    // Without a process to watch (the file went to an instance that was already running, or the
    // process list cannot be read) the watch gives up: an unchanged copy goes now rather than
    // never, a changed one is left to the user.
    while (pid >= 1) {
        if (!Wait(timing.CheckIntervalMs, timing.SliceMs, stop)) return EWatchEnd::KeptStopped;
        if (IsProcessRunning(pid)) continue;
        // The file may have passed to another process (a launcher that started the editor).
        pid = GetPIDbyCmdline(path, false, true);
    }

    if (!info.NeedDelete) return EWatchEnd::KeptByRequest;
    // Changes were never written back into the archive: the copy is all there is of them.
    if (NFind::DoesFileExist(info.FilePath) && !IsTmpFileUnchanged(info)) return EWatchEnd::KeptChanged;
    NDir::DeleteFileAlways(info.FilePath);
    // Only an empty folder goes: anything the program saved beside the copy stays.
    NDir::RemoveDir(info.FolderPath);
    return EWatchEnd::Removed;
}

WRes StartTmpProcessWatcher(std::unique_ptr<CTmpProcessInfo> &info, const CWatchTiming &timing,
                            CWatchEndHandler onEnd) {
    if (!info) return EINVAL;
    CWatcherStart *start = new CWatcherStart{std::move(info), timing, std::move(onEnd)};
    CThreadRecord thread;
    const WRes res = _module.start_thread(&thread, WatcherThread, start);
    if (res != 0) {
        info = std::move(start->Info);
        delete start;
        return res;
    }
    Thread_Close(&thread);
    return 0;
}
