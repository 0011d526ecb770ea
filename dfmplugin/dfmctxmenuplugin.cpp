#include "dfmctxmenuplugin.h"

#include "ArchiveMimeTypes.h"

#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QProcess>
#include <QUrl>

namespace {

// Where `cmake --install` puts the icon below the prefix the build was configured with.
const char *const kIconPath = TARNOVA_MENU_ICON;
const char *const kProgram = "tarnova";

QString LocalPath(const QString &file) {
    const QUrl url(file);
    // A bare path (no scheme) stands for itself.
    if (url.scheme().isEmpty()) return file;
    return url.toLocalFile();
}

// The table's rows under the MIME database's own names: the table holds older aliases
// (application/x-gzip is application/gzip now).
const QHash<QString, bool> &CanonicalTable(const QMimeDatabase &db) {
    static QHash<QString, bool> table;
    if (table.isEmpty()) {
        for (const CArchiveMimeType *row = archive_mime_types; row->name; row++) {
            const QString name = QString::fromLatin1(row->name);
            const QMimeType mt = db.mimeTypeForName(name);
            const QString canonical = mt.isValid() ? mt.name() : name;
            if (!table.contains(canonical)) table.insert(canonical, row->extractOnly);
        }
    }
    return table;
}

// Whether the type is a row of the table, and that row's flag. A type that is only a kind of one
// (an office document or an e-book is a zip inside) is a file to pack, not an archive to unpack.
bool MatchArchiveType(const QMimeType &mt, bool &extractOnly) {
    QMimeDatabase db;
    const QHash<QString, bool> &table = CanonicalTable(db);
    const auto it = table.find(mt.name());
    if (it == table.end()) return false;
    extractOnly = it.value();
    return true;
}

QStringList ActionFiles(QAction *action) {
    const QVariant data = action ? action->data() : QVariant();
    return data.canConvert<QStringList>() ? data.toStringList() : QStringList();
}

// Program and arguments apart: every path reaches the program as one argument, whatever
// blanks, quotes or leading dashes it holds.
void StartProgram(const QString &option, const QStringList &files) {
    QStringList args{option};
    for (const QString &file : files)
        args << LocalPath(file);
    QProcess::startDetached(kProgram, args);
}

} // namespace

QList<QAction *> DFMCtxMenuPlugin::additionalMenu(const QStringList &files, const QString &currentDir) {
    Q_UNUSED(currentDir);
    QList<QAction *> actions;
    if (files.isEmpty()) return actions;

    QMimeDatabase db;
    bool allMatched = true, allFlagged = true, writable = true;
    for (const QString &file : files) {
        bool extractOnly = false;
        const QUrl url(file);
        const QMimeType mt = url.scheme().isEmpty() ? db.mimeTypeForFile(file) : db.mimeTypeForUrl(url);
        if (MatchArchiveType(mt, extractOnly)) {
            if (!extractOnly) allFlagged = false;
        } else {
            allMatched = false;
        }
        if (writable) writable = QFileInfo(QFileInfo(LocalPath(file)).absolutePath()).isWritable();
    }
    const bool single = files.size() == 1;

    const QIcon icon(kIconPath);
    auto make = [&](const QString &text) {
        QAction *action = new QAction(icon, text, nullptr);
        action->setData(QVariant(files));
        actions << action;
        return action;
    };

    if (allMatched) {
        if (writable) {
            QAction *a = make(QString::fromUtf8("解压到当前位置"));
            connect(a, &QAction::triggered, this, [this, a] { extract_here_callback(a); });
        }
        QAction *a = make(QString::fromUtf8("解压到..."));
        connect(a, &QAction::triggered, this, [this, a] { extract_to_callback(a); });
    }
    if (!(single && allMatched && allFlagged)) {
        const QFileInfo first(LocalPath(files[0]));
        const QString name = single ? first.fileName() : QFileInfo(first.absolutePath()).fileName();
        const struct {
            QString text;
            int kind;
        } adds[] = {
            {QString::fromUtf8("添加到压缩文件..."), add_with_dialog},
            {QString::fromUtf8("添加到\"%1.zip\"").arg(name), add_to_zip},
            {QString::fromUtf8("添加到\"%1.7z\"").arg(name), add_to_7z},
        };
        for (const auto &add : adds) {
            QAction *a = make(add.text);
            const int kind = add.kind;
            connect(a, &QAction::triggered, this, [this, a, kind] { add_callback(a, kind); });
        }
    }
    return actions;
}

void DFMCtxMenuPlugin::add_callback(QAction *action, int kind) {
    const char *option = kind == add_to_zip ? "-addzip" : kind == add_to_7z ? "-add7z" : "-add";
    StartProgram(option, ActionFiles(action));
}

void DFMCtxMenuPlugin::extract_to_callback(QAction *action) {
    StartProgram("-extract", ActionFiles(action));
}

void DFMCtxMenuPlugin::extract_here_callback(QAction *action) {
    StartProgram("-extract-here", ActionFiles(action));
}
