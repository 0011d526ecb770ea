// The browser window: start-up switches, walking folders and archives, the item list with its
// sorting and selection, drops onto the view, and the error and closing paths of the window.
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include <algorithm>

#include <locale.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Panel.h"
#include "aboutwindow.h"
#include "app_test_support.h"
#include "common/StringConvert.h"
#include "dialogcodes.h"
#include "mainiconview.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "panel_fixture.h"
#include "test_support.h"
#include "windows/PropVariant.h"

namespace {

using namespace testsupport;

using panelfx::LoadPluginFromTheProgramFolder;

const auto *g_env = ::testing::AddGlobalTestEnvironment(new panelfx::CPanelEnvironment);

QString Q(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

using panelfx::Start;

// The names of the table's rows from top to bottom.
std::vector<std::string> RowNames(mainwindow *w) {
    std::vector<std::string> names;
    QTableWidget *t = w->get_list_view();
    for (int r = 0; r < t->rowCount(); r++)
        names.push_back(t->item(r, 0) ? t->item(r, 0)->text().toStdString() : "<none>");
    return names;
}

int RowOf(mainwindow *w, const std::string &name) {
    const std::vector<std::string> names = RowNames(w);
    for (size_t i = 0; i < names.size(); i++)
        if (names[i] == name) return (int)i;
    return -1;
}

std::vector<std::string> SelectedNames(mainwindow *w) {
    UStringVector names;
    w->get_panel()->GetSelectedNames(names);
    std::vector<std::string> out;
    FOR_VECTOR(i, names)
    out.push_back(S(names[i]));
    return out;
}

void SelectRows(mainwindow *w, const std::vector<std::string> &names) {
    QTableWidget *t = w->get_list_view();
    t->clearSelection();
    for (const std::string &n : names) {
        const int row = RowOf(w, n);
        ASSERT_GE(row, 0) << n;
        t->selectionModel()->select(t->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

// A folder tree with files of several sizes and times, a zip and a tar.gz of part of it.
struct CTree {
    TempFolder dir;
    CTree() {
        Sh("mkdir -p '" + dir.Path() + "/src/docs' '" + dir.Path() + "/other'");
        WriteFile(dir / "src/b.txt", std::string(100, 'b'));
        WriteFile(dir / "src/a.dat", std::string(9, 'a'));
        WriteFile(dir / "src/c.log", std::string(10, 'c'));
        WriteFile(dir / "src/docs/readme.md", "read me");
        WriteFile(dir / "other/x.txt", "x");
        Sh("touch -d '2020-01-01' '" + dir.Path() + "/src/b.txt'");
        Sh("touch -d '2021-01-01' '" + dir.Path() + "/src/c.log'");
        Sh("touch -d '2022-01-01' '" + dir.Path() + "/src/a.dat'");
        Sh("cd '" + dir.Path() + "/src' && zip -qr ../pack.zip . && tar czf ../pack.tar.gz docs b.txt");
    }
    UString Path(const std::string &rel = "") const { return U(dir.Path() + "/" + rel); }
};

TEST(PanelStart, SwitchesDecideStateAndFiles) {
    struct {
        std::vector<std::string> words;
        int state;
        std::vector<std::string> files;
        bool messageMode;
    } cases[] = {
        {{}, kStart_ShowHome, {}, false},
        {{"-open", "a.zip"}, kStart_Open, {"a.zip"}, false},
        {{"-open"}, kStart_ShowHome, {}, false},
        {{"-add", "a", "b"}, kStart_Add, {"a", "b"}, true},
        {{"-ADDZIP", "a"}, kStart_AddZip, {"a"}, true},
        {{"-add7z", "a"}, kStart_Add7z, {"a"}, true},
        {{"-extract", "a.zip"}, kStart_Extract, {"a.zip"}, true},
        {{"-EXTRACT-HERE", "a.zip"}, kStart_ExtractHere, {"a.zip"}, true},
        {{"-extract-here"}, kStart_NoFiles, {}, true}, // nothing to run: says so and ends
        {{"-add"}, kStart_NoFiles, {}, true},
        {{"-add7z1", "x"}, kStart_Open, {"-add7z1"}, false},
        {{"some/file.zip", "ignored"}, kStart_Open, {"some/file.zip"}, false},
    };
    for (const auto &c : cases) {
        std::vector<std::string> all = {"tarnova"};
        all.insert(all.end(), c.words.begin(), c.words.end());
        const CStartRequest r = ParseStartCommand(Words(all));
        SCOPED_TRACE(all.size() > 1 ? all[1] : "(none)");
        EXPECT_EQ(r.State, c.state);
        EXPECT_EQ(r.MessageMode, c.messageMode);
        std::vector<std::string> files;
        FOR_VECTOR(i, r.Files)
        files.push_back(S(r.Files[i]));
        EXPECT_EQ(files, c.files);
    }
}

TEST(PanelStart, WithoutArgumentsShowsTheHomeFolder) {
    const std::string home = getenv("HOME");
    WriteFile(home + "/start-marker.txt", "x");
    mainwindow *w = Start({});
    ASSERT_TRUE(w->is_ok());
    EXPECT_FALSE(w->get_msg_mode());
    EXPECT_EQ(S(w->get_panel()->currentFolderPrefix), home + "/");
    EXPECT_GE(RowOf(w, "start-marker.txt"), 0);
    delete w;
}

// Every file of an operation keeps its full path, whichever folder it lies in, and relative
// paths count from the current folder; the operation waits for the event loop.
TEST(PanelStart, OperationFilesKeepTheirFullPaths) {
    CTree tree;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(tree.dir.Path().c_str()), 0);
    mainwindow *w = Start({"-addzip", tree.dir.Path() + "/src/b.txt", "other/x.txt", "src/a.dat"});
    ASSERT_EQ(chdir(cwd), 0);
    ASSERT_TRUE(w->is_ok());
    EXPECT_TRUE(w->get_msg_mode());
    CPanel *p = w->get_panel();
    EXPECT_EQ(p->startState, (int)kStart_AddZip);
    std::vector<std::string> full;
    FOR_VECTOR(i, p->startFullPaths)
    full.push_back(S(p->startFullPaths[i]));
    EXPECT_EQ(full,
              (std::vector<std::string>{tree.dir / "src/b.txt", tree.dir / "other/x.txt", tree.dir / "src/a.dat"}));
    // Bound to the last file's folder; only the files that lie there are selected.
    EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "src/");
    EXPECT_EQ(SelectedNames(w), (std::vector<std::string>{"a.dat", "b.txt"}));
    // Nothing ran inside the constructor; the operation comes from the event loop and, in
    // single-operation mode, its end closes the window.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    apptest::AnswerModal(apptest::Answer("escape"));
    QCoreApplication::postEvent(w, new QEvent(custom_event::operation_ended));
    w->show();
    EXPECT_TRUE(apptest::RunUntil([&] { return !w->isVisible(); }));
    delete w;
}

TEST(PanelStart, BarePathOfAPlainFolderEndsWithAnErrorBox) {
    CTree tree;
    QString text;
    apptest::AnswerModal([&](QWidget *box) {
        text = box->findChild<QLabel *>("label_message")->text();
        apptest::Click(box, "pushButton_ok");
    });
    mainwindow *w = Start({tree.dir.Path() + "/src"});
    EXPECT_FALSE(w->is_ok());
    EXPECT_EQ(text.toStdString(), "无法作为压缩包打开文件" + tree.dir.Path() + "/src");
    delete w;
}

TEST(PanelStart, RelativeArchivePathOpensTheArchive) {
    CTree tree;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(tree.dir.Path().c_str()), 0);
    mainwindow *w = Start({"pack.zip"}); // relative, not beginning with "."
    ASSERT_EQ(chdir(cwd), 0);
    ASSERT_TRUE(w->is_ok());
    EXPECT_EQ(w->get_panel()->parentFolders.Size(), 1u);
    EXPECT_EQ(S(w->get_panel()->currentFolderPrefix), tree.dir / "pack.zip/");
    EXPECT_GE(RowOf(w, "docs"), 0);
    delete w;
}

class PanelWindow : public ::testing::Test {
protected:
    void SetUp() override {
        w = Start({});
        ASSERT_TRUE(w->is_ok());
        p = w->get_panel();
    }
    void TearDown() override { delete w; }
    void Bind(const UString &path) { ASSERT_EQ(p->BindToPathAndRefresh(path), S_OK); }
    int Index(const std::string &name) { return p->GetRealItemIndex(RowOf(w, name)); }

    CTree tree;
    mainwindow *w = nullptr;
    CPanel *p = nullptr;
};

TEST_F(PanelWindow, WalksFoldersAndArchivesAndBackOut) {
    Bind(tree.Path("src"));
    EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "src/");
    p->OpenFolder(Index("docs"));
    EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "src/docs/");
    EXPECT_EQ(RowNames(w), std::vector<std::string>{"readme.md"});
    p->OpenParentFolder();
    EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "src/");
    EXPECT_EQ(SelectedNames(w), std::vector<std::string>{"docs"});
    // History: newest first, each folder once.
    UStringVector history;
    p->FoldersHistory(history);
    ASSERT_GE(history.Size(), 2u);
    EXPECT_EQ(S(history[0]), tree.dir / "src/");
    EXPECT_EQ(S(history[1]), tree.dir / "src/docs/");

    for (const std::string archive : {"pack.zip", "pack.tar.gz"}) {
        SCOPED_TRACE(archive);
        p->OpenParentFolder();
        EXPECT_EQ(S(p->currentFolderPrefix), tree.dir.Path() + "/");
        ASSERT_EQ(p->OpenItemAsArchive(Index(archive)), S_OK);
        ASSERT_EQ(p->parentFolders.Size(), 1u);
        EXPECT_TRUE(p->IsArcFolder());
        EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / archive + "/");
        const std::vector<std::string> top = RowNames(w);
        EXPECT_NE(std::find(top.begin(), top.end(), "docs"), top.end());
        EXPECT_NE(std::find(top.begin(), top.end(), "b.txt"), top.end());
        p->OpenFolder(Index("docs"));
        EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / archive + "/docs/");
        EXPECT_EQ(RowNames(w), std::vector<std::string>{"readme.md"});
        p->OpenParentFolder();
        EXPECT_EQ(SelectedNames(w), std::vector<std::string>{"docs"});
        p->OpenParentFolder(); // leaves the archive and selects its file
        EXPECT_TRUE(p->parentFolders.IsEmpty());
        EXPECT_TRUE(p->IsFSFolder());
        EXPECT_EQ(S(p->currentFolderPrefix), tree.dir.Path() + "/");
        EXPECT_EQ(SelectedNames(w), std::vector<std::string>{archive});
        p->BindToPathAndRefresh(tree.Path("src"));
    }
}

