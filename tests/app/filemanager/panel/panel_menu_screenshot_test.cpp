// Pictures under Xvfb, written to TARNOVA_SCREENSHOT_DIR: the item context menu over a zip, and the
// icon view of a zip whose pictures show their thumbnails.
#include <QElapsedTimer>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include "Panel.h"
#include "extract_test_support.h"
#include "mainiconview.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "panel_fixture.h"
#include "test_support.h"

namespace {

using namespace testsupport;

const auto *g_env = ::testing::AddGlobalTestEnvironment(new panelfx::CPanelEnvironment);

void Settle(int ms = 400) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void WritePicture(const std::string &path, QColor a, QColor b, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(a);
    QPainter painter(&image);
    painter.setBrush(b);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRect(w / 4, h / 4, w / 2, h / 2));
    painter.end();
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG")) << path;
}

TEST(PanelMenuScreenshots, ContextMenuAndThumbnails) {
    TempFolder dir;
    const std::string root = dir / "照片";
    Sh("mkdir -p '" + root + "'");
    WritePicture(root + "/海边日落.png", QColor(250, 140, 40), QColor(255, 230, 90), 400, 260);
    WritePicture(root + "/森林.png", QColor(30, 120, 60), QColor(160, 220, 120), 200, 300);
    WritePicture(root + "/天空.png", QColor(60, 130, 230), Qt::white, 128, 128);
    WriteFile(root + "/说明.txt", "三张照片");
    ASSERT_EQ(Sh("cd '" + root + "' && zip -q ../相册.zip *.png 说明.txt"), 0);

    mainwindow window;
    ASSERT_TRUE(window.is_ok());
    window.resize(1000, 640);
    window.show();
    CPanel *panel = window.get_panel();
    ASSERT_EQ(panel->BindToPathAndRefresh(U(dir / "相册.zip")), S_OK);
    Settle();

    window.get_list_view()->selectRow(0);
    QMenu *menu = new QMenu(window.get_list_view());
    panel->CreateFileMenu(menu);
    menu->popup(window.get_list_view()->viewport()->mapToGlobal(QPoint(120, 40)));
    Settle();
    EXPECT_TRUE(menu->grab().save(apptest::ScreenshotPath("context_menu")));
    // The menu is a window of its own: the screen shows it over the list.
    const QRect frame = window.frameGeometry();
    EXPECT_TRUE(QGuiApplication::primaryScreen()
                    ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                    .save(apptest::ScreenshotPath("context_menu_window")));
    menu->close();
    delete menu;

    extracttest::CDialogScript script;
    window.findChild<QPushButton *>("btn_view")->click();
    ASSERT_TRUE(window.is_icon_mode());
    // The thumbnails arrive once the extraction behind its progress window has ended.
    auto extracted = [&] {
        QListWidget *view = window.get_icon_view();
        for (int r = 0; r < view->count(); r++) {
            if (!view->item(r)->text().endsWith(".png")) continue;
            if (!Exists(S(panel->get_temp_pic_file((int)view->item(r)->data(256).toUInt())))) return false;
        }
        return view->count() > 0;
    };
    ASSERT_TRUE(apptest::RunUntil(extracted, 15000));
    Settle(800);
    EXPECT_TRUE(window.grab().save(apptest::ScreenshotPath("icons_thumbnails")));
    EXPECT_EQ(script.Unexpected(), "");
}

} // namespace
