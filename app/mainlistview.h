#pragma once

// The detail view of the panel: one row per item, one column per visible property. It starts a
// drag of the selected items and takes file URLs dropped from other programs.
#include <QTableWidget>

class mainwindow;

class mainlistview : public QTableWidget {
    Q_OBJECT

public:
    mainlistview(mainwindow *main, QWidget *parent);
    ~mainlistview() override = default;

    void init_ctrl();
    void start_drag();
    // The width the column needs for the rows now on screen.
    int content_width(int column) const { return sizeHintForColumn(column); }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    mainwindow *main_win;
    int press_x = 0;
    int press_y = 0;
};
