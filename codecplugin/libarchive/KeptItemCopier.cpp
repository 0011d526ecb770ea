#include "libarchive/KeptItemCopier.h"

#include "PropVariantUtils.h"
#include "Utf8Locale.h"

#include <algorithm>
#include <string.h>

namespace NPlugin {

namespace {

using namespace NArchive::NExtract;

// The data of the entry being copied, handed on to the writer.
class CEntryOutStream : public ISequentialOutStream, public CMyUnknownImp {
    CKeptItemCopier *_copier;

public:
    explicit CEntryOutStream(CKeptItemCopier *copier) : _copier(copier) {}
    virtual ~CEntryOutStream() {}
    COM_UNKNOWN_IMP(ISequentialOutStream)
    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override {
        return _copier->WriteEntryData(data, size, processedSize);
    }
};

} // namespace

CKeptItemCopier::CKeptItemCopier(CLibarchiveWriter &writer, const std::vector<CUpdateItem> &items, UInt32 numOldItems,
                                 IArchiveUpdateCallback *callback, EWriteFormat format, bool archiveEncrypted,
                                 const std::wstring *readPassword, UInt64 progressBase)
    : _writer(writer), _items(items), _itemOfIndex(numOldItems, kNoArchiveIndex), _callback(callback), _format(format),
      _archiveEncrypted(archiveEncrypted), _progressBase(progressBase) {
    if (readPassword) {
        _password = *readPassword;
        _havePassword = true;
    }
    callback->QueryInterface(IID_IArchiveUpdateCallbackFile, reinterpret_cast<void **>(&_callbackFile));
    callback->QueryInterface(IID_IArchiveExtractCallbackMessage, reinterpret_cast<void **>(&_callbackMessage));
}

CKeptItemCopier::~CKeptItemCopier() {
    if (!_password.empty()) memset(&_password[0], 0, _password.size() * sizeof(wchar_t));
}

HRESULT CKeptItemCopier::Prepare(std::vector<UInt32> &indices) {
    indices.clear();
    for (size_t i = 0; i < _items.size(); i++) {
        const CUpdateItem &item = _items[i];
        if (item.newData) continue;
        if (item.indexInArchive >= _itemOfIndex.size() || _itemOfIndex[item.indexInArchive] != kNoArchiveIndex)
            return E_INVALIDARG;
        _itemOfIndex[item.indexInArchive] = static_cast<UInt32>(i);
        indices.push_back(item.indexInArchive);
    }
    std::sort(indices.begin(), indices.end());
    _itemsToCopy = indices.size();
    return S_OK;
}

HRESULT CKeptItemCopier::SetTotal(UInt64) {
    return S_OK;
}

HRESULT CKeptItemCopier::SetCompleted(const UInt64 *completeValue) {
    if (!completeValue) return S_OK;
    const UInt64 done = _progressBase + *completeValue;
    return _callback->SetCompleted(&done);
}

HRESULT CKeptItemCopier::AskOldPassword(IArchiveUpdateCallback *callback, std::wstring &password) {
    CMyComPtr<ICryptoGetTextPassword> getter;
    callback->QueryInterface(IID_ICryptoGetTextPassword, reinterpret_cast<void **>(&getter));
    if (!getter) return E_NOTIMPL;
    BSTR b = nullptr;
    const HRESULT res = getter->CryptoGetTextPassword(&b);
    if (res == S_OK) password.assign(b ? b : L"");
    SysFreeString(b);
    if (res != S_OK) return res == S_FALSE ? E_ABORT : res;
    return S_OK;
}

HRESULT CKeptItemCopier::AskPassword() {
    if (_havePassword) return S_OK;
    RINOK_PLUGIN(AskOldPassword(_callback, _password));
    _havePassword = true;
    return S_OK;
}

HRESULT CKeptItemCopier::CryptoGetTextPassword(BSTR *password) {
    *password = nullptr;
    RINOK_PLUGIN(AskPassword());
    *password = SysAllocString(_password.c_str());
    return *password ? S_OK : E_OUTOFMEMORY;
}

HRESULT CKeptItemCopier::GetStream(UInt32 index, ISequentialOutStream **outStream, Int32 askExtractMode) {
    COM_TRY_BEGIN
    *outStream = nullptr;
    if (_pending || askExtractMode != NAskMode::kExtract || index >= _itemOfIndex.size() ||
        _itemOfIndex[index] == kNoArchiveIndex)
        return E_FAIL;
    _current = _itemOfIndex[index];
    const CUpdateItem &item = _items[_current];
    if (_callbackFile)
        RINOK_PLUGIN(_callbackFile->ReportOperation(NArchive::NEventIndexType::kInArcIndex, index,
                                                    NArchive::NUpdateNotifyOp::kReplicate));
    // An item that was encrypted is never copied out in clear.
    if (item.encrypted && !_archiveEncrypted && item.Kind(_format) == EEntryKind::kFile) return E_NOTIMPL;
    {
        CUtf8LocaleScope scope;
        CEntryPtr entry = MakeEntry(item, _format);
        if (!entry) return E_OUTOFMEMORY;
        RINOK_PLUGIN(_writer.WriteHeader(entry.get()));
    }
    _written = 0;
    _pending = true;
    if (item.Kind(_format) != EEntryKind::kFile) return EndEntry();
    CMyComPtr<ISequentialOutStream> out = new CEntryOutStream(this);
    *outStream = out.Detach();
    return S_OK;
    COM_TRY_END
}

HRESULT CKeptItemCopier::WriteEntryData(const void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (!_pending) return E_FAIL;
    const CUpdateItem &item = _items[_current];
    // The header carries the listed size; data beyond it cannot be stored.
    if (_written + size > item.size) return E_FAIL;
    RINOK_PLUGIN(_writer.WriteData(data, size));
    _written += size;
    if (processedSize) *processedSize = size;
    // Some readers hand over long runs of data (a sparse file's holes as zeros) without a word of
    // progress: the run is looked at every few MiB all the same.
    _uncheckedBytes += size;
    if (_uncheckedBytes < kCheckEvery) return S_OK;
    _copied += _uncheckedBytes;
    _uncheckedBytes = 0;
    const UInt64 done = _progressBase + _copied;
    return _callback->SetCompleted(&done);
}

HRESULT CKeptItemCopier::EndEntry() {
    _pending = false;
    _numCopied++;
    return _writer.FinishEntry();
}

HRESULT CKeptItemCopier::PrepareOperation(Int32) {
    return S_OK;
}

HRESULT CKeptItemCopier::SetOperationResult(Int32 opRes) {
    if (!_pending) return S_OK; // a folder or a link, written already
    const CUpdateItem &item = _items[_current];
    if (opRes != NOperationResult::kOK || _written != item.size) {
        // The copy would be damaged: the whole write fails instead.
        if (_callbackMessage)
            _callbackMessage->ReportExtractResult(NArchive::NEventIndexType::kInArcIndex, item.indexInArchive,
                                                  opRes != NOperationResult::kOK ? opRes
                                                                                 : NOperationResult::kUnexpectedEnd);
        _pending = false;
        return E_FAIL;
    }
    return EndEntry();
}

HRESULT CKeptItemCopier::ReportExtractResult(UInt32 indexType, UInt32 index, Int32 opRes) {
    if (_callbackMessage) _callbackMessage->ReportExtractResult(indexType, index, opRes);
    return E_FAIL;
}

} // namespace NPlugin
