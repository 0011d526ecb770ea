#include "ClusterInStream.h"

#include "StreamUtils.h"

// One run covers at most this many clusters.
static const unsigned kNumClustersInRunMax = 64;

HRESULT CClusterInStream::InitAndSeek() {
    _curRem = 0;
    _virtPos = 0;
    _physPos = StartOffset;
    if (Vector.Size() == 0) return S_OK;
    if (!_stream) return E_FAIL;
    _physPos = StartOffset + ((UInt64)Vector[0] << BlockSizeLog);
    return _stream->Seek((Int64)_physPos, STREAM_SEEK_SET, nullptr);
}

HRESULT CClusterInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (_virtPos >= Size || size == 0) return S_OK;
    {
        const UInt64 rem = Size - _virtPos;
        if (size > rem) size = (UInt32)rem;
    }
    if (!_stream) return E_FAIL;
    if (_curRem == 0) {
        const UInt32 blockSize = (UInt32)1 << BlockSizeLog;
        const UInt32 offsetInBlock = (UInt32)_virtPos & (blockSize - 1);
        const UInt64 virtBlock = _virtPos >> BlockSizeLog;
        // A size beyond the cluster list is damaged input, not a reason to read past the vector.
        if (virtBlock >= Vector.Size()) return E_FAIL;
        unsigned i = (unsigned)virtBlock;
        const UInt32 phyBlock = Vector[i];
        _physPos = StartOffset + ((UInt64)phyBlock << BlockSizeLog) + offsetInBlock;
        _curRem = blockSize - offsetInBlock;
        for (unsigned n = 1; n < kNumClustersInRunMax && i + 1 < Vector.Size(); n++) {
            if (Vector[i + 1] != Vector[i] + 1) break;
            _curRem += blockSize;
            i++;
        }
    }
    if (size > _curRem) size = _curRem;
    // Seek every time: the source may be shared and moved by others.
    RINOK(_stream->Seek((Int64)_physPos, STREAM_SEEK_SET, nullptr));
    UInt32 realProcessed = 0;
    const HRESULT res = _stream->Read(data, size, &realProcessed);
    _physPos += realProcessed;
    _virtPos += realProcessed;
    _curRem -= realProcessed;
    if (processedSize) *processedSize = realProcessed;
    return res;
}

HRESULT CClusterInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    UInt64 pos = _virtPos;
    RINOK(ComputeSeekPosition(offset, seekOrigin, _virtPos, Size, pos));
    if (pos != _virtPos) _curRem = 0;
    _virtPos = pos;
    if (newPosition) *newPosition = pos;
    return S_OK;
}
