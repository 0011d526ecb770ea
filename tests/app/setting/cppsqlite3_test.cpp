#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <type_traits>

#include "CppSQLite3.h"
#include "test_support.h"

using testsupport::TempFolder;

namespace {

static_assert(!std::is_copy_constructible<CppSQLite3DB>::value, "two owners of one handle");
static_assert(!std::is_copy_assignable<CppSQLite3DB>::value, "two owners of one handle");

std::string MessageOf(int code, const char *text) {
    return CppSQLite3Exception(code, text, false).errorMessage();
}

TEST(CppSQLite3, ExceptionNamesItsCode) {
    EXPECT_EQ(MessageOf(1, "near x"), "SQLITE_ERROR[1]: near x");
    EXPECT_EQ(MessageOf(1000, "Database not open"), "CPPSQLITE_ERROR[1000]: Database not open");
    EXPECT_EQ(MessageOf(26, nullptr), "UNKNOWN_ERROR[26]: ");
    const CppSQLite3Exception e(5, "busy", false);
    const CppSQLite3Exception copy(e);
    EXPECT_STREQ(copy.errorMessage(), e.errorMessage());
    EXPECT_NE(copy.errorMessage(), e.errorMessage());
}

TEST(CppSQLite3, KeyedFileRoundTripsAndOtherKeyFailsAtFirstStatement) {
    TempFolder dir;
    const std::string path = dir / "k.db";
    {
        CppSQLite3DB db;
        db.open(path.c_str());
        EXPECT_EQ(db.busyTimeout(), 60000);
        db.execDML("create table t(a integer, b varchar(20))");
        EXPECT_EQ(db.execDML("insert into t values (1, 'one')"), 1);
        // An update that matches nothing is no failure.
        CppSQLite3Statement st = db.compileStatement("update t set b=? where a=?");
        st.bind(1, "none");
        st.bind(2, 7);
        EXPECT_EQ(st.execDML(), 0);
        CppSQLite3Query empty = db.execQuery("select * from t where a = 2");
        EXPECT_TRUE(empty.eof());
        EXPECT_THROW(empty.getIntField(5), CppSQLite3Exception);
    }
    {
        CppSQLite3DB db;
        db.open(path.c_str());
        CppSQLite3Query q = db.execQuery("select a, b from t");
        ASSERT_FALSE(q.eof());
        EXPECT_EQ(q.getIntField("a"), 1);
        EXPECT_STREQ(q.getStringField(1), "one");
        EXPECT_THROW(q.fieldIndex("B"), CppSQLite3Exception);
        CppSQLite3Table t = db.getTable("select a, b from t");
        EXPECT_EQ(t.numRows(), 1);
        EXPECT_STREQ(t.fieldValue("b"), "one");
        EXPECT_THROW(t.setRow(1), CppSQLite3Exception);
    }
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_key(raw, "another key", 11), SQLITE_OK);
    const int rc = sqlite3_exec(raw, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    EXPECT_EQ(rc, SQLITE_NOTADB);
    EXPECT_STREQ(CppSQLite3Exception::errorCodeAsString(rc), "UNKNOWN_ERROR");
}

TEST(CppSQLite3, FailedOpenIsReportedAndLeavesNoHandle) {
    TempFolder dir;
    CppSQLite3DB db;
    const std::string path = dir / "missing/sub/x.db";
    try {
        db.open(path.c_str());
        FAIL() << "open of a file in a missing folder succeeded";
    } catch (const CppSQLite3Exception &e) {
        EXPECT_EQ(e.errorCode(), SQLITE_CANTOPEN);
    }
    EXPECT_FALSE(db.isOpen());
    try {
        db.execDML("select 1");
        FAIL();
    } catch (const CppSQLite3Exception &e) {
        EXPECT_EQ(e.errorCode(), CPPSQLITE_ERROR);
        EXPECT_NE(strstr(e.errorMessage(), "Database not open"), nullptr);
    }
}

TEST(CppSQLite3, MovedQueryKeepsItsStatement) {
    TempFolder dir;
    CppSQLite3DB db;
    db.open((dir / "m.db").c_str());
    db.execDML("create table t(a integer)");
    db.execDML("insert into t values (1)");
    db.execDML("insert into t values (2)");
    CppSQLite3Query a = db.execQuery("select a from t order by a");
    CppSQLite3Query b(std::move(a));
    EXPECT_THROW(a.eof(), CppSQLite3Exception);
    EXPECT_EQ(b.getIntField(0), 1);
    b.nextRow();
    EXPECT_EQ(b.getIntField(0), 2);
    b.nextRow();
    EXPECT_TRUE(b.eof());
}

TEST(CppSQLite3, BinaryEncodingRoundTripsAndRejectsBadEscapes) {
    CppSQLite3Binary empty;
    empty.setBinary(nullptr, 0);
    EXPECT_STREQ((const char *)empty.getEncoded(), "x");

    unsigned char bytes[600];
    for (int i = 0; i < 600; i++)
        bytes[i] = (unsigned char)(i * 7);
    CppSQLite3Binary bin;
    bin.setBinary(bytes, 600);
    const std::string encoded = (const char *)bin.getEncoded();
    EXPECT_EQ(encoded.find('\0'), std::string::npos);
    EXPECT_EQ(encoded.find('\''), std::string::npos);
    CppSQLite3Binary back;
    back.setEncoded((const unsigned char *)encoded.c_str());
    ASSERT_EQ(back.getBinaryLength(), 600);
    EXPECT_EQ(memcmp(back.getBinary(), bytes, 600), 0);

    const unsigned char bad[] = {5, 1, 4, 0};
    CppSQLite3Binary broken;
    broken.setEncoded(bad);
    EXPECT_THROW(broken.getBinary(), CppSQLite3Exception);
}

} // namespace
