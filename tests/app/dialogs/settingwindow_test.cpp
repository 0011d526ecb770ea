#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "app_test_support.h"
#include "dialogcodes.h"
#include "setting_fixture.h"
#include "settingwindow.h"

using settingtest::ReadAll;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

template <typename T> T *Child(QWidget *w, const char *name) {
    T *c = w->findChild<T *>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
}

class SettingWindow : public settingtest::SettingsHome {
protected:
    void SetUp() override {
        SettingsHome::SetUp();
        // A stored table, so the dialog does not build and register the defaults.
        std::map<std::wstring, CExtPlugins> map;
        for (const wchar_t *ext : {L"7z", L"deb", L"rar", L"zip"}) {
            CExtPlugins &e = map[ext];
            e.ext = ext;
            e.assoc = e.DefaultAssoc = std::wstring(ext) != L"deb";
        }
        ASSERT_TRUE(options::instance().set_file_associate(map));
    }

    // Opens the dialog modally and runs the action on it; the action ends it with a button.
    int Run(const std::function<void(QWidget *)> &action) {
        apptest::AnswerModal(action);
        return (new settingwindow(nullptr))->domodol();
    }

    static QTableWidgetItem *Cell(QWidget *w, const QString &ext) {
        QTableWidget *t = w->findChild<QTableWidget *>("tableWidget_associate");
        for (int r = 0; r < t->rowCount(); r++)
            for (int c = 0; c < t->columnCount(); c++)
                if (t->item(r, c) && t->item(r, c)->text() == ext) return t->item(r, c);
        return nullptr;
    }

    // A click on the cell's text, as a user makes it.
    static void ClickText(QWidget *w, const QString &ext) {
        QTableWidget *t = w->findChild<QTableWidget *>("tableWidget_associate");
        QTableWidgetItem *item = Cell(w, ext);
        ASSERT_NE(item, nullptr);
        const QRect r = t->visualItemRect(item);
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(r.right() - 4, r.center().y()));
    }
};

TEST_F(SettingWindow, ChangedValuesAreKeptAndShownOnReopen) {
    const int first = Run([](QWidget *w) {
        EXPECT_TRUE(Child<QCheckBox>(w, "checkBox_history_folder")->isChecked());
        EXPECT_TRUE(Child<QRadioButton>(w, "radioButton_sys_temp")->isChecked());
        EXPECT_FALSE(Child<QLineEdit>(w, "lineEdit_path")->isEnabled());
        EXPECT_FALSE(Child<QPushButton>(w, "btn_applicate")->isVisible());
        Child<QCheckBox>(w, "checkBox_history_folder")->click();
        Child<QCheckBox>(w, "checkBox_improve")->click();
        Child<QRadioButton>(w, "radioButton_custom")->click();
        EXPECT_TRUE(Child<QLineEdit>(w, "lineEdit_path")->isEnabled());
        EXPECT_TRUE(Child<QPushButton>(w, "btn_browser")->isEnabled());
        Child<QLineEdit>(w, "lineEdit_path")->setText("/data/工作");
        apptest::Click(w, "btn_ok");
    });
    EXPECT_EQ(first, dialog_result::ok);

    options::instance().close();
    const int second = Run([](QWidget *w) {
        EXPECT_FALSE(Child<QCheckBox>(w, "checkBox_history_folder")->isChecked());
        EXPECT_FALSE(Child<QCheckBox>(w, "checkBox_improve")->isChecked());
        EXPECT_TRUE(Child<QRadioButton>(w, "radioButton_custom")->isChecked());
        EXPECT_EQ(Child<QLineEdit>(w, "lineEdit_path")->text(), QString("/data/工作"));
        // Another mode greys the path out, and OK keeps the stored path.
        Child<QRadioButton>(w, "radioButton_current")->click();
        EXPECT_FALSE(Child<QLineEdit>(w, "lineEdit_path")->isEnabled());
        EXPECT_FALSE(Child<QPushButton>(w, "btn_browser")->isEnabled());
        apptest::Click(w, "btn_ok");
    });
    EXPECT_EQ(second, dialog_result::ok);

    NWorkDir::CInfo workDir;
    ASSERT_TRUE(workDir.Load());
    EXPECT_EQ(workDir.WorkDirType, NWorkDir::kWorkDirArchiveFolder);
    EXPECT_STREQ(workDir.WorkDirPath.Ptr(), L"/data/工作");
    EXPECT_TRUE(XdgCalls(0).empty());
}

