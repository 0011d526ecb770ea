// Times one flat archive level in the browser window under the offscreen platform with the real
// widgets, side by side in one run: opening it, sorting it by another column and back, and leaving
// it by Up and by Home. Leaving should cost about what opening costs, not many times more.
// Usage: level_bench [work folder, default /tmp] [entries, default 250000] [rounds, default 3]
#include <QApplication>
#include <QHeaderView>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "Panel.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "window_bench_support.h"

namespace {

using namespace benchsupport;

void Settle(mainwindow &window) {
    window.repaint();
    QApplication::processEvents();
}

double Open(mainwindow &window, const std::string &archive) {
    const double t0 = Now();
    if (window.get_panel()->BindToPathAndRefresh(U(archive)) != S_OK) {
        fprintf(stderr, "cannot open %s\n", archive.c_str());
        exit(1);
    }
    Settle(window);
    return Now() - t0;
}

// By size descending, then by name again, as two clicks on the headers do.
double Sort(mainwindow &window) {
    CPanel *panel = window.get_panel();
    int sizeColumn = -1, nameColumn = 0;
    FOR_VECTOR(j, panel->visibleColumns) {
        if (panel->visibleColumns[j].ID == kpidSize) sizeColumn = (int)j;
        if (panel->visibleColumns[j].ID == kpidName) nameColumn = (int)j;
    }
    if (sizeColumn < 0) {
        fprintf(stderr, "no size column\n");
        exit(1);
    }
    QHeaderView *header = window.get_list_view()->horizontalHeader();
    const double t0 = Now();
    header->setSortIndicator(sizeColumn, Qt::DescendingOrder);
    Settle(window);
    header->setSortIndicator(nameColumn, Qt::AscendingOrder);
    Settle(window);
    return (Now() - t0) / 2;
}

double Leave(mainwindow &window, bool byHome) {
    CPanel *panel = window.get_panel();
    const double t0 = Now();
    if (byHome)
        panel->BindToPathAndRefresh(U(getenv("HOME")));
    else
        panel->OpenParentFolder();
    Settle(window);
    return Now() - t0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string work = argc > 1 ? argv[1] : "/tmp";
    const int numEntries = argc > 2 ? atoi(argv[2]) : 250000;
    const int rounds = argc > 3 ? atoi(argv[3]) : 3;

    const std::string root = MakeWindowBenchRoot(work, "tarnova-level-bench");
    if (root.empty()) return 1;
    const std::string archive = root + "/flat.zip";
    if (!MakeZipOfEntries(archive, numEntries, "entry-%07d.txt", "b'x' * (i % 13)")) return 1;

    CWindowBenchProgram program(argc, argv, root);
    std::vector<double> open, sort, up, home;
    {
        mainwindow window(nullptr);
        window.resize(1000, 700);
        window.show();
        window.get_panel()->BindToPathAndRefresh(U(root));
        Settle(window);
        // Rounds alternate Up and Home, so that a load on the machine falls on both alike.
        for (int round = 0; round < rounds; round++) {
            for (int byHome = 0; byHome < 2; byHome++) {
                open.push_back(Open(window, archive));
                sort.push_back(Sort(window));
                (byHome ? home : up).push_back(Leave(window, byHome != 0));
            }
        }
    }
    const double o = Median(open), s = Median(sort), u = Median(up), h = Median(home);
    printf("flat level of %d entries (medians of %d rounds): open %.3f s, sort %.3f s, leave by Up %.3f s, leave by "
           "Home %.3f s\n",
           numEntries, rounds, o, s, u, h);
    printf("leave/open ratio: Up %.2f, Home %.2f\n", u / o, h / o);
    return 0;
}
