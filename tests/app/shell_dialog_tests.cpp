// Message boxes and the one-line input dialog, reached through the main window's slots from the
// GUI thread and from worker threads.
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>

#include <thread>

#include "aboutwindow.h"
#include "app_test_support.h"
#include "combowindow.h"
#include "dialogcodes.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "test_support.h"

using testsupport::S;
using testsupport::U;

namespace {

// Runs the call on a worker thread while the GUI thread keeps its events going.
int OnWorker(const std::function<int()> &call) {
    std::atomic<bool> done{false};
    int result = -1;
    std::thread worker([&] {
        result = call();
        done = true;
    });
    EXPECT_TRUE(apptest::RunUntil([&] { return done.load(); }, 10000));
    worker.join();
    return result;
}

int OnThread(bool worker, const std::function<int()> &call) {
    return worker ? OnWorker(call) : call();
}

class DialogEntry : public ::testing::TestWithParam<bool> {
protected:
    mainwindow window;
};

// Each answer of each entry, from the GUI thread and from a worker; the dialog must really
// have opened (a call that did not run would read as 5101 too).
TEST_P(DialogEntry, MessageBoxAnswers) {
    struct Case {
        int flags;
        const char *answer;
        int result;
    } cases[] = {{0, "pushButton_ok", dialog_result::ok},
                 {0x1A, "pushButton_no", dialog_result::no},
                 {0x1A, "pushButton_cancle", dialog_result::cancel},
                 {516, "btn_close", dialog_result::closed},
                 {0x414, "escape", dialog_result::cancel}};
    for (const Case &c : cases) {
        bool opened = false;
        apptest::AnswerModal([&](QWidget *dialog) {
            opened = dialog->findChild<QLabel *>("label_message")->text() == "问题";
            apptest::Answer(c.answer)(dialog);
        });
        const int result = OnThread(GetParam(), [&] { return MessageBoxW(nullptr, L"问题", L"Tarnova", c.flags); });
        EXPECT_TRUE(opened) << c.answer;
        EXPECT_EQ(result, c.result) << c.answer;
    }
}

TEST_P(DialogEntry, ErrorMessageFamilyShowsErrorBoxes) {
    for (int which = 0; which < 4; which++) {
        QString shown;
        apptest::AnswerModal([&](QWidget *dialog) {
            shown = dialog->findChild<QLabel *>("label_title")->text() + "|" +
                    dialog->findChild<QLabel *>("label_message")->toolTip();
            apptest::Click(dialog, "pushButton_ok");
        });
        const int result = OnThread(GetParam(), [&] {
            switch (which) {
            case 0:
                return ShowErrorMessage(nullptr, L"坏了");
            case 1:
                return ShowErrorMessageHwndRes(nullptr, L"坏了");
            case 2:
                return ShowErrorMessageRes(L"坏了");
            default:
                return ShowErrorMessageDWORD(nullptr, 267);
            }
        });
        EXPECT_EQ(result, dialog_result::ok);
        EXPECT_EQ(shown, which < 3 ? QString("Tarnova|坏了") : QString("Tarnova|错误的目录")) << which;
    }
}

TEST_P(DialogEntry, InputDialogAnswers) {
    struct Case {
        const char *answer;
        const char *typed; // null: leave the field as it is
        int result;
        const char *value;
    } cases[] = {{"pushButton_ok", "新建文件夹 (2)", dialog_result::ok, "新建文件夹 (2)"},
                 {"pushButton_ok", "", dialog_result::ok, ""},
                 {"pushButton_ok", nullptr, dialog_result::ok, "新建文件夹"},
                 {"pushButton_cancle", "changed", dialog_result::cancel, "新建文件夹"},
                 {"btn_close", "changed", dialog_result::closed, "新建文件夹"},
                 {"escape", "changed", dialog_result::cancel, "新建文件夹"}};
    for (const Case &c : cases) {
        auto info = std::make_shared<combo_info>();
        info->title = U("新建文件夹");
        info->prompt = U("名称：");
        info->value = U("新建文件夹");
        QString title, prompt, initial;
        apptest::AnswerModal([&](QWidget *dialog) {
            title = dialog->findChild<QLabel *>("label_title")->text();
            prompt = dialog->findChild<QLabel *>("label_name")->text();
            QLineEdit *edit = dialog->findChild<QLineEdit *>("lineEdit_name");
            initial = edit->text();
            if (c.typed) edit->setText(QString::fromUtf8(c.typed));
            apptest::Answer(c.answer)(dialog);
        });
        EXPECT_EQ(OnThread(GetParam(), [&] { return show_combowindow(info); }), c.result) << c.answer;
        EXPECT_EQ(title, QString("新建文件夹"));
        EXPECT_EQ(prompt, QString("名称："));
        EXPECT_EQ(initial, QString("新建文件夹"));
        EXPECT_EQ(S(info->value), c.value) << c.answer;
    }
}

INSTANTIATE_TEST_SUITE_P(FromThread, DialogEntry, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return info.param ? "Worker" : "GuiThread";
                         });

