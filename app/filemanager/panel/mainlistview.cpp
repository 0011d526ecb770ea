#include "mainlistview.h"

#include <QHeaderView>

#include <QMimeData>

#include "ViewDragDrop.h"
#include "Panel.h"
#include "PanelHost.h"

mainlistview::mainlistview(CPanelHost *main, QWidget *parent) : CFileDragDropView<QTableWidget>(main, parent) {
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
    // Sorting follows the folder's own order for the clicked column (numbers as numbers), done
    // by the panel; the widget's text sorting stays off.
    setSortingEnabled(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragEnabled(true);
    setDropIndicatorShown(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
}

void mainlistview::paintEvent(QPaintEvent *event) {
    // Cells are made as their rows come into view.
    if (main_win && main_win->get_panel() && rowCount() > 0) {
        const int first = rowAt(0);
        int last = rowAt(viewport()->height() - 1);
        if (last < 0) last = rowCount() - 1;
        if (first >= 0) main_win->get_panel()->FillCells(first, last);
    }
    QTableWidget::paintEvent(event);
}
