#include "CppSQLite3.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char *const kDatabaseNotOpen = "Database not open";
const char *const kNullVm = "Null Virtual Machine pointer";
const char *const kNullResults = "Null Results pointer";
const char *const kBadFieldIndex = "Invalid field index requested";
const char *const kBadFieldName = "Invalid field name requested";

const int kDefaultBusyTimeoutMs = 60000;
const int kKeyLen = 23;

// The key is computed here each time it is needed, so it never sits in the binary as one piece.
void MakeKey(unsigned char (&key)[kKeyLen]) {
    static const unsigned char kSeeds[] = {0x5b, 0x2e, 0x71, 0x13, 0x4a};
    static const unsigned char kSteps[] = {0x17, 0x29, 0x0b};
    unsigned acc = 0x3d;
    for (int i = 0; i < kKeyLen; i++) {
        acc = (acc * 33u + kSeeds[i % 5] + kSteps[i % 3] * (unsigned)i) & 0xFFu;
        key[i] = (unsigned char)(0x21 + acc % 94);
    }
}

void WipeKey(unsigned char (&key)[kKeyLen]) {
    volatile unsigned char *p = key;
    for (int i = 0; i < kKeyLen; i++)
        p[i] = 0;
}

} // namespace

// ---------------------------------------------------------------- exception

CppSQLite3Exception::CppSQLite3Exception(int errCode, const char *errMess, bool deleteMsg) : mnErrCode(errCode) {
    mpszErrMess = sqlite3_mprintf("%s[%d]: %s", errorCodeAsString(errCode), errCode, errMess ? errMess : "");
    if (deleteMsg && errMess) sqlite3_free(const_cast<char *>(errMess));
}

CppSQLite3Exception::CppSQLite3Exception(const CppSQLite3Exception &e) : mnErrCode(e.mnErrCode) {
    mpszErrMess = e.mpszErrMess ? sqlite3_mprintf("%s", e.mpszErrMess) : nullptr;
}

CppSQLite3Exception::~CppSQLite3Exception() {
    if (mpszErrMess) sqlite3_free(mpszErrMess);
}

const char *CppSQLite3Exception::errorCodeAsString(int errCode) {
    switch (errCode) {
    case SQLITE_OK:
        return "SQLITE_OK";
    case SQLITE_ERROR:
        return "SQLITE_ERROR";
    case SQLITE_INTERNAL:
        return "SQLITE_INTERNAL";
    case SQLITE_PERM:
        return "SQLITE_PERM";
    case SQLITE_ABORT:
        return "SQLITE_ABORT";
    case SQLITE_BUSY:
        return "SQLITE_BUSY";
    case SQLITE_LOCKED:
        return "SQLITE_LOCKED";
    case SQLITE_NOMEM:
        return "SQLITE_NOMEM";
    case SQLITE_READONLY:
        return "SQLITE_READONLY";
    case SQLITE_INTERRUPT:
        return "SQLITE_INTERRUPT";
    case SQLITE_IOERR:
        return "SQLITE_IOERR";
    case SQLITE_CORRUPT:
        return "SQLITE_CORRUPT";
    case SQLITE_NOTFOUND:
        return "SQLITE_NOTFOUND";
    case SQLITE_FULL:
        return "SQLITE_FULL";
    case SQLITE_CANTOPEN:
        return "SQLITE_CANTOPEN";
    case SQLITE_PROTOCOL:
        return "SQLITE_PROTOCOL";
    case SQLITE_EMPTY:
        return "SQLITE_EMPTY";
    case SQLITE_SCHEMA:
        return "SQLITE_SCHEMA";
    case SQLITE_TOOBIG:
        return "SQLITE_TOOBIG";
    case SQLITE_CONSTRAINT:
        return "SQLITE_CONSTRAINT";
    case SQLITE_MISMATCH:
        return "SQLITE_MISMATCH";
    case SQLITE_MISUSE:
        return "SQLITE_MISUSE";
    case SQLITE_NOLFS:
        return "SQLITE_NOLFS";
    case SQLITE_AUTH:
        return "SQLITE_AUTH";
    case SQLITE_FORMAT:
        return "SQLITE_FORMAT";
    case SQLITE_RANGE:
        return "SQLITE_RANGE";
    case SQLITE_ROW:
        return "SQLITE_ROW";
    case SQLITE_DONE:
        return "SQLITE_DONE";
    case CPPSQLITE_ERROR:
        return "CPPSQLITE_ERROR";
    default:
        return "UNKNOWN_ERROR";
    }
}