TEST_F(PanelWindow, BindsPathsThroughArchivesAndShortensMissingOnes) {
    Bind(tree.Path("pack.zip/docs"));
    EXPECT_EQ(p->parentFolders.Size(), 1u);
    EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "pack.zip/docs/");
    // Inside the open archive the level is reused.
    CMyComPtr<IFolderFolder> before = p->currentFolder;
    Bind(tree.Path("pack.zip"));
    EXPECT_EQ(p->parentFolders.Size(), 1u);
    EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "pack.zip/");
    // pack.zip2 beside pack.zip is a folder of its own, not a path inside the archive.
    Sh("mkdir '" + tree.dir / "pack.zip2" + "' && touch '" + tree.dir / "pack.zip2/z.txt" + "'");
    Bind(tree.Path("pack.zip2"));
    EXPECT_TRUE(p->parentFolders.IsEmpty());
    EXPECT_TRUE(p->IsFSFolder());
    EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "pack.zip2/");
    EXPECT_EQ(RowNames(w), std::vector<std::string>{"z.txt"});
    Bind(tree.Path("pack.zip/docs"));
    Bind(tree.Path("pack.zip/"));
    EXPECT_EQ(p->parentFolders.Size(), 1u);
    EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "pack.zip/");
    // A missing path binds its longest existing part and closes the archive.
    Bind(tree.Path("other/missing/x"));
    EXPECT_TRUE(p->parentFolders.IsEmpty());
    EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "other/");
    // Up at "/" does nothing.
    Bind(U("/"));
    p->OpenParentFolder();
    EXPECT_EQ(S(p->currentFolderPrefix), "/");
}

