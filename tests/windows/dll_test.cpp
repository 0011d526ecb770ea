#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/StringConvert.h"
#include "windows/DLL.h"
#include "windows/FileFind.h"

using NWindows::NDLL::CLibrary;
using NWindows::NDLL::GetModuleDirPrefix;

namespace fs = std::filesystem;

namespace {

const std::string kHookModule = std::string(TARNOVA_TEST_MODULE_DIR) + "/dll_hook_module.so";
const std::string kPlainModule = std::string(TARNOVA_TEST_MODULE_DIR) + "/dll_plain_module.so";

UString Wide(const std::string &s) {
    return MultiByteToUnicodeString(AString(s.c_str()));
}

template <typename T> T *Symbol(const CLibrary &lib, const char *name) {
    return reinterpret_cast<T *>(lib.GetProc(name));
}

struct LibraryLoading : ::testing::Test {
    fs::path dir;
    int savedUtf16 = global_use_utf16_conversion;
    int savedLstat = global_use_lstat;

    void SetUp() override {
        ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
        char tmpl[] = "/tmp/tarnova_dll_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        global_use_utf16_conversion = savedUtf16;
        global_use_lstat = savedLstat;
        fs::remove_all(dir);
    }
    // A copy under a new name, so each test controls exactly which files exist.
    std::string Place(const std::string &module, const char *name) {
        const fs::path p = dir / name;
        fs::copy_file(module, p);
        return p.string();
    }
};

} // namespace

TEST_F(LibraryLoading, DllPathWithDrivePrefixOpensTheSo) {
    Place(kPlainModule, "7z.so");
    CLibrary lib;
    ASSERT_TRUE(lib.Load(Wide("c:" + (dir / "7z.dll").string())));
    EXPECT_TRUE(lib.IsLoaded());
    auto answer = reinterpret_cast<int (*)()>(lib.GetProc("plain_module_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_TRUE(lib.Free());
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_EQ(lib.GetProc("plain_module_answer"), nullptr);
}

TEST_F(LibraryLoading, OnlyLowerCaseFinalDllIsReplaced) {
    // No ".so" beside these: they load only when the name is taken unchanged.
    for (const char *name : {"upper.DLL", "backup.dll.bak"}) {
        const std::string path = Place(kPlainModule, name);
        CLibrary lib;
        EXPECT_TRUE(lib.Load(Wide(path))) << name;
    }
    // And a lower-case ".dll" with no ".so" beside it does not load the ".dll" file itself.
    const std::string dllOnly = Place(kPlainModule, "only.dll");
    CLibrary lib;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(lib.Load(Wide(dllOnly)));
    testing::internal::GetCapturedStdout();
}

TEST_F(LibraryLoading, SwitchesAreCopiedBeforeTheHookRuns) {
    const std::string path = Place(kHookModule, "hook.so");
    const int combos[][2] = {{0, 1}, {1, 0}};
    for (const auto &combo : combos) {
        global_use_utf16_conversion = combo[0];
        global_use_lstat = combo[1];
        CLibrary lib;
        ASSERT_TRUE(lib.Load(Wide(path)));
        EXPECT_EQ(*Symbol<int>(lib, "global_use_utf16_conversion"), combo[0]);
        EXPECT_EQ(*Symbol<int>(lib, "global_use_lstat"), combo[1]);
        EXPECT_EQ(*Symbol<int>(lib, "hook_seen_utf16"), combo[0]);
        EXPECT_EQ(*Symbol<int>(lib, "hook_seen_lstat"), combo[1]);
        EXPECT_GE(*Symbol<int>(lib, "hook_calls"), 1);
    }
}

TEST_F(LibraryLoading, HookRunsOnceAndReloadFreesTheEarlierLibrary) {
    const std::string hook = Place(kHookModule, "hook.so");
    const std::string plain = Place(kPlainModule, "plain.so");
    CLibrary lib;
    ASSERT_TRUE(lib.Load(Wide(hook)));
    EXPECT_EQ(*Symbol<int>(lib, "hook_calls"), 1);
    ASSERT_TRUE(lib.Load(Wide(plain)));
    EXPECT_EQ(lib.GetProc("hook_calls"), nullptr);
    EXPECT_NE(lib.GetProc("plain_module_answer"), nullptr);
}

TEST_F(LibraryLoading, FailedLoadPrintsLineAndLeavesObjectEmpty) {
    Place(kPlainModule, "first.so");
    CLibrary lib;
    ASSERT_TRUE(lib.Load(Wide((dir / "first.so").string())));

    const std::string missing = (dir / "missing.dll").string();
    testing::internal::CaptureStdout();
    const bool loaded = lib.Load(Wide(missing));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_EQ(lib.GetProc("plain_module_answer"), nullptr);
    // The line names the path as the caller gave it, then the loader's reason (which names the .so).
    const std::string prefix = "Can't load '" + missing + "' (";
    EXPECT_EQ(out.compare(0, prefix.size(), prefix), 0) << out;
    EXPECT_NE(out.find((dir / "missing.so").string()), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 2), ")\n") << out;
}

TEST_F(LibraryLoading, PathLongerThanAnyFixedBufferIsNotTruncated) {
    // Build a folder chain whose full path is far beyond 1 KiB.
    fs::path deep = dir;
    for (int i = 0; i < 40; i++)
        deep /= std::string(50, (char)('a' + i % 26));
    fs::create_directories(deep);
    ASSERT_GT(deep.string().size(), 2000u);
    fs::copy_file(kPlainModule, deep / "long.so");
    CLibrary lib;
    ASSERT_TRUE(lib.Load(Wide("c:" + (deep / "long.dll").string())));
    EXPECT_NE(lib.GetProc("plain_module_answer"), nullptr);
}

TEST(ModuleDirPrefix, ComesFromEnvironmentOrIsCurrentFolder) {
    ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
    const int savedUtf16 = global_use_utf16_conversion;
    global_use_utf16_conversion = 1;

    unsetenv("TARNOVA_HOME_DIR");
    EXPECT_EQ(GetModuleDirPrefix(), UString(L"./"));

    setenv("TARNOVA_HOME_DIR", "/opt/tarnova/\xE5\x8E\x8B/", 1);
    EXPECT_EQ(GetModuleDirPrefix(), UString(L"/opt/tarnova/\u538B/"));

    unsetenv("TARNOVA_HOME_DIR");
    global_use_utf16_conversion = savedUtf16;
}