// ---------------------------------------------------------------- buffer

const char *CppSQLite3Buffer::format(const char *szFormat, ...) {
    clear();
    va_list va;
    va_start(va, szFormat);
    mpBuf = sqlite3_vmprintf(szFormat, va);
    va_end(va);
    return mpBuf;
}

void CppSQLite3Buffer::clear() {
    if (mpBuf) sqlite3_free(mpBuf);
    mpBuf = nullptr;
}

// ---------------------------------------------------------------- binary

int sqlite3_encode_binary(const unsigned char *in, int n, unsigned char *out) {
    if (n <= 0) {
        out[0] = 'x';
        out[1] = 0;
        return 1;
    }
    int cnt[256];
    memset(cnt, 0, sizeof(cnt));
    for (int i = n - 1; i >= 0; i--)
        cnt[in[i]]++;
    int m = n;
    int e = 0;
    for (int i = 1; i < 256; i++) {
        if (i == '\'') continue;
        const int sum = cnt[i] + cnt[(i + 1) & 0xff] + cnt[(i + '\'') & 0xff];
        if (sum < m) {
            m = sum;
            e = i;
            if (m == 0) break;
        }
    }
    // With every offset costing n escapes the first one is as good as any.
    if (e == 0) e = 1;
    out[0] = (unsigned char)e;
    int j = 1;
    for (int i = 0; i < n; i++) {
        const int x = (in[i] - e) & 0xff;
        if (x == 0) {
            out[j++] = 1;
            out[j++] = 1;
        } else if (x == 1) {
            out[j++] = 1;
            out[j++] = 2;
        } else if (x == '\'') {
            out[j++] = 1;
            out[j++] = 3;
        } else {
            out[j++] = (unsigned char)x;
        }
    }
    out[j] = 0;
    return j;
}

int sqlite3_decode_binary(const unsigned char *in, unsigned char *out) {
    int e = *(in++);
    int i = 0;
    int c;
    while ((c = *(in++)) != 0) {
        if (c == 1) {
            c = *(in++);
            if (c == 1)
                c = 0;
            else if (c == 2)
                c = 1;
            else if (c == 3)
                c = '\'';
            else
                return -1;
        }
        out[i++] = (unsigned char)((c + e) & 0xff);
    }
    return i;
}

void CppSQLite3Binary::setBinary(const unsigned char *pBuf, int nLen) {
    mpBuf = allocBuffer(nLen);
    if (nLen > 0) memcpy(mpBuf, pBuf, (size_t)nLen);
}

void CppSQLite3Binary::setEncoded(const unsigned char *pBuf) {
    clear();
    mnEncodedLen = (int)strlen((const char *)pBuf);
    mnBufferLen = mnEncodedLen + 1;
    mpBuf = (unsigned char *)malloc((size_t)mnBufferLen);
    if (!mpBuf) throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory", false);
    memcpy(mpBuf, pBuf, (size_t)mnBufferLen);
    mbEncoded = true;
}

const unsigned char *CppSQLite3Binary::getEncoded() {
    if (!mbEncoded) {
        // The encoded form is longer than the bytes, so it is written from a copy.
        unsigned char *ptmp = (unsigned char *)malloc((size_t)mnBinaryLen + 1);
        if (!ptmp && mnBinaryLen > 0) throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory", false);
        if (mnBinaryLen > 0) memcpy(ptmp, mpBuf, (size_t)mnBinaryLen);
        mnEncodedLen = sqlite3_encode_binary(ptmp, mnBinaryLen, mpBuf);
        free(ptmp);
        mbEncoded = true;
    }
    return mpBuf;
}

const unsigned char *CppSQLite3Binary::getBinary() {
    if (mbEncoded) {
        // Decoding never writes ahead of its read position, so it may work in place.
        mnBinaryLen = sqlite3_decode_binary(mpBuf, mpBuf);
        if (mnBinaryLen == -1) throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot decode binary", false);
        mbEncoded = false;
    }
    return mpBuf;
}

int CppSQLite3Binary::getBinaryLength() {
    getBinary();
    return mnBinaryLen;
}

