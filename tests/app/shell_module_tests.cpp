// The module object: start-up facts, the GUI thread, the worker registry and tear-down.
#include <QCoreApplication>

#include <stdlib.h>

#include <thread>

#include "app_test_support.h"
#include "dialogcodes.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "test_support.h"
#include "windows/Thread.h"

namespace {

// global_init again with the test program's own words, as the environment did.
void RestartModule() {
    static char name[] = "tarnova-test";
    char *argv[] = {name, nullptr};
    _module.global_init(1, argv);
}

TEST(Module, HomeDirIsTheProgramFolderWithSlashAndOverridesAnEarlierValue) {
    setenv("TARNOVA_HOME_DIR", "/somewhere/else", 1);
    RestartModule();
    const char *home = getenv("TARNOVA_HOME_DIR");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(std::string(home), (QCoreApplication::applicationDirPath() + "/").toStdString());
    EXPECT_EQ(std::string(home).back(), '/');
}

TEST(Module, CommandStringsReplaceTheOutputAndStartWithTheProgramPath) {
    char program[] = "/opt/tarnova/tarnova";
    char word1[] = "a b.zip";
    char word2[] = "-extract-here";
    char *argv[] = {program, word1, word2, nullptr};
    _module.global_init(3, argv);

    UStringVector words = testsupport::Words({"old", "entries", "here", "four"});
    _module.get_command_strings(words);
    EXPECT_EQ(testsupport::Join(words), L"/opt/tarnova/tarnova|a b.zip|-extract-here");
    RestartModule();
}

TEST(Module, OnlyTheRecordedThreadIsTheGuiThreadAndNoneAfterUninit) {
    EXPECT_TRUE(_module.is_main_thread());
    bool onWorker = true;
    std::thread([&] { onWorker = _module.is_main_thread(); }).join();
    EXPECT_FALSE(onWorker);

    _module.global_uninit();
    EXPECT_FALSE(_module.is_main_thread());
    EXPECT_EQ(getenv("TARNOVA_HOME_DIR"), nullptr);
    RestartModule();
    EXPECT_TRUE(_module.is_main_thread());
}

// A late dialog call from the old GUI thread after uninit would wait on itself; it answers
// cancel at once instead.
TEST(Module, DialogCallAfterUninitReturnsCancelAtOnce) {
    mainwindow window;
    _module.global_uninit();
    EXPECT_EQ(MessageBoxW(&window, L"late", L"Tarnova", 0), dialog_result::cancel);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    RestartModule();
}

struct CWorkerState {
    std::atomic<bool> release{false};
    std::atomic<int> result{-1};
};

THREAD_FUNC_DECL WaitThenAsk(void *p) {
    CWorkerState *state = static_cast<CWorkerState *>(p);
    while (!state->release.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    state->result = MessageBoxW(nullptr, L"还在吗？", L"Tarnova", 0x414);
    return nullptr;
}

// Tear-down waits for registered workers; a worker that asks a question meanwhile is answered
// cancel, without a dialog, so it can end.
TEST(Module, TearDownWaitsForWorkersAndAnswersTheirDialogsWithCancel) {
    mainwindow window;
    CWorkerState state;
    NWindows::CThread thread;
    ASSERT_EQ(_module.start_thread(&thread, WaitThenAsk, &state), 0);
    EXPECT_EQ(_module.running_threads(), 1);

    bool dialogSeen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { dialogSeen |= QApplication::activeModalWidget() != nullptr; });
    watch.start(1);
    state.release = true;
    _module.wait_for_threads();
    watch.stop();

    EXPECT_EQ(_module.running_threads(), 0);
    EXPECT_EQ(state.result.load(), dialog_result::cancel);
    EXPECT_FALSE(dialogSeen);
    EXPECT_EQ(thread.Wait(), 0);
    RestartModule();
}

THREAD_FUNC_DECL Throws(void *) {
    throw 20;
}

TEST(Module, AThrowingWorkerStillLeavesTheRegistry) {
    NWindows::CThread thread;
    ASSERT_EQ(_module.start_thread(&thread, Throws, nullptr), 0);
    EXPECT_EQ(thread.Wait(), 0);
    EXPECT_EQ(_module.running_threads(), 0);
}

} // namespace
