#include "ProcessList.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>

namespace {

// The whole argument list: a path can be any argument, and arguments can be long.
bool ReadWholeFile(const std::string &path, std::string &out) {
    out.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, (size_t)n);
    }
    close(fd);
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "file:///a%20b" and "file://localhost/a%20b" name "/a b"; false for anything else.
bool LocalPathOfFileUrl(const char *arg, std::string &path) {
    if (strncasecmp(arg, "file://", 7) != 0) return false;
    const char *p = arg + 7;
    if (strncasecmp(p, "localhost/", 10) == 0) p += 9;
    if (*p != '/') return false;
    path.clear();
    for (; *p; p++) {
        if (*p == '%' && HexValue(p[1]) >= 0 && HexValue(p[2]) >= 0) {
            path += (char)(HexValue(p[1]) * 16 + HexValue(p[2]));
            p += 2;
        } else if (*p == '?' || *p == '#') {
            break;
        } else {
            path += *p;
        }
    }
    return true;
}

bool Matches(const char *arg, const char *text, bool caseSensitive, bool exact) {
    if (exact) return (caseSensitive ? strcmp(arg, text) : strcasecmp(arg, text)) == 0;
    return (caseSensitive ? strstr(arg, text) : strcasestr(arg, text)) != nullptr;
}

} // namespace

int GetPIDbyCmdline(const char *text, bool caseSensitive, bool exact) {
    DIR *dir = opendir("/proc/");
    if (!dir) return -2;
    int found = -1;
    std::string cmdline;
    std::string urlPath;
    while (found < 0) {
        const struct dirent *entry = readdir(dir);
        if (!entry) break;
        const char *name = entry->d_name;
        if (*name < '1' || *name > '9' || strspn(name, "0123456789") != strlen(name)) continue;
        if (!ReadWholeFile(std::string("/proc/") + name + "/cmdline", cmdline)) continue;
        // Arguments end in NUL each; a process that rewrote its title may leave the last one open.
        for (size_t pos = 0; pos < cmdline.size();) {
            const char *arg = cmdline.c_str() + pos;
            const size_t len = strlen(arg);
            if (Matches(arg, text, caseSensitive, exact) ||
                (LocalPathOfFileUrl(arg, urlPath) && Matches(urlPath.c_str(), text, caseSensitive, exact))) {
                found = atoi(name);
                break;
            }
            pos += len + 1;
        }
    }
    closedir(dir);
    return found;
}

static bool IsZombie(int pid) {
    char path[64];
    snprintf(path, sizeof(path), "/proc/%d/stat", pid);
    std::string stat;
    if (!ReadWholeFile(path, stat)) return false;
    // The state follows the command name, which may itself hold ") ".
    const size_t close = stat.rfind(") ");
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

bool IsProcessRunning(int pid) {
    if (pid <= 0) return false;
    if (kill(pid, 0) != 0 && errno != EPERM) return false;
    return !IsZombie(pid);
}
