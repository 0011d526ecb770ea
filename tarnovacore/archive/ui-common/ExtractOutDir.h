#pragma once

#include "common/MyString.h"
#include "common/MyWindows.h"

#include <sys/stat.h>

#include <string>
#include <vector>

// The output folder of an extraction, held open. Every operation takes a path relative to it
// and walks it one component at a time without following a symbolic link anywhere, so nothing an
// archive names can reach outside the folder: not through "..", and not through a link that is
// already on disk or that an earlier archive of the same run created. Failures leave the reason
// in errno (ELOOP or ENOTDIR for a link or a file in the way).
//
// The chain of folders down to the last one walked is remembered, most of it held open: an open
// folder stays that folder (it cannot turn into a link), so later files in it or below it cost no
// new walk, however deep. Anything that removes or moves a folder forgets them all.
class CExtractOutDir {
public:
    // A relative path split at '/' into its parts in the system's form, all in one buffer: a deep
    // path costs two allocations, not several per part.
    struct CRelParts {
        std::string bytes; // the parts, each ended by a zero
        std::vector<unsigned> starts;
        unsigned Size() const { return (unsigned)starts.size(); }
        const char *operator[](unsigned i) const { return bytes.c_str() + starts[i]; }
    };

private:
    struct CLevel {
        std::string name;
        int fd; // -1: not held, reopened from the nearest held folder above it when needed
    };
    int _fd;
    mutable std::vector<CLevel> _chain;
    mutable size_t _numHeld = 0;

    void TruncateChain(size_t size) const;
    // Keeps the descriptors within a fixed budget at any depth: the levels just above depth (the
    // folder walked to) stay open, elsewhere only evenly spaced ones, so a walk back up or down
    // reopens a bounded stretch.
    void ReleaseSomeDirs(size_t depth) const;

    // The folder holding the last component (owned by the cache: never closed by the caller), and
    // that component's name in the system's encoding.
    int OpenParent(const UString &relPath, bool createDirs, AString &leaf) const;
    // The folder at the given parts, walked from the longest known start.
    int WalkDirs(const CRelParts &parts, unsigned count, bool createDirs) const;
    void ForgetDirs() const;
    bool ForgetDirsAfter(bool ok) const;
    // The same as a descriptor of the caller's own, which stays valid while another path is walked.
    int OpenParentHeld(const UString &relPath, bool createDirs, AString &leaf) const;

public:
    CExtractOutDir() : _fd(-1) {}
    ~CExtractOutDir() { Close(); }
    CExtractOutDir(const CExtractOutDir &) = delete;
    CExtractOutDir &operator=(const CExtractOutDir &) = delete;

    // The folder itself may be reached through links: the user chose it.
    bool Open(const UString &dirPath);
    void Close();
    bool IsOpen() const { return _fd >= 0; }

    // Creates every missing folder of the path; true when the whole path is a folder.
    bool CreateDirs(const UString &relPath) const;
    bool Stat(const UString &relPath, struct stat &st) const;
    bool Exists(const UString &relPath) const {
        struct stat st;
        return Stat(relPath, st);
    }
    bool IsDir(const UString &relPath) const {
        struct stat st;
        return Stat(relPath, st) && S_ISDIR(st.st_mode);
    }

    // A descriptor for writing: created (emptied when it exists) or, with keepData, opened as it
    // is. A link in the last place is never opened.
    int OpenFile(const UString &relPath, bool keepData, bool createDirs) const;
    // A descriptor of a folder (never of a link to one), for its times and mode.
    int OpenDir(const UString &relPath) const;

    bool DeleteFile(const UString &relPath) const;
    bool RemoveEmptyDir(const UString &relPath) const;
    bool Rename(const UString &fromRelPath, const UString &toRelPath) const;
    // A hard link to an entry inside the folder; the target is not followed if it is a link.
    bool HardLink(const UString &targetRelPath, const UString &relPath) const;
    // Replaces the placeholder file (whose content is the link target) with a symbolic link, but
    // only while it is still the file with the given device and inode.
    // The link itself then takes the given times (null: left as they are).
    bool ConvertPlaceholderToLink(const UString &relPath, UInt64 dev, UInt64 ino, const FILETIME *aTime = nullptr,
                                  const FILETIME *mTime = nullptr) const;
};
