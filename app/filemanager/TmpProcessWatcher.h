#pragma once

// The watcher of an item copied out of an archive and handed to an outside program: once the
// program has let go of the file, or no program is seen with it after the first few seconds, the
// temporary copy goes, unless it was changed.
#include <functional>
#include <memory>

#include "base/Threads.h"
#include "common/MyString.h"
#include "windows/FileFind.h"

// What tells a changed file from the one extracted: times to the nanosecond (a save within the
// same second keeps the size and the second), the change time (which a program cannot set back)
// and the file's identity (a save through a new file and a rename).
struct CFileStamp {
    bool Valid = false;
    UInt64 Size = 0;
    Int64 MTimeNs = 0;
    Int64 CTimeNs = 0;
    UInt64 Device = 0;
    UInt64 Inode = 0;

    bool Read(const UString &path);
    bool operator==(const CFileStamp &other) const;
};

// One item handed to an outside program; the watcher owns it.
struct CTmpProcessInfo {
    UInt32 FileIndex = (UInt32)(Int32)-1; // index in its folder, -1 for none
    UString RelPath;
    UString FolderPath;                         // the temporary folder
    UString FilePath;                           // the copy inside it
    NWindows::NFile::NFind::CFileInfo FileInfo; // size and times right after extraction
    CFileStamp Stamp;                           // read right after extraction
    bool NeedDelete = false;
    UString FullPathFolderPrefix; // the panel's folder prefix when the item was opened
    bool UsePassword = false;
    UString Password;
};

enum class EWatchEnd {
    Removed,      // the program ended, or none was seen with the file, and the unchanged copy was deleted
    KeptChanged,  // the copy differs from what was extracted: its changes are not in the archive
    KeptStopped,  // the watch was stopped (the program is ending) while the file was open
    KeptByRequest // deleting was not asked for
};

struct CWatchTiming {
    unsigned LookupAttempts = 5;
    unsigned LookupIntervalMs = 1000;
    unsigned CheckIntervalMs = 5000;
    unsigned SliceMs = 100; // how often a wait looks at the stop request
};

// Watches on the calling thread until the program has let go of the file or stop() holds.
EWatchEnd WatchOpenedItem(const CTmpProcessInfo &info, const CWatchTiming &timing, const std::function<bool()> &stop);

// Whether the file on disk is still the one stamped in info (false without a stamp).
bool IsTmpFileUnchanged(const CTmpProcessInfo &info);

// Called on the watcher's thread when the watch is over, with the info it owned.
typedef std::function<void(EWatchEnd, std::unique_ptr<CTmpProcessInfo>)> CWatchEndHandler;

// Runs the watch on a thread of its own, registered with the module so that tear-down waits for
// it (the watch ends within a slice once the program is ending). On success the thread owns the
// info (and hands it to onEnd, when given); on failure info is left to the caller and the error
// is returned.
WRes StartTmpProcessWatcher(std::unique_ptr<CTmpProcessInfo> &info, const CWatchTiming &timing = CWatchTiming(),
                            CWatchEndHandler onEnd = CWatchEndHandler());
