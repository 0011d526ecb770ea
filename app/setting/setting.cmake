# Settings store over SQLCipher, the archive side's settings records, file-type associations
# and the settings dialog. SQLCipher is linked alone: plain libsqlite3 beside it would shadow
# its symbols.
list(APPEND TARNOVA_APP_SOURCES
    setting/CppSQLite3.cpp
    setting/CppSQLite3.h
    setting/options.cpp
    setting/options.h
    setting/ExtDatabase.cpp
    setting/ExtDatabase.h
    filemanager/ZipRegistry.cpp
    filemanager/ZipRegistry.h
    filemanager/ViewSettings.cpp
    filemanager/ViewSettings.h
    settingwindow.cpp
    settingwindow.h
    settingwindow.ui
)
list(APPEND TARNOVA_APP_LIBS PkgConfig::SQLCIPHER)

# The desktop entry that the file-type associations name.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../tarnova.desktop DESTINATION share/applications)
