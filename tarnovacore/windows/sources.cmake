# Sources of tarnovacore/windows
list(APPEND TARNOVACORE_SOURCES
    windows/System.cpp
    windows/TimeUtils.cpp
    windows/WinTime.cpp
    windows/PropVariant.cpp
    windows/PropVariantConv.cpp
    windows/ErrorMsg.cpp
    windows/DLL.cpp
    windows/DelayedSymLink.cpp
    windows/FileDir.cpp
    windows/FileFind.cpp
    windows/FileIO.cpp
    windows/FileName.cpp
    windows/TempDir.cpp
    windows/TempFile.cpp
)
