#include "DLL.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include "common/StringConvert.h"
#include "FileFind.h"
#include "FileName.h"

namespace NWindows {
namespace NDLL {

bool CLibrary::Free() throw() {
    if (!_module) return true;
    if (dlclose(_module) != 0) return false;
    _module = nullptr;
    return true;
}

bool CLibrary::Load(const wchar_t *path) {
    if (!Free()) return false;

    // Callers ask for Windows-style names; the library on disk is the ".so" of the same name.
    AString name = NFile::NName::GetOsPath(path);
    const unsigned len = name.Len();
    if (len > 3 && strcmp(name.RightPtr(4), ".dll") == 0) {
        name.DeleteFrom(len - 4);
        name += ".so";
    }

    void *module = dlopen(name, RTLD_NOW);
    if (!module) {
        const char *err = dlerror();
        printf("Can't load '%ls' (%s)\n", path, err ? err : "");
        return false;
    }
    _module = module;

    int *useUtf16 = (int *)dlsym(module, "global_use_utf16_conversion");
    if (useUtf16) *useUtf16 = global_use_utf16_conversion;
    int *useLstat = (int *)dlsym(module, "global_use_lstat");
    if (useLstat) *useLstat = global_use_lstat;

    typedef void (*Func_TestConstructor)();
    Func_TestConstructor hook = (Func_TestConstructor)dlsym(module, "sync_TestConstructor");
    if (hook) hook();
    return true;
}

void *CLibrary::GetProc(const char *name) const {
    if (!_module) return nullptr;
    return dlsym(_module, name);
}

UString GetModuleDirPrefix() {
    const char *home = getenv("TARNOVA_HOME_DIR");
    if (home) return MultiByteToUnicodeString(AString(home));
    return UString(L"./");
}

} // namespace NDLL
} // namespace NWindows
