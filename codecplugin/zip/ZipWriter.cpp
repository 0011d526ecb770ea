#include "zip/ZipWriter.h"

#include "NameDecoder.h"
#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "UpdateItem.h"
#include "zip/ZipCompressor.h"
#include "zip/ZipDirectWriter.h"
#include "zip/ZipStreamSource.h"
#include "archive/ICoder.h"
#include "archive/IPassword.h"

#include <algorithm>
#include <memory>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace NPlugin {

namespace {

const size_t kNone = static_cast<size_t>(-1);
const UInt32 kDosReadOnly = 0x1;
const UInt32 kDosDirectory = 0x10;
const zip_uint16_t kExtendedTimestamp = 0x5455;

// Hands libzip one new entry's compressed data out of the temporary file, with what libzip needs
// to write it without compressing it again: method, sizes and CRC.
class CSpoolSource {
    int _fd;
    CSpoolEntry _entry;
    time_t _mtime;
    UInt64 _pos = 0;
    zip_error_t _error;

    static zip_int64_t Callback(void *self, void *data, zip_uint64_t len, zip_source_cmd_t cmd) {
        return static_cast<CSpoolSource *>(self)->Command(data, len, cmd);
    }

    zip_int64_t Command(void *data, zip_uint64_t len, zip_source_cmd_t cmd) {
        switch (cmd) {
        case ZIP_SOURCE_OPEN:
            _pos = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            const zip_uint64_t want = std::min<zip_uint64_t>(len, _entry.packSize - _pos);
            zip_uint64_t done = 0;
            while (done < want) {
                const ssize_t n = pread(_fd, static_cast<Byte *>(data) + done, static_cast<size_t>(want - done),
                                        static_cast<off_t>(_entry.offset + _pos + done));
                if (n <= 0) {
                    zip_error_set(&_error, ZIP_ER_READ, n < 0 ? errno : 0);
                    return -1;
                }
                done += static_cast<zip_uint64_t>(n);
            }
            _pos += done;
            return static_cast<zip_int64_t>(done);
        }
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_STAT: {
            zip_stat_t *st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &_error);
            if (!st) return -1;
            zip_stat_init(st);
            st->size = _entry.size;
            st->comp_size = _entry.packSize;
            st->comp_method = static_cast<zip_uint16_t>(_entry.method);
            st->crc = _entry.crc;
            st->encryption_method = ZIP_EM_NONE;
            st->mtime = _mtime;
            st->valid |= ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC |
                         ZIP_STAT_ENCRYPTION_METHOD | ZIP_STAT_MTIME;
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&_error, data, len);
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_READABLE;
        default:
            zip_error_set(&_error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

public:
    CSpoolSource(int fd, const CSpoolEntry &entry, time_t mtime) : _fd(fd), _entry(entry), _mtime(mtime) {
        zip_error_init(&_error);
    }
    ~CSpoolSource() { zip_error_fini(&_error); }
    CSpoolSource(const CSpoolSource &) = delete;
    CSpoolSource &operator=(const CSpoolSource &) = delete;

    zip_source_t *Create(zip_t *za) { return zip_source_function(za, Callback, this); }
};

zip_uint16_t ZipEncryptionMethod(EZipEncryption e) {
    switch (e) {
    case EZipEncryption::kAes128:
        return ZIP_EM_AES_128;
    case EZipEncryption::kAes192:
        return ZIP_EM_AES_192;
    case EZipEncryption::kAes256:
        return ZIP_EM_AES_256;
    case EZipEncryption::kZipCrypto:
        break;
    }
    return ZIP_EM_TRAD_PKWARE;
}

// What a new entry's headers say of it when it is written without libzip.
CZipDirectWriter::CEntry DirectEntry(const CUpdateItem &item, EEntryKind kind) {
    CZipDirectWriter::CEntry e;
    e.name = NameBytes(item.path);
    while (!e.name.empty() && e.name.back() == '/')
        e.name.pop_back();
    if (kind == EEntryKind::kDir) e.name += '/';
    e.mtime = static_cast<Int64>(time(nullptr));
    long nsec = 0;
    if (item.mtimeDefined) FileTimeToUnix(item.mtime, e.mtime, nsec);
    const UInt32 type = kind == EEntryKind::kDir ? S_IFDIR : kind == EEntryKind::kSymLink ? S_IFLNK : S_IFREG;
    const UInt32 mode = (item.Mode() & 07777) | type;
    const UInt32 dosAttributes = (type == S_IFDIR ? kDosDirectory : 0) | ((mode & 0200) ? 0 : kDosReadOnly);
    e.externalAttributes = (mode << 16) | dosAttributes;
    e.sizeKnown = item.sizeDefined;
    e.sizeHint = item.size;
    return e;
}

class CZipWriteRun {
    const CZipOldArchive *_old;
    const CWriteProps &_props;
    ISequentialOutStream *_out;
    IArchiveUpdateCallback *_callback;
    std::vector<CUpdateItem> _items;
    std::vector<size_t> _spoolIndex;      // per item: its entry in the compressor
    std::vector<std::string> _linkTarget; // per item: a new link's target
    std::vector<bool> _skipped;
    std::unique_ptr<CZipCompressor> _compressor;
    // A new archive without a password is written straight out, without libzip.
    std::unique_ptr<CZipDirectWriter> _direct;
    zip_int32_t _method = ZIP_CM_DEFLATE;
    std::string _password;
    bool _encrypt = false;
    UInt64 _completed = 0;
    UInt64 _closeBase = 0;
    UInt64 _closeSpan = 0;
    UInt64 _closeDone = 0; // progress told while libzip writes, never going back
    HRESULT _progressResult = S_OK;

