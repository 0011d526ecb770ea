// Times the browser window against the bare listing, side by side in one run, under the offscreen
// platform with the real widgets:
//   a folder of 100,000 files: the disk folder's own listing, against binding the panel to it and
//   painting the first screen of the table;
//   an archive of 250,000 entries: the agent's open and listing, against binding the panel to it
//   (open included) and painting the first screen;
//   scrolling: the time of painting one page further down, averaged over many pages.
// Usage: panel_bench [work folder, default /tmp] [files, default 100000] [archive entries, default 250000]
#include <QApplication>
#include <QScrollBar>

#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "FSFolder.h"
#include "Panel.h"
#include "archive/agent/Agent.h"
#include "archive/agent/ArchiveFolderOpen.h"
#include "common/StringConvert.h"
#include "common/UTFConvert.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "window_bench_support.h"
#include "windows/FileIO.h"

namespace {

using namespace benchsupport;

double ListFolder(const std::string &dir) {
    const double t0 = Now();
    CMyComPtr<IFolderFolder> folder;
    NFsFolder::CreateFsFolder(U(dir + "/"), &folder);
    folder->LoadItems();
    UInt32 n = 0;
    folder->GetNumberOfItems(&n);
    return Now() - t0;
}

double ListArchive(const std::string &path) {
    const double t0 = Now();
    CMyComPtr<IFolderManager> manager = new CArchiveFolderManager;
    CMyComPtr<IInStream> stream;
    CMyComPtr<IFolderFolder> folder;
    if (manager->OpenFolderFile(nullptr, U(path), nullptr, &folder, nullptr) != S_OK || !folder) {
        fprintf(stderr, "cannot open %s\n", path.c_str());
        exit(1);
    }
    folder->LoadItems();
    UInt32 n = 0;
    folder->GetNumberOfItems(&n);
    return Now() - t0;
}

double ShowInPanel(mainwindow &window, const std::string &path) {
    CPanel *panel = window.get_panel();
    panel->BindToPathAndRefresh(U("/"));
    QApplication::processEvents();
    const double t0 = Now();
    if (panel->BindToPathAndRefresh(U(path)) != S_OK) {
        fprintf(stderr, "cannot show %s\n", path.c_str());
        exit(1);
    }
    window.repaint();
    QApplication::processEvents();
    return Now() - t0;
}

double ScrollPage(mainwindow &window, int pages) {
    mainlistview *table = window.get_list_view();
    QScrollBar *bar = table->verticalScrollBar();
    const double t0 = Now();
    for (int i = 0; i < pages; i++) {
        bar->setValue(bar->value() + bar->pageStep());
        table->viewport()->repaint();
    }
    return (Now() - t0) / pages;
}

} // namespace

int main(int argc, char **argv) {
    const std::string work = argc > 1 ? argv[1] : "/tmp";
    const int numFiles = argc > 2 ? atoi(argv[2]) : 100000;
    const int numEntries = argc > 3 ? atoi(argv[3]) : 250000;

    const std::string root = MakeWindowBenchRoot(work, "tarnova-panel-bench");
    if (root.empty()) return 1;

    const std::string dir = root + "/many";
    mkdir(dir.c_str(), 0755);
    for (int i = 0; i < numFiles; i++) {
        char name[64];
        snprintf(name, sizeof(name), "/file-%06d.txt", i);
        const int fd = open((dir + name).c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) {
            if (i % 7 == 0 && write(fd, "data", 4) < 0) return 1;
            close(fd);
        }
    }
    const std::string archive = root + "/big.zip";
    if (!MakeZipOfEntries(archive, numEntries, "entry-%07d.txt", "b'x' * (i % 13)")) return 1;

    CWindowBenchProgram program(argc, argv, root);
    std::vector<double> listDir, showDir, listArc, showArc;
    {
        mainwindow window(nullptr);
        window.resize(1000, 700);
        window.show();
        for (int run = 0; run < 3; run++) {
            listDir.push_back(ListFolder(dir));
            showDir.push_back(ShowInPanel(window, dir));
        }
        const double scrollDir = ScrollPage(window, 200);
        for (int run = 0; run < 3; run++) {
            listArc.push_back(ListArchive(archive));
            showArc.push_back(ShowInPanel(window, archive));
        }
        const double scrollArc = ScrollPage(window, 20);
        printf("folder of %d files: listing %.3f s, shown in the window %.3f s, ratio %.2f; one page of "
               "scrolling %.2f ms\n",
               numFiles, Median(listDir), Median(showDir), Median(showDir) / Median(listDir), scrollDir * 1000);
        printf("archive of %d entries: agent open and listing %.3f s, shown in the window %.3f s, ratio %.2f; one "
               "page of scrolling %.2f ms\n",
               numEntries, Median(listArc), Median(showArc), Median(showArc) / Median(listArc), scrollArc * 1000);
    }
    return 0;
}
