// The main window's slots for the panel's copy and move.
#include "copywindow.h"
#include "mainwindow.h"

int mainwindow::get_copy_info(std::shared_ptr<copy_info> info) {
    return run_dialog(new copywindow(info, this), false);
}
