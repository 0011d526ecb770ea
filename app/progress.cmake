# Progress state, worker threads, the progress window and the password and overwrite prompts.
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ProgressSync.h
    ${CMAKE_CURRENT_LIST_DIR}/ProgressSync.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ErrorText.h
    ${CMAKE_CURRENT_LIST_DIR}/ErrorText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProgressFormat.h
    ${CMAKE_CURRENT_LIST_DIR}/ProgressFormat.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProgressThreadVirt.h
    ${CMAKE_CURRENT_LIST_DIR}/ProgressThreadVirt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/waitdialog.h
    ${CMAKE_CURRENT_LIST_DIR}/waitdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/progresswindow.h
    ${CMAKE_CURRENT_LIST_DIR}/progresswindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/progresswindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/passwordwindow.h
    ${CMAKE_CURRENT_LIST_DIR}/passwordwindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/passwordwindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/overwritewindow.h
    ${CMAKE_CURRENT_LIST_DIR}/overwritewindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/overwritewindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow_progress.cpp
)
