#include "mainlistview.h"

#include <QHelpEvent>
#include <QHeaderView>
#include <QStyle>
#include <QToolTip>

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

bool mainlistview::viewportEvent(QEvent *event) {
    if (event->type() != QEvent::ToolTip) return CFileDragDropView<QTableWidget>::viewportEvent(event);
    const QHelpEvent *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString text = index.isValid() ? index.data(Qt::DisplayRole).toString() : QString();
    const QRect rect = visualRect(index);
    // The icon, its gap and the cell's margins come off the room the text has.
    const int iconWidth = iconSize().isValid() ? iconSize().width() : style()->pixelMetric(QStyle::PM_SmallIconSize);
    const int icon = index.data(Qt::DecorationRole).isNull() ? 0 : iconWidth + 8;
    const int room = rect.width() - icon - 8;
    if (!text.isEmpty() && fontMetrics().horizontalAdvance(text) > room)
        QToolTip::showText(help->globalPos(), text, viewport(), rect);
    else
        QToolTip::hideText();
    return true;
}
