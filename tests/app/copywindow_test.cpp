// The copy-to dialog: what it shows from the record and what it gives back.
#include <QComboBox>
#include <QLabel>

#include "app_test_support.h"
#include "copywindow.h"
#include "dialogcodes.h"
#include "mainwindow.h"

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

std::shared_ptr<copy_info> Record(const wchar_t *value, std::initializer_list<const wchar_t *> history) {
    auto info = std::make_shared<copy_info>();
    info->title = L"复制文件";
    info->prompt = L"复制到：";
    info->value = value;
    info->info = L"2 个文件";
    for (const wchar_t *h : history)
        info->history.Add(UString(h));
    return info;
}

QString Q(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

class CopyWindow : public ::testing::Test {
protected:
    mainwindow main;
};

TEST_F(CopyWindow, ShowsTheRecordAndOkKeepsTheProposedDestination) {
    auto info = Record(L"c:/home/u/资料/", {L"/tmp/a/", L"/tmp/b/"});
    QStringList items;
    QString title, prompt, shownInfo, edit;
    apptest::AnswerModal([&](QWidget *d) {
        auto *combo = d->findChild<QComboBox *>("comboBox_path");
        for (int i = 0; i < combo->count(); i++)
            items << combo->itemText(i);
        edit = combo->currentText();
        title = d->findChild<QLabel *>("label_title")->text();
        prompt = d->findChild<QLabel *>("label_static")->text();
        shownInfo = d->findChild<QLabel *>("label_info")->text();
        apptest::Click(d, "pushButton_ok");
    });
    EXPECT_EQ(show_copywindow(info), dialog_result::ok);
    EXPECT_EQ(items, QStringList({"/tmp/a/", "/tmp/b/"}));
    EXPECT_EQ(edit, QString::fromUtf8("/home/u/资料/"));
    EXPECT_EQ(Q(info->value), QString::fromUtf8("/home/u/资料/"));
    EXPECT_EQ(title, QString::fromUtf8("复制文件"));
    EXPECT_EQ(prompt, QString::fromUtf8("复制到："));
    EXPECT_EQ(shownInfo, QString::fromUtf8("2 个文件"));
}

TEST_F(CopyWindow, TypedDestinationIsReturnedAndCloseIsNoOk) {
    auto info = Record(L"/home/u/", {});
    apptest::AnswerModal([](QWidget *d) {
        auto *combo = d->findChild<QComboBox *>("comboBox_path");
        EXPECT_EQ(combo->count(), 0);
        combo->setEditText(QString::fromUtf8("/tmp/目标 文件夹"));
        apptest::Click(d, "pushButton_ok");
    });
    EXPECT_EQ(show_copywindow(info), dialog_result::ok);
    EXPECT_EQ(Q(info->value), QString::fromUtf8("/tmp/目标 文件夹"));

    auto closed = Record(L"/home/u/", {});
    apptest::AnswerModal(apptest::Answer("btn_close"));
    EXPECT_EQ(show_copywindow(closed), dialog_result::closed);
    apptest::AnswerModal(apptest::Answer("escape"));
    EXPECT_NE(show_copywindow(closed), dialog_result::ok);
}

} // namespace