// Each column sorts by the folder's order for its property (sizes as numbers, times as times),
// in both directions, and every row keeps its own cells.
TEST_F(PanelWindow, SortsByEachColumnKeepingRowsWhole) {
    Bind(tree.Path("src"));
    QTableWidget *t = w->get_list_view();
    auto column = [&](PROPID id) {
        FOR_VECTOR(i, p->visibleColumns)
        if (p->visibleColumns[i].ID == id) return (int)i;
        return -1;
    };
    const int nameCol = column(kpidName), sizeCol = column(kpidSize), timeCol = column(kpidMTime);
    ASSERT_EQ(nameCol, 0);
    ASSERT_GT(sizeCol, 0);
    ASSERT_GT(timeCol, 0);
    const std::vector<std::string> files = {"a.dat", "b.txt", "c.log"};
    auto filesInOrder = [&]() {
        std::vector<std::string> out;
        for (const std::string &n : RowNames(w))
            if (n != "docs") out.push_back(n);
        return out;
    };
    struct {
        int col;
        Qt::SortOrder order;
        std::vector<std::string> expected;
    } cases[] = {
        {nameCol, Qt::AscendingOrder, {"a.dat", "b.txt", "c.log"}},
        {nameCol, Qt::DescendingOrder, {"c.log", "b.txt", "a.dat"}},
        {sizeCol, Qt::AscendingOrder, {"a.dat", "c.log", "b.txt"}}, // 9, 10, 100
        {sizeCol, Qt::DescendingOrder, {"b.txt", "c.log", "a.dat"}},
        {timeCol, Qt::AscendingOrder, {"b.txt", "c.log", "a.dat"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.col * 10 + (int)c.order);
        t->horizontalHeader()->setSortIndicator(c.col, c.order);
        EXPECT_EQ(filesInOrder(), c.expected);
        EXPECT_EQ(p->sortPropId, p->visibleColumns[(unsigned)c.col].ID);
        // A refresh keeps the chosen order.
        p->RefreshListCtrl();
        EXPECT_EQ(filesInOrder(), c.expected);
    }
    // Every visible column sorts; each row's cells still describe its item.
    for (int col = 0; col < t->columnCount(); col++) {
        t->horizontalHeader()->setSortIndicator(col, Qt::AscendingOrder);
        for (int r = 0; r < t->rowCount(); r++) {
            const int item = p->GetRealItemIndex(r);
            ASSERT_GE(item, 0);
            EXPECT_EQ(t->item(r, 0)->text(), Q(p->GetItemName(item)));
            for (int c = 1; c < t->columnCount(); c++)
                EXPECT_EQ(t->item(r, c)->data(256).toInt(), item);
        }
    }
    const int sizeRow = RowOf(w, "b.txt");
    EXPECT_EQ(t->item(sizeRow, sizeCol)->text(), QString("100"));
}

// Rows beyond the first screen get their cells when they come into view, each from its own item;
// before that the row already stands for its item.
TEST_F(PanelWindow, CellsOfRowsFarDownAppearWhenScrolledTo) {
    Sh("mkdir -p '" + tree.dir.Path() + "/many' && cd '" + tree.dir.Path() +
       "/many' && for i in $(seq 1 300); do head -c $i /dev/zero > f$i; done");
    Bind(tree.Path("many"));
    QTableWidget *t = w->get_list_view();
    ASSERT_EQ(t->rowCount(), 300);
    const int last = t->rowCount() - 1;
    EXPECT_EQ(t->item(last, 0), nullptr);
    EXPECT_EQ(t->item(last, 1), nullptr);
    const int unseen = p->GetRealItemIndex(last);
    ASSERT_GE(unseen, 0);
    w->resize(900, 500);
    w->show();
    t->scrollToBottom();
    w->grab();
    ASSERT_NE(t->item(last, 1), nullptr);
    const int item = p->GetRealItemIndex(last);
    EXPECT_EQ(item, unseen);
    ASSERT_NE(t->item(last, 0), nullptr);
    EXPECT_EQ(t->item(last, 0)->text(), Q(p->GetItemName(item)));
    EXPECT_EQ(t->item(last, 1)->data(256).toInt(), item);
    EXPECT_EQ(t->item(last, 1)->text().toStdString(), std::to_string(p->GetItemSize(item)));
}

TEST_F(PanelWindow, SelectionSurvivesARefreshAndRowsWithoutItemAreNoItems) {
    Bind(tree.Path("src"));
    SelectRows(w, {"b.txt", "docs"});
    WriteFile(tree.dir / "src/new.txt", "n");
    QCoreApplication::postEvent(w, new QEvent(custom_event::operation_ended)); // an operation ended
    ASSERT_TRUE(apptest::RunUntil([&] { return RowOf(w, "new.txt") >= 0; }));
    EXPECT_EQ(SelectedNames(w), (std::vector<std::string>{"b.txt", "docs"}));

    QTableWidget *t = w->get_list_view();
    t->insertRow(t->rowCount()); // a row that no item fills
    EXPECT_EQ(p->GetRealItemIndex(t->rowCount() - 1), -1);
    EXPECT_EQ(p->GetRealItemIndex(-1), -1);
}

// Opening an archive lists it once: the end of the open's progress window brings no second
// listing (the cells made for the first screen stay the same objects).
TEST_F(PanelWindow, OpeningAnArchiveListsItOnce) {
    Bind(tree.Path("pack.zip"));
    QTableWidget *t = w->get_list_view();
    const int row = RowOf(w, "docs");
    ASSERT_GE(row, 0);
    QTableWidgetItem *cell = t->item(row, 0);
    for (int i = 0; i < 5; i++)
        QApplication::processEvents();
    EXPECT_EQ(t->item(RowOf(w, "docs"), 0), cell);
}

// While an operation runs on the folder, its end (1034) does not reload the list half-way; the
// reload comes when the operation is over.
TEST_F(PanelWindow, BusyFolderIsReloadedOnlyAfterTheOperation) {
    Bind(tree.Path("src"));
    {
        CPanelBusyGuard busy(*p);
        WriteFile(tree.dir / "src/late.txt", "l");
        QCoreApplication::postEvent(w, new QEvent(custom_event::operation_ended));
        QApplication::processEvents();
        EXPECT_EQ(RowOf(w, "late.txt"), -1);
    }
    EXPECT_GE(RowOf(w, "late.txt"), 0);
}

TEST_F(PanelWindow, IconViewShowsTheSameItemsAndSwitchesBack) {
    Bind(tree.Path("src"));
    SelectRows(w, {"c.log"});
    w->findChild<QPushButton *>("btn_view")->click();
    ASSERT_TRUE(w->is_icon_mode());
    EXPECT_EQ(w->get_icon_view()->count(), 4);
    EXPECT_FALSE(w->get_list_view()->isVisibleTo(w));
    EXPECT_EQ(SelectedNames(w), std::vector<std::string>{"c.log"});
    w->findChild<QPushButton *>("btn_view")->click();
    EXPECT_FALSE(w->is_icon_mode());
    EXPECT_EQ(w->get_list_view()->rowCount(), 4);
    EXPECT_EQ(SelectedNames(w), std::vector<std::string>{"c.log"});
}

void DropFiles(QWidget *view, const std::vector<std::string> &paths, Qt::DropAction action) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string &path : paths)
        urls << QUrl::fromLocalFile(QString::fromStdString(path));
    data.setUrls(urls);
    QAbstractScrollArea *area = qobject_cast<QAbstractScrollArea *>(view);
    QWidget *target = area ? area->viewport() : view;
    QDragEnterEvent enter(QPoint(5, 5), action, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), action, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

