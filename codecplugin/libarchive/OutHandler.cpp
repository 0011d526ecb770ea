#include "libarchive/OutHandler.h"

#include "libarchive/KeptItemCopier.h"
#include "libarchive/LibarchiveWriter.h"
#include "NameDecoder.h"
#include "PluginGlobals.h"
#include "PropVariantUtils.h"
#include "sevenzip/SevenZipEncoder.h"
#include "StreamUtils.h"
#include "UpdateItem.h"
#include "Utf8Locale.h"
#include "archive/ICoder.h"
#include "archive/IPassword.h"
#include "common/MyCom.h"

#include <archive_entry.h>

#include <stdio.h>
#include <string.h>
#include <vector>

namespace NPlugin {

namespace {

const size_t kChunk = 1 << 18;

bool IsSingleStream(EWriteFormat f) {
    return f == EWriteFormat::kGzip || f == EWriteFormat::kBzip2 || f == EWriteFormat::kXz || f == EWriteFormat::kZstd;
}

struct CFileCloser {
    void operator()(FILE *f) const { fclose(f); }
};
typedef std::unique_ptr<FILE, CFileCloser> CFilePtr;

// One WriteArchive call.
class CWriteRun : public CEncodeProgress {
    EWriteFormat _format;
    const CWriteProps &_props;
    IInArchive *_old;
    IArchiveUpdateCallback *_callback;
    CMyComPtr<ICompressProgressInfo> _ratio;
    CLibarchiveWriter _writer;
    std::vector<CUpdateItem> _items;
    UInt64 _completed = 0;
    UInt64 _ratioIn = 0;
    std::string _passphrase;
    bool _encrypt = false;
    std::wstring _oldPassword;
    bool _haveOldPassword = false;
    std::vector<Byte> _buf;
    CEntryPtr _entry; // reused: a new entry per file costs a large allocation each

