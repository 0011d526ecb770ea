// Every image the program's sources and forms name is in the resources: a wrong name is a
// silently missing picture. The scan covers all of app/, so images of later windows are checked
// as they are added.
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>

#include <set>

#include "app_test_support.h"
#include "basewindow.h"

namespace {

std::set<std::string> NamesUsedByTheSources() {
    std::set<std::string> names;
    const QRegularExpression direct(":/image/([A-Za-z0-9_.\\-]+\\.(?:png|ico|jpg|gif|svg))");
    const QRegularExpression skinCall("set_btn_state_image\\s*\\(([^;]*)\\)\\s*;");
    const QRegularExpression literal("\"([A-Za-z0-9_]+)\"");
    QDirIterator it(TARNOVA_APP_SOURCE_DIR, {"*.cpp", "*.h", "*.ui", "*.qss"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains("/image-src/")) continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(file.readAll());
        for (auto m = direct.globalMatch(text); m.hasNext();)
            names.insert(m.next().captured(1).toStdString());
        // A skin name stands for its four state images.
        for (auto call = skinCall.globalMatch(text); call.hasNext();) {
            const QString args = call.next().captured(1);
            for (auto m = literal.globalMatch(args); m.hasNext();) {
                const QString skin = m.next().captured(1);
                for (const char *state : {"_normal.png", "_hover.png", "_pressed.png", "_disabled.png"})
                    names.insert((skin + state).toStdString());
            }
        }
    }
    return names;
}

TEST(Images, ImagesUsedByTheCodeExist) {
    basewindow resourcesLinked; // the resources live in the program's library
    const std::set<std::string> names = NamesUsedByTheSources();
    // The scan itself must see the names it is meant to check.
    ASSERT_TRUE(names.count("dialog_background.png") && names.count("sys_button_close_hover.png") &&
                names.count("appicon.png"));
    for (const std::string &name : names) {
        const QString path = QString(":/image/") + QString::fromStdString(name);
        EXPECT_TRUE(QFile::exists(path)) << name;
        EXPECT_FALSE(QImage(path).isNull()) << name;
    }
}

} // namespace
