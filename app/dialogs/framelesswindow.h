#pragma once

// A dialog without the window manager's frame: dragged by any free point, and, when asked,
// resized at a thin border with size cursors.
#include <QDialog>
#include <QPoint>
#include <QPointer>

class QMouseEvent;
class QWindow;

class framelesswindow : public QDialog {
    Q_OBJECT

public:
    explicit framelesswindow(QWidget *parent = nullptr);

    void init_frameless(bool movable, bool resizable);

    bool eventFilter(QObject *watched, QEvent *event) override;

    void move_event(QMouseEvent *event);
    bool resize_event(QMouseEvent *event);
    void resize_hit(const QPoint &global);
    void resize_move(const QPoint &global);

    int get_hit_zone() const { return hit_zone; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void TakeRealPosition(QEvent *event);

    QPointer<QWindow> watched_window;
    bool resizable = true;
    bool resizing = false;
    int hit_zone = 8;
    int border_width = 5;
    bool movable = true;
    bool dragging = false;
    QPoint drag_offset;
};
