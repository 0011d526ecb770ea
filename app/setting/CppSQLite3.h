#pragma once

// A thin object layer over SQLCipher: every SQLite failure becomes one exception type.
#ifndef SQLITE_HAS_CODEC
#define SQLITE_HAS_CODEC 1
#endif
#include <sqlite3.h>

#define CPPSQLITE_ERROR 1000

class CppSQLite3Exception {
public:
    CppSQLite3Exception(int errCode, const char *errMess, bool deleteMsg = true);
    CppSQLite3Exception(const CppSQLite3Exception &e);
    CppSQLite3Exception &operator=(const CppSQLite3Exception &) = delete;
    virtual ~CppSQLite3Exception();

    int errorCode() const { return mnErrCode; }
    const char *errorMessage() const { return mpszErrMess; }

    static const char *errorCodeAsString(int errCode);

private:
    int mnErrCode;
    char *mpszErrMess;
};

class CppSQLite3Buffer {
public:
    CppSQLite3Buffer() : mpBuf(nullptr) {}
    ~CppSQLite3Buffer() { clear(); }
    CppSQLite3Buffer(const CppSQLite3Buffer &) = delete;
    CppSQLite3Buffer &operator=(const CppSQLite3Buffer &) = delete;

    const char *format(const char *szFormat, ...);
    operator const char *() const { return mpBuf; }
    void clear();

private:
    char *mpBuf;
};

class CppSQLite3Binary {
public:
    CppSQLite3Binary() : mpBuf(nullptr), mnBinaryLen(0), mnBufferLen(0), mnEncodedLen(0), mbEncoded(false) {}
    ~CppSQLite3Binary() { clear(); }
    CppSQLite3Binary(const CppSQLite3Binary &) = delete;
    CppSQLite3Binary &operator=(const CppSQLite3Binary &) = delete;

    void setBinary(const unsigned char *pBuf, int nLen);
    void setEncoded(const unsigned char *pBuf);
    const unsigned char *getEncoded();
    const unsigned char *getBinary();
    int getBinaryLength();
    unsigned char *allocBuffer(int nLen);
    void clear();

private:
    unsigned char *mpBuf;
    int mnBinaryLen;
    int mnBufferLen;
    int mnEncodedLen;
    bool mbEncoded;
};

// Byte strings in a text-safe form; the result is the encoded (or decoded) length, -1 on bad input.
int sqlite3_encode_binary(const unsigned char *in, int n, unsigned char *out);
int sqlite3_decode_binary(const unsigned char *in, unsigned char *out);

// Query, statement and table hand their handles on when moved; they cannot be copied, since
// a copy that took the handle away from its source silently broke the source.
class CppSQLite3Query {
public:
    CppSQLite3Query();
    CppSQLite3Query(CppSQLite3Query &&rQuery) noexcept;
    CppSQLite3Query(sqlite3 *pDB, sqlite3_stmt *pVM, bool bEof, bool bOwnVM = true);
    CppSQLite3Query &operator=(CppSQLite3Query &&rQuery) noexcept;
    CppSQLite3Query(const CppSQLite3Query &) = delete;
    CppSQLite3Query &operator=(const CppSQLite3Query &) = delete;
    virtual ~CppSQLite3Query();

    int numFields();
    int fieldIndex(const char *szField);
    const char *fieldName(int nCol);
    const char *fieldDeclType(int nCol);
    int fieldDataType(int nCol);

    const char *fieldValue(int nField);
    const char *fieldValue(const char *szField);

    int getIntField(int nField, int nNullValue = 0);
    int getIntField(const char *szField, int nNullValue = 0);
    sqlite_int64 getInt64Field(int nField, sqlite_int64 nNullValue = 0);
    sqlite_int64 getInt64Field(const char *szField, sqlite_int64 nNullValue = 0);
    double getFloatField(int nField, double fNullValue = 0.0);
    double getFloatField(const char *szField, double fNullValue = 0.0);
    const char *getStringField(int nField, const char *szNullValue = "");
    const char *getStringField(const char *szField, const char *szNullValue = "");
    const unsigned char *getBlobField(int nField, int &nLen);
    const unsigned char *getBlobField(const char *szField, int &nLen);

    bool fieldIsNull(int nField);
    bool fieldIsNull(const char *szField);

    bool eof();
    void nextRow();
    void finalize();

private:
    void checkVM();
    void checkField(int nField);

