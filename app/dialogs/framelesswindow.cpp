#include "framelesswindow.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWindow>

namespace {

// Border zones: 0 left, 1 right, 2 top, 3 top-left, 4 top-right, 5 bottom, 6 bottom-left,
// 7 bottom-right, 8 inside.
const Qt::CursorShape kZoneCursors[9] = {Qt::SizeHorCursor,   Qt::SizeHorCursor,   Qt::SizeVerCursor,
                                         Qt::SizeFDiagCursor, Qt::SizeBDiagCursor, Qt::SizeVerCursor,
                                         Qt::SizeBDiagCursor, Qt::SizeFDiagCursor, Qt::ArrowCursor};

} // namespace

// The images live in the static library: referencing the initialiser keeps them linked in.
static void InitImageResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(tarnova);
        return true;
    }();
    (void)done;
}

framelesswindow::framelesswindow(QWidget *parent) : QDialog(parent) {
    InitImageResources();
    installEventFilter(this); // to find its window once it exists
}

// A window manager may place the window without telling Qt, which then believes it sits where it
// was asked for (or at 0,0): the first drag would jump, popups would open far from their button
// and a resize would send the window to the corner. Mouse events carry the real place: the
// screen position less the position in the window. Taken on a press or when the pointer enters,
// never while the window is being moved or resized by this code.
void framelesswindow::TakeRealPosition(QEvent *event) {
    if (dragging || resizing || !isWindow()) return;
    QPointF screen, inWindow;
    if (event->type() == QEvent::MouseButtonPress) {
        const QMouseEvent *me = static_cast<QMouseEvent *>(event);
        screen = me->screenPos();
        inWindow = me->windowPos();
    } else if (event->type() == QEvent::Enter) {
        const QEnterEvent *ee = static_cast<QEnterEvent *>(event);
        screen = ee->screenPos();
        inWindow = ee->windowPos();
    } else {
        return;
    }
    const QPoint real = (screen - inWindow).toPoint();
    if (real != geometry().topLeft()) move(real);
}

void framelesswindow::init_frameless(bool movable_, bool resizable_) {
    movable = movable_;
    resizable = resizable_;
    if (!resizable) return;
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (QWidget *child : children) {
        child->installEventFilter(this);
        child->setAttribute(Qt::WA_MouseTracking);
    }
}

bool framelesswindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == this) {
        // The window's events come before any widget sees them (a press on a menu button too).
        if (event->type() == QEvent::Show && windowHandle() && windowHandle() != watched_window) {
            watched_window = windowHandle();
            watched_window->installEventFilter(this);
        }
        return QDialog::eventFilter(watched, event);
    }
    if (watched_window && watched == watched_window) {
        TakeRealPosition(event);
        return false;
    }
    if (resizable) {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::MouseMove) {
            if (resize_event(static_cast<QMouseEvent *>(event))) return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void framelesswindow::mousePressEvent(QMouseEvent *event) {
    move_event(event);
}

void framelesswindow::mouseMoveEvent(QMouseEvent *event) {
    move_event(event);
}

void framelesswindow::mouseReleaseEvent(QMouseEvent *event) {
    move_event(event);
}

void framelesswindow::move_event(QMouseEvent *event) {
    if (!movable) return;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        dragging = true;
        // Where the press is in the window: right even before the window has moved once.
        drag_offset = event->windowPos().toPoint();
        break;
    case QEvent::MouseMove:
        if (dragging) move(event->globalPos() - drag_offset);
        break;
    case QEvent::MouseButtonRelease:
        dragging = false;
        drag_offset = QPoint(0, 0);
        break;
    default:
        break;
    }
}

bool framelesswindow::resize_event(QMouseEvent *event) {
    if (!resizable) return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        resizing = true;
        return false;
    case QEvent::MouseButtonRelease:
        resizing = false;
        hit_zone = 8;
        return false;
    case QEvent::MouseMove: {
        const QPoint global = QCursor::pos();
        if (!resizing) {
            resize_hit(global);
            return false;
        }
        if (hit_zone == 8) return false;
        resize_move(global);
        return true;
    }
    default:
        return false;
    }
}

void framelesswindow::resize_hit(const QPoint &global) {
    const QPoint topLeft = mapToGlobal(QPoint(0, 0));
    const QPoint bottomRight = mapToGlobal(QPoint(width() - 1, height() - 1));
    const int x = global.x(), y = global.y();
    const int b = border_width;
    const bool inLeft = topLeft.x() <= x && x <= topLeft.x() + b;
    const bool inRight = bottomRight.x() - b <= x && x <= bottomRight.x();
    const bool inTop = topLeft.y() <= y && y <= topLeft.y() + b;
    const bool inBottom = bottomRight.y() - b <= y && y <= bottomRight.y();

    if (inLeft && inTop)
        hit_zone = 3;
    else if (inRight && inBottom)
        hit_zone = 7;
    else if (inRight && inLeft)
        hit_zone = 0;
    else if (inRight && inTop)
        hit_zone = 4;
    else if (inRight)
        hit_zone = 1;
    else if (inLeft && inBottom)
        hit_zone = 6;
    else if (inLeft)
        hit_zone = 0;
    else if (inTop)
        hit_zone = 2;
    else if (inBottom)
        hit_zone = 5;
    else
        hit_zone = 8;
    setCursor(kZoneCursors[hit_zone]);
}

void framelesswindow::resize_move(const QPoint &global) {
    const QPoint topLeft = mapToGlobal(QPoint(0, 0));
    const QPoint bottomRight = mapToGlobal(QPoint(width() - 1, height() - 1));
    int left = topLeft.x(), top = topLeft.y(), right = bottomRight.x(), bottom = bottomRight.y();
    const int x = global.x(), y = global.y();

    auto moveLeft = [&] {
        if (right - x > minimumSize().width()) left = x;
    };
    auto moveTop = [&] {
        if (bottom - y > minimumSize().height()) top = y;
    };
    auto moveRight = [&] { right = x - 1; };
    auto moveBottom = [&] { bottom = y - 1; };

    switch (hit_zone) {
    case 0:
        moveLeft();
        break;
    case 1:
        moveRight();
        break;
    case 2:
        moveTop();
        break;
    case 3:
        moveLeft();
        moveTop();
        break;
    case 4:
        moveRight();
        moveTop();
        break;
    case 5:
        moveBottom();
        break;
    case 6:
        moveBottom();
        moveLeft();
        break;
    case 7:
        moveRight();
        moveBottom();
        break;
    default:
        return;
    }
    setGeometry(QRect(QPoint(left, top), QPoint(right, bottom)));
}
