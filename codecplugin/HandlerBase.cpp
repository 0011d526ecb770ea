#include "HandlerBase.h"

#include "PropVariantUtils.h"

#include <algorithm>

namespace NPlugin {

namespace {

using namespace NArchive::NExtract;

HRESULT PropertyInfoAt(const CPropList &list, UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    if (index >= list.count) return E_INVALIDARG;
    if (name) *name = nullptr;
    *propID = list.ids[index];
    *varType = list.types[index];
    return S_OK;
}

} // namespace

HRESULT CHandlerBase::GetNumberOfProperties(UInt32 *numProps) {
    *numProps = _itemProps.count;
    return S_OK;
}

HRESULT CHandlerBase::GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    return PropertyInfoAt(_itemProps, index, name, propID, varType);
}

HRESULT CHandlerBase::GetNumberOfArchiveProperties(UInt32 *numProps) {
    *numProps = _arcProps.count;
    return S_OK;
}

HRESULT CHandlerBase::GetArchivePropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    return PropertyInfoAt(_arcProps, index, name, propID, varType);
}

HRESULT CHandlerBase::BeginOneItemExtract(const UInt32 *indices, UInt32 numItems, Int32 testMode, UInt64 total,
                                          IArchiveExtractCallback *callback, CMyComPtr<ISequentialOutStream> &out,
                                          bool &go) {
    go = false;
    if (!callback) return E_INVALIDARG;
    std::vector<UInt32> wanted;
    RINOK_PLUGIN(WantedIndices(indices, numItems, _isOpen ? 1 : 0, wanted));
    if (wanted.empty()) return S_OK;
    RINOK_PLUGIN(callback->SetTotal(total));
    const Int32 askMode = testMode ? NAskMode::kTest : NAskMode::kExtract;
    RINOK_PLUGIN(callback->GetStream(0, &out, askMode));
    if (!out && !testMode) return S_OK;
    RINOK_PLUGIN(callback->PrepareOperation(askMode));
    go = true;
    return S_OK;
}

HRESULT ReportItemsNotExtracted(IArchiveExtractCallback *callback, const UInt32 *indices, size_t count, Int32 opRes) {
    if (count == 0) return S_OK;
    CMyComPtr<IArchiveExtractCallbackMessage> message;
    callback->QueryInterface(IID_IArchiveExtractCallbackMessage, reinterpret_cast<void **>(&message));
    for (size_t i = 0; i < count; i++) {
        HRESULT res;
        if (message) {
            res = message->ReportExtractResult(NArchive::NEventIndexType::kInArcIndex, indices[i], opRes);
        } else {
            // Without the message interface the item is announced as skipped, so nothing is created.
            CMyComPtr<ISequentialOutStream> out;
            res = callback->GetStream(indices[i], &out, NAskMode::kSkip);
            out.Release();
            if (res == S_OK) res = callback->PrepareOperation(NAskMode::kSkip);
            if (res == S_OK) res = callback->SetOperationResult(opRes);
        }
        if (res != S_OK) return res;
    }
    return S_OK;
}

HRESULT WantedIndices(const UInt32 *indices, UInt32 numItems, UInt32 itemCount, std::vector<UInt32> &wanted) {
    wanted.clear();
    if (numItems == 0xFFFFFFFF) {
        wanted.resize(itemCount);
        for (UInt32 i = 0; i < itemCount; i++)
            wanted[i] = i;
        return S_OK;
    }
    if (numItems != 0 && !indices) return E_INVALIDARG;
    wanted.assign(indices, indices + numItems);
    for (UInt32 index : wanted)
        if (index >= itemCount) return E_INVALIDARG;
    // Entries can only be walked forward; a list out of order is served in archive order.
    if (!std::is_sorted(wanted.begin(), wanted.end())) std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    return S_OK;
}

} // namespace NPlugin
