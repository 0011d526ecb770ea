#include "options.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

#include "ExtDatabase.h"
#include "ZipRegistry.h"
#include "common/StringConvert.h"

QMutex options::mutex_;

namespace {

struct CTableDef {
    const char *name;
    const char *const *columns;
    int count;
    const char *const *defaultRows;
};

const char *const kCommonColumns[] = {"ID",      "integer primary key", "ImprovingPlan", "boolean", "SendErrorLog",
                                      "boolean", "HistoryFolder",       "boolean"};
const char *const kCommonRows[] = {"insert into common values (0,1,1,1)", "insert into common values (1,1,1,1)",
                                   nullptr};

const char *const kAssociateColumns[] = {
    "ext", "varchar(20) primary key", "assoc", "integer", "DefaultAssoc", "integer", "application", "varchar(20)"};

const char *const kExtractColumns[] = {"ID",
                                       "integer primary key",
                                       "PathHistory",
                                       "varchar(32788)",
                                       "ExtractMode",
                                       "integer",
                                       "OverwriteMode",
                                       "integer",
                                       "SplitDest",
                                       "boolean",
                                       "ElimDup",
                                       "boolean",
                                       "ShowPassword",
                                       "boolean",
                                       "Security",
                                       "boolean",
                                       "OpenOutputDir",
                                       "boolean"};
const char *const kExtractRows[] = {"insert into extract values (0,\"\",1,0,0,0,0,0,0)",
                                    "insert into extract values (1,\"\",1,0,0,0,0,0,0)", nullptr};

const char *const kCompressColumns[] = {"ID",
                                        "integer primary key",
                                        "ArcHistory",
                                        "varchar(32788)",
                                        "Security",
                                        "integer",
                                        "AltStreams",
                                        "integer",
                                        "HardLinks",
                                        "boolean",
                                        "SymLinks",
                                        "boolean",
                                        "ShowPassword",
                                        "boolean",
                                        "EncryptHeaders",
                                        "boolean",
                                        "Level",
                                        "integer",
                                        "Archiver",
                                        "varchar(20)",
                                        "Config",
                                        "integer"};
const char *const kCompressRows[] = {"insert into compress values (0,\"\",0,0,0,0,0,0,5,\"7z\",0)",
                                     "insert into compress values (1,\"\",0,0,0,0,0,0,5,\"7z\",0)", nullptr};

const char *const kCompressOptionColumns[] = {
    "FormatID",         "varchar(20)", "Options",   "varchar(20)", "Method",     "varchar(20)",
    "EncryptionMethod", "varchar(20)", "Level",     "integer",     "Dictionary", "integer",
    "OrderKey",         "integer",     "BlockSize", "integer",     "NumThreads", "integer"};

const char *const kWorkDirColumns[] = {"ID",      "integer primary key", "WorkDirPath", "varchar(4096)", "WorkDirType",
                                       "integer", "TempRemovableOnly",   "integer"};
const char *const kWorkDirRows[] = {"insert into workdir values (0,\"\",0,1)",
                                    "insert into workdir values (1,\"\",0,1)", nullptr};

const char *const kPathColumns[] = {"Path", "varchar(4096)"};

const char *const kNoRows[] = {nullptr};

#define TABLE_DEF(name, cols, rows)                                                                                    \
    { name, cols, (int)(sizeof(cols) / sizeof(cols[0])), rows }

const CTableDef kTables[] = {
    TABLE_DEF("common", kCommonColumns, kCommonRows),
    TABLE_DEF("associate", kAssociateColumns, kNoRows),
    TABLE_DEF("extract", kExtractColumns, kExtractRows),
    TABLE_DEF("compress", kCompressColumns, kCompressRows),
    TABLE_DEF("compressoption", kCompressOptionColumns, kNoRows),
    TABLE_DEF("workdir", kWorkDirColumns, kWorkDirRows),
    TABLE_DEF("folderhistory", kPathColumns, kNoRows),
    TABLE_DEF("fastfolder", kPathColumns, kNoRows),
};

const char *const kBegin = "BEGIN IMMEDIATE TRANSACTION";
const char *const kCommit = "commit transaction";

void LogException(const CppSQLite3Exception &e) {
    qDebug() << e.errorMessage() << "\n";
}

AString ToText(const UString &s) {
    return UnicodeStringToMultiByte(s);
}

UString FromText(const char *s) {
    return MultiByteToUnicodeString(AString(s ? s : ""));
}

QByteArray RowQuery(const char *format, bool row) {
    return QString(format).arg(row ? 1 : 0).toUtf8();
}

} // namespace

