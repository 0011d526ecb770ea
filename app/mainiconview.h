#pragma once

// The icon view of the panel: a grid of large icons, with the same drag and drop as the table.
#include <QListWidget>

class mainwindow;

class mainiconview : public QListWidget {
    Q_OBJECT

public:
    mainiconview(mainwindow *main, QWidget *parent);
    ~mainiconview() override = default;

    void init_ctrl();
    void start_drag();

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
