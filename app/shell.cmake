# Start-up, the module object, the frameless dialog base, message boxes, the one-line input
# dialog, the about box and the main window with its dialog slots.
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dialogcodes.h
    ${CMAKE_CURRENT_LIST_DIR}/module.h
    ${CMAKE_CURRENT_LIST_DIR}/module.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framelesswindow.h
    ${CMAKE_CURRENT_LIST_DIR}/framelesswindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/basewindow.h
    ${CMAKE_CURRENT_LIST_DIR}/basewindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/misc/qt_helper.h
    ${CMAKE_CURRENT_LIST_DIR}/misc/qt_helper.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow.h
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/messagebox.h
    ${CMAKE_CURRENT_LIST_DIR}/messagebox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/messagebox.ui
    ${CMAKE_CURRENT_LIST_DIR}/combowindow.h
    ${CMAKE_CURRENT_LIST_DIR}/combowindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/combowindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/aboutwindow.h
    ${CMAKE_CURRENT_LIST_DIR}/aboutwindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/aboutwindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/tarnovamain.h
    ${CMAKE_CURRENT_LIST_DIR}/tarnovamain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tarnova.qrc
)

option(TARNOVA_BUILD_IMAGE_TOOL "Build makeimages, the generator of the image set in app/image" OFF)
if(TARNOVA_BUILD_IMAGE_TOOL)
    add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/image-src ${CMAKE_BINARY_DIR}/image-src)
endif()