options::options() : initialised(false) {}

options::~options() {
    try {
        database.close();
    } catch (const CppSQLite3Exception &) {
    }
}

options &options::instance() {
    static options store;
    return store;
}

QString options::database_path() {
    return QDir::homePath() + "/.config/tarnova.db";
}

void options::set_busy_timeout(int milliseconds) {
    QMutexLocker lock(&mutex_);
    database.setBusyTimeout(milliseconds);
}

void options::close() {
    QMutexLocker lock(&mutex_);
    try {
        database.close();
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
    }
    initialised = false;
}

QString options::sql_create_table(const QString &name, const char *const *columns, int count) {
    QString sql = QString("create table %1(").arg(name);
    for (int i = 0; i + 1 < count; i += 2)
        sql += QString("%1 %2,").arg(columns[i], columns[i + 1]);
    sql[sql.size() - 1] = ')';
    return sql;
}

bool options::check_table(const QString &name, const char *const *columns, int count) {
    try {
        CppSQLite3Query q = database.execQuery(QString("pragma table_info(%1)").arg(name).toUtf8());
        for (int i = 0; i + 1 < count; i += 2) {
            if (q.eof()) {
                qDebug("table: %s add new field", name.toUtf8().constData());
                return false;
            }
            // SQLite itself ignores letter case in names and types, so a table written as
            // "INTEGER" is the same table and keeps the user's values.
            const QString colName = QString::fromUtf8(q.getStringField(1));
            const QString colType = QString::fromUtf8(q.getStringField(2));
            if (colName.compare(columns[i], Qt::CaseInsensitive) != 0) return false;
            const QString expected = columns[i + 1];
            if (colType.compare(expected, Qt::CaseInsensitive) != 0 &&
                QString("%1 primary key").arg(colType).compare(expected, Qt::CaseInsensitive) != 0 &&
                QString("%1 primary key autoincrement").arg(colType).compare(expected, Qt::CaseInsensitive) != 0)
                return false;
            q.nextRow();
        }
        return q.eof();
    } catch (const CppSQLite3Exception &e) {
        qDebug("check_table: %s", e.errorMessage());
        return false;
    }
}

void options::rollback() {
    try {
        if (database.isOpen() && !database.IsAutoCommitOn()) database.execDML("rollback transaction");
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
    }
}

bool options::init_table() {
    for (int attempt = 0;; attempt++) {
        bool newFile = false;
        try {
            if (!database.isOpen()) {
                // Without the folder the file cannot be created, and nothing would ever be kept.
                const QString path = database_path();
                QDir().mkpath(QFileInfo(path).absolutePath());
                newFile = QFileInfo(path).size() == 0;
                database.open(path.toUtf8().constData());
            }
            // One transaction for all tables: two processes starting together neither create a
            // table twice nor see one half made.
            database.execDML(kBegin);
            for (const CTableDef &t : kTables) {
                if (database.tableExists(t.name)) {
                    if (check_table(t.name, t.columns, t.count)) continue;
                    database.execDML(QString("drop table %1").arg(t.name).toUtf8());
                }
                database.execDML(sql_create_table(t.name, t.columns, t.count).toUtf8());
                for (const char *const *row = t.defaultRows; *row; row++)
                    database.execDML(*row);
            }
            database.execDML(kCommit);
            initialised = true;
            return true;
        } catch (const CppSQLite3Exception &e) {
            rollback();
            try {
                database.close();
            } catch (const CppSQLite3Exception &) {
            }
            initialised = false;
            // The cipher takes its salt from the file when the key is set. When the file was
            // still empty then and another process created it meanwhile, the salt is not the
            // file's: open it again.
            if (e.errorCode() == SQLITE_NOTADB && newFile && attempt < 3) continue;
            LogException(e);
            return false;
        }
    }
}