// A right-to-left override would show "x<U+202E>txt.exe" as "xexe.txt", and a run of blanks
// could push the real extension out of sight: both views show the masked name. The icon view
// lists the items in the table's order, folders first.
TEST_F(PanelWindow, BothViewsMaskNamesAndListInTheSameOrder) {
    const std::string rlo = "x\u202Etxt.exe", blanks = "report" + std::string(40, ' ') + ".pdf.exe";
    WriteFile(tree.dir / ("src/" + rlo), "r");
    WriteFile(tree.dir / ("src/" + blanks), "b");
    Bind(tree.Path("src"));
    const std::vector<std::string> expected = {"docs", "a.dat", "b.txt", "c.log", "report ... .pdf.exe", "x_txt.exe"};
    EXPECT_EQ(RowNames(w), expected);

    w->findChild<QPushButton *>("btn_view")->click();
    ASSERT_TRUE(w->is_icon_mode());
    QListWidget *icons = w->get_icon_view();
    std::vector<std::string> shown, tips;
    for (int r = 0; r < icons->count(); r++) {
        shown.push_back(icons->item(r)->text().toStdString());
        tips.push_back(icons->item(r)->toolTip().toStdString());
    }
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(tips, expected);
    // Rows still lead to the real items.
    EXPECT_EQ(S(p->GetItemName(p->GetRealItemIndex(5))), rlo);
    EXPECT_EQ(S(p->GetItemName(p->GetRealItemIndex(4))), blanks);
}

