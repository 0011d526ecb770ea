// The panel's context menu (entries greyed by folder, commands dispatched to real folders), the
// properties text, thumbnails of pictures in the icon view, the drag data of items in an
// archive, and a failure inside a running progress window.
#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTableWidget>
#include <QUrl>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Panel.h"
#include "extract_test_support.h"
#include "mainiconview.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "module.h"
#include "panel_fixture.h"
#include "progresswindow.h"
#include "test_support.h"

namespace {

using namespace testsupport;

const auto *g_env = ::testing::AddGlobalTestEnvironment(new panelfx::CPanelEnvironment);

class PanelMenu : public panelfx::CPanelWindowTest {
protected:
    // The enabled state of each entry of the context menu, by id, as "540 546 ..." of the enabled ones.
    std::string EnabledIds() {
        QMenu menu;
        p->CreateFileMenu(&menu);
        std::string ids;
        for (QAction *a : menu.actions())
            if (!a->isSeparator() && a->isEnabled()) ids += std::to_string(a->data().toInt()) + " ";
        EXPECT_EQ(menu.actions().size(), 8);
        return ids;
    }
    // Chooses the entry with this id from a context menu as the user would.
    void Choose(int id) {
        QMenu menu;
        p->CreateFileMenu(&menu);
        for (QAction *a : menu.actions())
            if (a->data().toInt() == id) {
                ASSERT_TRUE(a->isEnabled()) << id;
                w->on_menu(a);
                return;
            }
        FAIL() << "no entry " << id;
    }
    bool IconView() {
        if (!w->is_icon_mode()) w->findChild<QPushButton *>("btn_view")->click();
        return w->is_icon_mode();
    }
    // Opens the item of the shown archive folder as the next archive level from a copy of it on
    // disk, as opening an item does once it has extracted it.
    HRESULT OpenNested(const std::string &name, const std::string &copyOnDisk) {
        const int row = Row(name);
        if (row < 0) return E_FAIL;
        CTempFileInfo info;
        info.FileIndex = w->get_list_view()->item(row, 0)->data(256).toUInt();
        info.RelPath = U(name);
        info.FilePath = U(copyOnDisk);
        bool encrypted = false;
        const HRESULT opened =
            p->OpenItemAsArchive(nullptr, info, p->currentFolderPrefix + U(name), UString(), encrypted);
        return opened == S_OK ? p->RefreshListCtrl() : opened;
    }
    // The middle pixel of the entry's icon as drawn at 48 x 48.
    QRgb IconCentre(const std::string &name) {
        const int row = Row(name);
        if (row < 0) return 0;
        const QImage image = w->get_icon_view()->item(row)->icon().pixmap(48, 48).toImage();
        return image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2);
    }
};

// Names in a zip, listed by Python's reader.
std::string ListZip(const std::string &path) {
    return Shell("/usr/bin/python3 -c \"import sys,zipfile\n"
                 "print('|'.join(sorted(x.rstrip('/') for x in zipfile.ZipFile(sys.argv[1]).namelist())))\" '" +
                 path + "'");
}

void WritePicture(const std::string &path, QColor colour, int side = 64) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG")) << path;
}

