#pragma once

// Small helpers every benchmark program needs: a clock, the median of repeated runs, a shell
// command's exit status and removing a scratch tree.
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace benchsupport {

// Unless TARNOVA_HOME_DIR says otherwise, the plug-in is loaded from bin/ beside this program's
// folder, where the build puts it.
inline void UsePluginFromBinFolder() {
    if (getenv("TARNOVA_HOME_DIR")) return;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string home = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./");
    home = home.substr(0, home.rfind('/'));
    home = home.substr(0, home.rfind('/')) + "/bin/";
    setenv("TARNOVA_HOME_DIR", home.c_str(), 1);
}

inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline int Sh(const std::string &cmd) {
    const int rc = system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) {
    return remove(path);
}

inline void RemoveTree(const std::string &path) {
    nftw(path.c_str(), RemoveEntry, 64, FTW_DEPTH | FTW_PHYS);
}

} // namespace benchsupport
