#include "ViewDragDrop.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMimeData>
#include <QUrl>

#include "PanelHost.h"

namespace view_drag_drop {

bool drag_distance_reached(QMouseEvent *event, int pressX, int pressY) {
    if (!(event->buttons() & Qt::LeftButton)) return false;
    const int distance = qAbs(event->pos().x() - pressX) + qAbs(event->pos().y() - pressY);
    return distance >= QApplication::startDragDistance();
}

void drag_enter(QAbstractItemView *view, QDragEnterEvent *event) {
    if (event->source() == view) {
        event->ignore();
        return;
    }
    if (event->mimeData() && event->mimeData()->hasFormat("text/uri-list"))
        event->acceptProposedAction();
    else
        event->ignore();
}

void drag_move(QAbstractItemView *view, QDragMoveEvent *event) {
    if (event->source() != view && event->mimeData() && event->mimeData()->hasFormat("text/uri-list"))
        event->acceptProposedAction();
}

void start_drag(CPanelHost *main) {
    if (main) main->on_drag_files();
}

void drop(CPanelHost *main, QDropEvent *event) {
    const QMimeData *data = event->mimeData();
    if (!data || !main) return;
    UStringVector paths;
    for (const QUrl &url : data->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty()) continue;
        paths.Add(UString(path.toStdWString().c_str()));
    }
    const bool move = event->dropAction() == Qt::MoveAction;
    event->acceptProposedAction();
    main->on_drop_files(paths, move);
}

} // namespace view_drag_drop
