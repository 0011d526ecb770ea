#include "OutsidePrograms.h"

#include <QDesktopServices>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>

#include <vector>

#include "ItemNameChecks.h"
#include "messagebox.h"

namespace {

// The name a program will show: the last component, also of a folder path ending in "/".
UString LastComponent(const wchar_t *path) {
    UString s(path);
    while (s.Len() > 1 && s.Back() == L'/')
        s.DeleteBack();
    const int slash = s.ReverseFind_PathSepar();
    return slash < 0 ? s : UString(s.Ptr((unsigned)slash + 1));
}

bool RefuseSuspiciousName(const wchar_t *path, QWidget *parent) {
    UString message;
    if (!GetSuspiciousNameMessage(LastComponent(path), message)) return false;
    MessageBoxW(parent, message, L"Tarnova", 516);
    return true;
}

// Starts the program with each argument a word of its own, outliving us and never left as our
// zombie: a shell that gets no text of ours (only the fixed line below and the words as its
// positional parameters) starts it in the background and ends at once. posix_spawn, not fork:
// nothing runs in a copy of this threaded process before the new program is in place.
bool StartDetached(const QString &program, const QStringList &arguments) {
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty()) return false;
    std::vector<QByteArray> words = {"sh", "-c", "\"$0\" \"$@\" &", QFile::encodeName(exe)};
    for (const QString &argument : arguments)
        words.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool StartApplication(const wchar_t *path, QWidget *parent) {
    if (RefuseSuspiciousName(path, parent)) return false;
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromWCharArray(path)))) return true;
    MessageBoxW(parent, L"没有与该文件扩展名关联的应用程序", L"Tarnova", 516);
    return false;
}

bool StartEditApplication(const wchar_t *path, QWidget *parent) {
    if (RefuseSuspiciousName(path, parent)) return false;
    const QStringList arguments{QStringLiteral("--"), QStringLiteral("vim"), QString::fromWCharArray(path)};
    if (StartDetached(QStringLiteral("gnome-terminal"), arguments)) return true;
    MessageBoxW(parent, L"无法运行外部编辑。", L"Tarnova", 516);
    return false;
}
