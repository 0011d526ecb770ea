#include "mainiconview.h"

#include <QMimeData>

#include "ViewDragDrop.h"
#include "mainwindow.h"

mainiconview::mainiconview(mainwindow *main, QWidget *parent) : QListWidget(parent), main_win(main) {
    init_ctrl();
}

void mainiconview::init_ctrl() {
    setViewMode(QListView::IconMode);
    setSpacing(5);
    setResizeMode(QListView::Adjust);
    setFlow(QListView::LeftToRight);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragEnabled(true);
    setDropIndicatorShown(true);
    setIconSize(QSize(64, 64));
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setWordWrap(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void mainiconview::start_drag() {
    if (main_win) main_win->on_drag_files();
}

void mainiconview::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) {
        press_x = event->pos().x();
        press_y = event->pos().y();
    }
    QListWidget::mousePressEvent(event);
}

void mainiconview::mouseMoveEvent(QMouseEvent *event) {
    if (view_drag_drop::drag_distance_reached(event, press_x, press_y)) {
        start_drag();
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void mainiconview::dragEnterEvent(QDragEnterEvent *event) {
    view_drag_drop::drag_enter(this, event);
}

void mainiconview::dragMoveEvent(QDragMoveEvent *event) {
    if (event->source() != this && event->mimeData()->hasFormat("text/uri-list")) event->acceptProposedAction();
}

void mainiconview::dropEvent(QDropEvent *event) {
    view_drag_drop::drop(main_win, event);
}
