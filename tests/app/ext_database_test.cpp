#include <chrono>
#include <thread>

#include <QMimeDatabase>

#include "ExtDatabase.h"
#include "setting_fixture.h"

using settingtest::ReadAll;
using settingtest::SettingsHome;

namespace {

class Associations : public SettingsHome {};

TEST_F(Associations, DefaultsSkipNeverOfferedTurnOffDebAndStartOneXdgMime) {
    CExtDatabase db;
    db.build_defaults(L"zip rar 7z deb exe DOCX TGZ");
    ASSERT_EQ(db.ext_map.size(), 5u);
    EXPECT_TRUE(db.ext_map.count(L"TGZ"));
    EXPECT_FALSE(db.ext_map.count(L"exe"));
    EXPECT_FALSE(db.ext_map.count(L"DOCX"));
    EXPECT_TRUE(db.ext_map[L"zip"].assoc && db.ext_map[L"zip"].DefaultAssoc);
    EXPECT_FALSE(db.ext_map[L"deb"].assoc || db.ext_map[L"deb"].DefaultAssoc);
    EXPECT_EQ(db.FindExt(L"tgz"), 4);

    const std::vector<std::string> calls = XdgCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].rfind("default tarnova.desktop application/zip ", 0), 0u) << calls[0];
    EXPECT_NE(calls[0].find("rar"), std::string::npos);
    EXPECT_NE(calls[0].find("application/x-7z-compressed"), std::string::npos);
    EXPECT_NE(calls[0].find("application/x-compressed-tar"), std::string::npos);
    EXPECT_EQ(calls[0].find("deb"), std::string::npos);
    EXPECT_TRUE(testsupport::Exists(Home / ".local/share/applications"));

    CExtDatabase stored;
    stored.Read();
    EXPECT_EQ(stored.ext_map.size(), 5u);
    EXPECT_TRUE(stored.ext_map[L"rar"].assoc);
}

TEST_F(Associations, UnknownExtensionsAreNeverAssociated) {
    // The MIME database would answer application/octet-stream for these.
    EXPECT_TRUE(CExtDatabase::mime_types_for({}).isEmpty());
    CObjectVector<UString> exts;
    exts.Add(UString(L"qqzzunknown"));
    exts.Add(UString(L"gz"));
    exts.Add(UString(L"GZ"));
    EXPECT_EQ(CExtDatabase::mime_types_for(exts), QStringList{"application/gzip"});

    CExtDatabase db;
    db.build_defaults(L"qqzzunknown");
    EXPECT_EQ(db.ext_map.size(), 1u);
    EXPECT_TRUE(XdgCalls(0).empty());
}

TEST_F(Associations, FirstStartRegistersFromThePluginOnceOnly) {
    const char *out = getenv("TARNOVA_TEST_OUTPUT_DIR");
    ASSERT_NE(out, nullptr);
    setenv("TARNOVA_HOME_DIR", (std::string(out) + "/").c_str(), 1);

    CExtDatabase::cmd_associate();
    std::vector<std::string> calls = XdgCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].find("application/zip"), std::string::npos);
    EXPECT_NE(calls[0].find("application/x-7z-compressed"), std::string::npos);

    options::instance().close();
    CExtDatabase::cmd_associate();
    calls = XdgCalls(1);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(Associations, UnreadableStoreRegistersNothing) {
    // A settings file that cannot be read is no first start: registering at every start would
    // override what the user chose on the desktop.
    mkdir(ConfigDir().c_str(), 0700);
    std::ofstream(DbPath()) << "not a database\n";
    const char *out = getenv("TARNOVA_TEST_OUTPUT_DIR");
    ASSERT_NE(out, nullptr);
    setenv("TARNOVA_HOME_DIR", (std::string(out) + "/").c_str(), 1);
    CExtDatabase db;
    db.Read();
    EXPECT_TRUE(db.ext_map.empty());
    EXPECT_TRUE(XdgCalls(0).empty());
}

TEST_F(Associations, TurningOffRemovesOnlyOurDefaultEntries) {
    mkdir(ConfigDir().c_str(), 0700);
    const std::string list = Home / ".config/mimeapps.list";
    std::ofstream(list) << "[Default Applications]\n"
                           "application/x-gzip=tarnova.desktop;\n"
                           "application/zip=tarnova.desktop;other.desktop;\n"
                           "text/plain=editor.desktop;\n"
                           "\n"
                           "[Added Associations]\n"
                           "application/zip=tarnova.desktop;\n";

    CExtDatabase db;
    db.build_defaults(L"gz zip 7z");
    const size_t firstCalls = XdgCalls(1).size();
    ASSERT_EQ(firstCalls, 1u);
    db.ext_map[L"gz"].assoc = false;
    db.ext_map[L"gz"].changed = true;
    db.ext_map[L"zip"].assoc = false;
    db.ext_map[L"zip"].changed = true;
    db.Save();

    EXPECT_EQ(ReadAll(list), "[Default Applications]\n"
                             "application/zip=other.desktop;\n"
                             "text/plain=editor.desktop;\n"
                             "\n"
                             "[Added Associations]\n"
                             "application/zip=tarnova.desktop;\n");
    // Turning off runs no xdg-mime at all.
    EXPECT_EQ(XdgCalls(1).size(), 1u);

    CExtDatabase back;
    back.Read();
    EXPECT_FALSE(back.ext_map[L"gz"].assoc);
    EXPECT_TRUE(back.ext_map[L"gz"].DefaultAssoc);
    EXPECT_TRUE(back.ext_map[L"7z"].assoc);
}

TEST_F(Associations, SaveWithoutChangesStartsNothingAndTurningOnStartsOneCall) {
    CExtDatabase db;
    db.build_defaults(L"zip deb");
    ASSERT_EQ(XdgCalls(1).size(), 1u);
    db.Save();
    EXPECT_EQ(XdgCalls(1).size(), 1u);

    db.ext_map[L"deb"].assoc = true;
    db.ext_map[L"deb"].changed = true;
    db.Save();
    const std::vector<std::string> calls = XdgCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], "default tarnova.desktop application/vnd.debian.binary-package");
}

} // namespace