unsigned char *CppSQLite3Binary::allocBuffer(int nLen) {
    clear();
    // The chosen offset escapes at most 3 bytes in 254, plus offset byte and terminator.
    mnBinaryLen = nLen;
    mnBufferLen = 3 + (257 * nLen) / 254;
    mpBuf = (unsigned char *)malloc((size_t)mnBufferLen);
    if (!mpBuf) throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory", false);
    mbEncoded = false;
    return mpBuf;
}

void CppSQLite3Binary::clear() {
    if (mpBuf) free(mpBuf);
    mpBuf = nullptr;
    mnBinaryLen = 0;
    mnBufferLen = 0;
    mnEncodedLen = 0;
    mbEncoded = false;
}

// ---------------------------------------------------------------- query

CppSQLite3Query::CppSQLite3Query() : mpDB(nullptr), mpVM(nullptr), mbEof(true), mnCols(0), mbOwnVM(false) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query &&rQuery) noexcept
    : mpDB(rQuery.mpDB), mpVM(rQuery.mpVM), mbEof(rQuery.mbEof), mnCols(rQuery.mnCols), mbOwnVM(rQuery.mbOwnVM) {
    rQuery.mpVM = nullptr;
}

CppSQLite3Query::CppSQLite3Query(sqlite3 *pDB, sqlite3_stmt *pVM, bool bEof, bool bOwnVM)
    : mpDB(pDB), mpVM(pVM), mbEof(bEof), mnCols(sqlite3_column_count(pVM)), mbOwnVM(bOwnVM) {}

CppSQLite3Query &CppSQLite3Query::operator=(CppSQLite3Query &&rQuery) noexcept {
    if (this != &rQuery) {
        try {
            finalize();
        } catch (...) {
        }
        mpDB = rQuery.mpDB;
        mpVM = rQuery.mpVM;
        rQuery.mpVM = nullptr;
        mbEof = rQuery.mbEof;
        mnCols = rQuery.mnCols;
        mbOwnVM = rQuery.mbOwnVM;
    }
    return *this;
}

CppSQLite3Query::~CppSQLite3Query() {
    try {
        finalize();
    } catch (...) {
    }
}

void CppSQLite3Query::checkVM() {
    if (!mpVM) throw CppSQLite3Exception(CPPSQLITE_ERROR, kNullVm, false);
}

void CppSQLite3Query::checkField(int nField) {
    checkVM();
    if (nField < 0 || nField > mnCols - 1) throw CppSQLite3Exception(CPPSQLITE_ERROR, kBadFieldIndex, false);
}

int CppSQLite3Query::numFields() {
    checkVM();
    return mnCols;
}

int CppSQLite3Query::fieldIndex(const char *szField) {
    checkVM();
    if (szField) {
        for (int nField = 0; nField < mnCols; nField++) {
            const char *szTemp = sqlite3_column_name(mpVM, nField);
            if (szTemp && strcmp(szField, szTemp) == 0) return nField;
        }
    }
    throw CppSQLite3Exception(CPPSQLITE_ERROR, kBadFieldName, false);
}

const char *CppSQLite3Query::fieldName(int nCol) {
    checkField(nCol);
    return sqlite3_column_name(mpVM, nCol);
}

const char *CppSQLite3Query::fieldDeclType(int nCol) {
    checkField(nCol);
    return sqlite3_column_decltype(mpVM, nCol);
}

int CppSQLite3Query::fieldDataType(int nCol) {
    checkField(nCol);
    return sqlite3_column_type(mpVM, nCol);
}

const char *CppSQLite3Query::fieldValue(int nField) {
    checkField(nField);
    return (const char *)sqlite3_column_text(mpVM, nField);
}

const char *CppSQLite3Query::fieldValue(const char *szField) {
    return fieldValue(fieldIndex(szField));
}

int CppSQLite3Query::getIntField(int nField, int nNullValue) {
    if (fieldDataType(nField) == SQLITE_NULL) return nNullValue;
    return sqlite3_column_int(mpVM, nField);
}

int CppSQLite3Query::getIntField(const char *szField, int nNullValue) {
    return getIntField(fieldIndex(szField), nNullValue);
}

sqlite_int64 CppSQLite3Query::getInt64Field(int nField, sqlite_int64 nNullValue) {
    if (fieldDataType(nField) == SQLITE_NULL) return nNullValue;
    return sqlite3_column_int64(mpVM, nField);
}

sqlite_int64 CppSQLite3Query::getInt64Field(const char *szField, sqlite_int64 nNullValue) {
    return getInt64Field(fieldIndex(szField), nNullValue);
}

