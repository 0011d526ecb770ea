#pragma once

// The program's one settings store: an encrypted SQLite file under the home folder. Database
// failures are logged and swallowed, so the program runs on with the caller's presets.
#include <map>
#include <string>

#include <QMutex>
#include <QString>

#include "CppSQLite3.h"
#include "common/MyString.h"
#include "common/MyVector.h"

namespace NExtract {
struct CInfo;
}
namespace NCompression {
struct CInfo;
struct CFormatOptions;
} // namespace NCompression
namespace NWorkDir {
struct CInfo;
}
struct CExtPlugins;

class options {
public:
    static options &instance();

    // The file, relative to the home folder.
    static QString database_path();

    bool init_table();
    bool check_table(const QString &name, const char *const *columns, int count);
    static QString sql_create_table(const QString &name, const char *const *columns, int count);

    bool get_history_folder(bool &out, bool row);
    bool get_improving_plan(bool &out, bool row);
    bool get_show_password(bool &out, bool row);
    bool get_extract_info(NExtract::CInfo &info, bool row);
    bool get_compress_info(NCompression::CInfo &info, bool row);
    bool get_compress_option(CObjectVector<NCompression::CFormatOptions> &list, bool row);
    bool get_workdir_info(NWorkDir::CInfo &info, bool row);
    bool get_folder_history(CObjectVector<UString> &list);
    bool get_fast_folder(CObjectVector<UString> &list);
    bool get_copy_history(CObjectVector<UString> &list);
    bool get_file_associate(std::map<std::wstring, CExtPlugins> &map);

    bool set_history_folder(bool on);
    bool set_improving_plan(bool on);
    bool set_show_password(bool on);
    bool set_extract_info(const NExtract::CInfo &info);
    bool set_compress_info(const NCompression::CInfo &info);
    bool set_compress_option(const CObjectVector<NCompression::CFormatOptions> &list);
    bool set_workdir_info(const NWorkDir::CInfo &info);
    bool set_folder_history(const CObjectVector<UString> &list);
    bool set_fast_folder(const CObjectVector<UString> &list);
    bool set_copy_history(const CObjectVector<UString> &list);
    bool set_file_associate(const std::map<std::wstring, CExtPlugins> &map);

    // How long a write waits for another process's lock (60 s unless changed).
    void set_busy_timeout(int milliseconds);
    // Closes the connection; the next get or set opens the file again.
    void close();

    // A list in one text column: entries joined with ",", a "," or "\" inside an entry escaped
    // with "\", so that a path holding a comma comes back whole.
    static AString UStringVector2string(const CObjectVector<UString> &list);
    static void string2UStringVector(const AString &text, CObjectVector<UString> &list);

    options(const options &) = delete;
    options &operator=(const options &) = delete;

private:
    options();
    ~options();

    bool ensure_init();
    bool get_flag(const char *sql, bool &out, bool row);
    bool get_list(const char *table, CObjectVector<UString> &list);
    bool set_list(const char *table, const CObjectVector<UString> &list);
    bool rewrite_list(const char *table, const CObjectVector<UString> &list);
    void rollback();

    CppSQLite3DB database;
    bool initialised;
    static QMutex mutex_;
};
