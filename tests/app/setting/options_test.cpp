#include <sys/stat.h>

#include <string>
#include <vector>

#include "ExtDatabase.h"
#include "ZipRegistry.h"
#include "setting_fixture.h"

using settingtest::ReadAll;
using settingtest::SettingsHome;

namespace {

// What the store wrote, read back over a connection of its own with the same key.
std::vector<std::string> Rows(const std::string &db, const char *sql) {
    CppSQLite3DB conn;
    conn.open(db.c_str());
    std::vector<std::string> rows;
    CppSQLite3Query q = conn.execQuery(sql);
    for (; !q.eof(); q.nextRow()) {
        std::string row;
        for (int i = 0; i < q.numFields(); i++)
            row += std::string(i ? "," : "") + q.getStringField(i, "NULL");
        rows.push_back(row);
    }
    return rows;
}

void Exec(const std::string &db, const char *sql) {
    CppSQLite3DB conn;
    conn.open(db.c_str());
    conn.execDML(sql);
}

CObjectVector<UString> List(std::initializer_list<const wchar_t *> items) {
    CObjectVector<UString> v;
    for (const wchar_t *s : items)
        v.Add(UString(s));
    return v;
}

std::vector<std::wstring> Std(const CObjectVector<UString> &v) {
    std::vector<std::wstring> r;
    FOR_VECTOR(i, v)
    r.push_back(v[i].Ptr());
    return r;
}

class OptionsStore : public SettingsHome {};

TEST_F(OptionsStore, FirstStartCreatesConfigFolderTablesAndDefaultRows) {
    struct stat st;
    ASSERT_NE(stat(ConfigDir().c_str(), &st), 0);
    bool flag = false;
    ASSERT_TRUE(options::instance().get_history_folder(flag, true));
    EXPECT_TRUE(flag);

    EXPECT_EQ(Rows(DbPath(), "select name from sqlite_master where type='table' order by name"),
              (std::vector<std::string>{"associate", "common", "compress", "compressoption", "extract", "fastfolder",
                                        "folderhistory", "workdir"}));
    EXPECT_EQ(Rows(DbPath(), "select * from common"), (std::vector<std::string>{"0,1,1,1", "1,1,1,1"}));
    EXPECT_EQ(Rows(DbPath(), "select * from compress where ID=1"), (std::vector<std::string>{"1,,0,0,0,0,0,0,5,7z,0"}));
    EXPECT_EQ(Rows(DbPath(), "select * from workdir"), (std::vector<std::string>{"0,,0,1", "1,,0,1"}));

    // copyhistory exists only once written.
    CObjectVector<UString> copies = List({L"stale"});
    EXPECT_TRUE(options::instance().get_copy_history(copies));
    EXPECT_EQ(copies.Size(), 0u);
    EXPECT_TRUE(options::instance().set_copy_history(List({L"/a", L"/b"})));
    EXPECT_TRUE(options::instance().get_copy_history(copies));
    EXPECT_EQ(Std(copies), (std::vector<std::wstring>{L"/a", L"/b"}));
}

TEST_F(OptionsStore, TablesThatDifferAreRebuiltAndCaseOnlyDifferencesKeepValues) {
    // First run to make the file, then reshape tables as an older or foreign program might.
    bool flag = false;
    ASSERT_TRUE(options::instance().get_history_folder(flag, true));
    options::instance().close();
    Exec(DbPath(), "drop table common");
    Exec(DbPath(), "create table common(ID integer primary key, ImprovingPlan boolean, SendErrorLog boolean)");
    Exec(DbPath(), "insert into common values (1,0,0)");
    Exec(DbPath(), "drop table workdir");
    Exec(DbPath(), "create table workdir(ID INTEGER PRIMARY KEY, WorkDirPath VARCHAR(4096), WorkDirType INTEGER, "
                   "TempRemovableOnly Integer)");
    Exec(DbPath(), "insert into workdir values (1,'/keep',2,0)");
    Exec(DbPath(), "drop table fastfolder");
    Exec(DbPath(), "create table fastfolder(Path varchar(4096), Extra integer)");

    ASSERT_TRUE(options::instance().get_history_folder(flag, true));
    EXPECT_EQ(Rows(DbPath(), "select * from common"), (std::vector<std::string>{"0,1,1,1", "1,1,1,1"}));
    EXPECT_EQ(Rows(DbPath(), "select * from workdir"), (std::vector<std::string>{"1,/keep,2,0"}));
    EXPECT_EQ(Rows(DbPath(), "pragma table_info(fastfolder)").size(), 1u);
}

struct CBadFile {
    const char *what;
    void (*make)(const std::string &path);
};

void MakeOtherKey(const std::string &path) {
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_key(db, "someone else", 12);
    sqlite3_exec(db, "create table common(ID integer primary key); insert into common values (1);", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
}

void MakePlain(const std::string &path) {
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "create table common(ID integer primary key); insert into common values (1);", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
}

void MakeText(const std::string &path) {
    std::ofstream(path) << "not a database, just notes\n";
}

TEST_F(OptionsStore, UnreadableFilesAreReportedAndNeverTouched) {
    const CBadFile cases[] = {{"another key", MakeOtherKey}, {"plain SQLite", MakePlain}, {"text", MakeText}};
    for (const CBadFile &c : cases) {
        SCOPED_TRACE(c.what);
        options::instance().close();
        mkdir(ConfigDir().c_str(), 0700);
        remove(DbPath().c_str());
        c.make(DbPath());
        const std::string before = ReadAll(DbPath());
        ASSERT_FALSE(before.empty());

        NExtract::CInfo extract;
        extract.ExtractMode = 9;
        extract.PathHistory.Add(UString(L"/kept"));
        EXPECT_FALSE(extract.Load());
        EXPECT_EQ(extract.ExtractMode, 1);
        EXPECT_EQ(extract.OverwriteMode, 0);
        EXPECT_EQ(extract.PathHistory.Size(), 0u);
        EXPECT_FALSE(extract.OpenOutputDir);
        NCompression::CInfo compress;
        EXPECT_FALSE(compress.Load());
        EXPECT_EQ(compress.Level, 5);
        EXPECT_EQ(compress.Config, 0);
        EXPECT_STREQ(compress.Archiver.Ptr(), L"7z");

        EXPECT_FALSE(extract.Save());
        EXPECT_FALSE(options::instance().set_folder_history(List({L"/x"})));
        EXPECT_FALSE(options::instance().set_history_folder(false));
        EXPECT_EQ(ReadAll(DbPath()), before);
        struct stat st;
        EXPECT_NE(stat((DbPath() + "-journal").c_str(), &st), 0);
    }
}

TEST_F(OptionsStore, ListsKeepCommasBackslashesAndOrder) {
    const CObjectVector<UString> paths = List({L"/home/u/a,b", L"/home/u/中文 目录", L"C:\\old\\path", L"/x,,y,"});
    NExtract::CInfo extract;
    extract.PathHistory = paths;
    ASSERT_TRUE(extract.Save());
    ASSERT_TRUE(options::instance().set_folder_history(paths));
    ASSERT_TRUE(options::instance().set_fast_folder(List({L"/one,two"})));

    options::instance().close();
    NExtract::CInfo back;
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(Std(back.PathHistory), Std(paths));
    CObjectVector<UString> folders;
    ASSERT_TRUE(options::instance().get_folder_history(folders));
    EXPECT_EQ(Std(folders), Std(paths));
    ASSERT_TRUE(options::instance().get_fast_folder(folders));
    EXPECT_EQ(Std(folders), (std::vector<std::wstring>{L"/one,two"}));

    // A value stored by an earlier version, joined without escapes, still reads as before.
    CObjectVector<UString> old;
    options::string2UStringVector("/a,,/b\\c,", old);
    EXPECT_EQ(Std(old), (std::vector<std::wstring>{L"/a", L"", L"/b\\c"}));
}

TEST_F(OptionsStore, PerFormatOptionsAreInsertedThenUpdated) {
    NCompression::CInfo info;
    ASSERT_TRUE(info.Load());
    EXPECT_EQ(info.Formats.Size(), 0u);
    info.Level = 9;
    info.Archiver = L"zip";
    info.ArcHistory = List({L"/out/a.zip"});
    NCompression::CFormatOptions &zip = info.Formats.AddNew();
    zip.FormatID = L"zip";
    zip.Method = L"Deflate";
    zip.Level = 7;
    zip.EncryptionMethod = L"AES256";
    NCompression::CFormatOptions &sz = info.Formats.AddNew();
    sz.FormatID = L"7z";
    sz.Method = L"LZMA2";
    sz.Dictionary = 1 << 24;
    ASSERT_TRUE(info.Save());
    zip.Level = 3;
    ASSERT_TRUE(info.Save());

    options::instance().close();
    NCompression::CInfo back;
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(back.Level, 9);
    EXPECT_STREQ(back.Archiver.Ptr(), L"zip");
    EXPECT_EQ(Std(back.ArcHistory), (std::vector<std::wstring>{L"/out/a.zip"}));
    ASSERT_EQ(back.Formats.Size(), 2u);
    EXPECT_STREQ(back.Formats[0].FormatID.Ptr(), L"zip");
    EXPECT_EQ(back.Formats[0].Level, 3u);
    EXPECT_STREQ(back.Formats[0].EncryptionMethod.Ptr(), L"AES256");
    EXPECT_STREQ(back.Formats[1].Method.Ptr(), L"LZMA2");
    EXPECT_EQ(back.Formats[1].Dictionary, 1u << 24);
    EXPECT_EQ(back.Formats[1].NumThreads, (UInt32)(Int32)-1);
}

TEST_F(OptionsStore, AssociationsAndFlagsPersist) {
    std::map<std::wstring, CExtPlugins> map;
    EXPECT_TRUE(options::instance().set_file_associate(map));
    CExtPlugins zip;
    zip.ext = L"zip";
    zip.assoc = true;
    zip.DefaultAssoc = true;
    CExtPlugins deb;
    deb.ext = L"deb";
    map[L"zip"] = zip;
    map[L"deb"] = deb;
    ASSERT_TRUE(options::instance().set_file_associate(map));
    ASSERT_TRUE(options::instance().set_history_folder(false));
    ASSERT_TRUE(options::instance().set_improving_plan(false));
    ASSERT_TRUE(NExtract::Save_ShowPassword(true));

    options::instance().close();
    std::map<std::wstring, CExtPlugins> back;
    ASSERT_TRUE(options::instance().get_file_associate(back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_TRUE(back[L"zip"].assoc);
    EXPECT_FALSE(back[L"deb"].DefaultAssoc);
    bool flag = true;
    ASSERT_TRUE(options::instance().get_history_folder(flag, true));
    EXPECT_FALSE(flag);
    ASSERT_TRUE(options::instance().get_history_folder(flag, false));
    EXPECT_TRUE(flag);
    ASSERT_TRUE(options::instance().get_improving_plan(flag, true));
    EXPECT_FALSE(flag);
    EXPECT_TRUE(NExtract::Read_ShowPassword());
}

} // namespace
