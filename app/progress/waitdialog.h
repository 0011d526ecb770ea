#pragma once

// The invisible dialog whose nested event loop lasts as long as one operation; event 1033 ends it.
#include <QDialog>

class waitdialog : public QDialog {
    Q_OBJECT

public:
    explicit waitdialog(QWidget *parent = nullptr);

    // Runs the loop unless event 1033 came first.
    void run();

protected:
    bool event(QEvent *event) override;
    // Only the end of the operation ends the loop (its close comes here too), never a stray Escape.
    void reject() override {
        if (ended) QDialog::reject();
    }

private:
    bool ended = false;
};