TEST_F(PanelMenu, ChangingEntriesAreGreyedWhereNothingCanChange) {
    Sh("mkdir -p '" + dir.Path() + "/t/sub' && printf x > '" + dir.Path() + "/t/a.txt'");
    ASSERT_EQ(Sh("cd '" + dir.Path() +
                 "/t' && zip -qr ../a.zip a.txt sub && cp ../a.zip inner.zip && "
                 "cd .. && xorriso -as mkisofs -quiet -o a.iso t 2>/dev/null && tar czf a.tar.gz -C t a.txt"),
              0);
    const std::string all = "540 546 547 548 555 556 ";
    // An archive cannot move items out or take an empty new file.
    const std::string archive = "540 546 548 555 ";
    const std::string readOnly = "540 546 ";
    struct {
        std::string path; // empty: the root folder
        std::string enabled;
    } cases[] = {
        {dir / "t", all},          {dir / "a.zip", archive},     {dir / "a.zip/sub", archive},
        {dir / "a.iso", readOnly}, {dir / "a.tar.gz", readOnly}, {"", readOnly},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        if (c.path.empty()) {
            p->CloseOpenFolders();
            p->OpenRootFolder();
        } else {
            Bind(c.path);
        }
        // Nothing selected, then one item selected: the same entries, the same states.
        w->get_list_view()->clearSelection();
        EXPECT_EQ(EnabledIds(), c.enabled);
        if (w->get_list_view()->rowCount() > 0) {
            w->get_list_view()->selectRow(0);
            EXPECT_EQ(EnabledIds(), c.enabled);
        }
    }

    // A zip inside the read-only image is read-only too, although zips can change.
    Bind(dir / "a.iso");
    ASSERT_EQ(OpenNested("inner.zip", dir / "a.zip"), S_OK);
    ASSERT_EQ(p->parentFolders.Size(), 2u);
    EXPECT_TRUE(p->IsThereReadOnlyFolder());
    EXPECT_EQ(EnabledIds(), readOnly);
}

TEST_F(PanelMenu, NewFolderAndDeleteFromTheMenuOnDiskAndInAZip) {
    Sh("mkdir -p '" + dir.Path() + "/d'");
    WriteFile(dir / "d/a.txt", "aaa");
    WriteFile(dir / "d/b.txt", "bbb");
    ASSERT_EQ(Sh("cd '" + dir.Path() + "/d' && zip -q ../t.zip a.txt b.txt"), 0);
    for (const std::string place : {"d", "t.zip"}) {
        SCOPED_TRACE(place);
        Bind(dir / place);
        extracttest::CDialogScript script;
        script.Add("combowindow", [](QWidget *d) {
            d->findChild<QLineEdit *>("lineEdit_name")->setText("新建 目录");
            apptest::Click(d, "pushButton_ok");
        });
        Choose(555);
        ASSERT_TRUE(apptest::RunUntil([&] { return Row("新建 目录") >= 0; }));
        Select({"a.txt"});
        Choose(548);
        ASSERT_TRUE(apptest::RunUntil([&] { return Row("a.txt") < 0; }));
        EXPECT_EQ(script.Unexpected(), "");
        ASSERT_EQ(script.boxTexts.size(), 1u);
        EXPECT_EQ(script.boxTexts[0].toStdString(), "确实要删除 a.txt吗？");
    }
    EXPECT_TRUE(Exists(dir / "d/新建 目录"));
    EXPECT_FALSE(Exists(dir / "d/a.txt"));
    EXPECT_EQ(ReadFile(dir / "d/b.txt"), "bbb");
    p->CloseOpenFolders();
    EXPECT_EQ(ListZip(dir / "t.zip"), "b.txt|新建 目录\n");
}

TEST_F(PanelMenu, PropertiesNameTheItemAndEachArchiveLevel) {
    WriteFile(dir / "a.txt", std::string(3000, 'a'));
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && tar czf a.tar.gz a.txt"), 0);
    Bind(dir / "a.tar.gz");
    Select({"a.txt"});
    const std::string text = S(p->GetPropertiesText());
    SCOPED_TRACE(text);
    EXPECT_EQ(text.find("名称: a.txt\n"), 0u);
    EXPECT_NE(text.find("大小: 3 000\n"), std::string::npos);
    // The item's block, then one block for each level of the open archive, the inner one first.
    const size_t item = text.find("----------------------------\n");
    const size_t tar = text.find("类型: tar\n");
    const size_t gz = text.find("类型: gzip\n");
    ASSERT_NE(item, std::string::npos);
    ASSERT_NE(tar, std::string::npos);
    ASSERT_NE(gz, std::string::npos);
    EXPECT_LT(item, tar);
    EXPECT_LT(tar, gz);
    EXPECT_NE(text.find("路径: " + dir / "a.tar.gz\n"), std::string::npos);
    // A disk folder has no archive properties.
    Bind(dir.Path());
    EXPECT_EQ(S(p->GetPropertiesText()), "");
}

