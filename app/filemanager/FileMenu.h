#pragma once

// The item context menu of the panel: its entries and ids, and the read-only rule that greys out
// the entries that would change the folder.
#include "archive/IFolder.h"

class QMenu;

namespace file_menu {
const int open = 540;
const int edit = 544; // no menu offers it
const int copy_to = 546;
const int move_to = 547;
const int remove = 548;
const int new_folder = 555;
const int new_file = 556;
} // namespace file_menu

// True when the folder says it is read-only (a true boolean read-only property); false for none.
bool IsReadOnlyFolder(IFolderFolder *folder);

// Adds the entries to menu, each a QAction owned by the menu with its id as data; with
// readOnlyFolder the entries that change the folder are disabled, with archiveFolder those that
// an archive cannot carry out (moving items out of it, a new empty file in it). The entries are
// the same whatever is selected.
void FillFileMenu(QMenu *menu, bool readOnlyFolder, bool archiveFolder = false);
