#include "sevenzip/SevenZipWriter.h"

#include "NameDecoder.h"
#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "archive/IPassword.h"

#include <algorithm>
#include <errno.h>
#include <map>
#include <openssl/rand.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NPlugin {

using namespace NSevenZip;

namespace {

const size_t kChunk = 1 << 18;
// Output leaves in pieces of this size; kept packed blocks are copied in pieces of it too.
const size_t kOutBuffer = 1 << 22;
// Kept packed data copied inside the kernel goes in pieces of this size, with a progress call
// (the chance to pause or cancel) between them.
const UInt64 kKernelCopyPiece = 64 << 20;
const UInt32 kAttribDirectory = 0x10;
const UInt32 kAttribUnixExtension = 0x8000;
const UInt32 kKeyRounds = 19;

std::string Lower(const wchar_t *s) {
    std::string out;
    for (; s && *s; s++)
        out += static_cast<char>(*s < 128 ? tolower(static_cast<int>(*s)) : '?');
    return out;
}

// "24" (a power of two), "16m", "65536b", "1g".
bool ParseSize(const std::string &text, UInt64 &size) {
    size_t i = 0;
    UInt64 v = 0;
    while (i < text.size() && isdigit(static_cast<unsigned char>(text[i])) && i < 19)
        v = v * 10 + static_cast<UInt64>(text[i++] - '0');
    if (i == 0) return false;
    const std::string unit = text.substr(i);
    if (unit.empty()) {
        if (v > 63) return false;
        size = static_cast<UInt64>(1) << v;
        return true;
    }
    const int shift = unit == "b" ? 0 : unit == "k" ? 10 : unit == "m" ? 20 : unit == "g" ? 30 : -1;
    if (shift < 0) return false;
    size = v << shift;
    return true;
}

std::string ValueText(const PROPVARIANT &v) {
    if (v.vt == VT_BSTR) return Lower(v.bstrVal);
    if (v.vt == VT_UI4) return std::to_string(v.ulVal);
    if (v.vt == VT_BOOL) return v.boolVal != VARIANT_FALSE ? "on" : "off";
    return std::string();
}

// The sink the encoders write into: the writer's output.
class CPackSink : public CSevenZipSink {
    CSevenZipWriter *_writer;

public:
    UInt64 count = 0;
    explicit CPackSink(CSevenZipWriter *writer) : _writer(writer) {}
    HRESULT Write(const Byte *data, size_t size) override {
        count += size;
        return _writer->WritePacked(data, size);
    }
    HRESULT Finish() override { return S_OK; }
};

// Errors that say the kernel cannot copy between these two files (other file systems, an old
// kernel, a file opened for appending): the copy goes on through the buffers.
bool KernelCopyRefused(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF;
}

// No larger than the data it will see, in powers of two from 4 KiB: the coder's tables grow with
// the dictionary, and setting them up costs more than coding a small input.
UInt64 DictionaryFor(UInt64 dictionary, UInt64 expected) {
    if (expected == 0) return dictionary;
    UInt64 d = LZMA_DICT_SIZE_MIN;
    while (d < expected && d < dictionary)
        d <<= 1;
    return std::min(d, dictionary);
}

void StoreLe32(Byte *p, UInt32 v) {
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<Byte>(v >> (8 * i));
}

void StoreLe64(Byte *p, UInt64 v) {
    for (int i = 0; i < 8; i++)
        p[i] = static_cast<Byte>(v >> (8 * i));
}

} // namespace

