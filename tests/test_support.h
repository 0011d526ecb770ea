#pragma once

// Helpers shared by the test programs: bounded waits, real folders under /tmp, files read and
// written with the system's own calls (so that a fault in the code under test cannot hide behind
// its own clean-up), string conversions and shell commands.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/MyString.h"
#include "common/UTFConvert.h"

namespace testsupport {

// Every wait of a test is bounded here, never by the code under test, so a fault fails the
// test instead of hanging it.
template <typename Pred> bool WaitFor(Pred pred, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

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

// The reverse of W: each unit cut to one byte.
inline std::string A(const UString &u) {
    std::string s;
    for (unsigned i = 0; i < u.Len(); i++)
        s += (char)u[i];
    return s;
}

inline std::string A(const wchar_t *s) {
    return s ? A(UString(s)) : std::string("<null>");
}

// UTF-8 to and from the string type of the core.
inline UString U(const std::string &s) {
    UString u;
    ConvertUTF8ToUnicode(AString(s.c_str()), u);
    return u;
}

inline std::string S(const UString &u) {
    AString a;
    ConvertUnicodeToUTF8(u, a);
    return std::string(a.Ptr(), a.Len());
}

inline UStringVector Words(const std::vector<std::string> &words) {
    UStringVector v;
    for (const std::string &w : words)
        v.Add(U(w));
    return v;
}

inline std::wstring Join(const UStringVector &v, const wchar_t *sep = L"|") {
    std::wstring s;
    FOR_VECTOR(i, v) {
        if (i != 0) s += sep;
        s += v[i].Ptr();
    }
    return s;
}

// "[a][b]": each part in brackets, so that empty parts show.
inline std::wstring Bracketed(const UStringVector &parts) {
    std::wstring s;
    FOR_VECTOR(i, parts) {
        s += L"[";
        s += parts[i].Ptr();
        s += L"]";
    }
    return s;
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

// The names in a folder, without "." and ".."; empty if it cannot be read.
inline std::set<std::string> DirEntries(const std::string &dir) {
    std::set<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d) return names;
    while (const dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.insert(name);
    }
    closedir(d);
    return names;
}

// Every entry below a folder: relative path -> "f:content", "d", or "l:target".
inline void ListTree(const std::string &root, const std::string &rel, std::map<std::string, std::string> &out) {
    for (const std::string &name : DirEntries(root + (rel.empty() ? "" : "/" + rel))) {
        const std::string r = rel.empty() ? name : rel + "/" + name;
        const std::string full = root + "/" + r;
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            char buf[4096];
            const ssize_t n = readlink(full.c_str(), buf, sizeof(buf));
            out[r] = "l:" + std::string(buf, n > 0 ? (size_t)n : 0);
        } else if (S_ISDIR(st.st_mode)) {
            out[r] = "d";
            ListTree(root, r, out);
        } else
            out[r] = "f:" + ReadFile(full);
    }
}

inline std::map<std::string, std::string> Tree(const std::string &root) {
    std::map<std::string, std::string> m;
    ListTree(root, "", m);
    return m;
}

// Exit code of a shell command, -1 if it did not exit normally.
inline int Sh(const std::string &cmd) {
    const int rc = system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Output of a shell command; the exit status goes to *status.
inline std::string Shell(const std::string &cmd, int *status = nullptr) {
    std::string out;
    FILE *f = popen(cmd.c_str(), "r");
    if (!f) return "<popen failed>";
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        out.append(buf, n);
    const int st = pclose(f);
    if (status) *status = st;
    return out;
}

} // namespace testsupport
