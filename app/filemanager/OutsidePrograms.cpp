#include "OutsidePrograms.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

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

} // namespace

bool StartApplication(const wchar_t *path, QWidget *parent) {
    if (RefuseSuspiciousName(path, parent)) return false;
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromWCharArray(path)))) return true;
    MessageBoxW(parent, L"There is no application associated with the given file name extension", L"Tarnova", 516);
    return false;
}

bool StartEditApplication(const wchar_t *path, QWidget *parent) {
    if (RefuseSuspiciousName(path, parent)) return false;
    const QStringList arguments{QStringLiteral("--"), QStringLiteral("vim"), QString::fromWCharArray(path)};
    if (QProcess::startDetached(QStringLiteral("gnome-terminal"), arguments)) return true;
    MessageBoxW(parent, L"无法运行外部编辑。", L"Tarnova", 516);
    return false;
}