void CSevenZipOptions::Set(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) {
    Reset();
    for (UInt32 i = 0; i < numProps; i++) {
        std::string name = Lower(names[i]);
        size_t p = 0;
        while (p < name.size() && isdigit(static_cast<unsigned char>(name[p])))
            p++;
        const bool coder = p != 0;
        name.erase(0, p);
        std::string value = ValueText(values[i]);
        size_t alpha = 0;
        while (alpha < name.size() && name[alpha] >= 'a' && name[alpha] <= 'z')
            alpha++;
        if (alpha < name.size() && value.empty()) {
            value = name.substr(alpha);
            name.erase(alpha);
        }
        if (name == "d") {
            UInt64 d = 0;
            if (values[i].vt == VT_UI4 && values[i].ulVal <= 63)
                dictionary = static_cast<UInt64>(1) << values[i].ulVal;
            else if (ParseSize(value, d))
                dictionary = d;
        } else if ((name.empty() && coder) || name == "m") {
            // "LZMA2:d=24:mt=2": the parameters after the method name.
            size_t at = 0;
            while ((at = value.find(':', at)) != std::string::npos) {
                at++;
                const size_t end = value.find(':', at);
                const std::string param = value.substr(at, end == std::string::npos ? std::string::npos : end - at);
                UInt64 d = 0;
                if (param.compare(0, 1, "d") == 0) {
                    const std::string v = param.substr(param.size() > 1 && param[1] == '=' ? 2 : 1);
                    if (ParseSize(v, d)) dictionary = d;
                }
            }
        } else if (name == "s") {
            if (value.empty() || value == "on" || value == "+") {
                solid = true;
            } else if (value == "off" || value == "-") {
                solid = false;
            } else {
                // Parts like "2g", "100f", "e"; a size of 0 means no solid blocks.
                size_t at = 0;
                while (at < value.size()) {
                    size_t end = at;
                    while (end < value.size() && isdigit(static_cast<unsigned char>(value[end])))
                        end++;
                    const std::string digits = value.substr(at, end - at);
                    const char unit = end < value.size() ? value[end] : 'b';
                    const UInt64 n = digits.empty() ? 0 : std::stoull(digits.substr(0, 19));
                    if (unit == 'f') {
                        solidFiles = n;
                    } else if (unit != 'e' && digits.size() > 18) {
                        solidBytes = ~static_cast<UInt64>(0); // all in one block
                    } else if (unit != 'e' && !digits.empty()) {
                        UInt64 bytes = 0;
                        if (ParseSize(digits + unit, bytes)) solidBytes = bytes;
                        if (bytes == 0) solid = false;
                    }
                    at = end + 1;
                }
            }
        }
    }
}

CSevenZipWriter::CSevenZipWriter(const CWriteProps &props, const CSevenZipOptions &options, IInArchive *old,
                                 const CDatabase *oldDb, IInStream *oldStream, ISequentialOutStream *out,
                                 IArchiveUpdateCallback *callback)
    : _props(props), _options(options), _old(old), _oldDb(oldDb), _oldStream(oldStream), _out(out),
      _callback(callback) {}

CSevenZipWriter::~CSevenZipWriter() {
    _encoder.reset();
    if (_spool) fclose(_spool);
    if (!_password.empty()) memset(&_password[0], 0, _password.size());
    memset(_key, 0, sizeof(_key));
    memset(_method.key, 0, sizeof(_method.key));
}

HRESULT CSevenZipWriter::CollectItems(UInt32 numItems) {
    UInt32 numOld = 0;
    if (_old) RINOK_PLUGIN(_old->GetNumberOfItems(&numOld));
    std::vector<bool> taken(numOld, false);
    // Records are large: grown one by one, every earlier one would be moved again and again.
    _records.reserve(numItems);
    for (UInt32 i = 0; i < numItems; i++) {
        CUpdateItem item;
        bool skip = false;
        RINOK_PLUGIN(ReadUpdateRecord(_callback, _old, numOld, i, item, skip));
        if (skip) continue;
        if (!item.newData) {
            if (taken[item.indexInArchive]) return E_INVALIDARG;
            taken[item.indexInArchive] = true;
        }
        CItemRecord rec;
        rec.update = item;
        CItem &h = rec.item;
        h.name = item.path;
        h.isDir = item.isDir;
        h.isAnti = item.isAnti;
        h.mtimeDefined = item.mtimeDefined;
        h.mtime = item.mtime;
        h.ctimeDefined = item.ctimeDefined;
        h.ctime = item.ctime;
        h.atimeDefined = item.atimeDefined;
        h.atime = item.atime;
        UInt32 mode = item.posixDefined ? item.posixAttrib : 0;
        if (!item.symlink.empty() && (mode & S_IFMT) != S_IFLNK) mode = S_IFLNK | 0777;
        if (item.attribDefined || mode != 0) {
            h.attribDefined = true;
            h.attrib = item.attribDefined ? item.attrib : 0;
            if (mode != 0 && !(h.attrib & kAttribUnixExtension)) h.attrib |= kAttribUnixExtension | (mode << 16);
            if (!item.symlink.empty()) h.attrib = (h.attrib & 0xFFFF) | kAttribUnixExtension | (mode << 16);
            if (item.isDir) h.attrib |= kAttribDirectory;
        } else if (item.isDir) {
            h.attribDefined = true;
            h.attrib = kAttribDirectory;
        }
        _records.push_back(std::move(rec));
    }
    return S_OK;
}

