# Sources of tarnovacore/archive/agent
list(APPEND TARNOVACORE_SOURCES
)
