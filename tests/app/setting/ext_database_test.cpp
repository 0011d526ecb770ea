#include <chrono>
#include <set>
#include <sstream>
#include <thread>

#include <QMimeDatabase>

#include "ArchiveMimeTypes.h"
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

// Documents, e-books, packages and disk images open inside as archives, but the first start must
// leave them with the desktop's own programs; iso stays ours.
TEST_F(Associations, FirstStartTakesOverNoDocumentPackageOrDiskImage) {
    const char *out = getenv("TARNOVA_TEST_OUTPUT_DIR");
    ASSERT_NE(out, nullptr);
    setenv("TARNOVA_HOME_DIR", (std::string(out) + "/").c_str(), 1);

    CExtDatabase::cmd_associate();
    const std::vector<std::string> calls = XdgCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    const std::string call = calls[0] + " ";
    for (const char *type :
         {"application/vnd.openxmlformats-officedocument.presentationml.presentation",
          "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
          "application/vnd.oasis.opendocument.presentation", "application/vnd.oasis.opendocument.text",
          "application/epub+zip", "application/x-java-archive", "application/vnd.android.package-archive",
          "application/x-xpinstall", "application/x-raw-disk-image", "application/ovf",
          "application/vnd.debian.binary-package", "application/x-rpm", "application/x-xar"})
        EXPECT_EQ(call.find(std::string(" ") + type + " "), std::string::npos) << type;
    for (const char *type : {"application/zip", "application/x-cd-image", "application/x-tar", "application/gzip"})
        EXPECT_NE(call.find(std::string(" ") + type + " "), std::string::npos) << type;

    // Offered but off: the user may still tick them; udeb is off with deb, whose type it shares.
    CExtDatabase stored;
    stored.Read();
    for (const wchar_t *ext : {L"deb", L"udeb", L"jar", L"apk", L"img", L"ova", L"pkg"}) {
        ASSERT_TRUE(stored.ext_map.count(ext)) << QString::fromWCharArray(ext).toStdString();
        EXPECT_FALSE(stored.ext_map[ext].assoc || stored.ext_map[ext].DefaultAssoc);
    }
    for (const wchar_t *ext : {L"docx", L"pptx", L"odp", L"epub"})
        EXPECT_FALSE(stored.ext_map.count(ext));
    EXPECT_TRUE(stored.ext_map[L"iso"].assoc && stored.ext_map[L"zip"].assoc);
}

// The context menu offers extraction for exactly the types the first start takes over: a type
// the desktop opens with the program can be extracted from the menu, and nothing else can.
TEST_F(Associations, MenuPluginExtractsExactlyTheTypesTakenOver) {
    const char *out = getenv("TARNOVA_TEST_OUTPUT_DIR");
    ASSERT_NE(out, nullptr);
    setenv("TARNOVA_HOME_DIR", (std::string(out) + "/").c_str(), 1);
    CExtDatabase::cmd_associate();
    const std::vector<std::string> calls = XdgCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    std::set<std::string> takenOver;
    std::istringstream words(calls[0]);
    std::string word;
    while (words >> word)
        if (word.find('/') != std::string::npos) takenOver.insert(word);

    QMimeDatabase db;
    std::set<std::string> extracted;
    for (const CArchiveMimeType *row = archive_mime_types; row->name; row++) {
        const QMimeType mt = db.mimeTypeForName(row->name);
        extracted.insert((mt.isValid() ? mt.name() : QString(row->name)).toStdString());
    }
    std::string onlyTakenOver, onlyExtracted;
    for (const std::string &t : takenOver)
        if (!extracted.count(t)) onlyTakenOver += t + " ";
    for (const std::string &t : extracted)
        if (!takenOver.count(t)) onlyExtracted += t + " ";
    EXPECT_EQ(onlyTakenOver, "") << "taken over on the desktop, no extraction in the menu";
    EXPECT_EQ(onlyExtracted, "") << "extraction in the menu, not taken over on the desktop";
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

// zip and zipx share one type: it stays ours until neither is ticked.
TEST_F(Associations, UntickingKeepsATypeThatATickedExtensionShares) {
    mkdir(ConfigDir().c_str(), 0700);
    const std::string list = Home / ".config/mimeapps.list";
    const std::string before = "[Default Applications]\n"
                               "application/zip=tarnova.desktop;\n"
                               "application/x-7z-compressed=tarnova.desktop;\n";
    std::ofstream(list) << before;
    CExtDatabase db;
    db.build_defaults(L"zip zipx 7z");
    ASSERT_EQ(XdgCalls(1).size(), 1u);

    db.ext_map[L"zip"].assoc = false;
    db.ext_map[L"zip"].changed = true;
    db.Save();
    EXPECT_EQ(ReadAll(list), before);

    db.ext_map[L"zipx"].assoc = false;
    db.ext_map[L"zipx"].changed = true;
    db.Save();
    EXPECT_EQ(ReadAll(list), "[Default Applications]\n"
                             "application/x-7z-compressed=tarnova.desktop;\n");
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