HRESULT CSevenZipWriter::AskPassword() {
    CMyComPtr<ICryptoGetTextPassword2> getter;
    _callback->QueryInterface(IID_ICryptoGetTextPassword2, reinterpret_cast<void **>(&getter));
    std::wstring password;
    if (getter) {
        Int32 defined = 0;
        BSTR b = nullptr;
        const HRESULT res = getter->CryptoGetTextPassword2(&defined, &b);
        password.assign(b ? b : L"");
        SysFreeString(b);
        RINOK_PLUGIN(res);
        if (defined && password.empty()) return E_INVALIDARG;
    }
    if (password.empty()) {
        // Encrypted items are never written out in clear: they are encrypted again with the old password.
        // Encrypted names likewise stay encrypted, with the password the archive was opened with.
        bool keepsEncrypted = _props.oldHeadersEncrypted && _props.encryptHeaders;
        for (const CItemRecord &r : _records)
            keepsEncrypted = keepsEncrypted || (!r.update.newData && r.update.encrypted);
        if (!keepsEncrypted) return S_OK;
        CMyComPtr<ICryptoGetTextPassword> old;
        _callback->QueryInterface(IID_ICryptoGetTextPassword, reinterpret_cast<void **>(&old));
        if (!old) return E_NOTIMPL;
        BSTR b = nullptr;
        const HRESULT res = old->CryptoGetTextPassword(&b);
        password.assign(b ? b : L"");
        SysFreeString(b);
        if (res != S_OK) return res == S_FALSE ? E_ABORT : res;
        if (password.empty()) return E_INVALIDARG;
    }
    _password = WideToUtf8(password.c_str());
    memset(&password[0], 0, password.size() * sizeof(wchar_t));
    _encrypt = true;
    _aes.numCyclesPower = kKeyRounds;
    _aes.salt.resize(16);
    if (RAND_bytes(_aes.salt.data(), 16) != 1) return E_FAIL;
    CSevenZipKey key;
    key.Derive(_password, _aes, _key);
    return S_OK;
}

HRESULT CSevenZipWriter::WritePacked(const Byte *data, size_t size) {
    _packed += size;
    if (_spool) return fwrite(data, 1, size, _spool) == size ? S_OK : E_FAIL;
    if (_outBuf.size() + size > kOutBuffer) RINOK_PLUGIN(FlushOut());
    if (size >= kOutBuffer) return WriteStreamAll(_out, data, size);
    _outBuf.insert(_outBuf.end(), data, data + size);
    return S_OK;
}

HRESULT CSevenZipWriter::FlushOut() {
    if (_outBuf.empty()) return S_OK;
    const HRESULT res = WriteStreamAll(_out, _outBuf.data(), _outBuf.size());
    _outBuf.clear();
    return res;
}

HRESULT CSevenZipWriter::EncodeProgress(UInt64 coded, UInt64 written, UInt64 aheadIn, UInt64 aheadOut) {
    _completed += coded;
    _ratioIn += written;
    RINOK_PLUGIN(_callback->SetCompleted(&_completed));
    if (!_ratio) return S_OK;
    const UInt64 in = _ratioIn + aheadIn;
    const UInt64 packed = _packed + aheadOut;
    return _ratio->SetRatioInfo(&in, &packed);
}

