#pragma once

// Several volume streams read as one seekable stream.
#include "archive/IArchive.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <string>
#include <vector>

namespace NPlugin {

struct CVolume {
    CMyComPtr<IInStream> stream;
    UInt64 start;
    UInt64 size;
};

class CMultiVolumeInStream : public IInStream, public IStreamGetSize, public CMyUnknownImp {
    std::vector<CVolume> _volumes;
    UInt64 _total = 0;
    UInt64 _pos = 0;

public:
    explicit CMultiVolumeInStream(const std::vector<CVolume> &volumes);
    virtual ~CMultiVolumeInStream() {}

    COM_UNKNOWN_IMP(IInStream, IStreamGetSize)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT GetSize(UInt64 *size) override;
};

// The volume requests of an open (null when the caller offers none) and the name of the file
// being opened, its last path component.
HRESULT GetVolumeCallback(IArchiveOpenCallback *callback, CMyComPtr<IArchiveOpenVolumeCallback> &volumes,
                          std::wstring &name);

// Appends a volume that starts where the ones before it end.
HRESULT AddVolume(std::vector<CVolume> &volumes, UInt64 &total, IInStream *stream);

} // namespace NPlugin
