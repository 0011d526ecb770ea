#pragma once

#include "archive/common/OutFileStream.h"
#include "common/MyCom.h"
#include "common/MyString.h"

// The file a new or rewritten archive is written to. It has no name while it is written, so a run
// that is killed leaves nothing behind; it is linked under the final name only when complete.
// Where the file system cannot make a file without a name, it is written under a ".tmp" name
// beside the target, locked while it is written and noted in the user's cache folder, so that a
// later write of the same archive can tell a stale one of its own from someone else's file.
class CArchiveTempFile {
    COutFileStream *_fileSpec;
    CMyComPtr<IOutStream> _stream;
    UString _prefix;    // folder + the archive's file name + ".tmp": the names of fall-back files
    UString _namedPath; // the name of the fall-back file; empty while the file has none
    AString _noteFile;  // where the fall-back file is noted
    bool _unnamed;

    void Forget();
    bool LinkUnderTemporaryName();

public:
    // Makes every later file a named one, as on a file system without unnamed files.
    static bool NoUnnamedFiles;
    // An unnamed file in folder, where the file system and NoUnnamedFiles allow one.
    static bool CreateUnnamedFile(NWindows::NFile::NIO::COutFile &file, const UString &folder);

    CArchiveTempFile() : _fileSpec(nullptr), _unnamed(false) {}
    CArchiveTempFile(const CArchiveTempFile &) = delete;
    CArchiveTempFile &operator=(const CArchiveTempFile &) = delete;
    ~CArchiveTempFile() { Discard(); }

    // A file in folder (ending in '/', or empty) for the archive whose file name is baseName.
    // S_OK or the system's reason as an HRESULT; failedPath gets the name that could not be made.
    HRESULT Create(const UString &folder, const UString &baseName, UString &failedPath);
    COutFileStream *FileStream() const { return _fileSpec; }
    IOutStream *Stream() const { return _stream; }
    bool IsUnnamed() const { return _unnamed; }
    // The fall-back file's name; empty for an unnamed file.
    const UString &NamedPath() const { return _namedPath; }

    // Puts the complete file under finalPath and closes it. replace: finalPath is an old archive
    // that the file replaces in one rename, taking its permissions; otherwise finalPath must not
    // exist. On failure the complete file is kept under a ".tmp" name in its folder where it can
    // be (NamedPath()), so that the work is not lost.
    HRESULT Commit(const UString &finalPath, bool replace);
    // Closes and removes the file.
    void Discard();
    // Leaves a fall-back file where it is, no longer owned.
    void Keep() {
        _namedPath.Empty();
        Discard();
    }
};
