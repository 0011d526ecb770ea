#pragma once

#include <stddef.h>

#include "archive/IStream.h"
#include "common/MyCom.h"

// A read-only stream over memory that someone else owns; the reference keeps that owner alive.
class CBufInStream : public IInStream, public CMyUnknownImp {
    const Byte *_data;
    UInt64 _pos;
    UInt64 _size;
    CMyComPtr<IUnknown> _ref;

public:
    CBufInStream() : _data(nullptr), _pos(0), _size(0) {}

    void Init(const Byte *data, size_t size, IUnknown *ref = nullptr) {
        _data = data;
        _size = size;
        _pos = 0;
        _ref = ref;
    }

    COM_UNKNOWN_IMP(ISequentialInStream, IInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
};

void Create_BufInStream_WithReference(const void *data, size_t size, IUnknown *ref, ISequentialInStream **stream);
