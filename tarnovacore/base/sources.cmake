# Sources of tarnovacore/base
list(APPEND TARNOVACORE_SOURCES
    base/Alloc.cpp
    base/Sort.cpp
    base/Threads.cpp
)