bool options::ensure_init() {
    return initialised || init_table();
}

// ---------------------------------------------------------------- lists

AString options::UStringVector2string(const CObjectVector<UString> &list) {
    UString text;
    FOR_VECTOR(i, list) {
        if (!text.IsEmpty()) text += L',';
        const UString &s = list[i];
        for (unsigned k = 0; k < s.Len(); k++) {
            if (s[k] == L',' || s[k] == L'\\') text += L'\\';
            text += s[k];
        }
    }
    return ToText(text);
}

void options::string2UStringVector(const AString &text, CObjectVector<UString> &list) {
    list.Clear();
    if (text.IsEmpty()) return;
    const UString u = MultiByteToUnicodeString(text);
    UString piece;
    for (unsigned i = 0; i < u.Len(); i++) {
        const wchar_t c = u[i];
        if (c == L'\\' && i + 1 < u.Len() && (u[i + 1] == L',' || u[i + 1] == L'\\')) {
            piece += u[++i];
        } else if (c == L',') {
            list.Add(piece);
            piece.Empty();
        } else {
            // A lone backslash is kept: files written before escaping hold them as they are.
            piece += c;
        }
    }
    if (!piece.IsEmpty()) list.Add(piece);
}

bool options::get_list(const char *table, CObjectVector<UString> &list) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    list.Clear();
    try {
        CppSQLite3Query q = database.execQuery(QString("select * from %1").arg(table).toUtf8());
        for (; !q.eof(); q.nextRow())
            list.Add(FromText(q.getStringField(0)));
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
    }
    return true;
}

bool options::rewrite_list(const char *table, const CObjectVector<UString> &list) {
    // Everything in one transaction: a failure or another process never sees the list half
    // written or the table missing.
    database.execDML(kBegin);
    if (database.tableExists(table) && !check_table(table, kPathColumns, 2))
        database.execDML(QString("drop table %1").arg(table).toUtf8());
    database.execDML(QString("create table if not exists %1(Path varchar(4096))").arg(table).toUtf8());
    database.execDML(QString("delete from %1").arg(table).toUtf8());
    CppSQLite3Statement stmt =
        database.compileStatement(QString("insert into %1 (Path) values (?);").arg(table).toUtf8());
    FOR_VECTOR(i, list) {
        stmt.bind(1, ToText(list[i]).Ptr());
        stmt.execDML();
    }
    stmt.finalize();
    database.execDML(kCommit);
    return true;
}

bool options::set_list(const char *table, const CObjectVector<UString> &list) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    try {
        return rewrite_list(table, list);
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
        rollback();
        return false;
    }
}

bool options::get_folder_history(CObjectVector<UString> &list) {
    return get_list("folderhistory", list);
}
bool options::get_fast_folder(CObjectVector<UString> &list) {
    return get_list("fastfolder", list);
}
bool options::get_copy_history(CObjectVector<UString> &list) {
    return get_list("copyhistory", list);
}
bool options::set_folder_history(const CObjectVector<UString> &list) {
    return set_list("folderhistory", list);
}
bool options::set_fast_folder(const CObjectVector<UString> &list) {
    return set_list("fastfolder", list);
}
bool options::set_copy_history(const CObjectVector<UString> &list) {
    return set_list("copyhistory", list);
}

// ---------------------------------------------------------------- getters

