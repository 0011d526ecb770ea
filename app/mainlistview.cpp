#include "mainlistview.h"

#include <QHeaderView>

#include <QMimeData>

#include "ViewDragDrop.h"
#include "mainwindow.h"

mainlistview::mainlistview(mainwindow *main, QWidget *parent) : QTableWidget(parent), main_win(main) {
    init_ctrl();
}

void mainlistview::init_ctrl() {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(20);
    setFrameShape(QFrame::NoFrame);
    horizontalHeader()->setFixedHeight(20);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setDefaultSectionSize(120);
    horizontalHeader()->setMinimumSectionSize(120);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setProperty("showSortIndicator", true);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setShowGrid(false);
    setGridStyle(Qt::CustomDashLine);
    setSortingEnabled(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragEnabled(true);
    setDropIndicatorShown(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
}

void mainlistview::start_drag() {
    if (main_win) main_win->on_drag_files();
}

void mainlistview::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) {
        press_x = event->pos().x();
        press_y = event->pos().y();
    }
    QTableWidget::mousePressEvent(event);
}

void mainlistview::mouseMoveEvent(QMouseEvent *event) {
    if (view_drag_drop::drag_distance_reached(event, press_x, press_y)) {
        start_drag();
        return;
    }
    QTableWidget::mouseMoveEvent(event);
}

void mainlistview::dragEnterEvent(QDragEnterEvent *event) {
    view_drag_drop::drag_enter(this, event);
}

void mainlistview::dragMoveEvent(QDragMoveEvent *event) {
    // Any place in the view means the shown folder.
    if (event->source() != this && event->mimeData()->hasFormat("text/uri-list")) event->acceptProposedAction();
}

void mainlistview::dropEvent(QDropEvent *event) {
    view_drag_drop::drop(main_win, event);
}
