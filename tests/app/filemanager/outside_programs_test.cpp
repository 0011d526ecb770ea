// Handing files to outside programs: the desktop opener (captured through a URL handler) and the
// terminal editor (a fake gnome-terminal first on PATH that logs its arguments).
#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "OutsidePrograms.h"
#include "test_support.h"
#include "url_catcher.h"

using testsupport::TempFolder;

namespace {

// A fake gnome-terminal in a folder of its own, first on PATH while the fixture lives.
class OutsidePrograms : public ::testing::Test {
protected:
    void SetUp() override {
        oldPath = getenv("PATH");
        const std::string fake = bin / "gnome-terminal";
        ASSERT_TRUE(testsupport::WriteFile(fake,
                                           "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                               (bin / "log.tmp") + "'\nmv '" + (bin / "log.tmp") + "' '" + Log() +
                                               "'\n",
                                           0755));
        setenv("PATH", (bin.Path() + ":" + oldPath).c_str(), 1);
        QDesktopServices::setUrlHandler("file", &catcher, "open");
    }
    void TearDown() override {
        QDesktopServices::unsetUrlHandler("file");
        setenv("PATH", oldPath.c_str(), 1);
    }
    std::string Log() const { return bin / "log"; }

    TempFolder bin;
    std::string oldPath;
    CUrlCatcher catcher;
};

} // namespace

TEST_F(OutsidePrograms, DesktopOpenerGetsTheFileUrl) {
    EXPECT_TRUE(StartApplication(L"/tmp/a b/c#1%.txt", nullptr));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile("/tmp/a b/c#1%.txt"));
    EXPECT_EQ(catcher.urls[0].toLocalFile(), QString("/tmp/a b/c#1%.txt"));
}

TEST_F(OutsidePrograms, TerminalEditorGetsEachArgumentAsAWord) {
    const wchar_t path[] = L"/tmp/dir with 'quotes'/x;y $(z).txt";
    ASSERT_TRUE(StartEditApplication(path, nullptr));
    ASSERT_TRUE(testsupport::WaitFor([&] { return testsupport::Exists(Log()); }));
    EXPECT_EQ(testsupport::ReadFile(Log()), "--\nvim\n/tmp/dir with 'quotes'/x;y $(z).txt\n");
}

TEST_F(OutsidePrograms, FailsWithoutATerminal) {
    TempFolder empty;
    setenv("PATH", empty.Path().c_str(), 1);
    EXPECT_FALSE(StartEditApplication(L"/tmp/x.txt", nullptr));
}

TEST_F(OutsidePrograms, DisguisedNamesStartNothing) {
    for (const wchar_t *path : {L"/tmp/photo\x202Egpj.exe", L"/tmp/a.txt     .sh", L"/tmp/d\x202Erid/"}) {
        EXPECT_FALSE(StartApplication(path, nullptr));
        EXPECT_FALSE(StartEditApplication(path, nullptr));
    }
    EXPECT_TRUE(catcher.urls.isEmpty());
    // The fake would have written its log by now had it been started.
    EXPECT_TRUE(StartEditApplication(L"/tmp/plain.txt", nullptr));
    ASSERT_TRUE(testsupport::WaitFor([&] { return testsupport::Exists(Log()); }));
    EXPECT_EQ(testsupport::ReadFile(Log()), "--\nvim\n/tmp/plain.txt\n");
}
