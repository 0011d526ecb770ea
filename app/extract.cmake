# Extraction and checksum front-ends: the extract dialog, the extraction callback with the shared
# error texts, the in-memory extraction target and the checksum run.
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/ExtractErrorText.h
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/ExtractErrorText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/VirtFileSystem.h
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/VirtFileSystem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/ExtractCallback.h
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/ExtractCallback.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/ExtractGUI.h
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/ExtractGUI.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/HashGUI.h
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/HashGUI.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unzipwindow.h
    ${CMAKE_CURRENT_LIST_DIR}/unzipwindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unzipwindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow_extract.cpp
)
