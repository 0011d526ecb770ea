# Sources of tarnovacore/windows
list(APPEND TARNOVACORE_SOURCES
    windows/System.cpp
    windows/TimeUtils.cpp
    windows/WinTime.cpp
    windows/PropVariant.cpp
    windows/PropVariantConv.cpp
    windows/ErrorMsg.cpp
)