double CppSQLite3Query::getFloatField(int nField, double fNullValue) {
    if (fieldDataType(nField) == SQLITE_NULL) return fNullValue;
    return sqlite3_column_double(mpVM, nField);
}

double CppSQLite3Query::getFloatField(const char *szField, double fNullValue) {
    return getFloatField(fieldIndex(szField), fNullValue);
}

const char *CppSQLite3Query::getStringField(int nField, const char *szNullValue) {
    if (fieldDataType(nField) == SQLITE_NULL) return szNullValue;
    return (const char *)sqlite3_column_text(mpVM, nField);
}

const char *CppSQLite3Query::getStringField(const char *szField, const char *szNullValue) {
    return getStringField(fieldIndex(szField), szNullValue);
}

const unsigned char *CppSQLite3Query::getBlobField(int nField, int &nLen) {
    checkField(nField);
    const unsigned char *p = (const unsigned char *)sqlite3_column_blob(mpVM, nField);
    nLen = sqlite3_column_bytes(mpVM, nField);
    return p;
}

const unsigned char *CppSQLite3Query::getBlobField(const char *szField, int &nLen) {
    return getBlobField(fieldIndex(szField), nLen);
}

bool CppSQLite3Query::fieldIsNull(int nField) {
    return fieldDataType(nField) == SQLITE_NULL;
}

bool CppSQLite3Query::fieldIsNull(const char *szField) {
    return fieldIsNull(fieldIndex(szField));
}

bool CppSQLite3Query::eof() {
    checkVM();
    return mbEof;
}

void CppSQLite3Query::nextRow() {
    checkVM();
    const int nRet = sqlite3_step(mpVM);
    if (nRet == SQLITE_DONE) {
        mbEof = true;
    } else if (nRet != SQLITE_ROW) {
        const int fin = sqlite3_finalize(mpVM);
        mpVM = nullptr;
        throw CppSQLite3Exception(fin, sqlite3_errmsg(mpDB), false);
    }
}

void CppSQLite3Query::finalize() {
    if (mpVM && mbOwnVM) {
        const int nRet = sqlite3_finalize(mpVM);
        mpVM = nullptr;
        if (nRet != SQLITE_OK) throw CppSQLite3Exception(nRet, sqlite3_errmsg(mpDB), false);
    }
}

// ---------------------------------------------------------------- table

CppSQLite3Table::CppSQLite3Table() : mnCols(0), mnRows(0), mnCurrentRow(0), mpaszResults(nullptr) {}

CppSQLite3Table::CppSQLite3Table(CppSQLite3Table &&rTable) noexcept
    : mnCols(rTable.mnCols), mnRows(rTable.mnRows), mnCurrentRow(rTable.mnCurrentRow),
      mpaszResults(rTable.mpaszResults) {
    rTable.mpaszResults = nullptr;
}

CppSQLite3Table::CppSQLite3Table(char **paszResults, int nRows, int nCols)
    : mnCols(nCols), mnRows(nRows), mnCurrentRow(0), mpaszResults(paszResults) {}

CppSQLite3Table &CppSQLite3Table::operator=(CppSQLite3Table &&rTable) noexcept {
    if (this != &rTable) {
        finalize();
        mpaszResults = rTable.mpaszResults;
        rTable.mpaszResults = nullptr;
        mnRows = rTable.mnRows;
        mnCols = rTable.mnCols;
        mnCurrentRow = rTable.mnCurrentRow;
    }
    return *this;
}

CppSQLite3Table::~CppSQLite3Table() {
    finalize();
}

void CppSQLite3Table::finalize() {
    if (mpaszResults) sqlite3_free_table(mpaszResults);
    mpaszResults = nullptr;
}

void CppSQLite3Table::checkResults() {
    if (!mpaszResults) throw CppSQLite3Exception(CPPSQLITE_ERROR, kNullResults, false);
}

int CppSQLite3Table::numFields() {
    checkResults();
    return mnCols;
}

int CppSQLite3Table::numRows() {
    checkResults();
    return mnRows;
}

const char *CppSQLite3Table::fieldName(int nCol) {
    checkResults();
    if (nCol < 0 || nCol > mnCols - 1) throw CppSQLite3Exception(CPPSQLITE_ERROR, kBadFieldIndex, false);
    return mpaszResults[nCol];
}

