#include "MyCommandLine.h"

#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "StringConvert.h"

// putenv keeps the pointer, so the text must outlive every reader of the environment.
static char g_HomeDirEnv[4096];

// dirname() without touching the argument.
static AString GetDirName(const char *path) {
    AString s(path);
    unsigned len = s.Len();
    while (len > 0 && s[len - 1] == '/')
        len--;
    if (len == 0) return AString(s.IsEmpty() ? "." : "/");
    while (len > 0 && s[len - 1] != '/')
        len--;
    if (len == 0) return AString(".");
    while (len > 0 && s[len - 1] == '/')
        len--;
    if (len == 0) return AString("/");
    return s.Left(len);
}

static AString GetProgramDir(const char *argv0) {
    // Started through PATH the name has no folder; "./" would point at the caller's current
    // folder, not at the program's, so ask the kernel where the image lives.
    if (!argv0 || strchr(argv0, '/') == nullptr) {
        char buf[4096];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
        if (n > 0) {
            buf[n] = 0;
            return GetDirName(buf);
        }
        return AString(".");
    }
    return GetDirName(argv0);
}

static void SetLocaleAndConversion() {
    setlocale(LC_ALL, "");
    const char *name = setlocale(LC_CTYPE, nullptr);
    if (!name) return;
    AString upper(name);
    for (unsigned i = 0; i < upper.Len(); i++)
        upper.ReplaceOneCharAtPos(i, MyCharUpper_Ascii(upper[i]));
    if (!upper.IsEmpty() && upper != "C" && upper != "POSIX") global_use_utf16_conversion = 1;
}

void mySplitCommandLine(int numArgs, char **args, UStringVector &parts) {
    const AString dir = GetProgramDir(numArgs > 0 ? args[0] : nullptr);
    snprintf(g_HomeDirEnv, sizeof(g_HomeDirEnv), "R7ERI_HOME_DIR=%s/", dir.Ptr());
    putenv(g_HomeDirEnv);

    SetLocaleAndConversion();

    parts.Clear();
    for (int j = 0; j < numArgs; j++) {
        char *arg = args[j];
        if (!arg) continue;
        if (j <= 2 && strcmp(arg, "-no-utf16") == 0) {
            global_use_utf16_conversion = 0;
            continue;
        }
        if (j <= 2 && strcmp(arg, "-utf16") == 0) {
            global_use_utf16_conversion = 1;
            continue;
        }
        const UString u = MultiByteToUnicodeString(AString(arg));
        if (!u.IsEmpty()) parts.Add(u);
        // Hide the password from other users' process listings; our copy keeps it.
        const size_t len = strlen(arg);
        if (len > 2 && arg[0] == '-' && (arg[1] == 'p' || arg[1] == 'P')) memset(arg + 2, '*', len - 2);
    }
}