TEST_F(PanelWindow, DropOnADiskFolderMakesAnArchiveThroughTheCompressDialog) {
    Bind(tree.Path("other"));
    std::string proposed;
    apptest::AnswerModal([&](QWidget *dialog) {
        ASSERT_STREQ(dialog->metaObject()->className(), "zipwindow");
        QComboBox *path = dialog->findChild<QComboBox *>("comboBox_path");
        if (path) proposed = path->currentText().toStdString();
        apptest::Click(dialog, "btn_zip");
    });
    DropFiles(w->get_list_view(), {tree.dir / "src/a.dat", tree.dir / "src/docs"}, Qt::CopyAction);
    // More than one file: the archive is named after their folder and lands in the shown one.
    EXPECT_NE(proposed.find("src"), std::string::npos) << proposed;
    const std::string made = Shell("cd '" + tree.dir.Path() + "/other' && ls src.*");
    ASSERT_FALSE(made.empty());
    const std::string archive = tree.dir / ("other/" + made.substr(0, made.size() - 1));
    const std::string listing =
        Shell("/usr/bin/python3 -c \"import sys,zipfile,py7zr\n"
              "p=sys.argv[1]\n"
              "if zipfile.is_zipfile(p):\n"
              "  z=zipfile.ZipFile(p); d={n: z.read(n) for n in z.namelist() if not n.endswith('/')}\n"
              "else:\n"
              "  d={n: b.read() for n,b in py7zr.SevenZipFile(p).readall().items() if hasattr(b, 'read')}\n"
              "for n in sorted(d): print(n + '=' + d[n].decode())\" '" +
              archive + "' 2>&1");
    EXPECT_EQ(listing, "a.dat=aaaaaaaaa\ndocs/readme.md=read me\n");
    // The sources stay where they were.
    EXPECT_TRUE(Exists(tree.dir / "src/a.dat"));
    EXPECT_TRUE(Exists(tree.dir / "src/docs/readme.md"));
}

