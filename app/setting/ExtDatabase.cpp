#include "ExtDatabase.h"

#include <wctype.h>

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>

#include "archive/agent/ArchiveFolderOpen.h"
#include "archive/ui-common/ArchiveCommandLine.h"
#include "options.h"

const char *const kTarnovaDesktopEntry = "tarnova.desktop";

namespace {

// Formats the core can open but that users open with other programs: documents and e-books
// are zip files inside, yet the desktop must keep opening them in their own programs.
const wchar_t *const kNeverOffered[] = {L"compound", L"chm", L"chi", L"chq",   L"chw",  L"dll",  L"elf",  L"fat",
                                        L"flv",      L"exe", L"ppt", L"macho", L"mbr",  L"mslz", L"mub",  L"nsis",
                                        L"ntfs",     L"pe",  L"swf", L"swfc",  L"udf",  L"vhd",  L"docx", L"doc",
                                        L"ods",      L"odt", L"xls", L"xlsx",  L"pptx", L"odp",  L"epub"};
// Packages, add-ons and disk images: offered in the settings, but the desktop's installers and
// virtual machines keep them unless the user ticks them.
const wchar_t *const kOffByDefault[] = {L"deb", L"rpm", L"jar", L"apk", L"xpi", L"pkg", L"xip", L"img", L"ova", L"ovf"};

template <size_t N> bool IsIn(const wchar_t *const (&list)[N], const UString &lower) {
    for (const wchar_t *s : list)
        if (lower == s) return true;
    return false;
}

UString ToLower(const UString &s) {
    UString r = s;
    for (unsigned i = 0; i < r.Len(); i++)
        r.ReplaceOneCharAtPos(i, (wchar_t)towlower((wint_t)r[i]));
    return r;
}

QString ToQString(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

// The MIME type the desktop gives files with this extension, or empty when it knows none.
QString MimeTypeOf(const QMimeDatabase &db, const UString &ext) {
    const QMimeType mt = db.mimeTypeForFile(QString("*.%1").arg(ToQString(ext)), QMimeDatabase::MatchExtension);
    // An unknown extension maps to application/octet-stream: making the program the
    // default for that would capture every unknown file on the desktop.
    if (!mt.isValid() || mt.isDefault()) return QString();
    return mt.name();
}

// The files where desktops keep the user's default applications, current one first.
QStringList MimeAppsLists() {
    return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/mimeapps.list",
            QDir::homePath() + "/.local/share/applications/mimeapps.list"};
}

bool RemoveFromMimeAppsList(const QString &path, const QSet<QString> &types) {
    QFile in(path);
    if (!in.exists()) return true;
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    const QStringList lines = QString::fromUtf8(in.readAll()).split('\n');
    in.close();

    QMimeDatabase db;
    QStringList out;
    bool inDefaults = false;
    bool changed = false;
    for (const QString &line : lines) {
        const QString t = line.trimmed();
        if (t.startsWith('[')) {
            inDefaults = (t == "[Default Applications]");
        } else if (inDefaults) {
            const int eq = t.indexOf('=');
            if (eq > 0) {
                // The key may be an alias that an older tool wrote: compare the canonical names.
                const QString key = t.left(eq).trimmed();
                const QMimeType mt = db.mimeTypeForName(key);
                const QString canonical = mt.isValid() ? mt.name() : key;
                if (types.contains(canonical)) {
                    QStringList apps = t.mid(eq + 1).split(';', Qt::SkipEmptyParts);
                    const int before = apps.size();
                    apps.removeAll(QString(kTarnovaDesktopEntry));
                    if (apps.size() != before) {
                        changed = true;
                        if (!apps.isEmpty()) out << key + "=" + apps.join(';') + ";";
                        continue;
                    }
                }
            }
        }
        out << line;
    }
    if (!changed) return true;
    QSaveFile save(path);
    if (!save.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    save.write(out.join('\n').toUtf8());
    return save.commit();
}

} // namespace

void CExtDatabase::cmd_associate() {
    CExtDatabase db;
    db.Read();
}

void CExtDatabase::Read() {
    ext_map.clear();
    // A store that cannot be read says nothing about a first start: registering again at
    // every start would override the user's own choices.
    if (!options::instance().get_file_associate(ext_map)) return;
    if (!ext_map.empty()) return;

    CMyComPtr<IFolderManager> manager = new CArchiveFolderManager;
    BSTR extsBstr = nullptr;
    if (manager->GetExtensions(&extsBstr) != S_OK) {
        ::SysFreeString(extsBstr);
        return;
    }
    UString exts;
    exts.SetFromBstr(extsBstr);
    ::SysFreeString(extsBstr);
    build_defaults(exts);
}

void CExtDatabase::build_defaults(const UString &extensions) {
    ext_map.clear();
    entries.Clear();
    UStringVector words;
    SplitString(extensions, words);
    QMimeDatabase mimeDb;
    // The desktop keys defaults by MIME type: an extension left off must not be taken over
    // through another extension of its type (deb through udeb).
    QSet<QString> offTypes;
    FOR_VECTOR(i, words) {
        const UString &ext = words[i];
        if (ext.IsEmpty()) continue;
        const UString lower = ToLower(ext);
        const bool never = IsIn(kNeverOffered, lower);
        if (never || IsIn(kOffByDefault, lower)) {
            const QString type = MimeTypeOf(mimeDb, ext);
            if (!type.isEmpty()) offTypes.insert(type);
        }
        if (never) continue;
        CExtPlugins e;
        e.ext = ext;
        e.assoc = e.DefaultAssoc = !IsIn(kOffByDefault, lower);
        entries.Add(e);
    }
    CObjectVector<UString> toAssociate;
    FOR_VECTOR(i, entries) {
        CExtPlugins &e = entries[i];
        if (e.assoc && offTypes.contains(MimeTypeOf(mimeDb, e.ext))) e.assoc = e.DefaultAssoc = false;
        ext_map[std::wstring(e.ext.Ptr())] = e;
        if (e.assoc) toAssociate.Add(e.ext);
    }
    if (ext_map.empty()) return;
    associate_ext(toAssociate, true);
    options::instance().set_file_associate(ext_map);
}

void CExtDatabase::Save() {
    CObjectVector<UString> on, off;
    for (const auto &kv : ext_map) {
        if (!kv.second.changed) continue;
        (kv.second.assoc ? on : off).Add(kv.second.ext);
    }
    associate_ext(on, true);
    if (!off.IsEmpty()) {
        // A type stays ours while any ticked extension still has it (zip and zipx).
        QMimeDatabase mimeDb;
        QSet<QString> keptTypes;
        for (const auto &kv : ext_map)
            if (kv.second.assoc) keptTypes.insert(MimeTypeOf(mimeDb, kv.second.ext));
        QStringList types;
        for (const QString &type : mime_types_for(off))
            if (!keptTypes.contains(type)) types << type;
        if (!types.isEmpty()) remove_default_entries(types);
    }
    options::instance().set_file_associate(ext_map);
}

QStringList CExtDatabase::mime_types_for(const CObjectVector<UString> &exts) {
    QMimeDatabase db;
    QStringList names;
    FOR_VECTOR(i, exts) {
        const QString name = MimeTypeOf(db, exts[i]);
        if (!name.isEmpty() && !names.contains(name)) names << name;
    }
    return names;
}

bool CExtDatabase::remove_default_entries(const QStringList &mimeTypes) {
    QMimeDatabase db;
    QSet<QString> types;
    for (const QString &name : mimeTypes) {
        const QMimeType mt = db.mimeTypeForName(name);
        types.insert(mt.isValid() ? mt.name() : name);
    }
    bool ok = true;
    for (const QString &path : MimeAppsLists())
        ok = RemoveFromMimeAppsList(path, types) && ok;
    return ok;
}

void CExtDatabase::associate_ext(const CObjectVector<UString> &exts, bool on) {
    if (exts.IsEmpty()) return;
    check_application_folder();
    const QStringList types = mime_types_for(exts);
    if (types.isEmpty()) return;
    if (on) {
        // Program and arguments apart: no shell and no splitting of names.
        QProcess::startDetached("xdg-mime", QStringList{"default", kTarnovaDesktopEntry} + types);
    } else {
        remove_default_entries(types);
    }
}

void CExtDatabase::associate_ext(const UString &ext, bool on) {
    if (ext.IsEmpty()) return;
    CObjectVector<UString> exts;
    exts.Add(ext);
    associate_ext(exts, on);
}

bool CExtDatabase::check_application_folder() {
    const QString folder = QDir::homePath() + "/.local/share/applications";
    if (!QDir(folder).exists()) QDir().mkpath(folder);
    return QDir(folder).exists();
}

int CExtDatabase::FindExt(const UString &ext) const {
    FOR_VECTOR(i, entries)
    if (StringsAreEqualNoCase(entries[i].ext, ext)) return (int)i;
    return -1;
}
