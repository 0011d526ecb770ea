# Compression front-end: the compress dialog with its option lists, the update callback and the
# run of the engine's update behind the progress window.
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/CompressionOptions.h
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/CompressionOptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/UpdateCallbackGUI.h
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/UpdateCallbackGUI.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/UpdateGUI.h
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/UpdateGUI.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zipwindow.h
    ${CMAKE_CURRENT_LIST_DIR}/zipwindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zipwindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow_compress.cpp
)
