#pragma once

// What the benchmarks of the real window share: a private work folder that is also the home of
// the run's settings, zips of many entries, and the program's module with the plug-in of this
// build.
#include <QApplication>
#include <QCoreApplication>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "bench_support.h"
#include "common/UTFConvert.h"
#include "module.h"
#include "archive/agent/Agent.h"

namespace benchsupport {

inline UString U(const std::string &s) {
    UString u;
    ConvertUTF8ToUnicode(AString(s.c_str()), u);
    return u;
}

// A new folder below work, set as HOME so that the settings of this run stay in it; empty on
// failure.
inline std::string MakeWindowBenchRoot(const std::string &work, const char *name) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("LC_ALL", "C.UTF-8", 1);
    const std::string templ = work + "/" + name + "-XXXXXX";
    std::string root(templ.begin(), templ.end());
    if (!mkdtemp(&root[0])) return std::string();
    setenv("HOME", root.c_str(), 1);
    return root;
}

// A zip of count entries written by Python; nameFormat takes the entry's number, data is a Python
// expression of i.
inline bool MakeZipOfEntries(const std::string &archive, long count, const char *nameFormat, const char *data) {
    const std::string make = std::string("/usr/bin/python3 -c \"import zipfile,sys\n"
                                         "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                         "  for i in range(int(sys.argv[2])):\n"
                                         "    z.writestr('") +
                             nameFormat + "' % i, " + data + ")\n\" '" + archive + "' " + std::to_string(count);
    return Sh(make) == 0;
}

// The program's module around the bench, with the plug-in the build put in bin/ rather than one
// beside the bench; the work folder goes once the module has let go of its settings there.
class CWindowBenchProgram {
    QApplication _app;
    std::string _root;

public:
    CWindowBenchProgram(int &argc, char **argv, const std::string &root) : _app(argc, argv), _root(root) {
        int oneArg = 1; // the bench's own arguments are no start-up request
        _module.global_init(oneArg, argv);
        FreeGlobalCodecs();
        setenv("TARNOVA_HOME_DIR", (QCoreApplication::applicationDirPath() + "/../bin/").toUtf8().constData(), 1);
        LoadGlobalCodecs();
    }
    ~CWindowBenchProgram() {
        _module.wait_for_threads();
        _module.global_uninit();
        RemoveTree(_root);
    }
};

} // namespace benchsupport