HRESULT CSevenZipWriter::BeginItem(UInt64 sizeHint) {
    // Without a size given, as the compress dialog proposes: 128 dictionaries per block.
    const UInt64 limit =
        _options.solidBytes ? _options.solidBytes : std::max<UInt64>(_method.dictionary * 128, 1ull << 26);
    if (_encoder && (!_options.solid || _blockBytes + sizeHint > limit ||
                     (_options.solidFiles && _blockFiles >= _options.solidFiles)))
        RINOK_PLUGIN(CloseBlock());
    if (_encoder) return S_OK;
    CSevenZipMethod m = _method;
    if (_encrypt && RAND_bytes(m.aes.iv, 16) != 1) return E_FAIL;
    // What this block will likely hold, so that the coder can give every thread a part of it.
    const UInt64 left = _total > _fed ? _total - _fed : 0;
    m.expectedSize = _options.solid ? std::min(std::max(left, sizeHint), limit) : sizeHint;
    if (m.method == EWriteMethod::kLzma || m.method == EWriteMethod::kLzma2)
        m.dictionary = DictionaryFor(m.dictionary, m.expectedSize);
    _packSink.reset(new CPackSink(this));
    _encoder.reset(new CSevenZipEncoder);
    RINOK_PLUGIN(_encoder->Init(m, _packSink.get(), this));
    memset(m.key, 0, sizeof(m.key));
    _blockBytes = 0;
    _blockFiles = 0;
    _blockFirstSub = static_cast<UInt32>(_db.substreamSizes.size());
    return S_OK;
}

HRESULT CSevenZipWriter::WriteItemData(const Byte *data, size_t size) {
    _blockBytes += size;
    _fed += size;
    return _encoder->Write(data, size);
}

HRESULT CSevenZipWriter::EndItem(size_t record, UInt64 size, UInt32 crc) {
    CItemRecord &r = _records[record];
    r.item.hasStream = true;
    r.item.size = size;
    r.item.crcDefined = true;
    r.item.crc = crc;
    r.written = true;
    _db.substreamSizes.push_back(size);
    _db.substreamCrcDefined.push_back(true);
    _db.substreamCrcs.push_back(crc);
    _order.push_back(record);
    _blockFiles++;
    return S_OK;
}

HRESULT CSevenZipWriter::CloseBlock() {
    if (!_encoder) return S_OK;
    CFolder folder;
    RINOK_PLUGIN(_encoder->Finish(folder));
    folder.numSubstreams = _blockFiles;
    _db.packSizes.push_back(static_cast<CPackSink *>(_packSink.get())->count);
    _db.folders.push_back(folder);
    _encoder.reset();
    _packSink.reset();
    return S_OK;
}

HRESULT CSevenZipWriter::CopyRawFolders(std::vector<bool> &copied) {
    copied.clear();
    if (!_oldDb) return S_OK;
    const CDatabase &old = *_oldDb;
    // Which record keeps each old item's data.
    std::vector<size_t> recordOf(old.items.size(), static_cast<size_t>(-1));
    for (size_t i = 0; i < _records.size(); i++)
        if (!_records[i].update.newData && _records[i].update.indexInArchive < old.items.size())
            recordOf[_records[i].update.indexInArchive] = i;
    copied.assign(old.folders.size(), false);
    std::vector<bool> whole(old.folders.size(), true);
    std::vector<std::vector<size_t>> itemsOf(old.folders.size());
    for (size_t i = 0; i < old.items.size(); i++) {
        if (old.items[i].folder < 0) continue;
        itemsOf[static_cast<size_t>(old.items[i].folder)].push_back(i);
        if (recordOf[i] == static_cast<size_t>(-1)) whole[static_cast<size_t>(old.items[i].folder)] = false;
    }
    std::vector<Byte> buf;
    if (!_spool && _seekOut) {
        _oldFd = StreamFileDescriptor(_oldStream);
        _outFd = StreamFileDescriptor(_out);
    }
    for (size_t f = 0; f < old.folders.size(); f++) {
        const CFolder &folder = old.folders[f];
        const bool encrypted = folder.Uses(kMethodAes);
        // A block in clear does not go into an archive that must be encrypted.
        if (!whole[f] || folder.numFiles == 0 || (_encrypt && !encrypted)) continue;
        copied[f] = true;
        CFolder copy = folder;
        for (size_t s = 0; s < folder.packedStreams.size(); s++) {
            const UInt32 ps = folder.firstPackStream + static_cast<UInt32>(s);
            RINOK_PLUGIN(CopyPacked(old.packStreamOffsets[ps], old.packSizes[ps], buf));
            _db.packSizes.push_back(old.packSizes[ps]);
        }
        copy.numSubstreams = 0;
        for (size_t i : itemsOf[f]) {
            const CItem &oi = old.items[i];
            const size_t rec = recordOf[i];
            CItemRecord &r = _records[rec];
            r.item.hasStream = true;
            r.item.size = oi.size;
            r.item.crcDefined = oi.crcDefined;
            r.item.crc = oi.crc;
            r.written = true;
            _db.substreamSizes.push_back(oi.size);
            _db.substreamCrcDefined.push_back(oi.crcDefined);
            _db.substreamCrcs.push_back(oi.crc);
            _order.push_back(rec);
            copy.numSubstreams++;
            _fed += oi.size;
            RINOK_PLUGIN(AddProgress(oi.size));
        }
        _db.folders.push_back(copy);
    }
    return S_OK;
}

