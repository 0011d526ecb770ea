#pragma once

// Real folders under /tmp for the file layer tests, cleaned up with the system's own calls so
// that a fault in the code under test cannot hide behind its own clean-up.
#include <fcntl.h>
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/MyString.h"

namespace filetest {

inline int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) {
    return remove(path);
}

class TempFolder {
public:
    explicit TempFolder(const char *base = "/tmp") {
        std::string templ = std::string(base) + "/tarnova-files-XXXXXX";
        char *p = mkdtemp(&templ[0]);
        if (p) path_ = p;
    }
    ~TempFolder() {
        if (!path_.empty()) nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    bool Ok() const { return !path_.empty(); }
    const std::string &Path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Bytes widened one per unit: exact for ASCII, and the form the layer gives undecodable names.
inline UString W(const std::string &s) {
    UString u;
    u.SetFromAscii(s.c_str());
    return u;
}

inline bool WriteFile(const std::string &path, const std::string &content, mode_t mode = 0644) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    if (fd < 0) return false;
    const bool ok = write(fd, content.data(), content.size()) == (ssize_t)content.size();
    return close(fd) == 0 && ok;
}

inline std::string ReadFile(const std::string &path) {
    std::string res;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return "<missing>";
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof(buf))) > 0)
        res.append(buf, (size_t)n);
    close(fd);
    return res;
}

inline bool Exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

inline mode_t ModeOf(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

} // namespace filetest
