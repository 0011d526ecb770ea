#include "mainiconview.h"

#include <QMimeData>

#include "ViewDragDrop.h"
#include "PanelHost.h"

mainiconview::mainiconview(CPanelHost *main, QWidget *parent) : CFileDragDropView<QListWidget>(main, parent) {
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
