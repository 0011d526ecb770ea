#pragma once

// What both item views do with the mouse and with drops, in one place.
#include <QDropEvent>
#include <QMouseEvent>

class mainwindow;
class QAbstractItemView;

namespace view_drag_drop {
// True when the left button moved far enough from the press position to start a drag.
bool drag_distance_reached(QMouseEvent *event, int pressX, int pressY);
// Accepts a drag that carries file URLs and comes from elsewhere than the view itself.
void drag_enter(QAbstractItemView *view, QDragEnterEvent *event);
// Hands the local paths of the dropped URLs to the main window.
void drop(mainwindow *main, QDropEvent *event);
} // namespace view_drag_drop