TEST_F(SettingWindow, CancelAndCloseWriteNothing) {
    const struct {
        const char *button;
        int code;
    } cases[] = {{"btn_cancle", dialog_result::cancel}, {"btn_close", dialog_result::closed}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.button);
        const int result = Run([&](QWidget *w) {
            Child<QCheckBox>(w, "checkBox_history_folder")->click();
            Child<QRadioButton>(w, "radioButton_custom")->click();
            Child<QCheckBox>(w, "checkBox_all")->click();
            apptest::Click(w, c.button);
        });
        EXPECT_EQ(result, c.code);
        bool history = false;
        ASSERT_TRUE(options::instance().get_history_folder(history, true));
        EXPECT_TRUE(history);
        NWorkDir::CInfo workDir;
        ASSERT_TRUE(workDir.Load());
        EXPECT_EQ(workDir.WorkDirType, NWorkDir::kWorkDirSystemTemp);
    }
    EXPECT_TRUE(XdgCalls(0).empty());
}

TEST_F(SettingWindow, AssociationTabTogglesOnceAndMarksOnlyRealChanges) {
    // Back and forth on one extension, all on, then the defaults again: nothing changed in the end.
    Run([](QWidget *w) {
        QCheckBox *all = Child<QCheckBox>(w, "checkBox_all");
        ASSERT_NE(Cell(w, "deb"), nullptr);
        EXPECT_EQ(Cell(w, "deb")->checkState(), Qt::Unchecked);
        EXPECT_EQ(Cell(w, "zip")->checkState(), Qt::Checked);
        EXPECT_EQ(all->checkState(), Qt::PartiallyChecked);
        ClickText(w, "deb");
        EXPECT_EQ(Cell(w, "deb")->checkState(), Qt::Checked);
        EXPECT_EQ(all->checkState(), Qt::Checked);
        ClickText(w, "deb");
        EXPECT_EQ(Cell(w, "deb")->checkState(), Qt::Unchecked);
        EXPECT_EQ(all->checkState(), Qt::PartiallyChecked);
        all->click();
        EXPECT_EQ(Cell(w, "deb")->checkState(), Qt::Checked);
        EXPECT_EQ(all->checkState(), Qt::Checked);
        ClickText(w, "zip");
        Child<QPushButton>(w, "btn_associate_recover")->click();
        EXPECT_EQ(Cell(w, "deb")->checkState(), Qt::Unchecked);
        EXPECT_EQ(Cell(w, "zip")->checkState(), Qt::Checked);
        apptest::Click(w, "btn_ok");
    });
    EXPECT_TRUE(XdgCalls(0).empty());

    // A real change: all off except what the user turns back on.
    Run([](QWidget *w) {
        QCheckBox *all = Child<QCheckBox>(w, "checkBox_all");
        all->click(); // partially checked: checks all
        all->click(); // checked: unchecks all
        EXPECT_EQ(all->checkState(), Qt::Unchecked);
        ClickText(w, "zip");
        apptest::Click(w, "btn_ok");
    });
    std::map<std::wstring, CExtPlugins> stored;
    ASSERT_TRUE(options::instance().get_file_associate(stored));
    EXPECT_TRUE(stored[L"zip"].assoc);
    EXPECT_FALSE(stored[L"7z"].assoc);
    EXPECT_FALSE(stored[L"rar"].assoc);
    EXPECT_FALSE(stored[L"deb"].assoc);
    EXPECT_TRUE(stored[L"7z"].DefaultAssoc);
    // Turning off runs no xdg-mime, and zip ended where it started.
    EXPECT_TRUE(XdgCalls(0).empty());
}

} // namespace
