#pragma once

#include "menuinterface.h"

// Offers extract and add-to-archive entries for the selected files and starts the program
// with the matching switch.
class DFMCtxMenuPlugin : public MenuInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MenuInterface_iid)
    Q_INTERFACES(MenuInterface)

public:
    enum add_type { add_with_dialog = 0, add_to_zip = 1, add_to_7z = 2 };

    DFMCtxMenuPlugin() = default;

    QList<QAction *> additionalMenu(const QStringList &files, const QString &currentDir) override;

    void add_callback(QAction *action, int kind);
    void extract_to_callback(QAction *action);
    void extract_here_callback(QAction *action);
};
