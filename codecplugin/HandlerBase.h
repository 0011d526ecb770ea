#pragma once

// What the format handlers have in common: the property lists they announce, whether an archive is
// open, and the steps of Extract that do not depend on the format.
#include "archive/IArchive.h"
#include "common/MyCom.h"

#include <stddef.h>
#include <vector>

namespace NPlugin {

// A handler's announced properties: ids and their types side by side.
struct CPropList {
    const PROPID *ids;
    const VARTYPE *types;
    UInt32 count;
};

template <size_t N> CPropList MakePropList(const PROPID (&ids)[N], const VARTYPE (&types)[N]) {
    return CPropList{ids, types, static_cast<UInt32>(N)};
}

class CHandlerBase : public IInArchive {
    const CPropList _itemProps;
    const CPropList _arcProps;

protected:
    bool _isOpen = false;

    CHandlerBase(const CPropList &itemProps, const CPropList &arcProps) : _itemProps(itemProps), _arcProps(arcProps) {}

    // The start of Extract for a handler of one item (index 0): go is false where there is nothing
    // to do; otherwise the operation is prepared and out is where the data goes (none in a test).
    HRESULT BeginOneItemExtract(const UInt32 *indices, UInt32 numItems, Int32 testMode, UInt64 total,
                                IArchiveExtractCallback *callback, CMyComPtr<ISequentialOutStream> &out, bool &go);

public:
    virtual ~CHandlerBase() {}

    HRESULT GetNumberOfProperties(UInt32 *numProps) override;
    HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;
    HRESULT GetNumberOfArchiveProperties(UInt32 *numProps) override;
    HRESULT GetArchivePropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;
};

HRESULT ReportItemsNotExtracted(IArchiveExtractCallback *callback, const UInt32 *indices, size_t count, Int32 opRes);
// Builds the list of wanted indices (all, or the given ones sorted without duplicates).
HRESULT WantedIndices(const UInt32 *indices, UInt32 numItems, UInt32 itemCount, std::vector<UInt32> &wanted);

} // namespace NPlugin
