#include "FilterCoder.h"

#include <string.h>

#include "StreamUtils.h"
#include "base/Alloc.h"

static const UInt32 kBufAlign = 1 << 12;
static const UInt32 kBufSizeDefault = 1 << 20;

CFilterCoder::CFilterCoder(bool encodeMode)
    : _bufBase(nullptr), _buf(nullptr), _bufSize(0), _inBufSize(kBufSizeDefault), _outBufSize(kBufSizeDefault),
      _encodeMode(encodeMode), _outSizeIsDefined(false), _outSize(0), _nowPos64(0), _bufPos(0), _convPos(0),
      _convSize(0) {}

CFilterCoder::~CFilterCoder() {
    MidFree(_bufBase);
}

HRESULT CFilterCoder::Alloc() {
    UInt32 size = _inBufSize < _outBufSize ? _inBufSize : _outBufSize;
    size &= ~(kBufAlign - 1);
    if (size < kBufAlign) size = kBufAlign;
    if (_buf && _bufSize == size) return S_OK;
    MidFree(_bufBase);
    _bufBase = nullptr;
    _buf = nullptr;
    _bufSize = 0;
    _bufBase = MidAlloc((size_t)size + 15);
    if (!_bufBase) return E_OUTOFMEMORY;
    // Filters may work on aligned words.
    _buf = reinterpret_cast<Byte *>(((uintptr_t)_bufBase + 15) & ~(uintptr_t)15);
    _bufSize = size;
    return S_OK;
}

HRESULT CFilterCoder::Init_and_Alloc() {
    if (!Filter) return E_FAIL;
    RINOK(Filter->Init());
    return Alloc();
}

HRESULT CFilterCoder::Init_NoSubFilterInit() {
    ResetCounters();
    return Alloc();
}

HRESULT CFilterCoder::PadAndFilterTail(UInt32 need) {
    if (need > _bufSize) return E_FAIL;
    if (!_encodeMode) return S_FALSE;
    memset(_buf + _bufPos, 0, need - _bufPos);
    _bufPos = need;
    return Filter->Filter(_buf, _bufPos) == _bufPos ? S_OK : E_FAIL;
}

HRESULT CFilterCoder::Code(ISequentialInStream *inStream, ISequentialOutStream *outStream, const UInt64 * /* inSize */,
                           const UInt64 *outSize, ICompressProgressInfo *progress) {
    RINOK(Init_and_Alloc());
    _nowPos64 = 0;
    _bufPos = 0;
    bool inputFinished = false;

    for (;;) {
        if (outSize && _nowPos64 >= *outSize) return S_OK;

        UInt32 filtered;
        bool needMore;
        if (!inputFinished) {
            size_t processed = _bufSize - _bufPos;
            RINOK(ReadStream(inStream, _buf + _bufPos, &processed));
            _bufPos += (UInt32)processed;
            filtered = Filter->Filter(_buf, _bufPos);
            needMore = filtered > _bufPos;
            if (needMore && _bufPos == _bufSize) return E_FAIL;
            if (!needMore) inputFinished = (_bufPos != _bufSize);
        } else {
            // Only the bytes left unconverted by the last pass: each byte is filtered once.
            filtered = Filter->Filter(_buf, _bufPos);
            needMore = filtered > _bufPos;
        }
        if (needMore) {
            RINOK(PadAndFilterTail(filtered));
            inputFinished = true;
            filtered = _bufPos;
        }

        if (_bufPos == 0) return S_OK;
        // Nothing converted in a full buffer cannot be a tail: passing it on raw or stopping here
        // would both damage the output.
        if (filtered == 0 && !inputFinished) return E_FAIL;
        UInt32 size = filtered != 0 ? filtered : _bufPos;
        if (outSize) {
            const UInt64 rem = *outSize - _nowPos64;
            if (size > rem) size = (UInt32)rem;
        }
        RINOK(WriteStream(outStream, _buf, size));
        _nowPos64 += size;

        if (filtered == 0) return S_OK;
        if (progress) RINOK(progress->SetRatioInfo(&_nowPos64, &_nowPos64));
        if (filtered < _bufPos) {
            memmove(_buf, _buf + filtered, _bufPos - filtered);
            _bufPos -= filtered;
        } else
            _bufPos = 0;
    }
}