TEST_F(PanelWindow, DropIntoAnArchiveFolderAddsTheFiles) {
    WriteFile(tree.dir / "other/added.txt", "added text");
    Bind(tree.Path("pack.zip/docs"));
    ASSERT_TRUE(p->IsArcFolder());
    // The drop asks before it adds to the archive.
    QString question;
    apptest::AnswerModal([&](QWidget *box) {
        if (auto *label = box->findChild<QLabel *>("label_message")) question = label->text();
        apptest::Click(box, "pushButton_ok");
    });
    DropFiles(w->get_list_view(), {tree.dir / "other/added.txt"}, Qt::CopyAction);
    ASSERT_TRUE(apptest::RunUntil([&] { return RowOf(w, "added.txt") >= 0; }));
    // Read back with an independent tool.
    const std::string listing = Shell("/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                                      "print(z.read('docs/added.txt').decode()); print(sorted(z.namelist()))\" '" +
                                      tree.dir.Path() + "/pack.zip'");
    EXPECT_NE(listing.find("added text"), std::string::npos) << listing;
    EXPECT_NE(listing.find("docs/readme.md"), std::string::npos) << listing;
    EXPECT_NE(listing.find("b.txt"), std::string::npos) << listing;
    EXPECT_TRUE(question.startsWith("您确定复制文件到压缩包")) << question.toStdString();
}

// A folder whose item properties cannot be read: the panel throws its integers, which must end
// in an error box, never in the event loop.
class CBrokenFolder : public IFolderFolder, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderFolder)
    HRESULT LoadItems() override { return S_OK; }
    HRESULT GetNumberOfItems(UInt32 *n) override {
        *n = 1;
        return S_OK;
    }
    HRESULT GetProperty(UInt32, PROPID, PROPVARIANT *) override { return E_FAIL; }
    HRESULT BindToFolder(UInt32, IFolderFolder **f) override {
        *f = nullptr;
        return E_FAIL;
    }
    HRESULT BindToFolder(const wchar_t *, IFolderFolder **f) override {
        *f = nullptr;
        return E_FAIL;
    }
    HRESULT BindToParentFolder(IFolderFolder **f) override {
        *f = nullptr;
        return S_OK;
    }
    HRESULT GetNumberOfProperties(UInt32 *n) override {
        *n = 1;
        return S_OK;
    }
    HRESULT GetPropertyInfo(UInt32, BSTR *name, PROPID *id, VARTYPE *type) override {
        *name = nullptr;
        *id = kpidName;
        *type = VT_BSTR;
        return S_OK;
    }
    HRESULT GetFolderProperty(PROPID, PROPVARIANT *) override { return S_OK; }
};

