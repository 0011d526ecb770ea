#pragma once

// Small helpers every benchmark program needs: a clock, the median of repeated runs, a shell
// command's exit status and removing a scratch tree.
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace benchsupport {

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
