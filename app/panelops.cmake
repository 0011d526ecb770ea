# Operations of the panel: the copy-to dialog, copy and move between folders and archives, the
# folder operations and the command runner's front-end steps.
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/copywindow.h
    ${CMAKE_CURRENT_LIST_DIR}/copywindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/copywindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow_panelops.cpp
)
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/UpdateCallback100.h
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/UpdateCallback100.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FolderOperations.h
    ${CMAKE_CURRENT_LIST_DIR}/PanelFolderOps.cpp
)
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PanelCopy.h
    ${CMAKE_CURRENT_LIST_DIR}/PanelCopy.cpp
)
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PanelRunner.h
    ${CMAKE_CURRENT_LIST_DIR}/PanelRunner.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PanelCompress.cpp
)
