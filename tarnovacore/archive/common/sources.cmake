# Sources of tarnovacore/archive/common
list(APPEND TARNOVACORE_SOURCES
    archive/common/MethodProps.cpp
)
