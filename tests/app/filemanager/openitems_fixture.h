#pragma once

// Archives opened as folders the way the panel opens them, through the folder manager.
#include <gtest/gtest.h>

#include <string>

#include "archive/agent/ArchiveFolderOpen.h"
#include "test_support.h"

namespace openitemstest {

inline CMyComPtr<IFolderFolder> OpenArchive(const std::string &path) {
    CMyComPtr<IFolderManager> manager = new CArchiveFolderManager;
    CMyComPtr<IFolderFolder> folder;
    EXPECT_EQ(manager->OpenFolderFile(nullptr, testsupport::W(path), nullptr, &folder, nullptr), S_OK) << path;
    return folder;
}

} // namespace openitemstest
