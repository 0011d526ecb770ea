#pragma once

// Streams for tests: a source that hands out data in small pieces and counts what it is asked,
// and a target that takes a limited amount per call.
#include <gtest/gtest.h>
#include <string.h>

#include <utility>
#include <vector>

#include "archive/IStream.h"
#include "common/MyCom.h"

namespace tarnova_test_streams {

inline std::vector<Byte> PatternBytes(size_t size, unsigned seed = 0) {
    std::vector<Byte> v(size);
    for (size_t i = 0; i < size; i++)
        v[i] = (Byte)((i * 7 + seed + i / 251) & 0xFF);
    return v;
}

// Where a stream stands, asked through Seek.
inline UInt64 Position(IInStream *stream) {
    UInt64 pos = 12345;
    EXPECT_EQ(stream->Seek(0, STREAM_SEEK_CUR, &pos), S_OK);
    return pos;
}

// Seek over a buffer of the given size, as both test streams do it.
inline HRESULT SeekInBuffer(UInt64 &pos, UInt64 size, Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    const Int64 base = seekOrigin == 0 ? 0 : seekOrigin == 1 ? (Int64)pos : seekOrigin == 2 ? (Int64)size : -1;
    if (base < 0) return STG_E_INVALIDFUNCTION;
    if (base + offset < 0) return HRESULT_WIN32_ERROR_NEGATIVE_SEEK;
    pos = (UInt64)(base + offset);
    if (newPosition) *newPosition = pos;
    return S_OK;
}

class CTestInStream : public IInStream, public CMyUnknownImp {
public:
    std::vector<Byte> Data;
    UInt64 Pos = 0;
    UInt32 MaxChunk = 0xFFFFFFFF;      // most bytes one Read hands out
    UInt64 FailAt = (UInt64)(Int64)-1; // a Read that reaches this position stops there and fails
    HRESULT FailResult = E_FAIL;
    bool FailSeeks = false;
    unsigned NumSeeks = 0;
    std::vector<UInt32> Requests;

    explicit CTestInStream(std::vector<Byte> data, UInt32 maxChunk = 0xFFFFFFFF)
        : Data(std::move(data)), MaxChunk(maxChunk) {}

    COM_UNKNOWN_IMP(ISequentialInStream, IInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override {
        if (processedSize) *processedSize = 0;
        Requests.push_back(size);
        UInt64 cur = size;
        if (cur > MaxChunk) cur = MaxChunk;
        const UInt64 end = Pos < Data.size() ? Data.size() : Pos;
        if (cur > end - Pos) cur = end - Pos;
        bool fail = false;
        if (Pos + cur >= FailAt && size != 0) {
            cur = FailAt > Pos ? FailAt - Pos : 0;
            fail = true;
        }
        if (cur != 0) memcpy(data, Data.data() + Pos, (size_t)cur);
        Pos += cur;
        if (processedSize) *processedSize = (UInt32)cur;
        return fail ? FailResult : S_OK;
    }

    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override {
        NumSeeks++;
        if (FailSeeks) return E_FAIL;
        return SeekInBuffer(Pos, Data.size(), offset, seekOrigin, newPosition);
    }
};

class CTestOutStream : public IOutStream, public CMyUnknownImp {
public:
    std::vector<Byte> Data;
    UInt64 Pos = 0;
    UInt32 MaxChunk = 0xFFFFFFFF; // most bytes one Write takes; 0 takes nothing
    HRESULT FailResult = S_OK;    // returned by every Write when not S_OK, after taking its bytes
    unsigned NumWrites = 0;

    COM_UNKNOWN_IMP(ISequentialOutStream, IOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override {
        NumWrites++;
        const UInt32 cur = size < MaxChunk ? size : MaxChunk;
        if (Data.size() < Pos + cur) Data.resize((size_t)(Pos + cur));
        if (cur != 0) memcpy(Data.data() + Pos, data, cur);
        Pos += cur;
        if (processedSize) *processedSize = cur;
        return FailResult;
    }
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override {
        return SeekInBuffer(Pos, Data.size(), offset, seekOrigin, newPosition);
    }
    HRESULT SetSize(UInt64 newSize) override {
        Data.resize((size_t)newSize);
        return S_OK;
    }
};

} // namespace tarnova_test_streams
