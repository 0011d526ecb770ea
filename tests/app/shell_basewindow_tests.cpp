// The frameless dialog base: dragging and resizing, the modal run and its result, closing from
// outside, button skins and nine-slice painting.
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "app_test_support.h"
#include "basewindow.h"
#include "dialogcodes.h"
#include "messagebox.h"
#include "qt_helper.h"

namespace {

// A 200 x 150 window at (100, 100) whose whole area is one child label.
struct CFramedWindow {
    framelesswindow window;
    QLabel *label;
    explicit CFramedWindow(bool resizable) {
        QVBoxLayout *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        label = new QLabel("content", &window);
        layout->addWidget(label);
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.setMinimumSize(100, 80);
        window.setGeometry(100, 100, 200, 150);
        window.init_frameless(true, resizable);
        window.show();
        apptest::RunUntil([&] { return window.isVisible(); });
    }
    // Sends a mouse event to the label with the cursor at a global point; true when consumed.
    bool Mouse(QEvent::Type type, QPoint global) {
        QCursor::setPos(global);
        QMouseEvent event(type, label->mapFromGlobal(global), global, Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        return window.eventFilter(label, &event);
    }
};

TEST(FramelessWindow, BorderBandsGiveZonesAndCursors) {
    CFramedWindow w(true);
    // Left 100..105, right 294..299, top 100..105, bottom 244..249, all inclusive.
    struct Case {
        QPoint at;
        int zone;
        Qt::CursorShape cursor;
    } cases[] = {
        {{100, 100}, 3, Qt::SizeFDiagCursor}, {{299, 249}, 7, Qt::SizeFDiagCursor},
        {{299, 105}, 4, Qt::SizeBDiagCursor}, {{105, 244}, 6, Qt::SizeBDiagCursor},
        {{105, 150}, 0, Qt::SizeHorCursor},   {{294, 150}, 1, Qt::SizeHorCursor},
        {{200, 100}, 2, Qt::SizeVerCursor},   {{200, 249}, 5, Qt::SizeVerCursor},
        {{106, 150}, 8, Qt::ArrowCursor},     {{200, 243}, 8, Qt::ArrowCursor},
    };
    for (const Case &c : cases) {
        w.window.resize_hit(c.at);
        EXPECT_EQ(w.window.get_hit_zone(), c.zone) << c.at.x() << "," << c.at.y();
        EXPECT_EQ(w.window.cursor().shape(), c.cursor) << c.at.x() << "," << c.at.y();
    }
}

TEST(FramelessWindow, PressInABorderBandThenMovesResizeAndAreConsumed) {
    CFramedWindow w(true);
    EXPECT_FALSE(w.Mouse(QEvent::MouseMove, {299, 150})); // hover sets the zone
    EXPECT_FALSE(w.Mouse(QEvent::MouseButtonPress, {299, 150}));
    EXPECT_TRUE(w.Mouse(QEvent::MouseMove, {341, 160}));
    EXPECT_EQ(w.window.geometry(), QRect(QPoint(100, 100), QPoint(340, 249)));
    EXPECT_FALSE(w.Mouse(QEvent::MouseButtonRelease, {341, 160}));
    EXPECT_EQ(w.window.get_hit_zone(), 8);

    // A press inside neither resizes nor swallows the moves.
    EXPECT_FALSE(w.Mouse(QEvent::MouseMove, {200, 170}));
    EXPECT_FALSE(w.Mouse(QEvent::MouseButtonPress, {200, 170}));
    EXPECT_FALSE(w.Mouse(QEvent::MouseMove, {260, 200}));
    EXPECT_EQ(w.window.geometry(), QRect(QPoint(100, 100), QPoint(340, 249)));
}

TEST(FramelessWindow, LeftEdgeStopsAtTheMinimumWidth) {
    CFramedWindow w(true);
    w.window.resize_hit({100, 150});
    ASSERT_EQ(w.window.get_hit_zone(), 0);
    w.window.resize_move({150, 150}); // 299 - 150 = 149 > 100: moves
    EXPECT_EQ(w.window.geometry().left(), 150);
    w.window.resize_move({199, 150}); // 299 - 199 = 100: not above the minimum, stays
    EXPECT_EQ(w.window.geometry().left(), 150);
    EXPECT_EQ(w.window.geometry().right(), 299);
}

TEST(FramelessWindow, WithoutResizingNoFilterAndWithoutMovingNoDrag) {
    CFramedWindow w(false);
    EXPECT_FALSE(w.Mouse(QEvent::MouseMove, {299, 150}));
    EXPECT_FALSE(w.Mouse(QEvent::MouseButtonPress, {299, 150}));
    EXPECT_FALSE(w.Mouse(QEvent::MouseMove, {340, 150}));
    EXPECT_EQ(w.window.geometry(), QRect(100, 100, 200, 150));

    // Dragging by the background moves the window; with moving off it stays.
    auto drag = [&](QPoint from, QPoint to) {
        QMouseEvent press(QEvent::MouseButtonPress, w.window.mapFromGlobal(from), from, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent move(QEvent::MouseMove, w.window.mapFromGlobal(to), to, Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, w.window.mapFromGlobal(to), to, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        w.window.move_event(&press);
        w.window.move_event(&move);
        w.window.move_event(&release);
    };
    drag({150, 150}, {180, 170});
    EXPECT_EQ(w.window.geometry().topLeft(), QPoint(130, 120));
    w.window.init_frameless(false, false);
    drag({150, 150}, {250, 250});
    EXPECT_EQ(w.window.geometry().topLeft(), QPoint(130, 120));
}

// A window manager placed the window at (400, 300) while Qt still believes (100, 100): the first
// press tells the real place, and the first drag moves from there instead of jumping.
TEST(FramelessWindow, FirstPressTakesThePlaceTheWindowManagerChose) {
    CFramedWindow w(false);
    QWindow *handle = w.window.windowHandle();
    ASSERT_NE(handle, nullptr);
    auto send = [&](QEvent::Type type, QPoint inWindow, QPoint screen) {
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, inWindow, inWindow, screen, Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(handle, &event);
    };
    send(QEvent::MouseButtonPress, {50, 50}, {450, 350});
    EXPECT_EQ(w.window.geometry().topLeft(), QPoint(400, 300));
    EXPECT_EQ(w.window.mapToGlobal(QPoint(0, 0)), QPoint(400, 300)); // where popups are placed
    send(QEvent::MouseMove, {70, 60}, {470, 360});
    EXPECT_EQ(w.window.geometry().topLeft(), QPoint(420, 310));
    send(QEvent::MouseButtonRelease, {50, 50}, {470, 360});
    EXPECT_EQ(w.window.geometry().topLeft(), QPoint(420, 310));
}

// The results are read after the dialog has deleted itself; under AddressSanitizer a read of
// the deleted object fails here.
TEST(BaseWindow, ResultSurvivesTheDeletedDialog) {
    struct Case {
        const char *answer;
        int result;
    } cases[] = {
        {"pushButton_ok", dialog_result::ok}, {"btn_close", dialog_result::closed}, {"escape", dialog_result::cancel}};
    for (const Case &c : cases) {
        QPointer<QWidget> seen;
        apptest::AnswerModal([&](QWidget *dialog) {
            seen = dialog;
            apptest::Answer(c.answer)(dialog);
        });
        EXPECT_EQ(messagebox::show(nullptr, L"text", L"caption", 0), c.result) << c.answer;
        EXPECT_TRUE(apptest::RunUntil([&] { return seen.isNull(); })) << c.answer;
    }
}

TEST(BaseWindow, CloseEventEndsTheDialogAndTheDialogsItOpened) {
    int inner = -1;
    QPointer<QWidget> outer;
    apptest::AnswerModal([&](QWidget *dialog) {
        outer = dialog;
        QTimer::singleShot(50, [&] {
            QEvent close(custom_event::close_dialog);
            if (outer) QCoreApplication::sendEvent(outer, &close);
        });
        inner = messagebox::show(dialog, L"inner", L"inner", 0);
    });
    EXPECT_EQ(messagebox::show(nullptr, L"outer", L"outer", 0), dialog_result::closed);
    EXPECT_EQ(inner, dialog_result::closed);
    EXPECT_TRUE(apptest::RunUntil([&] { return outer.isNull(); }));
}

TEST(QtHelper, SkinsNeedAButtonAndAName) {
    QPushButton push;
    QToolButton tool;
    push.setStyleSheet("color: red;");
    EXPECT_FALSE(qt_helper::set_btn_state_image(&push, ""));
    EXPECT_FALSE(qt_helper::set_btn_state_image(static_cast<QPushButton *>(nullptr), "x"));
    EXPECT_FALSE(qt_helper::set_btn_state_image(static_cast<QToolButton *>(nullptr), "x"));
    EXPECT_FALSE(qt_helper::set_btn_blue_lnk(nullptr));
    EXPECT_EQ(push.styleSheet(), QString("color: red;"));

    ASSERT_TRUE(qt_helper::set_btn_state_image(&push, "button_mid_size"));
    ASSERT_TRUE(qt_helper::set_btn_state_image(&tool, "toolbar"));
    for (const char *state : {"normal.png", "hover.png", "pressed.png", "disabled.png"}) {
        EXPECT_TRUE(push.styleSheet().startsWith("QPushButton{") &&
                    push.styleSheet().contains(QString(":/image/button_mid_size_") + state));
        EXPECT_TRUE(tool.styleSheet().startsWith("QToolButton{") &&
                    tool.styleSheet().contains(QString(":/image/toolbar_") + state));
    }
}

TEST(QtHelper, NinePatchKeepsCornersAndStretchesTheRest) {
    // 18 x 115: each 3 x 3 corner and each edge in its own colour, the centre grey.
    QImage source(18, 115, QImage::Format_ARGB32);
    source.fill(Qt::gray);
    const QColor tl(Qt::red), tr(Qt::green), bl(Qt::blue), br(Qt::yellow), top(Qt::cyan), bottom(Qt::magenta);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 18; x++) {
            source.setPixelColor(x, y, x < 3 ? tl : x >= 15 ? tr : top);
            source.setPixelColor(x, 114 - y, x < 3 ? bl : x >= 15 ? br : bottom);
        }
    source.setPixelColor(1, 1, Qt::black); // a mark that scaling would move
    QPixmap pixmap = QPixmap::fromImage(source);

    QImage target(400, 300, QImage::Format_ARGB32);
    target.fill(Qt::white);
    {
        QPainter painter(&target);
        qt_helper::nine_patch(painter, pixmap, 3, 3, 400, 300);
    }
    EXPECT_EQ(target.pixelColor(1, 1), QColor(Qt::black));
    EXPECT_EQ(target.pixelColor(0, 0), tl);
    EXPECT_EQ(target.pixelColor(2, 2), tl);
    EXPECT_EQ(target.pixelColor(3, 2), top);
    EXPECT_EQ(target.pixelColor(396, 2), top);
    EXPECT_EQ(target.pixelColor(397, 0), tr);
    EXPECT_EQ(target.pixelColor(0, 297), bl);
    EXPECT_EQ(target.pixelColor(399, 299), br);
    EXPECT_EQ(target.pixelColor(200, 298), bottom);
    EXPECT_EQ(target.pixelColor(200, 150), QColor(Qt::gray));
}

} // namespace
