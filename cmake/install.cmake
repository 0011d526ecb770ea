# What `cmake --install` puts where (paths below the prefix, /usr/local by default):
#   lib/tarnova/tarnova, lib/tarnova/7z.so   the program with its plug-in beside it
#   bin/tarnova                              a link to the program, so PATH finds it
#   share/applications/tarnova.desktop       the desktop entry
#   share/icons/tarnova.png                  the icon the context-menu plug-in reads
#   share/icons/hicolor/128x128/apps/tarnova.png   the same icon for the desktop entry
# and the context-menu plug-in into the file manager's own plug-in folder, which lies outside the
# prefix: the file manager looks nowhere else.
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(TARNOVA_DEFAULT_MENU_PLUGIN_DIR /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/dde-file-manager/plugins/menu)
else()
    set(TARNOVA_DEFAULT_MENU_PLUGIN_DIR /usr/lib/dde-file-manager/plugins/menu)
endif()
set(TARNOVA_MENU_PLUGIN_DIR ${TARNOVA_DEFAULT_MENU_PLUGIN_DIR}
    CACHE PATH "Folder where the file manager loads its context-menu plug-ins")

# The program loads 7z.so from its own folder (the link in bin/ resolves to it).
if(TARGET tarnova)
    install(TARGETS tarnova RUNTIME DESTINATION lib/tarnova)
    install(CODE "
        set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
        file(MAKE_DIRECTORY \"\${_bin}\")
        file(REMOVE \"\${_bin}/tarnova\")
        file(CREATE_LINK ../lib/tarnova/tarnova \"\${_bin}/tarnova\" SYMBOLIC)
        message(STATUS \"Installing: \${_bin}/tarnova -> ../lib/tarnova/tarnova\")
    ")
    install(FILES app/tarnova.desktop DESTINATION share/applications)
    install(FILES app/image/tarnova.png DESTINATION share/icons)
    install(FILES app/image/tarnova.png DESTINATION share/icons/hicolor/128x128/apps)
endif()
if(TARGET codecplugin)
    install(TARGETS codecplugin LIBRARY DESTINATION lib/tarnova)
endif()
if(TARGET rovuzu-tarnova)
    install(TARGETS rovuzu-tarnova LIBRARY DESTINATION ${TARNOVA_MENU_PLUGIN_DIR})
endif()
