# Sources of tarnovacore/archive/common
list(APPEND TARNOVACORE_SOURCES
    archive/common/BufInStream.cpp
    archive/common/BufPtrSeqOutStream.cpp
    archive/common/BufferInStream.cpp
    archive/common/ByteDynBuffer.cpp
    archive/common/CachedInStream.cpp
    archive/common/ClusterInStream.cpp
    archive/common/CopyCoder.cpp
    archive/common/DynBufSeqOutStream.cpp
    archive/common/ExtentsStream.cpp
    archive/common/FilterCoder.cpp
    archive/common/InFileStream.cpp
    archive/common/LimitedCachedInStream.cpp
    archive/common/LimitedInStream.cpp
    archive/common/LimitedSequentialInStream.cpp
    archive/common/LimitedSequentialOutStream.cpp
    archive/common/LocalProgress.cpp
    archive/common/MethodProps.cpp
    archive/common/OutFileStream.cpp
    archive/common/SequentialOutStreamSizeCount.cpp
    archive/common/StdInFileStream.cpp
    archive/common/StdOutFileStream.cpp
    archive/common/StreamUtils.cpp
    archive/common/TailInStream.cpp
    archive/common/TailOutStream.cpp
)
