#pragma once

// Shared by the browser-window tests: the program's start-up with the codec plug-in taken from
// the program's folder (the tests live elsewhere).
#include <stdlib.h>

#include <string>
#include <vector>

#include "app_test_support.h"
#include "archive/agent/Agent.h"
#include "mainwindow.h"
#include "module.h"

namespace panelfx {

inline void LoadPluginFromTheProgramFolder() {
    FreeGlobalCodecs();
    setenv("TARNOVA_HOME_DIR", TARNOVA_PLUGIN_DIR, 1);
    LoadGlobalCodecs();
}

// Runs the program's start-up with these words after the program's name and builds the window.
inline mainwindow *Start(const std::vector<std::string> &args) {
    std::vector<std::string> words = {"tarnova"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    _module.global_init((int)words.size(), argv.data());
    LoadPluginFromTheProgramFolder();
    return new mainwindow(nullptr);
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
