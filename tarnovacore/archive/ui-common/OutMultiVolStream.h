#pragma once

#include "TempFiles.h"
#include "archive/IStream.h"
#include "archive/common/FileStreams.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "common/MyVector.h"

// One seekable stream over numbered volume files of given sizes. Each volume is created when the
// writing first reaches it, without a name where the file system allows, and gets its name (and
// its entry in the run's temporary-file list) at Close, so a run that is killed leaves none.
class COutMultiVolStream : public IOutStream, public CMyUnknownImp {
    unsigned _streamIndex;  // the volume from which the next write looks for the position
    UInt64 _offsetInVolume; // position inside that volume
    UInt64 _absPos;
    UInt64 _length;

    struct CAltStreamInfo {
        COutFileStream *FileStream;
        CMyComPtr<IOutStream> Stream;
        UString Path;
        UInt64 FilePos;  // where the file's own position is
        UInt64 DataSize; // bytes the file holds
        bool Unnamed;    // named at Close

        CAltStreamInfo() : FileStream(nullptr), FilePos(0), DataSize(0), Unnamed(false) {}
    };
    CObjectVector<CAltStreamInfo> Volumes;

    UInt64 VolumeSize(unsigned index) const { return index < Sizes.Size() ? Sizes[index] : Sizes.Back(); }

public:
    CRecordVector<UInt64> Sizes; // the last one repeats; never empty in use
    UString Prefix;              // volume k is Prefix + "%03u" of k + 1
    CTempFiles *TempFiles;

    COutMultiVolStream() : _streamIndex(0), _offsetInVolume(0), _absPos(0), _length(0), TempFiles(nullptr) {}

    void Init() {
        _streamIndex = 0;
        _offsetInVolume = 0;
        _absPos = 0;
        _length = 0;
    }

    // Names the unnamed volumes (failing when a name is taken; then no volume of this stream keeps
    // a name) and closes every volume in order: S_OK or the last failure.
    HRESULT Close();
    // Applied when the volumes are closed; true only when every volume took it.
    bool SetMTime(const FILETIME *mTime);
    UInt64 GetSize() const { return _length; }
    unsigned GetNumVolumes() const { return Volumes.Size(); }

    COM_UNKNOWN_IMP(IOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT SetSize(UInt64 newSize) override;
};
