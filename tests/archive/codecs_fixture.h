#pragma once

// The real plug-in registry for engine tests: loads 7z.so from the build's output folder once per
// test program.
#include <stdlib.h>

#include <string>

#include "archive/common/CreateCoder.h"
#include "archive/ui-common/LoadCodecs.h"
#include "common/MyCom.h"

namespace enginetest {

struct CRegistry {
    CCodecs *Codecs = nullptr;
    CMyComPtr<ICompressCodecsInfo> Holder;
    CExternalCodecs External;
    HRESULT LoadResult = E_FAIL;

    CRegistry() {
        const char *dir = getenv("TARNOVA_TEST_OUTPUT_DIR");
        const std::string home = std::string(dir ? dir : ".") + "/";
        setenv("TARNOVA_HOME_DIR", home.c_str(), 1);
        Codecs = new CCodecs;
        Holder = Codecs;
        LoadResult = Codecs->Load();
        if (LoadResult == S_OK) {
            External.CodecsInfo = Codecs;
            External.HashersInfo = Codecs;
            LoadResult = External.Load();
        }
    }
    ~CRegistry() {
        External.CodecsInfo.Release();
        External.HashersInfo.Release();
        Codecs->CloseLibs();
    }
};

// Kept for the whole process: the plug-in's objects must not outlive its library.
inline CRegistry &Registry() {
    static CRegistry *r = new CRegistry;
    return *r;
}

} // namespace enginetest