const char *CppSQLite3Table::fieldValue(int nField) {
    checkResults();
    if (nField < 0 || nField > mnCols - 1) throw CppSQLite3Exception(CPPSQLITE_ERROR, kBadFieldIndex, false);
    return mpaszResults[(mnCurrentRow + 1) * mnCols + nField];
}

int CppSQLite3Table::fieldIndex(const char *szField) {
    checkResults();
    if (szField) {
        for (int nField = 0; nField < mnCols; nField++)
            if (mpaszResults[nField] && strcmp(szField, mpaszResults[nField]) == 0) return nField;
    }
    throw CppSQLite3Exception(CPPSQLITE_ERROR, kBadFieldName, false);
}

const char *CppSQLite3Table::fieldValue(const char *szField) {
    return fieldValue(fieldIndex(szField));
}

int CppSQLite3Table::getIntField(int nField, int nNullValue) {
    if (fieldIsNull(nField)) return nNullValue;
    return (int)strtol(fieldValue(nField), nullptr, 10);
}

int CppSQLite3Table::getIntField(const char *szField, int nNullValue) {
    return getIntField(fieldIndex(szField), nNullValue);
}

double CppSQLite3Table::getFloatField(int nField, double fNullValue) {
    if (fieldIsNull(nField)) return fNullValue;
    return strtod(fieldValue(nField), nullptr);
}

double CppSQLite3Table::getFloatField(const char *szField, double fNullValue) {
    return getFloatField(fieldIndex(szField), fNullValue);
}

const char *CppSQLite3Table::getStringField(int nField, const char *szNullValue) {
    if (fieldIsNull(nField)) return szNullValue;
    return fieldValue(nField);
}

const char *CppSQLite3Table::getStringField(const char *szField, const char *szNullValue) {
    return getStringField(fieldIndex(szField), szNullValue);
}

bool CppSQLite3Table::fieldIsNull(int nField) {
    return fieldValue(nField) == nullptr;
}

bool CppSQLite3Table::fieldIsNull(const char *szField) {
    return fieldIsNull(fieldIndex(szField));
}

void CppSQLite3Table::setRow(int nRow) {
    checkResults();
    if (nRow < 0 || nRow > mnRows - 1) throw CppSQLite3Exception(CPPSQLITE_ERROR, "Invalid row index requested", false);
    mnCurrentRow = nRow;
}

// ---------------------------------------------------------------- statement

CppSQLite3Statement::CppSQLite3Statement() : mpDB(nullptr), mpVM(nullptr) {}

CppSQLite3Statement::CppSQLite3Statement(CppSQLite3Statement &&rStatement) noexcept
    : mpDB(rStatement.mpDB), mpVM(rStatement.mpVM) {
    rStatement.mpVM = nullptr;
}

CppSQLite3Statement::CppSQLite3Statement(sqlite3 *pDB, sqlite3_stmt *pVM) : mpDB(pDB), mpVM(pVM) {}

CppSQLite3Statement &CppSQLite3Statement::operator=(CppSQLite3Statement &&rStatement) noexcept {
    if (this != &rStatement) {
        try {
            finalize();
        } catch (...) {
        }
        mpDB = rStatement.mpDB;
        mpVM = rStatement.mpVM;
        rStatement.mpVM = nullptr;
    }
    return *this;
}

CppSQLite3Statement::~CppSQLite3Statement() {
    try {
        finalize();
    } catch (...) {
    }
}

void CppSQLite3Statement::checkDB() {
    if (!mpDB) throw CppSQLite3Exception(CPPSQLITE_ERROR, kDatabaseNotOpen, false);
}

void CppSQLite3Statement::checkVM() {
    if (!mpVM) throw CppSQLite3Exception(CPPSQLITE_ERROR, kNullVm, false);
}

int CppSQLite3Statement::execDML() {
    checkDB();
    checkVM();
    const int nRet = sqlite3_step(mpVM);
    if (nRet == SQLITE_DONE) {
        const int nRowsChanged = sqlite3_changes(mpDB);
        if (sqlite3_reset(mpVM) != SQLITE_OK) throw CppSQLite3Exception(nRet, sqlite3_errmsg(mpDB), false);
        return nRowsChanged;
    }
    const int r = sqlite3_reset(mpVM);
    throw CppSQLite3Exception(r, sqlite3_errmsg(mpDB), false);
}

