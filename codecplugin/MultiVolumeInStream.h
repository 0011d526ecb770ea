#pragma once

// Several volume streams read as one seekable stream.
#include "archive/IStream.h"
#include "common/MyCom.h"

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

} // namespace NPlugin
