# Installs the build into a staging root (DESTDIR) with the default prefix and checks that every
# file lands where the README says, that the README names each of them, and that the program's
# link in bin/ leads to the folder that holds its plug-in.
foreach(var BUILD_DIR STAGE SOURCE_DIR MENU_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} not set")
    endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE} ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix /usr/local
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

file(READ "${SOURCE_DIR}/README.md" readme)
set(expected
    /usr/local/bin/tarnova
    /usr/local/lib/tarnova/tarnova
    /usr/local/lib/tarnova/7z.so
    /usr/local/share/applications/tarnova.desktop
    /usr/local/share/icons/tarnova.png
    /usr/local/share/icons/hicolor/128x128/apps/tarnova.png
    ${MENU_DIR}/rovuzu-tarnova.so.1)
set(failures "")
foreach(path ${expected})
    if(NOT EXISTS "${STAGE}${path}")
        string(APPEND failures "not installed: ${path}\n")
    endif()
    string(FIND "${readme}" "${path}" at)
    if(at EQUAL -1)
        string(APPEND failures "not in the README: ${path}\n")
    endif()
endforeach()

if(NOT IS_SYMLINK "${STAGE}/usr/local/bin/tarnova")
    string(APPEND failures "bin/tarnova is no link\n")
else()
    file(REAL_PATH "${STAGE}/usr/local/bin/tarnova" target)
    file(REAL_PATH "${STAGE}/usr/local/lib/tarnova/tarnova" program)
    if(NOT target STREQUAL program)
        string(APPEND failures "bin/tarnova leads to ${target}\n")
    endif()
endif()
execute_process(COMMAND test -x "${STAGE}/usr/local/lib/tarnova/tarnova" RESULT_VARIABLE notExecutable)
if(notExecutable)
    string(APPEND failures "the program is not executable\n")
endif()
file(READ "${STAGE}/usr/local/share/applications/tarnova.desktop" entry)
if(NOT entry MATCHES "\nExec=tarnova " OR NOT entry MATCHES "\nIcon=tarnova\n")
    string(APPEND failures "the desktop entry does not start tarnova with its icon\n")
endif()

file(REMOVE_RECURSE "${STAGE}")
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