    HRESULT CollectItems(UInt32 numItems);
    HRESULT AskWritePassword();
    HRESULT CopyKeptItems();
    HRESULT WriteNewItem(CUpdateItem &item);
    HRESULT WriteEntryWithoutData(const CUpdateItem &item);
    // Data written; a parallel coder that reports what it has coded is left to do so. The gzip coder
    // holds at most a few blocks per thread, so its input counts as it is written.
    HRESULT AddProgress(UInt64 bytes) { return _writer.CoderReportsProgress() ? S_OK : EncodeProgress(bytes, bytes); }

public:
    CWriteRun(EWriteFormat format, const CWriteProps &props, IInArchive *old, ISequentialOutStream *out,
              IArchiveUpdateCallback *callback)
        : _format(format), _props(props), _old(old), _callback(callback), _writer(out) {}
    ~CWriteRun() {
        if (!_passphrase.empty()) memset(&_passphrase[0], 0, _passphrase.size());
        if (!_oldPassword.empty()) memset(&_oldPassword[0], 0, _oldPassword.size() * sizeof(wchar_t));
    }
    HRESULT Run(UInt32 numItems);
    HRESULT EncodeProgress(UInt64 coded, UInt64 written, UInt64 aheadIn = 0, UInt64 aheadOut = 0) override {
        _completed += coded;
        _ratioIn += written;
        RINOK_PLUGIN(_callback->SetCompleted(&_completed));
        if (!_ratio) return S_OK;
        const UInt64 in = _ratioIn + aheadIn;
        const UInt64 packed = _writer.PackedSize() + aheadOut;
        return _ratio->SetRatioInfo(&in, &packed);
    }
};

HRESULT CWriteRun::CollectItems(UInt32 numItems) {
    RINOK_PLUGIN(CollectUpdateItems(_old, _callback, numItems, _format, _items));
    if (IsSingleStream(_format) && (_items.size() != 1 || _items[0].Kind(_format) != EEntryKind::kFile))
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CWriteRun::AskWritePassword() {
    bool defined = false;
    RINOK_PLUGIN(NPlugin::AskWritePassword(_callback, defined, _passphrase));
    if (!defined) return S_OK;
    // libarchive would write 7z data in clear whatever it is told, and the other formats here have
    // no encryption at all: a given password is refused rather than silently dropped.
    if (_format != EWriteFormat::kZip) return E_NOTIMPL;
    if (_passphrase.empty()) return E_INVALIDARG;
    _encrypt = true;
    return S_OK;
}

HRESULT CWriteRun::CopyKeptItems() {
    UInt64 keptBytes = 0;
    bool any = false;
    for (const CUpdateItem &item : _items)
        if (!item.newData) {
            any = true;
            keptBytes += item.DataSize(_format);
        }
    if (!any) return S_OK;
    UInt32 numOld = 0;
    RINOK_PLUGIN(_old->GetNumberOfItems(&numOld));
    CKeptItemCopier *copierRaw = new CKeptItemCopier(_writer, _items, numOld, _callback, _format, _encrypt,
                                                     _haveOldPassword ? &_oldPassword : nullptr, _completed);
    CMyComPtr<IArchiveExtractCallback> copier = copierRaw;
    std::vector<UInt32> indices;
    RINOK_PLUGIN(copierRaw->Prepare(indices));
    RINOK_PLUGIN(_old->Extract(indices.data(), static_cast<UInt32>(indices.size()), 0, copier));
    if (!copierRaw->AllCopied()) return E_FAIL;
    return AddProgress(keptBytes);
}

HRESULT CWriteRun::WriteEntryWithoutData(const CUpdateItem &item) {
    {
        CUtf8LocaleScope scope;
        CEntryPtr entry = MakeEntry(item, _format);
        if (!entry) return E_OUTOFMEMORY;
        RINOK_PLUGIN(_writer.WriteHeader(entry.get()));
    }
    RINOK_PLUGIN(_writer.FinishEntry());
    return _callback->SetOperationResult(NArchive::NUpdate::NOperationResult::kOK);
}

HRESULT CWriteRun::WriteNewItem(CUpdateItem &item) {
    CMyComPtr<ISequentialInStream> in;
    const HRESULT res = _callback->GetStream(item.index, &in);
    // S_FALSE: the caller could not or would not give the data and skips the item.
    if (res == S_FALSE) return S_OK;
    RINOK_PLUGIN(res);
    const EEntryKind kind = item.Kind(_format);
    if (kind == EEntryKind::kDir || kind == EEntryKind::kHardLink) {
        in.Release();
        return WriteEntryWithoutData(item);
    }
    if (!in) return S_OK; // no data to store: skipped as well
    if (kind == EEntryKind::kSymLink) {
        if (item.symlink.empty()) {
            std::string target;
            RINOK_PLUGIN(ReadLinkTarget(in, target));
            item.symlink = global_use_utf16_conversion ? Utf8ToWide(target) : BytesAsChars(target);
        }
        in.Release();
        return WriteEntryWithoutData(item);
    }

    _buf.resize(kChunk);
    CFilePtr spool;
    if (!item.sizeDefined) {
        // The header needs the size first: an unsized stream goes through a temporary file.
        spool.reset(tmpfile());
        if (!spool) return E_FAIL;
        UInt64 total = 0;
        for (;;) {
            size_t got = 0;
            RINOK_PLUGIN(ReadStreamMax(in, _buf.data(), _buf.size(), got));
            if (got == 0) break;
            if (fwrite(_buf.data(), 1, got, spool.get()) != got) return E_FAIL;
            total += got;
            // Nothing is coded yet, but a pause or cancel must not wait for the stream's end.
            RINOK_PLUGIN(_callback->SetCompleted(&_completed));
        }
        in.Release();
        if (fflush(spool.get()) != 0 || fseek(spool.get(), 0, SEEK_SET) != 0) return E_FAIL;
        item.size = total;
        item.sizeDefined = true;
    }
    {
        CUtf8LocaleScope scope;
        if (_entry)
            archive_entry_clear(_entry.get());
        else
            _entry.reset(archive_entry_new());
        if (!_entry) return E_OUTOFMEMORY;
        FillEntry(_entry.get(), item, _format);
        RINOK_PLUGIN(_writer.WriteHeader(_entry.get()));
    }
    UInt64 left = item.size;
    bool sizeChanged = false;
    for (;;) {
        size_t got = 0;
        if (spool) {
            got = fread(_buf.data(), 1, _buf.size(), spool.get());
            if (got == 0 && ferror(spool.get())) return E_FAIL;
        } else {
            // One call at a time: a read that ends exactly at the size given needs no further
            // call to find the end, which would cost a system call per file.
            UInt32 done = 0;
            RINOK_PLUGIN(in->Read(_buf.data(), static_cast<UInt32>(_buf.size()), &done));
            got = done;
        }
        if (got == 0) break;
        const size_t use = got > left ? static_cast<size_t>(left) : got;
        if (use != 0) RINOK_PLUGIN(_writer.WriteData(_buf.data(), use));
        left -= use;
        RINOK_PLUGIN(AddProgress(use));
        if (use < got) {
            // The data grew after its size was given: the header holds the old size.
            sizeChanged = true;
            break;
        }
        // All the data the header announced came in a short read: that is the end of the stream
        // (growth after that moment is as unseen as it would be a moment later).
        if (!spool && left == 0 && got < _buf.size()) break;
    }
    in.Release();
    spool.reset();
    if (left != 0) {
        // The data shrank: zeros keep the entry as long as its header says.
        sizeChanged = true;
        memset(_buf.data(), 0, _buf.size());
        while (left != 0) {
            const size_t n = left > _buf.size() ? _buf.size() : static_cast<size_t>(left);
            RINOK_PLUGIN(_writer.WriteData(_buf.data(), n));
            left -= n;
            RINOK_PLUGIN(AddProgress(n));
        }
    }
    RINOK_PLUGIN(_writer.FinishEntry());
    return _callback->SetOperationResult(sizeChanged ? NArchive::NUpdate::NOperationResult::kError
                                                     : NArchive::NUpdate::NOperationResult::kOK);
}

HRESULT CWriteRun::Run(UInt32 numItems) {
    RINOK_PLUGIN(CollectItems(numItems));
    RINOK_PLUGIN(AskWritePassword());
    UInt64 total = 0;
    bool keepsEncrypted = false;
    for (const CUpdateItem &item : _items) {
        if (!item.newData && item.encrypted) keepsEncrypted = true;
        if (item.sizeDefined) total += item.DataSize(_format);
    }
    if (keepsEncrypted && !_encrypt) {
        // Encrypted items are never copied out in clear. 7z cannot be encrypted; a zip is, as a
        // whole (libarchive takes one password per archive), with the password of the old one.
        if (_format != EWriteFormat::kZip) return E_NOTIMPL;
        RINOK_PLUGIN(CKeptItemCopier::AskOldPassword(_callback, _oldPassword));
        if (_oldPassword.empty()) return E_INVALIDARG;
        _haveOldPassword = true;
        _passphrase = WideToUtf8(_oldPassword.c_str());
        _encrypt = true;
    }
    RINOK_PLUGIN(_callback->SetTotal(total));
    _callback->QueryInterface(IID_ICompressProgressInfo, reinterpret_cast<void **>(&_ratio));
    if (_format == EWriteFormat::kTar) {
        bool plain = true;
        bool allNew = true;
        for (const CUpdateItem &item : _items) {
            if (!item.newData) allNew = false;
            if (!FitsPlainTar(item)) {
                plain = false;
                break;
            }
        }
        _writer.SetPlainTarHeaders(plain, allNew);
    }
    RINOK_PLUGIN(_writer.Open(_format, _props, _encrypt ? _passphrase.c_str() : nullptr, this, total));
    RINOK_PLUGIN(CopyKeptItems());
    for (CUpdateItem &item : _items)
        if (item.newData) RINOK_PLUGIN(WriteNewItem(item));
    return _writer.Close();
}

} // namespace

COutHandler::COutHandler(const CFormatInfo &format) : _format(WriteFormatOf(format)), _props(_format) {}

HRESULT COutHandler::SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) {
    COM_TRY_BEGIN
    if (!CanWrite()) return E_NOTIMPL;
    return _props.Set(names, values, numProps);
    COM_TRY_END
}

HRESULT COutHandler::GetTimeKind(UInt32 *type) const {
    switch (_format) {
    case EWriteFormat::k7z:
        *type = NFileTimeType::kWindows;
        break;
    case EWriteFormat::kZip:
        // Readers of zips without the Unix time field see DOS times only.
        *type = NFileTimeType::kDOS;
        break;
    default:
        *type = NFileTimeType::kUnix;
        break;
    }
    return S_OK;
}

HRESULT COutHandler::WriteArchive(IInArchive *oldArchive, ISequentialOutStream *outStream, UInt32 numItems,
                                  IArchiveUpdateCallback *callback) {
    COM_TRY_BEGIN
    if (!CanWrite()) return E_NOTIMPL;
    if (!outStream || !callback) return E_INVALIDARG;
    CWriteRun run(_format, _props, oldArchive, outStream, callback);
    return run.Run(numItems);
    COM_TRY_END
}

} // namespace NPlugin
