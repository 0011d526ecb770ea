# Progress state, worker threads, the progress window and the password and overwrite prompts.
list(APPEND TARNOVA_APP_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ProgressSync.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ErrorText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProgressFormat.cpp
)
