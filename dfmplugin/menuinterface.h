#pragma once

// The file manager's context-menu plug-in interface, as far as a plug-in sees it: the file
// manager loads the plug-in under the interface id below and asks it for extra actions.
#include <QAction>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class MenuInterface : public QObject {
public:
    explicit MenuInterface(QObject *parent = nullptr) : QObject(parent) {}
    ~MenuInterface() override = default;

    // Actions for a context menu on selected items (URL strings); the file manager takes them.
    virtual QList<QAction *> additionalMenu(const QStringList &files, const QString &currentDir) {
        Q_UNUSED(files);
        Q_UNUSED(currentDir);
        return {};
    }
    // Actions for a context menu on the empty area of a folder.
    virtual QList<QAction *> additionalEmptyMenu(const QString &currentDir, bool onDesktop = false) {
        Q_UNUSED(currentDir);
        Q_UNUSED(onDesktop);
        return {};
    }
};

#define MenuInterface_iid "com.deepin.dde-file-manager.MenuInterface.V1"
Q_DECLARE_INTERFACE(MenuInterface, MenuInterface_iid)
