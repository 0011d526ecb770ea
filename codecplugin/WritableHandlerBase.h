#pragma once

// A handler of a format that can also be written: IOutArchive and ISetProperties go to its
// COutHandler, with the open archive as the source of kept items.
#include "FormatTable.h"
#include "HandlerBase.h"
#include "libarchive/OutHandler.h"

namespace NPlugin {

class CWritableHandlerBase : public CHandlerBase, public IOutArchive, public ISetProperties {
protected:
    COutHandler _out;

    CWritableHandlerBase(const CFormatInfo &format, const CPropList &itemProps, const CPropList &arcProps)
        : CHandlerBase(itemProps, arcProps), _out(format) {}

public:
    HRESULT WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                         IArchiveUpdateCallback *updateCallback) override {
        return _out.WriteArchive(_isOpen ? this : nullptr, outStream, numItems, updateCallback);
    }
    HRESULT GetTimeKind(UInt32 *type) override { return _out.GetTimeKind(type); }
    HRESULT SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) override {
        return _out.SetProperties(names, values, numProps);
    }
};

} // namespace NPlugin