HRESULT CSevenZipWriter::KernelCopy(UInt64 &offset, UInt64 &left) {
    RINOK_PLUGIN(FlushOut());
    UInt64 start = 0;
    RINOK_PLUGIN(_seekOut->Seek(0, STREAM_SEEK_CUR, &start));
    loff_t in = static_cast<loff_t>(offset), out = static_cast<loff_t>(start);
    HRESULT res = S_OK;
    while (left != 0 && res == S_OK) {
        const ssize_t n =
            copy_file_range(_oldFd, &in, _outFd, &out, static_cast<size_t>(std::min(left, kKernelCopyPiece)), 0);
        if (n < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            if (KernelCopyRefused(error)) {
                _oldFd = _outFd = -1;
                break;
            }
            res = HRESULT_FROM_ERRNO(error);
            break;
        }
        if (n == 0) {
            res = E_FAIL; // the old archive ends before its tables say
            break;
        }
        left -= static_cast<UInt64>(n);
        _packed += static_cast<UInt64>(n);
        res = EncodeProgress(0, 0);
    }
    offset = static_cast<UInt64>(in);
    // The kernel moved neither file position: the streams are told where the data now ends.
    const HRESULT seekRes = _seekOut->Seek(static_cast<Int64>(out), STREAM_SEEK_SET, nullptr);
    RINOK_PLUGIN(res);
    RINOK_PLUGIN(seekRes);
    return _oldStream->Seek(static_cast<Int64>(in), STREAM_SEEK_SET, nullptr);
}

HRESULT CSevenZipWriter::CopyPacked(UInt64 offset, UInt64 size, std::vector<Byte> &buf) {
    if (_oldFd >= 0 && _outFd >= 0) {
        RINOK_PLUGIN(KernelCopy(offset, size));
        if (size == 0) return S_OK;
    }
    if (buf.empty()) {
        RINOK_PLUGIN(FlushOut());
        buf.resize(kOutBuffer);
    }
    RINOK_PLUGIN(_oldStream->Seek(static_cast<Int64>(offset), STREAM_SEEK_SET, nullptr));
    while (size != 0) {
        size_t got = 0;
        const size_t want = static_cast<size_t>(std::min<UInt64>(size, buf.size()));
        RINOK_PLUGIN(ReadStreamMax(_oldStream, buf.data(), want, got));
        if (got != want) return E_FAIL;
        RINOK_PLUGIN(WritePacked(buf.data(), got));
        size -= got;
        RINOK_PLUGIN(EncodeProgress(0, 0));
    }
    return S_OK;
}

