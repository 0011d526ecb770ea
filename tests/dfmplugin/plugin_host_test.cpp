// A small host that loads the context-menu plug-in as the file manager does, asks it for
// actions and triggers them against a fake "tarnova" that records its arguments.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QPluginLoader>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include "menuinterface.h"

// Qt's offscreen platform keeps its screen objects past the application object (not our code).
extern "C" __attribute__((weak, used)) const char *__lsan_default_suppressions() {
    return "leak:libqoffscreen.so\n";
}

namespace {

const QString kExtractHere = QString::fromUtf8("解压到当前位置");
const QString kExtractTo = QString::fromUtf8("解压到...");
const QString kAddDialog = QString::fromUtf8("添加到压缩文件...");

QString AddZip(const QString &name) {
    return QString::fromUtf8("添加到\"%1.zip\"").arg(name);
}
QString Add7z(const QString &name) {
    return QString::fromUtf8("添加到\"%1.7z\"").arg(name);
}

class MenuPlugin : public ::testing::Test {
protected:
    static QTemporaryDir *Dir;
    static MenuInterface *Plugin;
    static QString OldPath;

    // Once per program; a failure here fails every test instead of skipping it.
    void SetUp() override {
        static bool prepared = false;
        if (!prepared) {
            prepared = true;
            Prepare();
        }
        ASSERT_NE(Plugin, nullptr);
    }

    static void Prepare() {
        Dir = new QTemporaryDir;
        ASSERT_TRUE(Dir->isValid());
        qputenv("HOME", Dir->path().toUtf8());
        const QString bin = Dir->filePath("bin");
        QDir().mkpath(bin);
        // One line per start: every argument in brackets.
        QFile fake(bin + "/tarnova");
        ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
        fake.write(QString("#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done >> '%1'\necho >> '%1'\n")
                       .arg(Log())
                       .toUtf8());
        fake.close();
        fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        OldPath = qEnvironmentVariable("PATH");
        qputenv("PATH", (bin + ":" + OldPath).toUtf8());

        // Real archives, made by Python's own modules.
        QDir().mkpath(Dir->filePath("files/sub dir"));
        const QString script =
            "import sys, zipfile, tarfile, gzip, io, py7zr\n"
            "d = sys.argv[1]\n"
            "for n in ['one.zip', 'two.zip', 'report.docx', 'slides.odt', 'book.epub', 'app.apk']:\n"
            "    with zipfile.ZipFile(d + '/' + n, 'w') as z: z.writestr('a.txt', 'a')\n"
            "with tarfile.open(d + '/c.tar', 'w') as t: t.add(d + '/one.zip', 'one.zip')\n"
            "with gzip.open(d + '/d.gz', 'wb') as g: g.write(b'text')\n"
            "open(d + '/notes.txt', 'w').write('notes')\n"
            "with py7zr.SevenZipFile(d + '/a.7z', 'w') as s: s.write(d + '/notes.txt', 'notes.txt')\n";
        ASSERT_EQ(QProcess::execute("/usr/bin/python3", {"-c", script, Dir->filePath("files")}), 0);

        QPluginLoader loader(TARNOVA_MENU_PLUGIN);
        const QJsonObject meta = loader.metaData();
        EXPECT_EQ(meta.value("IID").toString(), "com.deepin.dde-file-manager.MenuInterface.V1");
        EXPECT_EQ(meta.value("className").toString(), "DFMCtxMenuPlugin");
        EXPECT_TRUE(meta.value("MetaData").toObject().isEmpty());
        Plugin = qobject_cast<MenuInterface *>(loader.instance());
        ASSERT_NE(Plugin, nullptr) << loader.errorString().toStdString();
        // The entry hands out one instance for the library's life.
        EXPECT_EQ(loader.instance(), static_cast<QObject *>(Plugin));
    }

    static void TearDownTestSuite() {
        qputenv("PATH", OldPath.toUtf8());
        delete Dir;
    }

    static QString Log() { return Dir->filePath("tarnova.log"); }
    static QString File(const QString &name) { return Dir->filePath("files/" + name); }
    static QString Url(const QString &name) { return QUrl::fromLocalFile(File(name)).toString(); }

    static QStringList Texts(const QStringList &files) {
        const QList<QAction *> actions = Plugin->additionalMenu(files, Dir->path());
        QStringList texts;
        for (QAction *a : actions)
            texts << a->text();
        qDeleteAll(actions);
        return texts;
    }

