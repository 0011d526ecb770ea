#pragma once

// Which archive extensions the desktop opens with this program, kept in the settings store
// and applied through xdg-mime.
#include <map>
#include <string>

#include <QString>
#include <QStringList>

#include "common/MyString.h"
#include "common/MyVector.h"

struct CPluginToIcon {
    UString PluginName;
    int IconIndex = -1;
};

struct CExtPlugins {
    UString ext;
    CObjectVector<CPluginToIcon> plugins;
    bool assoc = false;
    bool DefaultAssoc = false;
    UString application;
    bool changed = false;
    int table_index = -1;
};

class CExtDatabase {
public:
    CObjectVector<CExtPlugins> entries;
    std::map<std::wstring, CExtPlugins> ext_map;

    static void cmd_associate();
    void Read();
    void Save();
    void associate_ext(const CObjectVector<UString> &exts, bool on);
    void associate_ext(const UString &ext, bool on);
    static bool check_application_folder();
    int FindExt(const UString &ext) const;

    // Builds, applies and stores the default table from a space-separated extension list.
    void build_defaults(const UString &extensions);

    // The MIME type names of the extensions, without duplicates and without any that the
    // MIME database does not know.
    static QStringList mime_types_for(const CObjectVector<UString> &exts);
    // Removes this program as the default application of the types from the user's
    // mimeapps.list, so the desktop falls back to its earlier choice.
    static bool remove_default_entries(const QStringList &mimeTypes);
};

// The desktop entry the associations name.
extern const char *const kTarnovaDesktopEntry;