TEST(DialogEntry, WithoutMainWindowCallsAnswerCancelAndShowNothing) {
    ASSERT_EQ(_module.get_mainwindow(), nullptr);
    auto info = std::make_shared<combo_info>();
    info->value = U("kept");
    for (bool worker : {false, true}) {
        EXPECT_EQ(OnThread(worker, [] { return MessageBoxW(nullptr, L"x", L"y", 0); }), dialog_result::cancel);
        EXPECT_EQ(OnThread(worker, [&] { return show_combowindow(info); }), dialog_result::cancel);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    EXPECT_EQ(S(info->value), "kept");
}

// Queued calls find argument types by name: every slot's parameter types must be registered.
TEST(DialogEntry, DialogSlotTypesAreRegistered) {
    mainwindow window;
    const QMetaObject &meta = mainwindow::staticMetaObject;
    int slotCount = 0;
    for (int i = meta.methodOffset(); i < meta.methodCount(); i++) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Public) continue;
        slotCount++;
        for (const QByteArray &type : method.parameterTypes())
            EXPECT_NE(QMetaType::type(type.constData()), (int)QMetaType::UnknownType)
                << method.methodSignature().constData() << ": " << type.constData();
    }
    EXPECT_GE(slotCount, 2);
}

TEST(MessageBox, FlagsChooseIconAndButtons) {
    struct Case {
        unsigned flags;
        const char *icon;
        const char *ok; // null: hidden
        bool no, cancel;
    } cases[] = {
        {0, "info", "确定", false, false},      {4, "info", "确定", false, false},
        {0x1A, "info", "是", true, true},       {0x200, "error", "确定", false, false},
        {0x204, "error", "确定", false, false}, {0x414, "question", "确定", false, true},
        {0x41A, "question", "是", true, true},  {0x10, "info", nullptr, false, true},
        {0x14, "info", "确定", false, true},    {0x18, "info", nullptr, true, true},
        {0x600, "error", "确定", false, false},
    };
    for (const Case &c : cases) {
        messagebox *box = new messagebox(nullptr, L"text", L"caption", c.flags);
        box->init_window();
        QPushButton *ok = box->findChild<QPushButton *>("pushButton_ok");
        EXPECT_EQ(!ok->isHidden(), c.ok != nullptr) << c.flags;
        if (c.ok) {
            EXPECT_EQ(ok->text(), QString::fromUtf8(c.ok)) << c.flags;
        }
        EXPECT_EQ(!box->findChild<QPushButton *>("pushButton_no")->isHidden(), c.no) << c.flags;
        EXPECT_EQ(!box->findChild<QPushButton *>("pushButton_cancle")->isHidden(), c.cancel) << c.flags;
        const QImage icon = box->findChild<QLabel *>("label_icon_message")->pixmap(Qt::ReturnByValue).toImage();
        EXPECT_EQ(icon, QImage(QString(":/image/msg_icon_%1.png").arg(c.icon)).convertToFormat(icon.format()))
            << c.flags;
        EXPECT_EQ(box->findChild<QLabel *>("label_title")->text(), QString("caption"));
        delete box;
    }
}

