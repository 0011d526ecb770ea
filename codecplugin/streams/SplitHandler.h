#pragma once

// Numbered volumes (name.001, name.002, ...) joined into one item named after the first volume
// without its number. The volumes come through the open callback's volume requests.
#include "HandlerBase.h"
#include "streams/MultiVolumeInStream.h"
#include "archive/IArchive.h"
#include "common/MyCom.h"

#include <string>
#include <vector>

namespace NPlugin {

class CSplitHandler : public CHandlerBase, public IInArchiveGetStream, public CMyUnknownImp {
    std::vector<CVolume> _volumes;
    UInt64 _total = 0;
    std::wstring _itemName;

public:
    CSplitHandler();
    virtual ~CSplitHandler() {}

    COM_UNKNOWN_IMP(IInArchive, IInArchiveGetStream)

    HRESULT Open(IInStream *stream, const UInt64 *startLimit, IArchiveOpenCallback *openCallback) override;
    HRESULT Close() override;
    HRESULT GetNumberOfItems(UInt32 *numItems) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                    IArchiveExtractCallback *extractCallback) override;
    HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) override;

    HRESULT GetStream(UInt32 index, ISequentialInStream **stream) override;
};

} // namespace NPlugin
