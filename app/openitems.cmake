# Opening items: name checks, outside programs and the watch of their temporary copies, and the
# write-back of changed items through nested archives; the item context menu.
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PanelOpenItem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/ArchiveWriteBack.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/FileMenu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/ItemNameChecks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/OutsidePrograms.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/ProcessList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filemanager/TmpProcessWatcher.cpp
)
