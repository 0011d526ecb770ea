#pragma once

// The base of every modal dialog: keeps the result code, runs the dialog modally (domodol), ends
// it with a code (exit), closes itself and its child dialogs on event 1035, paints the background.
#include "framelesswindow.h"

class basewindow : public framelesswindow {
    Q_OBJECT

public:
    explicit basewindow(QWidget *parent = nullptr);
    ~basewindow() override;

    virtual void init_window();
    // Sets the dialog up and runs it modally; returns the result code. A dialog marked
    // delete-on-close is gone when this returns.
    virtual int domodol();
    virtual void exit(int code);

    int get_result_code() const { return result_code; }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

    int result_code;

private:
    // While domodol runs: where the result goes, so that it survives the dialog's deletion.
    int *result_sink = nullptr;
};
