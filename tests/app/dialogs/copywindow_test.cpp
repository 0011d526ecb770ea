// The copy-to dialog: what it shows from the record and what it gives back.
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

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

// The panel's list of what is copied: counts, sizes, the folder and up to five items. Every line
// is shown, a long one elided in the middle, and the whole text is the tool tip.
TEST_F(CopyWindow, ShowsEveryLineOfTheItemsElided) {
    const std::wstring longName =
        L"/home/u/" + std::wstring(30, L'深') + L"/很长的文件夹名字/" + std::wstring(80, L'x');
    const std::wstring text = L"文件夹: 1    ( 4 096 字节 )\n文件: 6    ( 12 345 字节 )\n大小: 16 441 字节\n\n" +
                              longName + L"/\n  a.txt\n  b.txt\n  c.txt\n  docs/\n  e.txt\n  ...\n";
    auto info = Record(L"/tmp/", {});
    info->info = text.c_str();
    QString shown, tip;
    int labelWidth = 0, labelHeight = 0, widest = 0, needed = 0;
    bool fits = false;
    apptest::AnswerModal([&](QWidget *d) {
        QLabel *label = d->findChild<QLabel *>("label_info");
        shown = label->text();
        tip = label->toolTip();
        labelWidth = label->width();
        labelHeight = label->height();
        const QFontMetrics metrics(label->font());
        for (const QString &line : shown.split('\n'))
            widest = std::max(widest, metrics.horizontalAdvance(line));
        needed = metrics.lineSpacing() * shown.split('\n').size();
        fits = d->rect().contains(label->geometry().translated(label->parentWidget()->mapTo(d, QPoint(0, 0))));
        apptest::Click(d, "pushButton_ok");
    });
    EXPECT_EQ(show_copywindow(info), dialog_result::ok);
    const QStringList lines = shown.split('\n');
    ASSERT_EQ(lines.size(), 11) << shown.toStdString();
    EXPECT_EQ(lines[5], "  a.txt");
    EXPECT_EQ(lines[10], "  ...");
    EXPECT_TRUE(lines[4].startsWith("/home/u/")) << lines[4].toStdString();
    EXPECT_TRUE(lines[4].contains(QChar(0x2026))) << lines[4].toStdString();
    EXPECT_TRUE(lines[4].endsWith("xx/")) << lines[4].toStdString();
    EXPECT_LE(widest, labelWidth);
    EXPECT_GE(labelHeight, needed);
    EXPECT_TRUE(fits);
    EXPECT_EQ(tip, QString::fromStdWString(text));
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
