// A second program using the settings file at the same time as a test.
//   setting_writer extract|compress COUNT   writes its record COUNT times, exits with the failures
//   setting_writer hold-read MS READY RELEASE  keeps a read transaction open until RELEASE exists
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "ZipRegistry.h"
#include "options.h"

extern int global_use_utf16_conversion;

int main(int argc, char **argv) {
    if (argc < 3) return 100;
    setlocale(LC_ALL, "C.UTF-8");
    global_use_utf16_conversion = 1;
    const int count = atoi(argv[2]);
    // Far below the program's minute, so a lock that is never released fails the test quickly.
    options::instance().set_busy_timeout(10000);
    int failures = 0;
    if (strcmp(argv[1], "extract") == 0) {
        for (int i = 0; i < count; i++) {
            NExtract::CInfo info;
            info.ExtractMode = i;
            info.PathHistory.Add(UString(L"/extract,") + NumberToString((UInt64)i));
            if (!info.Save()) failures++;
        }
    } else if (strcmp(argv[1], "compress") == 0) {
        for (int i = 0; i < count; i++) {
            NCompression::CInfo info;
            info.Level = i;
            NCompression::CFormatOptions &fo = info.Formats.AddNew();
            fo.FormatID = L"zip";
            fo.Level = (UInt32)i;
            if (!info.Save()) failures++;
            CObjectVector<UString> list;
            list.Add(NumberToString((UInt64)i));
            if (!options::instance().set_copy_history(list)) failures++;
        }
    } else if (strcmp(argv[1], "hold-read") == 0 && argc > 4) {
        CppSQLite3DB db;
        db.open(options::database_path().toUtf8().constData());
        db.execDML("begin");
        CppSQLite3Query q = db.execQuery("select * from common");
        FILE *ready = fopen(argv[3], "w");
        if (ready) fclose(ready);
        // Held until the test says so (or COUNT milliseconds at most), however slow the machine.
        for (int waited = 0; waited < count && access(argv[4], F_OK) != 0; waited += 5)
            usleep(5000);
        q.finalize();
        db.execDML("commit");
    } else {
        return 100;
    }
    return failures > 99 ? 99 : failures;
}