// The shown text is the message elided to one and a half label widths and wrapped inside the
// label, paths too; the tool tip holds it whole.
TEST(MessageBox, LongMessageLosesItsMiddleToFitTwoLinesWithTheWholeTextAsToolTip) {
    const std::wstring texts[] = {
        L"短消息",
        std::wstring(200, L'很'),
        L"Cannot open /home/user/Downloads/a_folder_with_a_long_name/another.folder-2024/archive-final.zip",
    };
    for (const std::wstring &text : texts) {
        messagebox *box = new messagebox(nullptr, text.c_str(), L"Tarnova", 0);
        box->init_window();
        QLabel *label = box->findChild<QLabel *>("label_message");
        const QString whole = QString::fromStdWString(text);
        const QFontMetrics metrics(label->font());
        const QString shown = label->text();
        EXPECT_EQ(label->width(), 230);
        EXPECT_EQ(label->toolTip(), whole);
        EXPECT_EQ(shown == whole, text.size() < 10);
        // The middle goes: the start of the message and the file name at its end stay.
        if (shown != whole) {
            const int cut = shown.indexOf(QChar(0x2026));
            ASSERT_GT(cut, 0) << shown.toStdString();
            EXPECT_TRUE(whole.startsWith(shown.left(cut)));
            EXPECT_TRUE(whole.endsWith(shown.mid(cut + 1)));
            EXPECT_GE(shown.size() - cut - 1, 3);
        }
        const QRect used = metrics.boundingRect(QRect(0, 0, 230, 1000), Qt::TextWordWrap, shown);
        EXPECT_LE(used.width(), 230) << shown.toStdString();
        EXPECT_LE(used.height(), std::max(label->height(), 2 * metrics.lineSpacing())) << shown.toStdString();
        if (shown != whole) {
            EXPECT_GT(used.height(), metrics.lineSpacing() + 1) << "both lines used: " << shown.toStdString();
        }
        delete box;
    }
}

// Names from archives and disks reach messages: markup in them is shown as typed, never rendered.
TEST(MessageBox, MarkupInTextsIsShownAsTyped) {
    messagebox *box = new messagebox(nullptr, L"无法打开 <b>a</b><img src=x>.zip", L"<i>t</i>", 0);
    box->init_window();
    for (const char *name : {"label_message", "label_title"}) {
        QLabel *label = box->findChild<QLabel *>(name);
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << name;
    }
    EXPECT_EQ(box->findChild<QLabel *>("label_title")->text(), QString("<i>t</i>"));
    delete box;
}

TEST(MessageBox, SingleOperationModeShowsBoxesForTheMainWindowWithoutParent) {
    mainwindow window;
    for (bool msgMode : {false, true}) {
        if (msgMode) window.init_msg_mode();
        QWidget *parent = reinterpret_cast<QWidget *>(1);
        apptest::AnswerModal([&](QWidget *dialog) {
            parent = dialog->parentWidget();
            apptest::Click(dialog, "pushButton_ok");
        });
        EXPECT_EQ(MessageBoxW(&window, L"x", L"Tarnova", 0), dialog_result::ok);
        EXPECT_EQ(parent, msgMode ? nullptr : &window);
    }
}

TEST(AboutWindow, ButtonsAndEscapeGiveTheirCodes) {
    struct Case {
        const char *answer;
        int result;
    } cases[] = {
        {"pushButton_ok", dialog_result::ok}, {"btn_close", dialog_result::closed}, {"escape", dialog_result::cancel}};
    for (const Case &c : cases) {
        QString message;
        apptest::AnswerModal([&](QWidget *dialog) {
            message = dialog->findChild<QLabel *>("label_message")->text();
            apptest::Answer(c.answer)(dialog);
        });
        EXPECT_EQ((new aboutwindow(nullptr))->domodol(), c.result) << c.answer;
        EXPECT_EQ(message, QString("新一代的压缩软件，永久免费！"));
    }
}

TEST(AboutWindow, HelpMenuCommandOpensItOverTheMainWindow) {
    mainwindow window;
    QWidget *parent = nullptr;
    apptest::AnswerModal([&](QWidget *dialog) {
        parent = dialog->parentWidget();
        apptest::Click(dialog, "pushButton_ok");
    });
    window.on_sys_menu(1012, QString());
    EXPECT_EQ(parent, &window);
}

} // namespace
