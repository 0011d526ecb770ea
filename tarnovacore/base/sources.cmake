# Sources of tarnovacore/base
list(APPEND TARNOVACORE_SOURCES
)
