#pragma once

// The program's start-up opens the settings and registers file types with xdg-mime: a test
// program gives it a home folder of its own and a fake xdg-mime, never the real user's.
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace apptest {

inline int RemoveTemporaryHomeEntry(const char *path, const struct stat *, int, struct FTW *) {
    return remove(path);
}

inline void UseTemporaryHome() {
    static std::string home;
    if (!home.empty()) return;
    char templ[] = "/tmp/tarnova-home-XXXXXX";
    if (!mkdtemp(templ)) abort();
    home = templ;
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    const std::string bin = home + "/bin";
    mkdir(bin.c_str(), 0755);
    const std::string fake = bin + "/xdg-mime";
    if (FILE *f = fopen(fake.c_str(), "w")) {
        fprintf(f, "#!/bin/sh\nprintf '%%s\\n' \"$*\" >> '%s/xdg-mime.log'\n", home.c_str());
        fclose(f);
    }
    chmod(fake.c_str(), 0755);
    const char *path = getenv("PATH");
    setenv("PATH", (bin + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    // Only the process that made it removes it: a forked child must not take it from its parent.
    static const pid_t owner = getpid();
    atexit([] {
        if (getpid() == owner) nftw(home.c_str(), RemoveTemporaryHomeEntry, 16, FTW_DEPTH | FTW_PHYS);
    });
}

} // namespace apptest
