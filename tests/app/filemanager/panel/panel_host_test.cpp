// The panel in a window of the test's own: everything it tells its window goes through
// CPanelHost, so it browses, starts operations and takes drops without the main window.
#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "PanelHost.h"
#include "panel_fixture.h"

namespace {

using testsupport::S;
using testsupport::U;

class CRecordingHost : public QWidget, public CPanelHost {
public:
    CRecordingHost() : list(new mainlistview(this, this)), icons(new mainiconview(this, this)) { icons->hide(); }
    ~CRecordingHost() override { delete panel; }

    QWidget *host_widget() override { return this; }
    CPanel *get_panel() const override { return panel; }
    mainlistview *get_list_view() const override { return list; }
    mainiconview *get_icon_view() const override { return icons; }
    bool is_icon_mode() const override { return false; }
    QWidget *get_view_widget() const override { return list; }
    void set_title_text(const QString &text) override { title = text.toStdString(); }
    void set_up_enabled(bool enabled) override { upEnabled = enabled; }
    void init_msg_mode() override { msgMode = true; }
    bool get_msg_mode() const override { return msgMode; }
    void run_start_operation() override { startRequested = true; }
    void on_drop_files(const UStringVector &paths, bool moveMode) override {
        dropped = paths;
        droppedAsMove = moveMode;
    }
    void on_drag_files() override {}

    // Starts the program's start-up with these words after its name and binds a new panel.
    bool Start(std::vector<std::string> words) {
        words.insert(words.begin(), "tarnova");
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(&w[0]);
        argv.push_back(nullptr);
        _module.global_init((int)words.size(), argv.data());
        panel = new CPanel;
        return panel->init_panel(this);
    }
    std::vector<std::string> RowNames() const {
        std::vector<std::string> names;
        for (int r = 0; r < list->rowCount(); r++)
            if (list->item(r, 0)) names.push_back(list->item(r, 0)->text().toStdString());
        return names;
    }

    mainlistview *list;
    mainiconview *icons;
    CPanel *panel = nullptr;
    std::string title;
    bool upEnabled = false;
    bool msgMode = false;
    bool startRequested = false;
    UStringVector dropped;
    bool droppedAsMove = false;
};

class PanelHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.Ok());
        ASSERT_EQ(mkdir((tmp / "docs").c_str(), 0755), 0);
        ASSERT_TRUE(testsupport::WriteFile(tmp / "docs/readme.md", "read me\n"));
        ASSERT_EQ(testsupport::Sh("cd '" + tmp.Path() + "' && zip -qr pack.zip docs"), 0);
    }
    testsupport::TempFolder tmp;
};

TEST_F(PanelHost, TitleUpButtonAndRowsFollowTheShownFolder) {
    CRecordingHost host;
    ASSERT_TRUE(host.Start({}));
    CPanel &p = *host.panel;

    ASSERT_EQ(p.BindToPathAndRefresh(U(tmp.Path())), S_OK);
    EXPECT_EQ(host.title, tmp.Path() + "/");
    EXPECT_TRUE(host.upEnabled);
    const std::vector<std::string> rows = host.RowNames();
    ASSERT_NE(std::find(rows.begin(), rows.end(), "pack.zip"), rows.end());

    // Into the archive: its folder shows in the host's view and its path in the title.
    const int row = (int)(std::find(rows.begin(), rows.end(), "pack.zip") - rows.begin());
    ASSERT_EQ(p.OpenItemAsArchive(p.GetRealItemIndex(row)), S_OK);
    EXPECT_EQ(host.title, tmp / "pack.zip/");
    EXPECT_EQ(host.RowNames(), std::vector<std::string>{"docs"});

    // The root has nothing above it.
    p.CloseOpenFolders();
    ASSERT_EQ(p.BindToPathAndRefresh(U("/")), S_OK);
    EXPECT_EQ(host.title, "/");
    EXPECT_FALSE(host.upEnabled);
}

TEST_F(PanelHost, AStartUpOperationAsksTheHostFromTheEventLoop) {
    CRecordingHost host;
    ASSERT_TRUE(host.Start({"-extract", tmp / "pack.zip"}));
    EXPECT_TRUE(host.msgMode);
    // The host must be complete before the operation reaches it.
    EXPECT_FALSE(host.startRequested);
    QCoreApplication::processEvents();
    EXPECT_TRUE(host.startRequested);
}

TEST_F(PanelHost, FilesDroppedOnTheListViewReachTheHost) {
    CRecordingHost host;
    ASSERT_TRUE(host.Start({}));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(tmp / "pack.zip")),
                  QUrl::fromLocalFile(QString::fromStdString(tmp / "docs"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(host.list->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(host.list->viewport(), &drop);
    ASSERT_EQ(host.dropped.Size(), 2u);
    EXPECT_EQ(S(host.dropped[0]), tmp / "pack.zip");
    EXPECT_EQ(S(host.dropped[1]), tmp / "docs");
    EXPECT_TRUE(host.droppedAsMove);
}

} // namespace
