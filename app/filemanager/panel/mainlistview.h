#pragma once

// The detail view of the panel: one row per item, one column per visible property. It starts a
// drag of the selected items and takes file URLs dropped from other programs.
#include <QTableWidget>

#include "ViewDragDrop.h"

class mainlistview : public CFileDragDropView<QTableWidget> {
    Q_OBJECT

public:
    mainlistview(CPanelHost *main, QWidget *parent);
    ~mainlistview() override = default;

    void init_ctrl();
    // The width the column needs for the rows now on screen.
    int content_width(int column) const { return sizeHintForColumn(column); }

protected:
    void paintEvent(QPaintEvent *event) override;
    // A cell whose text is cut shows the whole text in its tool tip.
    bool viewportEvent(QEvent *event) override;
};
