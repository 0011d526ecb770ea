# Disk folders: the file-system folder, comments, root and drives, copy and move, cell texts.
tarnova_app_test(folders_test
    ${CMAKE_CURRENT_LIST_DIR}/cell_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/comments_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fs_copy_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fs_folder_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/root_drives_test.cpp
)