// Takes the old archive's extraction of the kept items that are encoded again.
class CKeptItemSource : public IArchiveExtractCallback,
                        public ICryptoGetTextPassword,
                        public IArchiveExtractCallbackMessage,
                        public CMyUnknownImp {
    class COut : public ISequentialOutStream, public CMyUnknownImp {
    public:
        CKeptItemSource *owner;
        COM_UNKNOWN_IMP(ISequentialOutStream)
        virtual ~COut() {}
        HRESULT Write(const void *data, UInt32 size, UInt32 *processed) override {
            if (processed) *processed = 0;
            RINOK_PLUGIN(owner->_writer->WriteItemData(static_cast<const Byte *>(data), size));
            owner->_crc = Crc32(data, size, owner->_crc);
            owner->_size += size;
            if (processed) *processed = size;
            return S_OK;
        }
    };

    CSevenZipWriter *_writer;
    std::map<UInt32, size_t> _recordOf;
    size_t _current = 0;
    bool _active = false;
    UInt32 _crc = 0;
    UInt64 _size = 0;

public:
    bool failed = false;
    size_t done = 0;

    CKeptItemSource(CSevenZipWriter *writer, std::map<UInt32, size_t> recordOf)
        : _writer(writer), _recordOf(std::move(recordOf)) {}
    virtual ~CKeptItemSource() {}
    COM_UNKNOWN_IMP(IArchiveExtractCallback, ICryptoGetTextPassword, IArchiveExtractCallbackMessage)

    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT GetStream(UInt32 index, ISequentialOutStream **out, Int32 askMode) override {
        *out = nullptr;
        auto it = _recordOf.find(index);
        if (it == _recordOf.end() || askMode != NArchive::NExtract::NAskMode::kExtract || _active) return E_FAIL;
        _current = it->second;
        const CUpdateItem &u = _writer->_records[_current].update;
        RINOK_PLUGIN(_writer->BeginItem(u.sizeDefined ? u.size : 0));
        _active = true;
        _crc = 0;
        _size = 0;
        COut *o = new COut;
        o->owner = this;
        o->AddRef();
        *out = o;
        return S_OK;
    }
    HRESULT PrepareOperation(Int32) override { return S_OK; }
    HRESULT SetOperationResult(Int32 opRes) override {
        if (!_active) return E_FAIL;
        _active = false;
        if (opRes != NArchive::NExtract::NOperationResult::kOK) {
            failed = true;
            return E_FAIL;
        }
        done++;
        // The coder reports the bytes as it codes them.
        return _writer->EndItem(_current, _size, _crc);
    }
    HRESULT ReportExtractResult(UInt32, UInt32, Int32 opRes) override {
        if (opRes != NArchive::NExtract::NOperationResult::kOK) failed = true;
        return opRes == NArchive::NExtract::NOperationResult::kOK ? S_OK : E_FAIL;
    }
    HRESULT CryptoGetTextPassword(BSTR *password) override {
        CMyComPtr<ICryptoGetTextPassword> getter;
        _writer->_callback->QueryInterface(IID_ICryptoGetTextPassword, reinterpret_cast<void **>(&getter));
        if (!getter) return E_NOTIMPL;
        return getter->CryptoGetTextPassword(password);
    }
};

HRESULT CSevenZipWriter::ReencodeKept(const std::vector<bool> &copied) {
    std::map<UInt32, size_t> recordOf;
    std::vector<UInt32> indices;
    for (size_t i = 0; i < _records.size(); i++) {
        const CUpdateItem &u = _records[i].update;
        if (u.newData || _records[i].written || u.isDir || u.isAnti) continue;
        if (u.sizeDefined && u.size == 0) continue;
        if (_oldDb && u.indexInArchive < _oldDb->items.size()) {
            const int f = _oldDb->items[u.indexInArchive].folder;
            if (f < 0) continue;
            if (static_cast<size_t>(f) < copied.size() && copied[static_cast<size_t>(f)]) continue;
        }
        recordOf[u.indexInArchive] = i;
        indices.push_back(u.indexInArchive);
    }
    if (indices.empty()) return S_OK;
    std::sort(indices.begin(), indices.end());
    CKeptItemSource *sourceRaw = new CKeptItemSource(this, recordOf);
    CMyComPtr<IArchiveExtractCallback> source = sourceRaw;
    const HRESULT res = _old->Extract(indices.data(), static_cast<UInt32>(indices.size()), 0, source);
    if (res != S_OK) return res;
    if (sourceRaw->failed || sourceRaw->done != indices.size()) return E_FAIL;
    return S_OK;
}

