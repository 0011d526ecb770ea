# Sources of tarnovacore/archive/agent
list(APPEND TARNOVACORE_SOURCES
    archive/agent/UpdateCallbackAgent.cpp
)
