// The memory the program takes to open a large archive as "tarnova -open" does: the real main
// window under the offscreen platform binds its panel to a zip of many empty entries and paints it.
// Prints, per entry, the resident size held once the panel shows the archive and the peak while it
// was opened, both above the window's idle size (the window showing a small folder), after
// malloc_trim so that freed heap is not counted.
// Usage: open_memory_bench [work folder, default /tmp] [entries, default 1000000]
#include <QApplication>

#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "Panel.h"
#include "archive/agent/Agent.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "window_bench_support.h"

namespace {

using namespace benchsupport;

// VmRSS or VmHWM of this process in bytes.
long long StatusBytes(const char *field) {
    FILE *f = fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long long kb = -1;
    const size_t len = strlen(field);
    while (fgets(line, sizeof(line), f))
        if (strncmp(line, field, len) == 0 && line[len] == ':') kb = atoll(line + len + 1);
    fclose(f);
    return kb * 1024;
}

// Makes the peak start again from the present size.
void ResetPeak() {
    const int fd = open("/proc/self/clear_refs", O_WRONLY);
    if (fd < 0) return;
    if (write(fd, "5", 1) < 0) {
    }
    close(fd);
}

void Settle() {
    for (int i = 0; i < 3; i++)
        QApplication::processEvents();
    malloc_trim(0);
}

} // namespace

int main(int argc, char **argv) {
    const std::string work = argc > 1 ? argv[1] : "/tmp";
    const long entries = argc > 2 ? atol(argv[2]) : 1000000;

    const std::string root = MakeWindowBenchRoot(work, "tarnova-open-memory");
    if (root.empty()) return 1;
    const std::string idleDir = root + "/idle";
    mkdir(idleDir.c_str(), 0755);
    const std::string archive = root + "/empty-entries.zip";
    if (!MakeZipOfEntries(archive, entries, "e%07d", "b''")) return 1;

    CWindowBenchProgram program(argc, argv, root);
    int rc = 0;
    {
        mainwindow window(nullptr);
        window.resize(1000, 700);
        window.show();
        CPanel *panel = window.get_panel();
        panel->BindToPathAndRefresh(U(idleDir + "/"));
        window.repaint();
        Settle();
        const long long idle = StatusBytes("VmRSS");
        ResetPeak();
        const double t0 = Now();
        if (panel->BindToPathAndRefresh(U(archive)) != S_OK) {
            fprintf(stderr, "cannot show %s\n", archive.c_str());
            rc = 1;
        } else {
            window.repaint();
            QApplication::processEvents();
            const double shown = Now() - t0;
            const long long peak = StatusBytes("VmHWM");
            Settle();
            const long long held = StatusBytes("VmRSS");
            const double perHeld = (double)(held - idle) / (double)entries;
            const double perPeak = (double)(peak - idle) / (double)entries;
            const bool allRows = window.get_list_view()->rowCount() == entries;
            if (!allRows) rc = 1;
            printf("open of a zip of %ld empty entries in the window: shown in %.2f s; idle %.1f MB; held %.1f MB, "
                   "%.0f B per entry; peak %.1f MB, %.0f B per entry (goal < 300)%s\n",
                   entries, shown, idle / 1e6, held / 1e6, perHeld, peak / 1e6, perPeak,
                   allRows ? "" : "  [FAILED: rows missing]");
        }
    }
    return rc;
}
