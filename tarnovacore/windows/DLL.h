#pragma once

#include "common/MyString.h"

namespace NWindows {
namespace NDLL {

// A shared library loaded with dlopen. Loading hands the library the program's name-conversion
// and link-handling switches and runs its start-up hook, so a plug-in behaves as the program does.
class CLibrary {
    void *_module;

public:
    CLibrary() : _module(nullptr) {}
    ~CLibrary() { Free(); }
    CLibrary(const CLibrary &) = delete;
    CLibrary &operator=(const CLibrary &) = delete;

    bool IsLoaded() const { return _module != nullptr; }
    // False, keeping the handle, only when dlclose fails.
    bool Free() throw();
    // A path ending in ".dll" loads the ".so" of the same name. A failure is also printed.
    bool Load(const wchar_t *path);
    void *GetProc(const char *name) const;
};

// The plug-in folder with a trailing '/': TARNOVA_HOME_DIR when set, else "./".
UString GetModuleDirPrefix();

} // namespace NDLL
} // namespace NWindows
