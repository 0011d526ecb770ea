# Sources of tarnovacore/common
list(APPEND TARNOVACORE_SOURCES
)
