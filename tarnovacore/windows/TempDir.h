#pragma once

#include "FileName.h"

namespace NWindows {
namespace NFile {
namespace NDir {

// A temporary folder that is deleted, with all it holds, with its owner.
class CTempDir {
    bool _mustBeDeleted;
    UString _path;

public:
    CTempDir() : _mustBeDeleted(false) {}
    CTempDir(const CTempDir &) = delete;
    CTempDir &operator=(const CTempDir &) = delete;
    ~CTempDir() { Remove(); }

    const UString &GetPath() const { return _path; }
    void DisableDeleting() { _mustBeDeleted = false; }
    // "/tmp/" + namePrefix + 8 hex digits, mode 0700.
    bool Create(CFSTR namePrefix);
    bool Remove();
};

} // namespace NDir
} // namespace NFile
} // namespace NWindows