bool options::get_flag(const char *sql, bool &out, bool row) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    try {
        CppSQLite3Query q = database.execQuery(RowQuery(sql, row));
        out = !q.eof() && q.getIntField(0) != 0;
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
    }
    return true;
}

bool options::get_history_folder(bool &out, bool row) {
    return get_flag("select HistoryFolder from common where ID = %1", out, row);
}

bool options::get_improving_plan(bool &out, bool row) {
    return get_flag("select ImprovingPlan from common where ID = %1", out, row);
}

bool options::get_show_password(bool &out, bool row) {
    return get_flag("select ShowPassword from extract where ID = %1", out, row);
}

bool options::get_extract_info(NExtract::CInfo &info, bool row) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    try {
        CppSQLite3Query q = database.execQuery(RowQuery("select * from extract where ID = %1", row));
        for (; !q.eof(); q.nextRow()) {
            string2UStringVector(AString(q.getStringField(1)), info.PathHistory);
            info.ExtractMode = q.getIntField(2);
            info.OverwriteMode = q.getIntField(3);
            info.SplitDest.Val = q.getIntField(4) != 0;
            info.ElimDup.Val = q.getIntField(5) != 0;
            info.ShowPassword.Val = q.getIntField(6) != 0;
            info.Security.Val = q.getIntField(7) != 0;
            info.OpenOutputDir = q.getIntField(8) != 0;
        }
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
    }
    return true;
}

bool options::get_compress_info(NCompression::CInfo &info, bool row) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    try {
        CppSQLite3Query q = database.execQuery(RowQuery("select * from compress where ID = %1", row));
        for (; !q.eof(); q.nextRow()) {
            string2UStringVector(AString(q.getStringField(1)), info.ArcHistory);
            info.Security.Val = q.getIntField(2) != 0;
            info.AltStreams.Val = q.getIntField(3) != 0;
            info.HardLinks.Val = q.getIntField(4) != 0;
            info.SymLinks.Val = q.getIntField(5) != 0;
            info.ShowPassword = q.getIntField(6) != 0;
            info.EncryptHeaders = q.getIntField(7) != 0;
            info.Level = q.getIntField(8);
            info.Archiver = FromText(q.getStringField(9));
            info.Config = q.getIntField(10);
        }
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
    }
    get_compress_option(info.Formats, row);
    return true;
}

bool options::get_compress_option(CObjectVector<NCompression::CFormatOptions> &list, bool /* row */) {
    if (!ensure_init()) return false;
    list.Clear();
    try {
        CppSQLite3Query q = database.execQuery("select * from compressoption");
        for (; !q.eof(); q.nextRow()) {
            NCompression::CFormatOptions &fo = list.AddNew();
            fo.FormatID = FromText(q.getStringField(0));
            fo.Options = FromText(q.getStringField(1));
            fo.Method = FromText(q.getStringField(2));
            fo.EncryptionMethod = FromText(q.getStringField(3));
            fo.Level = (UInt32)q.getIntField(4);
            fo.Dictionary = (UInt32)q.getIntField(5);
            fo.OrderKey = (UInt32)q.getIntField(6);
            fo.BlockSize = (UInt32)q.getIntField(7);
            fo.NumThreads = (UInt32)q.getIntField(8);
        }
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
    }
    return true;
}

bool options::get_workdir_info(NWorkDir::CInfo &info, bool row) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    try {
        CppSQLite3Query q = database.execQuery(RowQuery("select * from workdir where ID = %1", row));
        for (; !q.eof(); q.nextRow()) {
            info.WorkDirPath = FromText(q.getStringField(1));
            info.WorkDirType = q.getIntField(2);
            info.TempRemovableOnly = q.getIntField(3) != 0;
        }
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
    }
    return true;
}

