# Sources of tarnovacore/archive/ui-common
list(APPEND TARNOVACORE_SOURCES
    archive/ui-common/ArchiveName.cpp
    archive/ui-common/DefaultName.cpp
    archive/ui-common/ExtractingFilePath.cpp
    archive/ui-common/LoadCodecs.cpp
    archive/ui-common/TempFiles.cpp
    archive/ui-common/WorkDir.cpp
    archive/ui-common/WorkDirInfo.cpp
    archive/ui-common/PropIDUtils.cpp
    archive/ui-common/EnumDirItems.cpp
    archive/ui-common/ArchivePath.cpp
    archive/ui-common/RenamePair.cpp
    archive/ui-common/UpdateAction.cpp
    archive/ui-common/UpdateErrorInfo.cpp
    archive/ui-common/UpdatePair.cpp
    archive/ui-common/UpdateProduce.cpp
    archive/ui-common/OutMultiVolStream.cpp
    archive/ui-common/ArcItems.cpp
    archive/ui-common/ArchiveLink.cpp
    archive/ui-common/ArchiveOpenCallback.cpp
    archive/ui-common/ArchiveOpenCallbackOffset.cpp
    archive/ui-common/ExtractCallbackToOpenCallback.cpp
    archive/ui-common/OpenArchive.cpp
    archive/ui-common/ParserHandler.cpp
    archive/ui-common/WorkDirTempFile.cpp
)
