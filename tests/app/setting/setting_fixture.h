#pragma once

// Every settings test runs against a home folder of its own and a fake xdg-mime first on the
// search path, so nothing touches the real user's settings or MIME defaults.
#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "options.h"
#include "test_support.h"

extern int global_use_utf16_conversion;

namespace settingtest {

inline std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class SettingsHome : public ::testing::Test {
protected:
    testsupport::TempFolder Home;
    std::string OldPath;

    void SetUp() override {
        ASSERT_TRUE(Home.Ok());
        setlocale(LC_ALL, "C.UTF-8");
        global_use_utf16_conversion = 1;
        setenv("HOME", Home.Path().c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DATA_HOME");
        const std::string bin = Home / "bin";
        mkdir(bin.c_str(), 0755);
        WriteScript(bin + "/xdg-mime", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + XdgLog() + "'\n");
        const char *path = getenv("PATH");
        OldPath = path ? path : "/usr/bin:/bin";
        setenv("PATH", (bin + ":" + OldPath).c_str(), 1);
        options::instance().close();
        options::instance().set_busy_timeout(60000);
    }

    void TearDown() override {
        options::instance().close();
        setenv("PATH", OldPath.c_str(), 1);
    }

    static void WriteScript(const std::string &path, const std::string &text) {
        std::ofstream(path) << text;
        chmod(path.c_str(), 0755);
    }

    std::string XdgLog() const { return Home / "xdg-mime.log"; }

    // The xdg-mime calls so far, one line each; waits for the expected number first, and then
    // a little longer, so that a call that should not come gets the time to come anyway.
    std::vector<std::string> XdgCalls(size_t expected) const {
        testsupport::WaitFor([&] { return XdgLines().size() >= expected; }, std::chrono::milliseconds(30000));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return XdgLines();
    }
    std::vector<std::string> XdgLines() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadAll(XdgLog()));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::string DbPath() const { return Home / ".config/tarnova.db"; }
    std::string ConfigDir() const { return Home / ".config"; }
};

} // namespace settingtest
