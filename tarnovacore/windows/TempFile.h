#pragma once

#include "FileIO.h"

namespace NWindows {
namespace NFile {
namespace NDir {

// A temporary file that is deleted with its owner unless moved away first.
class CTempFile {
    bool _mustBeDeleted;
    UString _path;

    void DisableDeleting() { _mustBeDeleted = false; }

public:
    CTempFile() : _mustBeDeleted(false) {}
    CTempFile(const CTempFile &) = delete;
    CTempFile &operator=(const CTempFile &) = delete;
    ~CTempFile() { Remove(); }

    const UString &GetPath() const { return _path; }
    // prefix + ".tmp" when free, else prefix + "." + 8 hex digits + ".tmp"; opened in outFile.
    bool Create(CFSTR prefix, NIO::COutFile *outFile);
    // "/tmp/" + namePrefix + "." + 8 hex digits + ".tmp".
    bool CreateRandomInTempFolder(CFSTR namePrefix, NIO::COutFile *outFile);
    bool Remove();
    // Replaces an existing file at name; the entry is no longer owned afterwards, moved or not.
    bool MoveTo(CFSTR name, bool deleteDestBefore);
};

} // namespace NDir
} // namespace NFile
} // namespace NWindows