CppSQLite3Query CppSQLite3Statement::execQuery() {
    checkDB();
    checkVM();
    const int nRet = sqlite3_step(mpVM);
    if (nRet == SQLITE_DONE) return CppSQLite3Query(mpDB, mpVM, true, false);
    if (nRet == SQLITE_ROW) return CppSQLite3Query(mpDB, mpVM, false, false);
    const int r = sqlite3_reset(mpVM);
    throw CppSQLite3Exception(r, sqlite3_errmsg(mpDB), false);
}

void CppSQLite3Statement::bind(int nParam, const char *szValue) {
    checkVM();
    if (sqlite3_bind_text(mpVM, nParam, szValue, -1, SQLITE_TRANSIENT) != SQLITE_OK)
        throw CppSQLite3Exception(sqlite3_errcode(mpDB), "Error binding string param", false);
}

void CppSQLite3Statement::bind(int nParam, const int nValue) {
    checkVM();
    const int r = sqlite3_bind_int(mpVM, nParam, nValue);
    if (r != SQLITE_OK) throw CppSQLite3Exception(r, "Error binding int param", false);
}

void CppSQLite3Statement::bind(int nParam, const double dValue) {
    checkVM();
    const int r = sqlite3_bind_double(mpVM, nParam, dValue);
    if (r != SQLITE_OK) throw CppSQLite3Exception(r, "Error binding double param", false);
}

void CppSQLite3Statement::bind(int nParam, const unsigned char *blobValue, int nLen) {
    checkVM();
    const int r = sqlite3_bind_blob(mpVM, nParam, blobValue, nLen, SQLITE_TRANSIENT);
    if (r != SQLITE_OK) throw CppSQLite3Exception(r, "Error binding blob param", false);
}

void CppSQLite3Statement::bindNull(int nParam) {
    checkVM();
    const int r = sqlite3_bind_null(mpVM, nParam);
    if (r != SQLITE_OK) throw CppSQLite3Exception(r, "Error binding NULL param", false);
}

int CppSQLite3Statement::bindParameterIndex(const char *szParam) {
    checkVM();
    const int nParam = sqlite3_bind_parameter_index(mpVM, szParam);
    if (!nParam) {
        char buf[128];
        snprintf(buf, sizeof(buf), "Parameter '%s' is not valid for this statement", szParam);
        throw CppSQLite3Exception(CPPSQLITE_ERROR, buf, false);
    }
    return nParam;
}

void CppSQLite3Statement::bind(const char *szParam, const char *szValue) {
    bind(bindParameterIndex(szParam), szValue);
}
void CppSQLite3Statement::bind(const char *szParam, const int nValue) {
    bind(bindParameterIndex(szParam), nValue);
}
void CppSQLite3Statement::bind(const char *szParam, const double dValue) {
    bind(bindParameterIndex(szParam), dValue);
}
void CppSQLite3Statement::bind(const char *szParam, const unsigned char *blobValue, int nLen) {
    bind(bindParameterIndex(szParam), blobValue, nLen);
}
void CppSQLite3Statement::bindNull(const char *szParam) {
    bindNull(bindParameterIndex(szParam));
}

void CppSQLite3Statement::reset() {
    if (mpVM) {
        if (sqlite3_reset(mpVM) != SQLITE_OK)
            throw CppSQLite3Exception(sqlite3_errcode(mpDB), sqlite3_errmsg(mpDB), false);
    }
}

void CppSQLite3Statement::finalize() {
    if (mpVM) {
        const int nRet = sqlite3_finalize(mpVM);
        mpVM = nullptr;
        if (nRet != SQLITE_OK) throw CppSQLite3Exception(nRet, sqlite3_errmsg(mpDB), false);
    }
}

// ---------------------------------------------------------------- connection

CppSQLite3DB::CppSQLite3DB() : mpDB(nullptr), mnBusyTimeoutMs(kDefaultBusyTimeoutMs) {}

CppSQLite3DB::~CppSQLite3DB() {
    try {
        close();
    } catch (...) {
    }
}