    // Triggers the action with the given text and returns the line the fake program wrote.
    static QString Trigger(const QStringList &files, const QString &text) {
        QFile::remove(Log());
        const QList<QAction *> actions = Plugin->additionalMenu(files, Dir->path());
        for (QAction *a : actions)
            if (a->text() == text) a->trigger();
        qDeleteAll(actions);
        QElapsedTimer timer;
        timer.start();
        QFile log(Log());
        while (timer.elapsed() < 30000) {
            if (log.open(QIODevice::ReadOnly)) {
                const QByteArray all = log.readAll();
                log.close();
                if (all.endsWith('\n')) return QString::fromUtf8(all).trimmed();
            }
            QThread::msleep(5);
        }
        return "<not started>";
    }
};

QTemporaryDir *MenuPlugin::Dir = nullptr;
MenuInterface *MenuPlugin::Plugin = nullptr;
QString MenuPlugin::OldPath;

TEST_F(MenuPlugin, EntriesFollowTheSelection) {
    const struct {
        const char *what;
        QStringList files;
        QStringList expected;
    } cases[] = {
        {"single 7z", {Url("a.7z")}, {kExtractHere, kExtractTo}},
        {"single 7z, folder not writable", {"file:///no-such-folder/a.7z"}, {kExtractTo}},
        {"single tar gets the add actions too",
         {Url("c.tar")},
         {kExtractHere, kExtractTo, kAddDialog, AddZip("c.tar"), Add7z("c.tar")}},
        {"two zips are named after their folder",
         {Url("one.zip"), Url("two.zip")},
         {kExtractHere, kExtractTo, kAddDialog, AddZip("files"), Add7z("files")}},
        {"a text file", {Url("notes.txt")}, {kAddDialog, AddZip("notes.txt"), Add7z("notes.txt")}},
        {"an archive and a text file", {Url("a.7z"), Url("notes.txt")}, {kAddDialog, AddZip("files"), Add7z("files")}},
        // The MIME database names gzip application/gzip; the table has its older alias.
        {"gzip under its current name", {Url("d.gz")}, {kExtractHere, kExtractTo}},
        {"single zip", {Url("one.zip")}, {kExtractHere, kExtractTo}},
        // Documents, e-books and packages that are zips inside stay files to pack.
        {"docx", {Url("report.docx")}, {kAddDialog, AddZip("report.docx"), Add7z("report.docx")}},
        {"odt", {Url("slides.odt")}, {kAddDialog, AddZip("slides.odt"), Add7z("slides.odt")}},
        {"epub", {Url("book.epub")}, {kAddDialog, AddZip("book.epub"), Add7z("book.epub")}},
        {"apk", {Url("app.apk")}, {kAddDialog, AddZip("app.apk"), Add7z("app.apk")}},
        {"a zip and a docx", {Url("one.zip"), Url("report.docx")}, {kAddDialog, AddZip("files"), Add7z("files")}},
        // Extraction exactly where the desktop opens the file with the program: zstd and ar
        // archives are taken over, Java and Debian packages and comic books are not.
        {"zst", {Url("e.zst")}, {kExtractHere, kExtractTo}},
        {"tar.zst", {Url("f.tar.zst")}, {kExtractHere, kExtractTo}},
        {"ar", {Url("libg.a")}, {kExtractHere, kExtractTo}},
        {"jar", {Url("tool.jar")}, {kAddDialog, AddZip("tool.jar"), Add7z("tool.jar")}},
        {"deb", {Url("pkg.deb")}, {kAddDialog, AddZip("pkg.deb"), Add7z("pkg.deb")}},
        {"cbz", {Url("comic.cbz")}, {kAddDialog, AddZip("comic.cbz"), Add7z("comic.cbz")}},
        {"nothing selected", {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Texts(c.files).join(" | ").toStdString(), c.expected.join(" | ").toStdString());
    }
}

TEST_F(MenuPlugin, ActionsCarryTheSelectionAndTheIcon) {
    const QStringList files{Url("one.zip"), Url("two.zip")};
    const QList<QAction *> actions = Plugin->additionalMenu(files, QString());
    ASSERT_EQ(actions.size(), 5);
    for (QAction *a : actions) {
        EXPECT_EQ(a->data().toStringList(), files);
        EXPECT_EQ(a->parent(), nullptr);
    }
    qDeleteAll(actions);
}

TEST_F(MenuPlugin, ProgramGetsEveryPathAsOneArgument) {
    const QString odd = File("sub dir/my \"quoted\" 'file' $HOME -x.zip");
    QFile::copy(File("one.zip"), odd);
    const QString oddUrl = QUrl::fromLocalFile(odd).toString();

    EXPECT_EQ(Trigger({oddUrl}, kExtractHere), QString("[-extract-here][%1]").arg(odd));
    EXPECT_EQ(Trigger({oddUrl}, kExtractTo), QString("[-extract][%1]").arg(odd));
    EXPECT_EQ(Trigger({oddUrl, Url("notes.txt")}, kAddDialog), QString("[-add][%1][%2]").arg(odd, File("notes.txt")));
    EXPECT_EQ(Trigger({Url("notes.txt")}, AddZip("notes.txt")), QString("[-addzip][%1]").arg(File("notes.txt")));
    EXPECT_EQ(Trigger({Url("notes.txt")}, Add7z("notes.txt")), QString("[-add7z][%1]").arg(File("notes.txt")));
}

} // namespace

int main(int argc, char **argv) {
    // Test discovery runs the program without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
