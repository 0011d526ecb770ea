// Pictures of the settings dialog, one per tab, for a look by eye (run under Xvfb).
#include <QDir>
#include <QRadioButton>
#include <QTabWidget>

#include "app_test_support.h"
#include "setting_fixture.h"
#include "settingwindow.h"

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

class SettingWindowPictures : public settingtest::SettingsHome {};

TEST_F(SettingWindowPictures, EveryTab) {
    std::map<std::wstring, CExtPlugins> map;
    for (const wchar_t *ext : {L"7z", L"arj", L"bz2", L"cab", L"cpio", L"deb", L"gz", L"iso", L"lzh", L"rar", L"rpm",
                               L"tar", L"tgz", L"txz", L"xz", L"z", L"zip", L"zst"}) {
        CExtPlugins &e = map[ext];
        e.ext = ext;
        e.assoc = e.DefaultAssoc = std::wstring(ext) != L"deb" && std::wstring(ext) != L"rpm";
    }
    ASSERT_TRUE(options::instance().set_file_associate(map));

    const QString dir = QString::fromUtf8(TARNOVA_SCREENSHOT_DIR);
    QDir().mkpath(dir);
    settingwindow *w = new settingwindow(nullptr);
    w->init_window();
    w->show();
    QTabWidget *tabs = w->findChild<QTabWidget *>("tabWidget_content");
    ASSERT_NE(tabs, nullptr);
    const char *names[] = {"common", "associate", "advanced", "improve"};
    for (int i = 0; i < tabs->count(); i++) {
        tabs->setCurrentIndex(i);
        apptest::RunUntil([] { return false; }, 200);
        const QString file = dir + QString("/settingwindow_%1.png").arg(names[i]);
        EXPECT_TRUE(w->grab().save(file)) << file.toStdString();
    }
    // The path field and the browse button in their enabled look.
    tabs->setCurrentIndex(2);
    w->findChild<QRadioButton *>("radioButton_custom")->click();
    apptest::RunUntil([] { return false; }, 200);
    EXPECT_TRUE(w->grab().save(dir + "/settingwindow_advanced_custom.png"));
    w->close();
}

} // namespace
