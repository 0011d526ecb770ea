# The file panel: start-up switches, binding and navigation, archive levels, the item list and
# its two views with drag and drop.
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Panel.h
    ${CMAKE_CURRENT_LIST_DIR}/Panel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PanelFolderChange.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PanelOpenArchive.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PanelItems.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PanelDrag.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PanelMenu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PanelThumbnails.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ViewDragDrop.h
    ${CMAKE_CURRENT_LIST_DIR}/ViewDragDrop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainlistview.h
    ${CMAKE_CURRENT_LIST_DIR}/mainlistview.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainiconview.h
    ${CMAKE_CURRENT_LIST_DIR}/mainiconview.cpp
)