HRESULT CFilterCoder::SetOutStreamSize(const UInt64 *outSize) {
    ResetCounters();
    if (outSize) {
        _outSize = *outSize;
        _outSizeIsDefined = true;
    }
    return Init_and_Alloc();
}

HRESULT CFilterCoder::InitEncoder() {
    ResetCounters();
    return Init_and_Alloc();
}

HRESULT CFilterCoder::SetInStream(ISequentialInStream *inStream) {
    _inStream = inStream;
    return S_OK;
}

HRESULT CFilterCoder::ReleaseInStream() {
    _inStream.Release();
    return S_OK;
}

HRESULT CFilterCoder::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (size == 0) return S_OK;
    if (!_inStream || !_buf || !Filter) return E_FAIL;

    while (_convSize == 0) {
        if (_convPos != 0) {
            memmove(_buf, _buf + _convPos, _bufPos - _convPos);
            _bufPos -= _convPos;
            _convPos = 0;
        }
        // Fill the buffer: a short read of the source in mid-stream must not look like its end.
        size_t processed = _bufSize - _bufPos;
        const HRESULT res = ReadStream(_inStream, _buf + _bufPos, &processed);
        _bufPos += (UInt32)processed;
        RINOK(res);

        _convSize = Filter->Filter(_buf, _bufPos);
        if (_convSize == 0) {
            if (_bufPos == 0) return S_OK;
            if (_bufPos == _bufSize) return E_FAIL;
            _convSize = _bufPos; // the tail that the filter leaves unchanged
            break;
        }
        if (_convSize > _bufPos) {
            const HRESULT padRes = PadAndFilterTail(_convSize);
            if (padRes != S_OK) {
                _convSize = 0;
                return padRes;
            }
            _convSize = _bufPos;
        }
    }

    if (size > _convSize) size = _convSize;
    if (_outSizeIsDefined) {
        const UInt64 rem = _outSize - _nowPos64;
        if (size > rem) size = (UInt32)rem;
    }
    memcpy(data, _buf + _convPos, size);
    _convPos += size;
    _convSize -= size;
    _nowPos64 += size;
    if (processedSize) *processedSize = size;
    return S_OK;
}

HRESULT CFilterCoder::SetOutStream(ISequentialOutStream *outStream) {
    _outStream = outStream;
    return S_OK;
}

HRESULT CFilterCoder::ReleaseOutStream() {
    _outStream.Release();
    return S_OK;
}

HRESULT CFilterCoder::Flush2() {
    while (_convSize != 0) {
        UInt32 num = _convSize;
        if (_outSizeIsDefined) {
            const UInt64 rem = _outSize - _nowPos64;
            if (rem == 0) return k_My_HRESULT_WritingWasCut;
            if (num > rem) num = (UInt32)rem;
        }
        UInt32 processed = 0;
        const HRESULT res = _outStream->Write(_buf + _convPos, num, &processed);
        if (processed > num) processed = num;
        if (processed == 0) return res != S_OK ? res : E_FAIL;
        _convPos += processed;
        _convSize -= processed;
        _nowPos64 += processed;
        RINOK(res);
    }
    if (_convPos != 0) {
        memmove(_buf, _buf + _convPos, _bufPos - _convPos);
        _bufPos -= _convPos;
        _convPos = 0;
    }
    return S_OK;
}

HRESULT CFilterCoder::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (!_outStream || !_buf || !Filter) return E_FAIL;
    const Byte *p = static_cast<const Byte *>(data);
    while (size != 0) {
        RINOK(Flush2());
        if (_bufPos != _bufSize) {
            UInt32 rem = _bufSize - _bufPos;
            if (rem > size) rem = size;
            memcpy(_buf + _bufPos, p, rem);
            _bufPos += rem;
            p += rem;
            size -= rem;
            if (processedSize) *processedSize += rem;
            if (_bufPos != _bufSize) continue;
        }
        _convSize = Filter->Filter(_buf, _bufPos);
        if (_convSize == 0) break;
        if (_convSize > _bufPos) {
            _convSize = 0;
            return E_FAIL;
        }
    }
    return S_OK;
}