    HRESULT AskPassword();
    HRESULT ReadNewItem(size_t i);
    HRESULT ApplyKeptItems(zip_t *za, bool &changed);
    HRESULT AddNewItem(zip_t *za, size_t i, std::vector<std::unique_ptr<CSpoolSource>> &sources);
    CMyComPtr<ICompressProgressInfo> _ratioInfo;
    // Progress counts bytes compressed; reads in between only look for a stop.
    HRESULT CheckStop() { return _callback->SetCompleted(&_completed); }
    HRESULT Compressed(UInt64 in, UInt64 out) {
        _completed = in;
        if (_ratioInfo) RINOK_PLUGIN(_ratioInfo->SetRatioInfo(&in, &out));
        return _callback->SetCompleted(&_completed);
    }
    HRESULT CloseProgress(UInt64 done) {
        _closeDone = std::max(_closeDone, std::min(done, _closeSpan));
        const UInt64 completed = _closeBase + _closeDone;
        return _callback->SetCompleted(&completed);
    }
    static void OnProgress(zip_t *, double fraction, void *self);
    static int OnCancel(zip_t *, void *self);

public:
    CZipWriteRun(const CZipOldArchive *old, const CWriteProps &props, ISequentialOutStream *out,
                 IArchiveUpdateCallback *callback)
        : _old(old), _props(props), _out(out), _callback(callback) {}
    ~CZipWriteRun() {
        if (!_password.empty()) memset(&_password[0], 0, _password.size());
    }
    HRESULT Run(UInt32 numItems);
};

HRESULT CZipWriteRun::AskPassword() {
    RINOK_PLUGIN(AskWritePassword(_callback, _encrypt, _password));
    return _encrypt && _password.empty() ? E_INVALIDARG : S_OK;
}

HRESULT CZipWriteRun::ReadNewItem(size_t i) {
    CUpdateItem &item = _items[i];
    bool changedWhileRead = false;
    CMyComPtr<ISequentialInStream> in;
    const HRESULT res = _callback->GetStream(item.index, &in);
    // S_FALSE: the caller could not or would not give the data and skips the item.
    if (res == S_FALSE) {
        _skipped[i] = true;
        return S_OK;
    }
    RINOK_PLUGIN(res);
    const EEntryKind kind = item.Kind(EWriteFormat::kZip);
    if (kind == EEntryKind::kDir && _direct) {
        RINOK_PLUGIN(_direct->Expect(DirectEntry(item, kind)));
        RINOK_PLUGIN(_compressor->AddStored(std::string(), _spoolIndex[i]));
    }
    if (kind != EEntryKind::kDir) {
        if (!in) {
            _skipped[i] = true;
            return S_OK;
        }
        if (_direct) RINOK_PLUGIN(_direct->Expect(DirectEntry(item, kind)));
        if (kind == EEntryKind::kSymLink) {
            if (item.symlink.empty()) {
                RINOK_PLUGIN(ReadLinkTarget(in, _linkTarget[i]));
            } else {
                _linkTarget[i] = NameBytes(item.symlink);
            }
            if (_direct) RINOK_PLUGIN(_compressor->AddStored(_linkTarget[i], _spoolIndex[i]));
        } else {
            UInt64 read = 0;
            RINOK_PLUGIN(_compressor->Add(in, [this](UInt64) { return CheckStop(); }, _spoolIndex[i], read));
            // The file shrank or grew while it was read: stored whole as read, but the user is told.
            changedWhileRead = item.sizeDefined && read != item.size;
        }
    }
    in.Release();
    return _callback->SetOperationResult(changedWhileRead ? NArchive::NUpdate::NOperationResult::kError
                                                          : NArchive::NUpdate::NOperationResult::kOK);
}

HRESULT CZipWriteRun::ApplyKeptItems(zip_t *za, bool &changed) {
    const zip_int64_t numOld = zip_get_num_entries(za, 0);
    std::vector<bool> keep(static_cast<size_t>(numOld > 0 ? numOld : 0), false);
    struct CRename {
        zip_uint64_t index;
        std::string name;
    };
    std::vector<CRename> renames;
    CMyComPtr<IArchiveUpdateCallbackFile> callbackFile;
    _callback->QueryInterface(IID_IArchiveUpdateCallbackFile, reinterpret_cast<void **>(&callbackFile));
    for (const CUpdateItem &item : _items) {
        if (item.newData) continue;
        if (item.indexInArchive >= keep.size() || keep[item.indexInArchive]) return E_INVALIDARG;
        keep[item.indexInArchive] = true;
        if (callbackFile)
            RINOK_PLUGIN(callbackFile->ReportOperation(NArchive::NEventIndexType::kInArcIndex, item.indexInArchive,
                                                       NArchive::NUpdateNotifyOp::kReplicate));
        _closeSpan += item.DataSize(EWriteFormat::kZip);
        if (!item.newProps) continue;
        PROPVARIANT v;
        memset(&v, 0, sizeof(v));
        v.vt = VT_EMPTY;
        RINOK_PLUGIN(_old->archive->GetProperty(item.indexInArchive, kpidPath, &v));
        const bool same = v.vt == VT_BSTR && v.bstrVal && item.path == v.bstrVal;
        VariantClear(&v);
        if (same) continue;
        std::string name = NameBytes(item.path);
        while (!name.empty() && name.back() == '/')
            name.pop_back();
        if (item.isDir) name += '/';
        renames.push_back({item.indexInArchive, name});
    }
    for (size_t j = 0; j < keep.size(); j++) {
        if (keep[j]) continue;
        if (zip_delete(za, j) != 0) return E_FAIL;
        changed = true;
    }
    // Names may be swapped: every renamed entry first gets a name of its own that nothing uses.
    for (int pass = 0; pass < 2; pass++) {
        for (const CRename &r : renames) {
            std::string name = r.name;
            if (pass == 0) name = "\x01tarnova-rename-" + std::to_string(r.index) + (name.back() == '/' ? "/" : "");
            if (zip_file_rename(za, r.index, name.c_str(), ZIP_FL_ENC_GUESS) != 0) return E_INVALIDARG;
            changed = true;
        }
    }
    return S_OK;
}

HRESULT CZipWriteRun::AddNewItem(zip_t *za, size_t i, std::vector<std::unique_ptr<CSpoolSource>> &sources) {
    const CUpdateItem &item = _items[i];
    std::string name = NameBytes(item.path);
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    Int64 mtime = static_cast<Int64>(time(nullptr));
    long nsec = 0;
    if (item.mtimeDefined) FileTimeToUnix(item.mtime, mtime, nsec);
    const EEntryKind kind = item.Kind(EWriteFormat::kZip);
    zip_int64_t index = -1;
    UInt32 type = S_IFREG;
    if (kind == EEntryKind::kDir) {
        type = S_IFDIR;
        index = zip_dir_add(za, name.c_str(), ZIP_FL_ENC_GUESS);
    } else {
        zip_source_t *src = nullptr;
        if (kind == EEntryKind::kSymLink) {
            type = S_IFLNK;
            src = zip_source_buffer(za, _linkTarget[i].data(), _linkTarget[i].size(), 0);
        } else {
            sources.emplace_back(new CSpoolSource(_compressor->SpoolFd(), _compressor->Entry(_spoolIndex[i]),
                                                  static_cast<time_t>(mtime)));
            src = sources.back()->Create(za);
        }
        if (!src) return E_OUTOFMEMORY;
        index = zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_GUESS);
        if (index < 0) zip_source_free(src);
    }
    // Two items of one name: libzip keeps names unique.
    if (index < 0) return zip_error_code_zip(zip_get_error(za)) == ZIP_ER_EXISTS ? E_INVALIDARG : E_FAIL;
    const zip_uint64_t idx = static_cast<zip_uint64_t>(index);
    const UInt32 mode = (item.Mode() & 07777) | type;
    const UInt32 dosAttributes = (type == S_IFDIR ? kDosDirectory : 0) | ((mode & 0200) ? 0 : kDosReadOnly);
    if (zip_file_set_external_attributes(za, idx, 0, ZIP_OPSYS_UNIX, (mode << 16) | dosAttributes) != 0) return E_FAIL;
    if (zip_file_set_mtime(za, idx, static_cast<time_t>(mtime), 0) != 0) return E_FAIL;
    // The exact time in UTC beside the DOS time, which has 2-second steps and no zone.
    if (mtime >= INT32_MIN && mtime <= INT32_MAX) {
        const UInt32 t = static_cast<UInt32>(static_cast<Int32>(mtime));
        const zip_uint8_t ut[5] = {1, static_cast<zip_uint8_t>(t), static_cast<zip_uint8_t>(t >> 8),
                                   static_cast<zip_uint8_t>(t >> 16), static_cast<zip_uint8_t>(t >> 24)};
        if (zip_file_extra_field_set(za, idx, kExtendedTimestamp, ZIP_EXTRA_FIELD_NEW, ut, sizeof(ut),
                                     ZIP_FL_LOCAL | ZIP_FL_CENTRAL) != 0)
            return E_FAIL;
    }
    if (kind == EEntryKind::kDir) return S_OK;
    if (kind == EEntryKind::kSymLink || _method == ZIP_CM_STORE)
        if (zip_set_file_compression(za, idx, ZIP_CM_STORE, 0) != 0) return E_FAIL;
    if (_encrypt && kind == EEntryKind::kFile &&
        zip_file_set_encryption(za, idx, ZipEncryptionMethod(_props.encryption), _password.c_str()) != 0)
        return E_NOTIMPL;
    return S_OK;
}

void CZipWriteRun::OnProgress(zip_t *, double fraction, void *self) {
    CZipWriteRun *run = static_cast<CZipWriteRun *>(self);
    if (run->_progressResult != S_OK) return;
    run->_progressResult = run->CloseProgress(static_cast<UInt64>(fraction * static_cast<double>(run->_closeSpan)));
}

int CZipWriteRun::OnCancel(zip_t *, void *self) {
    return static_cast<CZipWriteRun *>(self)->_progressResult != S_OK ? 1 : 0;
}

HRESULT CZipWriteRun::Run(UInt32 numItems) {
    RINOK_PLUGIN(CollectUpdateItems(_old ? _old->archive : nullptr, _callback, numItems, EWriteFormat::kZip, _items));
    RINOK_PLUGIN(AskPassword());
    switch (_props.method) {
    case EWriteMethod::kCopy:
        _method = ZIP_CM_STORE;
        break;
    case EWriteMethod::kBzip2:
        _method = ZIP_CM_BZIP2;
        break;
    case EWriteMethod::kLzma:
        _method = ZIP_CM_LZMA;
        break;
    case EWriteMethod::kDefault:
    case EWriteMethod::kDeflate:
        _method = ZIP_CM_DEFLATE;
        break;
    default:
        return E_NOTIMPL;
    }
    if (_props.level == 0) _method = ZIP_CM_STORE;

    UInt64 total = 0;
    for (const CUpdateItem &item : _items)
        if (item.sizeDefined) total += item.DataSize(EWriteFormat::kZip);
    RINOK_PLUGIN(_callback->SetTotal(total));

    // New data first, each item's stream opened, read to its end and released in order.
    _spoolIndex.assign(_items.size(), kNone);
    _linkTarget.assign(_items.size(), std::string());
    _skipped.assign(_items.size(), false);
    _compressor.reset(new CZipCompressor(_method, _props.level, _props.threads ? _props.threads : NumCpus()));
    _callback->QueryInterface(IID_ICompressProgressInfo, reinterpret_cast<void **>(&_ratioInfo));
    if (!_old && !_encrypt) {
        _direct.reset(new CZipDirectWriter(_out));
        RINOK_PLUGIN(_direct->Begin(_compressor.get()));
    }
    RINOK_PLUGIN(_compressor->Start([this](UInt64 in, UInt64 out) { return Compressed(in, out); }, _direct.get()));
    for (size_t i = 0; i < _items.size(); i++)
        if (_items[i].newData) RINOK_PLUGIN(ReadNewItem(i));
    RINOK_PLUGIN(_compressor->Finish());
    if (_direct) return _direct->End();

    CZipStreamSource target(_old ? _old->stream : nullptr, _old ? _old->size : 0, _old ? _old->shift : 0, _out);
    // The old archive's start copied in one piece counts as its share of the old archive's data.
    target.SetCopyStep([this](UInt64 copied) {
        const double share = _old && _old->size ? static_cast<double>(copied) / static_cast<double>(_old->size) : 0;
        return CloseProgress(static_cast<UInt64>(std::min(share, 1.0) * static_cast<double>(_closeSpan)));
    });
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *src = target.Create(&error);
    zip_t *za = src ? zip_open_from_source(src, _old ? 0 : ZIP_CREATE | ZIP_TRUNCATE, &error) : nullptr;
    zip_error_fini(&error);
    if (!za) {
        if (src) zip_source_free(src);
        return target.StreamResult() != S_OK ? target.StreamResult() : E_FAIL;
    }
    struct CDiscard {
        zip_t *za;
        ~CDiscard() {
            if (za) zip_discard(za);
        }
    } discard{za};

    bool changed = false;
    if (_old) RINOK_PLUGIN(ApplyKeptItems(za, changed));
    std::vector<std::unique_ptr<CSpoolSource>> sources;
    for (size_t i = 0; i < _items.size(); i++) {
        if (!_items[i].newData || _skipped[i]) continue;
        RINOK_PLUGIN(AddNewItem(za, i, sources));
        changed = true;
    }
    // libzip writes nothing for an archive it sees unchanged, and the engine wants a whole archive:
    // the first entry's time is set to itself.
    zip_stat_t st;
    if (!changed && zip_get_num_entries(za, 0) > 0 && zip_stat_index(za, 0, 0, &st) == 0 &&
        zip_file_set_mtime(za, 0, (st.valid & ZIP_STAT_MTIME) ? st.mtime : time(nullptr), 0) != 0)
        return E_FAIL;

    _closeBase = _completed;
    zip_register_progress_callback_with_state(za, 0.001, OnProgress, nullptr, this);
    zip_register_cancel_callback_with_state(za, OnCancel, nullptr, this);
    if (zip_close(za) != 0) {
        if (target.StreamResult() != S_OK) return target.StreamResult();
        if (_progressResult != S_OK) return _progressResult;
        return E_FAIL;
    }
    discard.za = nullptr;
    if (_progressResult != S_OK) return _progressResult;
    // An archive left without entries is the end record alone.
    if (!target.WroteAnything()) {
        static const Byte kEmpty[22] = {'P', 'K', 5, 6};
        RINOK_PLUGIN(WriteStreamAll(_out, kEmpty, sizeof(kEmpty)));
    }
    return S_OK;
}

} // namespace

HRESULT WriteZipArchive(const CZipOldArchive *old, const CWriteProps &props, ISequentialOutStream *out, UInt32 numItems,
                        IArchiveUpdateCallback *callback) {
    CZipWriteRun run(old, props, out, callback);
    return run.Run(numItems);
}

} // namespace NPlugin