void CppSQLite3DB::open(const char *szFile) {
    // A second open would otherwise lose the first handle.
    close();
    sqlite3 *db = nullptr;
    int nRet = sqlite3_open(szFile, &db);
    if (nRet != SQLITE_OK) {
        // A handle whose open failed carries no codec state: keying it would crash, so it is
        // only closed (sqlite3_open may hand one back even on failure).
        CppSQLite3Exception e(nRet, db ? sqlite3_errmsg(db) : "Unable to open database", false);
        if (db) sqlite3_close(db);
        throw e;
    }
    unsigned char key[kKeyLen];
    MakeKey(key);
    nRet = sqlite3_key(db, key, kKeyLen);
    WipeKey(key);
    if (nRet != SQLITE_OK) {
        CppSQLite3Exception e(nRet, sqlite3_errmsg(db), false);
        sqlite3_close(db);
        throw e;
    }
    mpDB = db;
    setBusyTimeout(mnBusyTimeoutMs);
}

void CppSQLite3DB::close() {
    if (mpDB) {
        if (sqlite3_close(mpDB) != SQLITE_OK)
            throw CppSQLite3Exception(CPPSQLITE_ERROR, "Unable to close database", false);
        mpDB = nullptr;
    }
}

bool CppSQLite3DB::tableExists(const char *szTable) {
    char *sql = sqlite3_mprintf("select count(*) from sqlite_master where type='table' and name=%Q", szTable);
    int nRet = 0;
    try {
        nRet = execScalar(sql);
    } catch (...) {
        sqlite3_free(sql);
        throw;
    }
    sqlite3_free(sql);
    return nRet > 0;
}

int CppSQLite3DB::execDML(const char *szSQL) {
    checkDB();
    char *szError = nullptr;
    const int nRet = sqlite3_exec(mpDB, szSQL, nullptr, nullptr, &szError);
    if (nRet != SQLITE_OK) throw CppSQLite3Exception(nRet, szError, true);
    return sqlite3_changes(mpDB);
}

CppSQLite3Query CppSQLite3DB::execQuery(const char *szSQL) {
    checkDB();
    sqlite3_stmt *pVM = compile(szSQL);
    const int nRet = sqlite3_step(pVM);
    if (nRet == SQLITE_DONE) return CppSQLite3Query(mpDB, pVM, true);
    if (nRet == SQLITE_ROW) return CppSQLite3Query(mpDB, pVM, false);
    const int fin = sqlite3_finalize(pVM);
    throw CppSQLite3Exception(fin, sqlite3_errmsg(mpDB), false);
}

int CppSQLite3DB::execScalar(const char *szSQL, int nNullValue) {
    CppSQLite3Query q = execQuery(szSQL);
    if (q.eof() || q.numFields() < 1) throw CppSQLite3Exception(CPPSQLITE_ERROR, "Invalid scalar query", false);
    return q.getIntField(0, nNullValue);
}

CppSQLite3Table CppSQLite3DB::getTable(const char *szSQL) {
    checkDB();
    char *szError = nullptr;
    char **paszResults = nullptr;
    int nRows = 0, nCols = 0;
    const int nRet = sqlite3_get_table(mpDB, szSQL, &paszResults, &nRows, &nCols, &szError);
    if (nRet != SQLITE_OK) throw CppSQLite3Exception(nRet, szError, true);
    return CppSQLite3Table(paszResults, nRows, nCols);
}

CppSQLite3Statement CppSQLite3DB::compileStatement(const char *szSQL) {
    checkDB();
    return CppSQLite3Statement(mpDB, compile(szSQL));
}

sqlite_int64 CppSQLite3DB::lastRowId() {
    return sqlite3_last_insert_rowid(mpDB);
}

void CppSQLite3DB::setBusyTimeout(int nMillisecs) {
    mnBusyTimeoutMs = nMillisecs;
    if (mpDB) sqlite3_busy_timeout(mpDB, mnBusyTimeoutMs);
}

bool CppSQLite3DB::IsAutoCommitOn() {
    checkDB();
    return sqlite3_get_autocommit(mpDB) != 0;
}

void CppSQLite3DB::checkDB() {
    if (!mpDB) throw CppSQLite3Exception(CPPSQLITE_ERROR, kDatabaseNotOpen, false);
}

sqlite3_stmt *CppSQLite3DB::compile(const char *szSQL) {
    checkDB();
    sqlite3_stmt *pVM = nullptr;
    const int nRet = sqlite3_prepare_v2(mpDB, szSQL, -1, &pVM, nullptr);
    if (nRet != SQLITE_OK) throw CppSQLite3Exception(nRet, sqlite3_errmsg(mpDB), false);
    if (!pVM) throw CppSQLite3Exception(CPPSQLITE_ERROR, "Empty statement", false);
    return pVM;
}