HRESULT CFilterCoder::OutStreamFinish() {
    if (!_outStream || !_buf || !Filter) return E_FAIL;
    for (;;) {
        RINOK(Flush2());
        if (_bufPos == 0) break;
        _convSize = Filter->Filter(_buf, _bufPos);
        if (_convSize == 0)
            _convSize = _bufPos;
        else if (_convSize > _bufPos) {
            const HRESULT res = PadAndFilterTail(_convSize);
            if (res != S_OK) {
                _convSize = 0;
                return res;
            }
            _convSize = _bufPos;
        }
    }
    CMyComPtr<IOutStreamFinish> finish;
    _outStream.QueryInterface(IID_IOutStreamFinish, &finish);
    if (finish) return finish->OutStreamFinish();
    return S_OK;
}

HRESULT CFilterCoder::SetInBufSize(UInt32 /* streamIndex */, UInt32 size) {
    _inBufSize = size;
    return S_OK;
}

HRESULT CFilterCoder::SetOutBufSize(UInt32 /* streamIndex */, UInt32 size) {
    _outBufSize = size;
    return S_OK;
}

// Each optional interface is answered only when the filter has it; the filter's answer is kept.
#define FILTER_CODER_QI_OPTIONAL(i, field)                                                                             \
    else if (iid == IID_##i) {                                                                                         \
        if (!field) {                                                                                                  \
            const HRESULT res = Filter.QueryInterface(IID_##i, &field);                                                \
            if (res != S_OK) return res;                                                                               \
            if (!field) return E_NOINTERFACE;                                                                          \
        }                                                                                                              \
        *outObject = static_cast<void *>(static_cast<i *>(this));                                                      \
    }

HRESULT CFilterCoder::QueryInterface(REFGUID iid, void **outObject) {
    *outObject = nullptr;
    if (iid == IID_IUnknown)
        *outObject = static_cast<void *>(static_cast<IUnknown *>(static_cast<ICompressCoder *>(this)));
    COM_QI_ENTRY(ICompressCoder)
    COM_QI_ENTRY(ICompressSetOutStreamSize)
    COM_QI_ENTRY(ICompressInitEncoder)
    COM_QI_ENTRY(ICompressSetInStream)
    COM_QI_ENTRY(ISequentialInStream)
    COM_QI_ENTRY(ICompressSetOutStream)
    COM_QI_ENTRY(ISequentialOutStream)
    COM_QI_ENTRY(IOutStreamFinish)
    COM_QI_ENTRY(ICompressSetBufSize)
    FILTER_CODER_QI_OPTIONAL(ICryptoSetPassword, _setPassword)
    FILTER_CODER_QI_OPTIONAL(ICryptoProperties, _cryptoProperties)
    FILTER_CODER_QI_OPTIONAL(ICompressSetCoderProperties, _setCoderProperties)
    FILTER_CODER_QI_OPTIONAL(ICompressWriteCoderProperties, _writeCoderProperties)
    FILTER_CODER_QI_OPTIONAL(ICryptoResetInitVector, _resetInitVector)
    FILTER_CODER_QI_OPTIONAL(ICompressSetDecoderProperties2, _setDecoderProperties2)
    else return E_NOINTERFACE;
    ++_m_RefCount;
    return S_OK;
}

HRESULT CFilterCoder::CryptoSetPassword(const Byte *data, UInt32 size) {
    return _setPassword ? _setPassword->CryptoSetPassword(data, size) : E_NOTIMPL;
}

HRESULT CFilterCoder::SetKey(const Byte *data, UInt32 size) {
    return _cryptoProperties ? _cryptoProperties->SetKey(data, size) : E_NOTIMPL;
}

HRESULT CFilterCoder::SetInitVector(const Byte *data, UInt32 size) {
    return _cryptoProperties ? _cryptoProperties->SetInitVector(data, size) : E_NOTIMPL;
}

HRESULT CFilterCoder::SetCoderProperties(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps) {
    return _setCoderProperties ? _setCoderProperties->SetCoderProperties(propIDs, props, numProps) : E_NOTIMPL;
}

HRESULT CFilterCoder::WriteCoderProperties(ISequentialOutStream *outStream) {
    return _writeCoderProperties ? _writeCoderProperties->WriteCoderProperties(outStream) : E_NOTIMPL;
}

HRESULT CFilterCoder::ResetInitVector() {
    return _resetInitVector ? _resetInitVector->ResetInitVector() : E_NOTIMPL;
}

HRESULT CFilterCoder::SetDecoderProperties2(const Byte *data, UInt32 size) {
    return _setDecoderProperties2 ? _setDecoderProperties2->SetDecoderProperties2(data, size) : E_NOTIMPL;
}
