# Sources of tarnovacore/archive/ui-common
list(APPEND TARNOVACORE_SOURCES
)