bool options::get_file_associate(std::map<std::wstring, CExtPlugins> &map) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    map.clear();
    try {
        CppSQLite3Query q = database.execQuery("select * from associate");
        for (; !q.eof(); q.nextRow()) {
            const UString ext = FromText(q.getStringField(0));
            if (ext.IsEmpty()) continue;
            CExtPlugins &e = map[std::wstring(ext.Ptr())];
            e.ext = ext;
            e.assoc = q.getIntField(1) != 0;
            e.DefaultAssoc = q.getIntField(2) != 0;
            e.application = FromText(q.getStringField(3));
            e.plugins.Clear();
            e.changed = false;
        }
    } catch (const CppSQLite3Exception &e) {
        LogException(e);
    }
    return true;
}

// ---------------------------------------------------------------- setters

namespace {

// One update of row 1 in its own write transaction; a failure rolls it back so that neither
// this connection nor other processes are left waiting on an open transaction.
template <typename Bind> void RunUpdate(CppSQLite3DB &db, const char *sql, Bind bind) {
    db.execDML(kBegin);
    CppSQLite3Statement stmt = db.compileStatement(sql);
    bind(stmt);
    stmt.execDML();
    stmt.finalize();
    db.execDML(kCommit);
}

} // namespace

#define SETTER_TRY try {
#define SETTER_CATCH                                                                                                   \
    }                                                                                                                  \
    catch (const CppSQLite3Exception &e) {                                                                             \
        LogException(e);                                                                                               \
        rollback();                                                                                                    \
        return false;                                                                                                  \
    }

bool options::set_history_folder(bool on) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    SETTER_TRY
    RunUpdate(database, "update common set             HistoryFolder=?             where ID=1",
              [&](CppSQLite3Statement &s) { s.bind(1, (int)on); });
    SETTER_CATCH
    return true;
}

bool options::set_improving_plan(bool on) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    SETTER_TRY
    RunUpdate(database, "update common set             ImprovingPlan=?             where ID=1",
              [&](CppSQLite3Statement &s) { s.bind(1, (int)on); });
    SETTER_CATCH
    return true;
}

bool options::set_show_password(bool on) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    SETTER_TRY
    RunUpdate(database, "update extract set             ShowPassword=?             where ID=1",
              [&](CppSQLite3Statement &s) { s.bind(1, (int)on); });
    SETTER_CATCH
    return true;
}

bool options::set_extract_info(const NExtract::CInfo &info) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    SETTER_TRY
    RunUpdate(database,
              "update extract set             PathHistory=?,             ExtractMode=?,             "
              "OverwriteMode=?,             SplitDest=?,             ElimDup=?,             ShowPassword=?,   "
              "          Security=?,             OpenOutputDir=?             where ID=1",
              [&](CppSQLite3Statement &s) {
                  s.bind(1, UStringVector2string(info.PathHistory).Ptr());
                  s.bind(2, info.ExtractMode);
                  s.bind(3, info.OverwriteMode);
                  s.bind(4, (int)info.SplitDest.Val);
                  s.bind(5, (int)info.ElimDup.Val);
                  s.bind(6, (int)info.ShowPassword.Val);
                  s.bind(7, (int)info.Security.Val);
                  s.bind(8, (int)info.OpenOutputDir);
              });
    SETTER_CATCH
    return true;
}

bool options::set_compress_info(const NCompression::CInfo &info) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    SETTER_TRY
    RunUpdate(database,
              "update compress set             ArcHistory=?,             Security=?,             "
              "AltStreams=?,             HardLinks=?,             SymLinks=?,             ShowPassword=?,    "
              "         EncryptHeaders=?,             Level=?,             Archiver=?,             Config=?  "
              "           where ID=1",
              [&](CppSQLite3Statement &s) {
                  s.bind(1, UStringVector2string(info.ArcHistory).Ptr());
                  s.bind(2, (int)info.Security.Val);
                  s.bind(3, (int)info.AltStreams.Val);
                  s.bind(4, (int)info.HardLinks.Val);
                  s.bind(5, (int)info.SymLinks.Val);
                  s.bind(6, (int)info.ShowPassword);
                  s.bind(7, (int)info.EncryptHeaders);
                  s.bind(8, info.Level);
                  s.bind(9, ToText(info.Archiver).Ptr());
                  s.bind(10, info.Config);
              });
    SETTER_CATCH
    return set_compress_option(info.Formats);
}

