#pragma once

// The icon view of the panel: a grid of large icons, with the same drag and drop as the table.
#include <QListWidget>

#include "ViewDragDrop.h"

class mainiconview : public CFileDragDropView<QListWidget> {
    Q_OBJECT

public:
    mainiconview(CPanelHost *main, QWidget *parent);
    ~mainiconview() override = default;

    void init_ctrl();
};
