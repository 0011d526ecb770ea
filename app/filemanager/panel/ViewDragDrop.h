#pragma once

// What both item views do with the mouse and with drops, in one place: a drag of the selected
// items starts when the left button has moved far enough, and file URLs dropped from elsewhere go
// to the panel's window.
#include <QDropEvent>
#include <QMouseEvent>

class CPanelHost;
class QAbstractItemView;

namespace view_drag_drop {
// True when the left button moved far enough from the press position to start a drag.
bool drag_distance_reached(QMouseEvent *event, int pressX, int pressY);
// Accepts a drag that carries file URLs and comes from elsewhere than the view itself.
void drag_enter(QAbstractItemView *view, QDragEnterEvent *event);
void drag_move(QAbstractItemView *view, QDragMoveEvent *event);
// Hands the local paths of the dropped URLs to the panel's window.
void drop(CPanelHost *main, QDropEvent *event);
void start_drag(CPanelHost *main);
} // namespace view_drag_drop

// The drag and drop behaviour over either item view class.
template <class Base> class CFileDragDropView : public Base {
public:
    CFileDragDropView(CPanelHost *main, QWidget *parent) : Base(parent), main_win(main) {}

    void start_drag() { view_drag_drop::start_drag(main_win); }

protected:
    void mousePressEvent(QMouseEvent *event) override {
        if (event->button() == Qt::LeftButton) {
            press_x = event->pos().x();
            press_y = event->pos().y();
        }
        Base::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent *event) override {
        if (view_drag_drop::drag_distance_reached(event, press_x, press_y)) {
            start_drag();
            return;
        }
        Base::mouseMoveEvent(event);
    }
    void dragEnterEvent(QDragEnterEvent *event) override { view_drag_drop::drag_enter(this, event); }
    // Any place in the view means the shown folder.
    void dragMoveEvent(QDragMoveEvent *event) override { view_drag_drop::drag_move(this, event); }
    void dropEvent(QDropEvent *event) override { view_drag_drop::drop(main_win, event); }

    CPanelHost *main_win;
    int press_x = 0;
    int press_y = 0;
};