HRESULT CSevenZipWriter::WriteNewItems() {
    std::vector<Byte> buf(kChunk);
    for (size_t i = 0; i < _records.size(); i++) {
        CItemRecord &r = _records[i];
        const CUpdateItem &u = r.update;
        if (!u.newData) continue;
        CMyComPtr<ISequentialInStream> in;
        const HRESULT res = _callback->GetStream(u.index, &in);
        if (res == S_FALSE) continue; // skipped by the caller
        RINOK_PLUGIN(res);
        if (u.isDir) {
            in.Release();
            r.written = true;
            RINOK_PLUGIN(_callback->SetOperationResult(NArchive::NUpdate::NOperationResult::kOK));
            continue;
        }
        std::string linkData;
        if (!u.symlink.empty()) {
            linkData = WideToUtf8(u.symlink.c_str());
            in.Release();
        } else if (!in) {
            continue;
        }
        if (u.sizeDefined && u.size == 0 && linkData.empty()) {
            in.Release();
            r.written = true;
            RINOK_PLUGIN(_callback->SetOperationResult(NArchive::NUpdate::NOperationResult::kOK));
            continue;
        }
        RINOK_PLUGIN(BeginItem(linkData.empty() ? u.size : linkData.size()));
        UInt64 size = 0;
        UInt32 crc = 0;
        if (!linkData.empty()) {
            RINOK_PLUGIN(WriteItemData(reinterpret_cast<const Byte *>(linkData.data()), linkData.size()));
            crc = Crc32(linkData.data(), linkData.size());
            size = linkData.size();
        } else {
            for (;;) {
                size_t got = 0;
                RINOK_PLUGIN(ReadStreamMax(in, buf.data(), buf.size(), got));
                if (got == 0) break;
                RINOK_PLUGIN(WriteItemData(buf.data(), got));
                crc = Crc32(buf.data(), got, crc);
                size += got;
            }
        }
        in.Release();
        if (size == 0) {
            // Nothing came: an empty file, with no place in the block.
            r.written = true;
        } else {
            RINOK_PLUGIN(EndItem(i, size, crc));
        }
        // The file shrank or grew while it was read: stored as read, but the user is told.
        const bool changed = linkData.empty() && u.sizeDefined && size != u.size;
        RINOK_PLUGIN(_callback->SetOperationResult(changed ? NArchive::NUpdate::NOperationResult::kError
                                                           : NArchive::NUpdate::NOperationResult::kOK));
    }
    return S_OK;
}

HRESULT CSevenZipWriter::WriteHeaderAndClose() {
    RINOK_PLUGIN(CloseBlock());
    // Items with data in block order, then the rest (folders, empty files, deletions).
    for (size_t i = 0; i < _records.size(); i++) {
        const CItemRecord &r = _records[i];
        if (r.written && !r.item.hasStream) _order.push_back(i);
    }
    _db.items.reserve(_order.size());
    for (size_t i : _order)
        _db.items.push_back(_records[i].item);
    _db.packPos = 0;

    std::vector<Byte> next;
    if (!_db.items.empty()) {
        CByteWriter header;
        WriteHeader(header, _db);
        // The header is packed (and with "he" encrypted) like the data.
        CSevenZipMethod m;
        m.method = EWriteMethod::kLzma2;
        m.level = 5;
        m.dictionary = DictionaryFor(1 << 20, header.data.size());
        m.threads = 1;
        m.encrypt = _encrypt && _props.encryptHeaders;
        if (m.encrypt) {
            memcpy(m.key, _key, 32);
            m.aes = _aes;
            if (RAND_bytes(m.aes.iv, 16) != 1) return E_FAIL;
        }
        CDatabase packed;
        packed.packPos = _packed;
        CPackSink sink(this);
        {
            CSevenZipEncoder enc;
            RINOK_PLUGIN(enc.Init(m, &sink));
            memset(m.key, 0, sizeof(m.key));
            RINOK_PLUGIN(enc.Write(header.data.data(), header.data.size()));
            CFolder f;
            RINOK_PLUGIN(enc.Finish(f));
            f.crcDefined = true;
            f.crc = Crc32(header.data.data(), header.data.size());
            packed.folders.push_back(f);
        }
        packed.packSizes.push_back(sink.count);
        CByteWriter encoded;
        encoded.WriteByte(kEncodedHeader);
        WriteStreamsInfo(encoded, packed, false);
        next.swap(encoded.data);
    }

    Byte start[kSignatureHeaderSize] = {};
    memcpy(start, kSignature, 6);
    start[6] = 0;
    start[7] = 4;
    StoreLe64(start + 12, next.empty() ? 0 : _packed);
    StoreLe64(start + 20, next.size());
    StoreLe32(start + 28, next.empty() ? 0 : Crc32(next.data(), next.size()));
    StoreLe32(start + 8, Crc32(start + 12, 20));

    RINOK_PLUGIN(FlushOut());
    if (_spool) {
        RINOK_PLUGIN(WriteStreamAll(_out, start, sizeof(start)));
        if (fflush(_spool) != 0 || fseek(_spool, 0, SEEK_SET) != 0) return E_FAIL;
        std::vector<Byte> buf(kChunk);
        for (;;) {
            const size_t n = fread(buf.data(), 1, buf.size(), _spool);
            if (n == 0) {
                if (ferror(_spool)) return E_FAIL;
                break;
            }
            RINOK_PLUGIN(WriteStreamAll(_out, buf.data(), n));
        }
        return WriteStreamAll(_out, next.data(), next.size());
    }
    RINOK_PLUGIN(WriteStreamAll(_out, next.data(), next.size()));
    UInt64 end = 0;
    RINOK_PLUGIN(_seekOut->Seek(0, STREAM_SEEK_CUR, &end));
    RINOK_PLUGIN(_seekOut->Seek(static_cast<Int64>(_base), STREAM_SEEK_SET, nullptr));
    RINOK_PLUGIN(WriteStreamAll(_out, start, sizeof(start)));
    return _seekOut->Seek(static_cast<Int64>(end), STREAM_SEEK_SET, nullptr);
}

