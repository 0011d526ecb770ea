#include "streams/SplitHandler.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"

namespace NPlugin {

namespace {
using namespace NArchive::NExtract;

const PROPID kItemProps[] = {kpidPath, kpidSize, kpidPackSize};
const VARTYPE kItemTypes[] = {VT_BSTR, VT_UI8, VT_UI8};
const PROPID kArcProps[] = {kpidPhySize, kpidNumVolumes, kpidTotalPhySize};
const VARTYPE kArcTypes[] = {VT_UI8, VT_UI4, VT_UI8};
const size_t kCopyChunk = 1 << 18;
const UInt32 kMaxVolumes = 100000;

std::wstring VolumeName(const std::wstring &base, UInt32 number, size_t width) {
    std::wstring digits = std::to_wstring(number);
    while (digits.size() < width)
        digits.insert(digits.begin(), L'0');
    return base + L'.' + digits;
}
} // namespace

CSplitHandler::CSplitHandler()
    : CHandlerBase(MakePropList(kItemProps, kItemTypes), MakePropList(kArcProps, kArcTypes)) {}

HRESULT CSplitHandler::Open(IInStream *stream, const UInt64 *, IArchiveOpenCallback *openCallback) {
    COM_TRY_BEGIN
    Close();
    if (!stream || !openCallback) return S_FALSE;
    CMyComPtr<IArchiveOpenVolumeCallback> volumes;
    std::wstring name;
    RINOK_PLUGIN(GetVolumeCallback(openCallback, volumes, name));
    if (!volumes) return S_FALSE;

    // Only the first volume opens the set: a numeric extension whose value is 1.
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0 || dot + 1 == name.size()) return S_FALSE;
    const std::wstring digits = name.substr(dot + 1);
    UInt32 value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return S_FALSE;
        if (value > 1) return S_FALSE;
        value = value * 10 + static_cast<UInt32>(c - L'0');
    }
    if (value != 1) return S_FALSE;
    const std::wstring base = name.substr(0, dot);

    std::vector<CVolume> found;
    UInt64 total = 0;
    RINOK_PLUGIN(AddVolume(found, total, stream));
    for (UInt32 number = 2; number <= kMaxVolumes; number++) {
        CMyComPtr<IInStream> next;
        const HRESULT res = volumes->GetStream(VolumeName(base, number, digits.size()).c_str(), &next);
        if (res == S_FALSE || (res == S_OK && !next)) break;
        if (res != S_OK) return res;
        RINOK_PLUGIN(AddVolume(found, total, next));
        const UInt64 numVolumes = found.size();
        RINOK_PLUGIN(openCallback->SetCompleted(&numVolumes, &total));
    }
    _volumes = found;
    _total = total;
    _itemName = base;
    _isOpen = true;
    return S_OK;
    COM_TRY_END
}

HRESULT CSplitHandler::Close() {
    _volumes.clear();
    _total = 0;
    _itemName.clear();
    _isOpen = false;
    return S_OK;
}

HRESULT CSplitHandler::GetNumberOfItems(UInt32 *numItems) {
    *numItems = _isOpen ? 1 : 0;
    return S_OK;
}

HRESULT CSplitHandler::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    if (index != 0 || !_isOpen) return E_INVALIDARG;
    switch (propID) {
    case kpidPath:
        return PropSetString(value, _itemName);
    case kpidSize:
    case kpidPackSize:
        PropSetUInt64(value, _total);
        break;
    case kpidIsDir:
        PropSetBool(value, false);
        break;
    default:
        break;
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CSplitHandler::GetArchiveProperty(PROPID propID, PROPVARIANT *value) {
    switch (propID) {
    case kpidMainSubfile:
        if (_isOpen) PropSetUInt32(value, 0);
        break;
    case kpidPhySize:
        // The first volume is the stream the program measured; the rest is reported apart.
        if (_isOpen) PropSetUInt64(value, _volumes[0].size);
        break;
    case kpidNumVolumes:
        if (_isOpen) PropSetUInt32(value, static_cast<UInt32>(_volumes.size()));
        break;
    case kpidTotalPhySize:
        if (_isOpen) PropSetUInt64(value, _total);
        break;
    default:
        break;
    }
    return S_OK;
}

HRESULT CSplitHandler::Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                               IArchiveExtractCallback *extractCallback) {
    COM_TRY_BEGIN
    CMyComPtr<ISequentialOutStream> out;
    bool go = false;
    RINOK_PLUGIN(BeginOneItemExtract(indices, numItems, testMode, _total, extractCallback, out, go));
    if (!go) return S_OK;
    CMyComPtr<IInStream> joined = new CMultiVolumeInStream(_volumes);
    std::vector<Byte> buf(kCopyChunk);
    UInt64 completed = 0;
    Int32 opRes = NOperationResult::kOK;
    while (completed < _total) {
        size_t got = 0;
        const HRESULT res = ReadStreamMax(joined, buf.data(), buf.size(), got);
        if (res == E_ABORT) return res;
        if (res != S_OK || got == 0) {
            opRes = NOperationResult::kUnexpectedEnd;
            break;
        }
        if (out) RINOK_PLUGIN(WriteStreamAll(out, buf.data(), got));
        completed += got;
        RINOK_PLUGIN(extractCallback->SetCompleted(&completed));
    }
    out.Release();
    return extractCallback->SetOperationResult(opRes);
    COM_TRY_END
}

HRESULT CSplitHandler::GetStream(UInt32 index, ISequentialInStream **stream) {
    COM_TRY_BEGIN
    *stream = nullptr;
    if (index != 0 || !_isOpen) return E_INVALIDARG;
    CMyComPtr<IInStream> joined = new CMultiVolumeInStream(_volumes);
    *stream = joined.Detach();
    return S_OK;
    COM_TRY_END
}

} // namespace NPlugin
