// One application object for the tests of opening items (the desktop opener needs one), a home
// folder of their own with fakes first on PATH, and the codec registry of the build.
#include <QApplication>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "archive/agent/Agent.h"
#include "temporary_home.h"

extern "C" __attribute__((weak, used)) const char *__lsan_default_suppressions() {
    return "leak:libqoffscreen.so\n";
}

namespace {

class COpenItemsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "openitems-test";
        static char *argv[] = {name, nullptr};
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        apptest::UseTemporaryHome();
        app = new QApplication(argc, argv);
        const char *dir = getenv("TARNOVA_TEST_OUTPUT_DIR");
        setenv("TARNOVA_HOME_DIR", (std::string(dir ? dir : ".") + "/").c_str(), 1);
        LoadGlobalCodecs();
    }
    void TearDown() override {
        FreeGlobalCodecs();
        delete app;
        app = nullptr;
    }

private:
    QApplication *app = nullptr;
};

::testing::Environment *const g_environment = ::testing::AddGlobalTestEnvironment(new COpenItemsEnvironment);

} // namespace
