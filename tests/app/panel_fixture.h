#pragma once

// Shared by the browser-window tests: the program's start-up with the codec plug-in taken from
// the program's folder (the tests live elsewhere).
#include <stdlib.h>

#include "app_test_support.h"
#include "archive/agent/Agent.h"

namespace panelfx {

inline void LoadPluginFromTheProgramFolder() {
    FreeGlobalCodecs();
    setenv("TARNOVA_HOME_DIR", TARNOVA_PLUGIN_DIR, 1);
    LoadGlobalCodecs();
}

class CPanelEnvironment : public apptest::CAppEnvironment {
public:
    void SetUp() override {
        setenv("LC_ALL", "C.UTF-8", 1);
        apptest::CAppEnvironment::SetUp();
        LoadPluginFromTheProgramFolder();
    }
};

} // namespace panelfx
