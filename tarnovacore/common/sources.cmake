# Sources of tarnovacore/common
list(APPEND TARNOVACORE_SOURCES
    common/MyString.cpp
    common/StringConvert.cpp
    common/UTFConvert.cpp
    common/IntToString.cpp
    common/StringToInt.cpp
    common/StdOutStream.cpp
    common/Wildcard.cpp
    common/MyWindows.cpp
    common/CommandLineParser.cpp
    common/MyCommandLine.cpp
    common/FolderListCompare.cpp
)