TEST_F(PanelMenu, PicturesShowThumbnailsOnDiskAndInsideAnArchive) {
    Sh("mkdir -p '" + dir.Path() + "/pics/empty'");
    WritePicture(dir / "pics/red.png", Qt::red);
    WritePicture(dir / "pics/blue.png", Qt::blue, 300);
    WriteFile(dir / "pics/note.txt", "n");
    ASSERT_EQ(Sh("cd '" + dir.Path() + "/pics' && zip -qr ../p.zip red.png blue.png note.txt empty"), 0);
    ASSERT_TRUE(IconView());

    Bind(dir / "pics");
    EXPECT_EQ(IconCentre("red.png"), qRgb(255, 0, 0));
    EXPECT_EQ(IconCentre("blue.png"), qRgb(0, 0, 255));

    // In the zip the pictures are extracted into the thumbnail folder first.
    extracttest::CDialogScript script;
    Bind(dir / "p.zip");
    ASSERT_TRUE(apptest::RunUntil([&] { return IconCentre("red.png") == qRgb(255, 0, 0); }, 15000));
    EXPECT_EQ(IconCentre("blue.png"), qRgb(0, 0, 255));
    EXPECT_NE(IconCentre("note.txt"), qRgb(255, 0, 0));
    ASSERT_GE(Row("red.png"), 0);
    const std::string pic = S(p->get_temp_pic_file((int)w->get_icon_view()->item(Row("red.png"))->data(256).toUInt()));
    EXPECT_EQ(pic.rfind("/tmp/tarnovaPic", 0), 0u) << pic;
    EXPECT_NE(pic.find(dir.Path().substr(1) + "/p.zip/red.png"), std::string::npos) << pic;
    EXPECT_TRUE(Exists(pic));

    // An empty folder lists nothing and weighs nothing.
    Bind(dir / "p.zip/empty");
    EXPECT_EQ(w->get_icon_view()->count(), 0);
    EXPECT_EQ(script.Unexpected(), "");
    EXPECT_TRUE(script.boxTexts.empty());
}

TEST_F(PanelMenu, FewPicturesOrABrokenOneAreExtractedAtMostOnce) {
    Sh("mkdir -p '" + dir.Path() + "/s'");
    WritePicture(dir / "s/red.png", Qt::red);
    for (const char *n : {"a.txt", "b.txt", "c.txt"})
        WriteFile(dir / (std::string("s/") + n), n);
    ASSERT_EQ(Sh("cd '" + dir.Path() +
                 "/s' && zip -q ../few.zip red.png a.txt b.txt c.txt && "
                 "zip -q -0 ../broken.zip red.png"),
              0);
    // Damage the stored picture's bytes: its extraction fails the checksum.
    const std::string broken = dir / "broken.zip";
    std::string bytes = ReadFile(broken);
    const size_t at = bytes.find("IDAT");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 10] ^= 0x55;
    ASSERT_TRUE(WriteFile(broken, bytes));
    ASSERT_TRUE(IconView());

    auto progressShown = [] {
        for (QWidget *t : QApplication::topLevelWidgets())
            if (qobject_cast<progresswindow *>(t) && t->isVisible()) return true;
        return false;
    };
    extracttest::CDialogScript script;
    // One picture in four items: no extraction.
    Bind(dir / "few.zip");
    EXPECT_FALSE(apptest::RunUntil(progressShown, 800));
    EXPECT_NE(IconCentre("red.png"), qRgb(255, 0, 0));

    // A picture whose extraction fails is tried once; later listings do not try again.
    Bind(dir / "broken.zip");
    ASSERT_TRUE(apptest::RunUntil([&] { return script.errorLists.size() == 1; }, 15000));
    ASSERT_TRUE(apptest::RunUntil([&] { return !progressShown(); }, 5000));
    p->RefreshListCtrl();
    EXPECT_FALSE(apptest::RunUntil(progressShown, 800));
    EXPECT_EQ(script.errorLists.size(), 1u);
    EXPECT_NE(IconCentre("red.png"), qRgb(255, 0, 0));
}

