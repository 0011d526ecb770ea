# Disk folders: the file-system folder with its comments, the root and drives levels, copying
# and moving on disk, and the texts of the item list's cells. None of it needs Qt.
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CellText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FSDrives.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FSFolder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FSFolderCopy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FSFolderSys.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PairsStorage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RootFolder.cpp
)
