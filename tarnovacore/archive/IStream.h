#pragma once

// Stream interfaces. Part of the binary contract with the plug-in: self-contained.
//
// Read: processedSize may be null; fewer bytes than asked may come back anywhere in the data;
// S_OK with 0 bytes for a non-zero size is the end of the data. Write: processedSize may be null;
// a stream may accept fewer bytes than offered. Seek: origin 0 start, 1 current, 2 end, anything
// else STG_E_INVALIDFUNCTION; newPosition may be null.
#include "../common/InterfaceIds.h"
#include "../common/MyUnknown.h"
#include "../common/MyWindows.h"

enum { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };

// 03 01
struct ISequentialInStream : public IUnknown {
    virtual HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) = 0;
};

// 03 02
struct ISequentialOutStream : public IUnknown {
    virtual HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) = 0;
};

// 03 03
struct IInStream : public ISequentialInStream {
    virtual HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) = 0;
};

// 03 04
struct IOutStream : public ISequentialOutStream {
    virtual HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) = 0;
    virtual HRESULT SetSize(UInt64 newSize) = 0;
};

// 03 06
struct IStreamGetSize : public IUnknown {
    virtual HRESULT GetSize(UInt64 *size) = 0;
};

// 03 07
struct IOutStreamFinish : public IUnknown {
    virtual HRESULT OutStreamFinish() = 0;
};

// 03 08
struct IStreamGetProps : public IUnknown {
    virtual HRESULT GetProps(UInt64 *size, FILETIME *cTime, FILETIME *aTime, FILETIME *mTime, UInt32 *attrib) = 0;
};

struct CStreamFileProps {
    UInt64 Size;
    UInt64 VolID;
    UInt64 FileID_Low;
    UInt64 FileID_High;
    UInt32 NumLinks;
    UInt32 Attrib;
    FILETIME CTime;
    FILETIME ATime;
    FILETIME MTime;
};

static_assert(sizeof(CStreamFileProps) == 64, "CStreamFileProps crosses the plug-in boundary");

// 03 09
struct IStreamGetProps2 : public IUnknown {
    virtual HRESULT GetProps2(CStreamFileProps *props) = 0;
};