TEST_F(PanelWindow, IntegersThrownByThePanelBecomeErrorBoxes) {
    CMyComPtr<IFolderFolder> broken = new CBrokenFolder;
    p->SetNewFolder(broken);
    QString text;
    apptest::AnswerModal([&](QWidget *box) {
        text = box->findChild<QLabel *>("label_message")->text();
        apptest::Click(box, "pushButton_ok");
    });
    QCoreApplication::postEvent(w, new QEvent(custom_event::operation_ended));
    EXPECT_TRUE(apptest::RunUntil([&] { return !text.isEmpty(); }));
    EXPECT_EQ(text, QString("Error #2723400"));
    p->BindToPathAndRefresh(tree.Path("src"));
}

// The window is a dialog underneath: Enter must open the selected item in either view, as a
// double click does, and press no button elsewhere; Escape must never end the program. Closing
// stays with the close button, which asks while a task runs.
TEST_F(PanelWindow, EnterOpensTheSelectedItemAndEscapeNeverCloses) {
    Bind(tree.Path("src"));
    w->show();
    QApplication::setActiveWindow(w);
    ASSERT_TRUE(apptest::RunUntil([&] { return w->isVisible(); }));
    QWidget *combo = w->findChild<QComboBox *>("comboBox_content");
    ASSERT_NE(combo, nullptr);
    for (bool icons : {false, true}) {
        SCOPED_TRACE(icons ? "icon view" : "list view");
        if (icons != w->is_icon_mode()) w->findChild<QPushButton *>("btn_view")->click();
        QAbstractItemView *view = icons ? static_cast<QAbstractItemView *>(w->get_icon_view())
                                        : static_cast<QAbstractItemView *>(w->get_list_view());
        // Enter outside the list: no menu pops up and the folder stays.
        combo->setFocus();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : combo, Qt::Key_Return);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "src/");

        const int row = icons ? [&] {
            for (int r = 0; r < w->get_icon_view()->count(); r++)
                if (w->get_icon_view()->item(r)->text() == "docs") return r;
            return -1;
        }()
                              : RowOf(w, "docs");
        ASSERT_GE(row, 0);
        view->setFocus();
        view->setCurrentIndex(view->model()->index(row, 0));
        ASSERT_EQ(SelectedNames(w), std::vector<std::string>{"docs"});
        QTest::keyClick(view, Qt::Key_Return);
        EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / "src/docs/");
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        p->OpenParentFolder();

        QTest::keyClick(view, Qt::Key_Escape);
        apptest::PressEscape(w);
        EXPECT_TRUE(w->isVisible());
    }
    // Inside an archive the box shows a path the folder tree does not hold: Enter stays there too,
    // at the top of the archive and below it.
    if (w->is_icon_mode()) w->findChild<QPushButton *>("btn_view")->click();
    for (const std::string level : {"pack.zip", "pack.zip/docs"}) {
        SCOPED_TRACE(level);
        Bind(tree.Path(level));
        QApplication::processEvents();
        combo->setFocus();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : combo, Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_EQ(S(p->currentFolderPrefix), tree.dir / level + "/");
    }
    Bind(tree.Path("src"));

    QString question;
    apptest::AnswerModal([&](QWidget *running) {
        apptest::AnswerModal([&](QWidget *box) {
            question = box->findChild<QLabel *>("label_message")->text();
            apptest::Click(box, "pushButton_cancle");
        });
        w->findChild<QPushButton *>("btn_close")->click();
        apptest::Click(running, "pushButton_ok");
    });
    w->run_dialog(new aboutwindow(w), true);
    EXPECT_EQ(question, QString("当前有任务正在运行，确定要退出吗？"));
    EXPECT_TRUE(w->isVisible());
    w->findChild<QPushButton *>("btn_close")->click();
    EXPECT_FALSE(w->isVisible());
}

} // namespace

// Column headings are read by the user: no id of the table shows an internal name.
TEST(PanelColumns, EveryKnownPropertyHasAHeadingForTheUser) {
    for (PROPID id = 0; id < 96; id++) {
        const std::string heading = testsupport::S(GetNameOfProperty(id, L"internal"));
        EXPECT_FALSE(heading.empty()) << id;
        EXPECT_EQ(heading.find("kpid"), std::string::npos) << id;
        EXPECT_EQ(heading.find_first_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << id << " " << heading;
    }
}
