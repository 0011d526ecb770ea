#pragma once

#include "archive/ICoder.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

// The result of a write that reached the set output size with bytes left over.
#ifndef k_My_HRESULT_WritingWasCut
#define k_My_HRESULT_WritingWasCut ((HRESULT)0x20000010)
#endif

// Wraps an in-place filter so that it serves as a stream coder, as a stream that reads filtered
// data and as a stream that filters what is written to it. The filter's optional property, key
// and password interfaces are answered only when the filter has them.
class CFilterCoder : public ICompressCoder,
                     public ICompressSetOutStreamSize,
                     public ICompressInitEncoder,
                     public ICompressSetInStream,
                     public ISequentialInStream,
                     public ICompressSetOutStream,
                     public ISequentialOutStream,
                     public IOutStreamFinish,
                     public ICompressSetBufSize,
                     public ICryptoSetPassword,
                     public ICryptoProperties,
                     public ICompressSetCoderProperties,
                     public ICompressWriteCoderProperties,
                     public ICryptoResetInitVector,
                     public ICompressSetDecoderProperties2,
                     public CMyUnknownImp {
    void *_bufBase;
    Byte *_buf;
    UInt32 _bufSize;
    UInt32 _inBufSize;
    UInt32 _outBufSize;
    bool _encodeMode;
    bool _outSizeIsDefined;
    UInt64 _outSize;
    UInt64 _nowPos64;

    CMyComPtr<ISequentialInStream> _inStream;
    CMyComPtr<ISequentialOutStream> _outStream;
    UInt32 _bufPos;   // bytes held in the buffer
    UInt32 _convPos;  // start of the converted bytes not yet delivered
    UInt32 _convSize; // converted bytes not yet delivered

    CMyComPtr<ICryptoSetPassword> _setPassword;
    CMyComPtr<ICryptoProperties> _cryptoProperties;
    CMyComPtr<ICompressSetCoderProperties> _setCoderProperties;
    CMyComPtr<ICompressWriteCoderProperties> _writeCoderProperties;
    CMyComPtr<ICryptoResetInitVector> _resetInitVector;
    CMyComPtr<ICompressSetDecoderProperties2> _setDecoderProperties2;

    void ResetCounters() {
        _bufPos = 0;
        _convPos = 0;
        _convSize = 0;
        _outSizeIsDefined = false;
        _outSize = 0;
        _nowPos64 = 0;
    }
    HRESULT Alloc();
    HRESULT Init_and_Alloc();
    HRESULT Flush2();
    // Pads the held bytes with zeros up to need and filters them; only an encoder may do that.
    HRESULT PadAndFilterTail(UInt32 need);

public:
    CMyComPtr<ICompressFilter> Filter;

    explicit CFilterCoder(bool encodeMode);
    CFilterCoder(const CFilterCoder &) = delete;
    CFilterCoder &operator=(const CFilterCoder &) = delete;
    ~CFilterCoder() override;

    UInt32 GetBufSize() const { return _bufSize; }
    HRESULT Init_NoSubFilterInit();

    HRESULT QueryInterface(REFGUID iid, void **outObject) override;
    COM_ADDREF_RELEASE

    HRESULT Code(ISequentialInStream *inStream, ISequentialOutStream *outStream, const UInt64 *inSize,
                 const UInt64 *outSize, ICompressProgressInfo *progress) override;
    HRESULT SetOutStreamSize(const UInt64 *outSize) override;
    HRESULT InitEncoder() override;
    HRESULT SetInStream(ISequentialInStream *inStream) override;
    HRESULT ReleaseInStream() override;
    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT SetOutStream(ISequentialOutStream *outStream) override;
    HRESULT ReleaseOutStream() override;
    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT OutStreamFinish() override;
    HRESULT SetInBufSize(UInt32 streamIndex, UInt32 size) override;
    HRESULT SetOutBufSize(UInt32 streamIndex, UInt32 size) override;

    HRESULT CryptoSetPassword(const Byte *data, UInt32 size) override;
    HRESULT SetKey(const Byte *data, UInt32 size) override;
    HRESULT SetInitVector(const Byte *data, UInt32 size) override;
    HRESULT SetCoderProperties(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps) override;
    HRESULT WriteCoderProperties(ISequentialOutStream *outStream) override;
    HRESULT ResetInitVector() override;
    HRESULT SetDecoderProperties2(const Byte *data, UInt32 size) override;
};
