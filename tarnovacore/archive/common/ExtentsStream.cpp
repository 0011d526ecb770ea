#include "ExtentsStream.h"

#include "StreamUtils.h"

HRESULT CExtentsStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    const unsigned num = Extents.Size();
    if (num < 2 || size == 0) return S_OK;
    if (_virtPos >= Extents[num - 1].Virt) return S_OK;
    if (!_stream) return E_FAIL;
    if (_virtPos < Extents[0].Virt) return E_FAIL;

    // The last extent that starts at or before the position.
    unsigned left = 0, right = num - 1;
    while (right - left > 1) {
        const unsigned mid = (left + right) / 2;
        if (_virtPos < Extents[mid].Virt)
            right = mid;
        else
            left = mid;
    }
    const CSeekExtent &extent = Extents[left];
    const UInt64 rem = Extents[left + 1].Virt - _virtPos;
    if (size > rem) size = (UInt32)rem;

    // Seek every time: the source may be shared and moved by others.
    _phyPos = extent.Phy + (_virtPos - extent.Virt);
    RINOK(_stream->Seek((Int64)_phyPos, STREAM_SEEK_SET, nullptr));
    UInt32 realProcessed = 0;
    const HRESULT res = _stream->Read(data, size, &realProcessed);
    _phyPos += realProcessed;
    _virtPos += realProcessed;
    if (processedSize) *processedSize = realProcessed;
    return res;
}

HRESULT CExtentsStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    const UInt64 size = Extents.Size() == 0 ? 0 : Extents[Extents.Size() - 1].Virt;
    RINOK(ComputeSeekPosition(offset, seekOrigin, _virtPos, size, _virtPos));
    if (newPosition) *newPosition = _virtPos;
    return S_OK;
}