bool options::set_compress_option(const CObjectVector<NCompression::CFormatOptions> &list) {
    if (!ensure_init()) return false;
    FOR_VECTOR(i, list) {
        const NCompression::CFormatOptions &fo = list[i];
        SETTER_TRY
        database.execDML(kBegin);
        CppSQLite3Statement update = database.compileStatement(
            "update compressoption set                 Options=?,                 Method=?,                 "
            "EncryptionMethod=?,                 Level=?,                 Dictionary=?,                 "
            "OrderKey=?,                 BlockSize=?,                 NumThreads=?                 where FormatID=?");
        update.bind(1, ToText(fo.Options).Ptr());
        update.bind(2, ToText(fo.Method).Ptr());
        update.bind(3, ToText(fo.EncryptionMethod).Ptr());
        update.bind(4, (int)fo.Level);
        update.bind(5, (int)fo.Dictionary);
        update.bind(6, (int)fo.OrderKey);
        update.bind(7, (int)fo.BlockSize);
        update.bind(8, (int)fo.NumThreads);
        update.bind(9, ToText(fo.FormatID).Ptr());
        const int changed = update.execDML();
        update.finalize();
        // A format seen for the first time has no row yet: without one its options were never kept.
        if (changed == 0) {
            CppSQLite3Statement insert = database.compileStatement(
                "insert into compressoption (FormatID,Options,Method,EncryptionMethod,Level,Dictionary,OrderKey,"
                "BlockSize,NumThreads) values (?,?,?,?,?,?,?,?,?)");
            insert.bind(1, ToText(fo.FormatID).Ptr());
            insert.bind(2, ToText(fo.Options).Ptr());
            insert.bind(3, ToText(fo.Method).Ptr());
            insert.bind(4, ToText(fo.EncryptionMethod).Ptr());
            insert.bind(5, (int)fo.Level);
            insert.bind(6, (int)fo.Dictionary);
            insert.bind(7, (int)fo.OrderKey);
            insert.bind(8, (int)fo.BlockSize);
            insert.bind(9, (int)fo.NumThreads);
            insert.execDML();
            insert.finalize();
        }
        database.execDML(kCommit);
        SETTER_CATCH
    }
    return true;
}

bool options::set_workdir_info(const NWorkDir::CInfo &info) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    SETTER_TRY
    RunUpdate(database,
              "update workdir set                                                         WorkDirPath=?,        "
              "                                                 WorkDirType=?,                                  "
              "                       TempRemovableOnly=?                     where ID=1",
              [&](CppSQLite3Statement &s) {
                  s.bind(1, ToText(info.WorkDirPath).Ptr());
                  s.bind(2, info.WorkDirType);
                  s.bind(3, (int)info.TempRemovableOnly);
              });
    SETTER_CATCH
    return true;
}

bool options::set_file_associate(const std::map<std::wstring, CExtPlugins> &map) {
    QMutexLocker lock(&mutex_);
    if (!ensure_init()) return false;
    SETTER_TRY
    database.execDML(kBegin);
    CppSQLite3Statement stmt =
        database.compileStatement("replace into associate (ext,assoc,DefaultAssoc,application) values(?,?,?,?)");
    for (const auto &kv : map) {
        const CExtPlugins &e = kv.second;
        stmt.bind(1, ToText(e.ext).Ptr());
        stmt.bind(2, (int)e.assoc);
        stmt.bind(3, (int)e.DefaultAssoc);
        stmt.bind(4, ToText(e.application).Ptr());
        stmt.execDML();
    }
    stmt.finalize();
    database.execDML(kCommit);
    SETTER_CATCH
    return true;
}
