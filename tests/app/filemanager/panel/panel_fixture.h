#pragma once

// Shared by the browser-window tests: the program's start-up with the codec plug-in taken from
// the program's folder (the tests live elsewhere).
#include <QAbstractItemView>
#include <QCoreApplication>
#include <QListWidget>
#include <QTableWidget>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "Panel.h"
#include "app_test_support.h"
#include "archive/agent/Agent.h"
#include "mainiconview.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "module.h"
#include "test_support.h"

namespace panelfx {

inline void LoadPluginFromTheProgramFolder() {
    FreeGlobalCodecs();
    setenv("TARNOVA_HOME_DIR", TARNOVA_PLUGIN_DIR, 1);
    LoadGlobalCodecs();
}

// Runs the program's start-up with these words after the program's name and builds the window.
inline mainwindow *Start(const std::vector<std::string> &args) {
    std::vector<std::string> words = {"tarnova"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    _module.global_init((int)words.size(), argv.data());
    LoadPluginFromTheProgramFolder();
    return new mainwindow(nullptr);
}

class CPanelEnvironment : public apptest::CAppEnvironment {
public:
    void SetUp() override {
        setenv("LC_ALL", "C.UTF-8", 1);
        apptest::CAppEnvironment::SetUp();
        LoadPluginFromTheProgramFolder();
    }
};

// A fresh main window for each test, with its panel, a scratch folder, and rows found and
// selected by name in whichever view shows.
class CPanelWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        w = Start({});
        ASSERT_TRUE(w->is_ok());
        p = w->get_panel();
    }
    void TearDown() override {
        delete w;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void Bind(const std::string &path) {
        ASSERT_EQ(p->BindToPathAndRefresh(testsupport::U(path)), S_OK);
    }
    int Row(const std::string &name) {
        if (w->is_icon_mode()) {
            QListWidget *v = w->get_icon_view();
            for (int r = 0; r < v->count(); r++)
                if (v->item(r)->text().toStdString() == name) return r;
            return -1;
        }
        QTableWidget *t = w->get_list_view();
        for (int r = 0; r < t->rowCount(); r++)
            if (t->item(r, 0) && t->item(r, 0)->text().toStdString() == name) return r;
        return -1;
    }
    void Select(const std::vector<std::string> &names) {
        QAbstractItemView *v = w->is_icon_mode() ? static_cast<QAbstractItemView *>(w->get_icon_view())
                                                 : static_cast<QAbstractItemView *>(w->get_list_view());
        v->clearSelection();
        for (const std::string &n : names) {
            const int row = Row(n);
            ASSERT_GE(row, 0) << n;
            v->selectionModel()->select(v->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    testsupport::TempFolder dir;
    mainwindow *w = nullptr;
    CPanel *p = nullptr;
};

} // namespace panelfx
