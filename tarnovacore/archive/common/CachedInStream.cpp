#include "CachedInStream.h"

#include <string.h>

#include "StreamUtils.h"
#include "base/Alloc.h"

void CCachedInStream::Free() {
    MyFree(_tags);
    _tags = nullptr;
    MidFree(_data);
    _data = nullptr;
    _dataSize = 0;
}

bool CCachedInStream::Alloc(unsigned blockSizeLog, unsigned numBlocksLog) {
    const unsigned sizeLog = blockSizeLog + numBlocksLog;
    if (sizeLog >= sizeof(size_t) * 8) return false;
    const size_t dataSize = (size_t)1 << sizeLog;
    if (!_data || dataSize != _dataSize) {
        MidFree(_data);
        _data = static_cast<Byte *>(MidAlloc(dataSize));
        _dataSize = 0;
        if (!_data) return false;
        _dataSize = dataSize;
    }
    if (!_tags || numBlocksLog != _numBlocksLog) {
        MyFree(_tags);
        _tags = nullptr;
        if (numBlocksLog >= sizeof(size_t) * 8 - 3) return false;
        _tags = static_cast<UInt64 *>(MyAlloc(sizeof(UInt64) << numBlocksLog));
        if (!_tags) return false;
        _numBlocksLog = numBlocksLog;
    }
    _blockSizeLog = blockSizeLog;
    return true;
}

void CCachedInStream::Init(UInt64 size) {
    _size = size;
    _pos = 0;
    if (!_tags) return;
    const size_t numBlocks = (size_t)1 << _numBlocksLog;
    for (size_t i = 0; i < numBlocks; i++)
        _tags[i] = ~(UInt64)0;
}

HRESULT CCachedInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (size == 0 || _pos >= _size) return S_OK;
    if (!_tags || !_data) return E_FAIL;
    {
        const UInt64 rem = _size - _pos;
        if (size > rem) size = (UInt32)rem;
    }
    Byte *dest = static_cast<Byte *>(data);
    const size_t blockSize = (size_t)1 << _blockSizeLog;
    while (size != 0) {
        const UInt64 blockIndex = _pos >> _blockSizeLog;
        const size_t slot = (size_t)blockIndex & (((size_t)1 << _numBlocksLog) - 1);
        Byte *slotData = _data + (slot << _blockSizeLog);
        if (_tags[slot] != blockIndex) {
            // Mark the slot empty first: a failed fill must not look cached.
            _tags[slot] = ~(UInt64)0;
            const UInt64 blockStart = blockIndex << _blockSizeLog;
            const UInt64 rem = _size - blockStart;
            const size_t cur = rem < blockSize ? (size_t)rem : blockSize;
            RINOK(ReadBlock(blockIndex, slotData, cur));
            _tags[slot] = blockIndex;
        }
        const size_t offset = (size_t)_pos & (blockSize - 1);
        UInt32 cur = (UInt32)(blockSize - offset < size ? blockSize - offset : size);
        memcpy(dest, slotData + offset, cur);
        dest += cur;
        _pos += cur;
        size -= cur;
        if (processedSize) *processedSize += cur;
    }
    return S_OK;
}

HRESULT CCachedInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    RINOK(ComputeSeekPosition(offset, seekOrigin, _pos, _size, _pos));
    if (newPosition) *newPosition = _pos;
    return S_OK;
}
