# Sources of tarnovacore/archive/agent
list(APPEND TARNOVACORE_SOURCES
    archive/agent/UpdateCallbackAgent.cpp
    archive/agent/AgentProxy.cpp
    archive/agent/Agent.cpp
    archive/agent/AgentFolder.cpp
    archive/agent/ArchiveFolderOpen.cpp
    archive/agent/AgentOut.cpp
    archive/agent/ArchiveFolder.cpp
)
