# Sources of tarnovacore/windows
list(APPEND TARNOVACORE_SOURCES
)
