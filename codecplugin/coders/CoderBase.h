#pragma once

// The copy loop shared by the stream coders: input and output in 64 KiB blocks, sizes honoured
// when given, progress reported as sizes in and out. A derived coder supplies one step of its
// library's state machine.
#include "archive/ICoder.h"
#include "common/MyCom.h"

#include <initializer_list>

namespace NPlugin {

class CCoderBase : public ICompressCoder, public ICompressGetInStreamProcessedSize, public CMyUnknownImp {
protected:
    const bool _encode;
    bool _active = false; // the library's state is set up and wants End()
    UInt64 _inProcessed = 0;
    // The output size given to Code, for Begin() of a decoder that can size its buffers by it.
    bool _outSizeKnown = false;
    UInt64 _outSize = 0;

    enum EStep { kStepContinue, kStepEnd, kStepError };
    virtual HRESULT Begin() = 0;
    // Consumes from in and produces into out; finish: no more input will come.
    virtual EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
                       bool finish) = 0;
    virtual void End() = 0;
    bool IsEncoder() const { return _encode; }

public:
    explicit CCoderBase(bool encode) : _encode(encode) {}
    virtual ~CCoderBase() {}

    HRESULT Code(ISequentialInStream *inStream, ISequentialOutStream *outStream, const UInt64 *inSize,
                 const UInt64 *outSize, ICompressProgressInfo *progress) override;
    HRESULT GetInStreamProcessedSize(UInt64 *value) override;
};

// Hands each wanted property to take(id, value) in order; a wanted one that is not a VT_UI4 is refused.
template <class F>
HRESULT ForEachUInt32Prop(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps,
                          std::initializer_list<PROPID> wanted, F take) {
    for (UInt32 i = 0; i < numProps; i++) {
        bool isWanted = false;
        for (PROPID id : wanted)
            isWanted = isWanted || propIDs[i] == id;
        if (!isWanted) continue;
        if (props[i].vt != VT_UI4) return E_INVALIDARG;
        take(propIDs[i], props[i].ulVal);
    }
    return S_OK;
}

} // namespace NPlugin