HRESULT CSevenZipWriter::Run(UInt32 numItems) {
    RINOK_PLUGIN(CollectItems(numItems));
    RINOK_PLUGIN(AskPassword());
    _method.level = _props.level < 0 ? 5 : _props.level;
    _method.method = _props.method == EWriteMethod::kDefault ? EWriteMethod::kLzma2 : _props.method;
    if (_method.level == 0) _method.method = EWriteMethod::kCopy;
    // No count, or one beyond reason (an unset -1), means every processor.
    _method.threads = _props.threads == 0 || _props.threads > 1024 ? NumCpus() : _props.threads;
    lzma_options_lzma opt;
    LzmaOptionsFor(_method.level, _options.dictionary, opt);
    _method.dictionary = opt.dict_size;
    _method.encrypt = _encrypt;
    if (_encrypt) {
        memcpy(_method.key, _key, 32);
        _method.aes = _aes;
    }

    UInt64 total = 0;
    for (const CItemRecord &r : _records)
        if (r.update.sizeDefined && !r.update.isDir) total += r.update.size;
    _total = total;
    RINOK_PLUGIN(_callback->SetTotal(total));
    _callback->QueryInterface(IID_ICompressProgressInfo, reinterpret_cast<void **>(&_ratio));
    _outBuf.reserve(kOutBuffer);

    _out->QueryInterface(IID_IOutStream, reinterpret_cast<void **>(&_seekOut));
    if (_seekOut && _seekOut->Seek(0, STREAM_SEEK_CUR, &_base) != S_OK) _seekOut.Release();
    if (_seekOut) {
        const Byte zeros[kSignatureHeaderSize] = {};
        RINOK_PLUGIN(WriteStreamAll(_out, zeros, sizeof(zeros)));
    } else {
        // The start header needs the size of everything after it: the data waits in a temporary file.
        _spool = tmpfile();
        if (!_spool) return E_FAIL;
    }
    std::vector<bool> copied;
    RINOK_PLUGIN(CopyRawFolders(copied));
    RINOK_PLUGIN(ReencodeKept(copied));
    RINOK_PLUGIN(WriteNewItems());
    // Kept items without data (folders, empty files) have nothing to copy.
    CMyComPtr<IArchiveUpdateCallbackFile> file;
    _callback->QueryInterface(IID_IArchiveUpdateCallbackFile, reinterpret_cast<void **>(&file));
    for (CItemRecord &r : _records) {
        if (r.update.newData) continue;
        r.written = true;
        if (file)
            RINOK_PLUGIN(file->ReportOperation(NArchive::NEventIndexType::kInArcIndex, r.update.indexInArchive,
                                               NArchive::NUpdateNotifyOp::kReplicate));
    }
    return WriteHeaderAndClose();
}

} // namespace NPlugin
