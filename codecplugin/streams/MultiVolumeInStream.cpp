#include "streams/MultiVolumeInStream.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"

#include <algorithm>

namespace NPlugin {

CMultiVolumeInStream::CMultiVolumeInStream(const std::vector<CVolume> &volumes) : _volumes(volumes) {
    for (const CVolume &v : _volumes)
        _total = std::max(_total, v.start + v.size);
}

HRESULT CMultiVolumeInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (size == 0 || _pos >= _total) return S_OK;
    // The last volume starting at or before the position holds it.
    auto it = std::upper_bound(_volumes.begin(), _volumes.end(), _pos,
                               [](UInt64 pos, const CVolume &v) { return pos < v.start; });
    if (it == _volumes.begin()) return E_FAIL;
    const CVolume &v = *(it - 1);
    const UInt64 offset = _pos - v.start;
    if (offset >= v.size) return S_OK;
    UInt64 want = v.size - offset;
    if (want > size) want = size;
    HRESULT res = v.stream->Seek(static_cast<Int64>(offset), STREAM_SEEK_SET, nullptr);
    if (res != S_OK) return res;
    UInt32 done = 0;
    res = v.stream->Read(data, static_cast<UInt32>(want), &done);
    _pos += done;
    if (processedSize) *processedSize = done;
    if (res == S_OK && done == 0) return E_FAIL; // a volume shorter than when it was measured
    return res;
}

HRESULT CMultiVolumeInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    return SeekPosition(offset, seekOrigin, _total, _pos, newPosition);
}

HRESULT CMultiVolumeInStream::GetSize(UInt64 *size) {
    *size = _total;
    return S_OK;
}

HRESULT GetVolumeCallback(IArchiveOpenCallback *callback, CMyComPtr<IArchiveOpenVolumeCallback> &volumes,
                          std::wstring &name) {
    volumes.Release();
    name.clear();
    if (callback) callback->QueryInterface(IID_IArchiveOpenVolumeCallback, reinterpret_cast<void **>(&volumes));
    if (!volumes) return S_OK;
    PROPVARIANT prop;
    prop.vt = VT_EMPTY;
    RINOK_PLUGIN(volumes->GetProperty(kpidName, &prop));
    if (prop.vt == VT_BSTR && prop.bstrVal) name = prop.bstrVal;
    VariantClear(&prop);
    const size_t slash = name.rfind(L'/');
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    return S_OK;
}

HRESULT AddVolume(std::vector<CVolume> &volumes, UInt64 &total, IInStream *stream) {
    CVolume v;
    v.stream = stream;
    v.start = total;
    RINOK_PLUGIN(GetStreamSize(stream, v.size));
    total += v.size;
    volumes.push_back(v);
    return S_OK;
}

} // namespace NPlugin