    sqlite3 *mpDB;
    sqlite3_stmt *mpVM;
    bool mbEof;
    int mnCols;
    bool mbOwnVM;
};

class CppSQLite3Table {
public:
    CppSQLite3Table();
    CppSQLite3Table(CppSQLite3Table &&rTable) noexcept;
    CppSQLite3Table(char **paszResults, int nRows, int nCols);
    CppSQLite3Table &operator=(CppSQLite3Table &&rTable) noexcept;
    CppSQLite3Table(const CppSQLite3Table &) = delete;
    CppSQLite3Table &operator=(const CppSQLite3Table &) = delete;
    virtual ~CppSQLite3Table();

    int numFields();
    int numRows();
    const char *fieldName(int nCol);
    const char *fieldValue(int nField);
    const char *fieldValue(const char *szField);
    int getIntField(int nField, int nNullValue = 0);
    int getIntField(const char *szField, int nNullValue = 0);
    double getFloatField(int nField, double fNullValue = 0.0);
    double getFloatField(const char *szField, double fNullValue = 0.0);
    const char *getStringField(int nField, const char *szNullValue = "");
    const char *getStringField(const char *szField, const char *szNullValue = "");
    bool fieldIsNull(int nField);
    bool fieldIsNull(const char *szField);
    void setRow(int nRow);
    void finalize();

private:
    void checkResults();
    int fieldIndex(const char *szField);

    int mnCols;
    int mnRows;
    int mnCurrentRow;
    char **mpaszResults;
};

class CppSQLite3Statement {
public:
    CppSQLite3Statement();
    CppSQLite3Statement(CppSQLite3Statement &&rStatement) noexcept;
    CppSQLite3Statement(sqlite3 *pDB, sqlite3_stmt *pVM);
    CppSQLite3Statement &operator=(CppSQLite3Statement &&rStatement) noexcept;
    CppSQLite3Statement(const CppSQLite3Statement &) = delete;
    CppSQLite3Statement &operator=(const CppSQLite3Statement &) = delete;
    virtual ~CppSQLite3Statement();

    int execDML();
    CppSQLite3Query execQuery();

    void bind(int nParam, const char *szValue);
    void bind(int nParam, const int nValue);
    void bind(int nParam, const double dwValue);
    void bind(int nParam, const unsigned char *blobValue, int nLen);
    void bindNull(int nParam);

    int bindParameterIndex(const char *szParam);
    void bind(const char *szParam, const char *szValue);
    void bind(const char *szParam, const int nValue);
    void bind(const char *szParam, const double dwValue);
    void bind(const char *szParam, const unsigned char *blobValue, int nLen);
    void bindNull(const char *szParam);

    void reset();
    void finalize();

private:
    void checkDB();
    void checkVM();

    sqlite3 *mpDB;
    sqlite3_stmt *mpVM;
};

// One connection. It owns its handle alone: copies are refused (two owners would close it twice).
class CppSQLite3DB {
public:
    CppSQLite3DB();
    CppSQLite3DB(const CppSQLite3DB &) = delete;
    CppSQLite3DB &operator=(const CppSQLite3DB &) = delete;
    virtual ~CppSQLite3DB();

    void open(const char *szFile);
    void close();
    bool isOpen() const { return mpDB != nullptr; }

    bool tableExists(const char *szTable);
    int execDML(const char *szSQL);
    CppSQLite3Query execQuery(const char *szSQL);
    int execScalar(const char *szSQL, int nNullValue = 0);
    CppSQLite3Table getTable(const char *szSQL);
    CppSQLite3Statement compileStatement(const char *szSQL);

    sqlite_int64 lastRowId();
    void interrupt() { sqlite3_interrupt(mpDB); }
    void setBusyTimeout(int nMillisecs);
    int busyTimeout() const { return mnBusyTimeoutMs; }
    bool IsAutoCommitOn();

    static const char *SQLiteVersion() { return SQLITE_VERSION; }
    static const char *SQLiteHeaderVersion() { return SQLITE_VERSION; }
    static const char *SQLiteLibraryVersion() { return sqlite3_libversion(); }
    static int SQLiteLibraryVersionNumber() { return sqlite3_libversion_number(); }

private:
    sqlite3_stmt *compile(const char *szSQL);
    void checkDB();

    sqlite3 *mpDB;
    int mnBusyTimeoutMs;
};