TEST_F(PanelMenu, DragOutOfAnArchiveOffersExtractedFiles) {
    Sh("mkdir -p '" + dir.Path() + "/src/sub'");
    WriteFile(dir / "src/a b.txt", "first");
    WriteFile(dir / "src/sub/c.txt", "second");
    ASSERT_EQ(Sh("cd '" + dir.Path() + "/src' && zip -qr ../t.zip 'a b.txt' sub"), 0);

    // On disk the files themselves are offered.
    Bind(dir / "src");
    Select({"a b.txt"});
    CRecordVector<UInt32> indices;
    p->GetOperatedItemIndices(indices);
    std::unique_ptr<QMimeData> onDisk(p->PrepareDragData(indices));
    ASSERT_TRUE(onDisk);
    ASSERT_EQ(onDisk->urls().size(), 1);
    EXPECT_EQ(onDisk->urls()[0].toLocalFile().toStdString(), dir / "src/a b.txt");

    extracttest::CDialogScript script;
    Bind(dir / "t.zip");
    Select({"a b.txt", "sub"});
    p->GetOperatedItemIndices(indices);
    std::unique_ptr<QMimeData> data(p->PrepareDragData(indices));
    ASSERT_TRUE(data);
    std::map<std::string, std::string> got;
    for (const QUrl &url : data->urls()) {
        ASSERT_TRUE(url.isLocalFile());
        const std::string path = url.toLocalFile().toStdString();
        EXPECT_EQ(path.rfind("/tmp/tarnovaE", 0), 0u) << path;
        const std::string name = path.substr(path.rfind('/') + 1);
        got[name] = name == "sub" ? ReadFile(path + "/c.txt") : ReadFile(path);
    }
    EXPECT_EQ(got, (std::map<std::string, std::string>{{"a b.txt", "first"}, {"sub", "second"}}));
    EXPECT_EQ(script.Unexpected(), "");
    // The temporary folder goes with the panel's list of temporary folders.
    const std::string folder = data->urls()[0].toLocalFile().toStdString();
    delete w;
    w = nullptr;
    EXPECT_FALSE(Exists(folder.substr(0, folder.rfind('/'))));
    w = panelfx::Start({});
}

// A window whose set-up fails after it exists, as any step of the window's own code could.
class CFailingProgressWindow : public progresswindow {
public:
    void init_window() override {
        progresswindow::init_window();
        throw 151199;
    }
};

struct CWaitingWorker {
    progresswindow *window = nullptr;
    std::atomic<bool> stopped{false};
    static THREAD_FUNC_DECL Run(void *param) {
        CWaitingWorker *self = static_cast<CWaitingWorker *>(param);
        QElapsedTimer timer;
        timer.start();
        while (!self->window->sync.Get_Stopped() && timer.elapsed() < 20000)
            QThread::msleep(5);
        self->stopped = self->window->sync.Get_Stopped();
        self->window->ProcessWasFinished();
        return 0;
    }
};

TEST_F(PanelMenu, AnIntegerThrownInARunningWindowIsShownAndClosesIt) {
    extracttest::CDialogScript script;
    CFailingProgressWindow *window = new CFailingProgressWindow;
    QPointer<progresswindow> guard(window);
    CWaitingWorker worker;
    worker.window = window;
    NWindows::CThread thread;
    ASSERT_EQ(_module.start_thread(&thread, CWaitingWorker::Run, &worker), 0);
    window->Create(UString(L"测试"), thread, nullptr);
    thread.Close();
    EXPECT_TRUE(worker.stopped);
    ASSERT_TRUE(guard);
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(script.boxTexts.size(), 1u);
    EXPECT_EQ(script.boxTexts[0].toStdString(), "Error #151199");
    progresswindow::release(window);
}

} // namespace
