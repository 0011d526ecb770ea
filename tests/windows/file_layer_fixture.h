#pragma once

// A fresh folder per test, with the process-wide switches of the file layer saved and restored
// around it; links are looked at, not followed, unless a test says otherwise.
#include <gtest/gtest.h>

#include <string>

#include "common/StringConvert.h"
#include "test_support.h"
#include "windows/FileFind.h"

class FileLayerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.Ok());
        savedLstat = global_use_lstat;
        savedUtf16 = global_use_utf16_conversion;
        global_use_lstat = 1;
    }
    void TearDown() override {
        global_use_lstat = savedLstat;
        global_use_utf16_conversion = savedUtf16;
    }
    UString P(const std::string &name) const { return testsupport::W(tmp / name); }

    testsupport::TempFolder tmp;
    int savedLstat = 1;
    int savedUtf16 = 0;
};
