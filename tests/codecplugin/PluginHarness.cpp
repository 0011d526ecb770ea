#include "PluginHarness.h"

#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace NPluginTest {

std::string PluginPath() {
    const char *dir = getenv("TARNOVA_TEST_OUTPUT_DIR");
    return std::string(dir ? dir : ".") + "/7z.so";
}

CPluginLib::CPluginLib(int utf16) {
    _handle = dlopen(PluginPath().c_str(), RTLD_NOW);
    if (!_handle) return;
    // What the program's loader does after loading.
    if (int *p = static_cast<int *>(dlsym(_handle, "global_use_utf16_conversion"))) *p = utf16;
    if (int *p = static_cast<int *>(dlsym(_handle, "global_use_lstat"))) *p = 1;
    if (auto f = reinterpret_cast<void (*)()>(dlsym(_handle, "sync_TestConstructor"))) f();
}

CPluginLib::~CPluginLib() {
    if (_handle) dlclose(_handle);
}

void *CPluginLib::Sym(const char *name) const {
    return _handle ? dlsym(_handle, name) : nullptr;
}

UInt32 CPluginLib::NumFormats() const {
    UInt32 n = 0;
    Fn<Func_GetNumberOfFormats>("GetNumberOfFormats")(&n);
    return n;
}

int CPluginLib::FindFormat(const std::string &name) const {
    auto prop = Fn<Func_GetHandlerProperty2>("GetHandlerProperty2");
    for (UInt32 i = 0; i < NumFormats(); i++) {
        CProp v;
        if (prop(i, NArchive::NHandlerPropID::kName, &v) == S_OK && v.vt == VT_BSTR && Utf8(v.bstrVal) == name)
            return static_cast<int>(i);
    }
    return -1;
}

GUID CPluginLib::FormatClassId(UInt32 index) const {
    GUID g;
    memset(&g, 0, sizeof(g));
    CProp v;
    Fn<Func_GetHandlerProperty2>("GetHandlerProperty2")(index, NArchive::NHandlerPropID::kClassID, &v);
    if (v.vt == VT_BSTR && SysStringByteLen(v.bstrVal) == sizeof(GUID)) memcpy(&g, v.bstrVal, sizeof(g));
    return g;
}

CMyComPtr<IInArchive> CPluginLib::CreateHandler(const std::string &formatName) const {
    CMyComPtr<IInArchive> arc;
    const int index = FindFormat(formatName);
    if (index < 0) return arc;
    const GUID clsid = FormatClassId(static_cast<UInt32>(index));
    void *p = nullptr;
    if (Fn<Func_CreateObject>("CreateObject")(&clsid, &IID_IInArchive, &p) == S_OK)
        arc.Attach(static_cast<IInArchive *>(p));
    return arc;
}

HRESULT CMemInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    UInt32 n = 0;
    if (_pos < _data.size()) {
        const UInt64 left = _data.size() - _pos;
        n = static_cast<UInt32>(left < size ? left : size);
        memcpy(data, _data.data() + _pos, n);
        _pos += n;
    }
    if (processedSize) *processedSize = n;
    return S_OK;
}

HRESULT CMemInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    Int64 base;
    switch (seekOrigin) {
    case STREAM_SEEK_SET:
        base = 0;
        break;
    case STREAM_SEEK_CUR:
        base = static_cast<Int64>(_pos);
        break;
    case STREAM_SEEK_END:
        base = static_cast<Int64>(_data.size());
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    if (base + offset < 0) return HRESULT_WIN32_ERROR_NEGATIVE_SEEK;
    _pos = static_cast<UInt64>(base + offset);
    if (newPosition) *newPosition = _pos;
    return S_OK;
}

HRESULT CMemInStream::GetSize(UInt64 *size) {
    *size = _data.size();
    return S_OK;
}

HRESULT CMemOutStream::Write(const void *p, UInt32 size, UInt32 *processedSize) {
    data.append(static_cast<const char *>(p), size);
    if (processedSize) *processedSize = size;
    return S_OK;
}

HRESULT COpenCallback::GetProperty(PROPID propID, PROPVARIANT *value) {
    if (propID == kpidName && !name.empty()) {
        value->bstrVal = SysAllocString(name.c_str());
        value->vt = VT_BSTR;
    }
    return S_OK;
}

HRESULT COpenCallback::GetStream(const wchar_t *volumeName, IInStream **inStream) {
    *inStream = nullptr;
    asked.push_back(volumeName);
    auto it = files.find(volumeName);
    if (it == files.end()) return S_FALSE;
    CMyComPtr<IInStream> s = new CMemInStream(it->second);
    *inStream = s.Detach();
    return S_OK;
}

static HRESULT Answer(EPasswordAnswer answer, const std::wstring &password, BSTR *out) {
    *out = nullptr;
    if (answer == EPasswordAnswer::kCancel) return E_ABORT;
    if (answer == EPasswordAnswer::kNone) return E_NOTIMPL;
    *out = SysAllocString(password.c_str());
    return S_OK;
}

HRESULT COpenCallback::CryptoGetTextPassword(BSTR *out) {
    passwordRequests++;
    return Answer(answer, password, out);
}

HRESULT CExtractCallback::GetStream(UInt32 index, ISequentialOutStream **outStream, Int32 askExtractMode) {
    *outStream = nullptr;
    protocol.push_back("G");
    order.push_back(index);
    CItemResult &r = items[index];
    r.askMode = askExtractMode;
    _currentIndex = index;
    _haveCurrent = true;
    _current.Release();
    if (askExtractMode == NArchive::NExtract::NAskMode::kExtract ||
        (askExtractMode == NArchive::NExtract::NAskMode::kTest && giveStreamsInTest)) {
        _current = new CMemOutStream;
        r.gotStream = true;
        CMyComPtr<ISequentialOutStream> s = _current.operator->();
        *outStream = s.Detach();
    }
    return S_OK;
}

HRESULT CExtractCallback::PrepareOperation(Int32) {
    protocol.push_back("P");
    return S_OK;
}

HRESULT CExtractCallback::SetOperationResult(Int32 opRes) {
    protocol.push_back("R");
    if (!_haveCurrent) return E_FAIL;
    CItemResult &r = items[_currentIndex];
    r.opRes = opRes;
    if (_current) r.data = _current->data;
    _current.Release();
    _haveCurrent = false;
    return S_OK;
}

HRESULT CExtractCallback::CryptoGetTextPassword(BSTR *out) {
    passwordRequests++;
    return Answer(answer, password, out);
}

HRESULT CExtractCallback::ReportExtractResult(UInt32 indexType, UInt32 index, Int32 opRes) {
    if (indexType != NArchive::NEventIndexType::kInArcIndex) return E_FAIL;
    CItemResult &r = items[index];
    r.reported = true;
    r.opRes = opRes;
    return S_OK;
}

CTempDir::CTempDir() {
    char tmpl[] = "/tmp/tarnova-plugin-XXXXXX";
    const char *p = mkdtemp(tmpl);
    _path = p ? p : "/tmp";
}

CTempDir::~CTempDir() {
    if (_path.size() > 5) Run("rm -rf '" + _path + "'");
}

int Run(const std::string &command) {
    const int r = system(command.c_str());
    return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

std::string ReadFile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteFile(const std::string &path, const std::string &data) {
    std::ofstream f(path, std::ios::binary);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string Utf8(const std::wstring &w) {
    std::string out;
    for (wchar_t wc : w) {
        const UInt32 c = static_cast<UInt32>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring Wide(const std::string &s) {
    std::wstring out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
        UInt32 cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; k < n && i + k < s.size(); k++)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += static_cast<wchar_t>(cp);
        i += n;
    }
    return out;
}

CMyComPtr<IInArchive> OpenArchive(const CPluginLib &lib, const std::string &format, const std::string &data,
                                  HRESULT *openResult, COpenCallback *callback) {
    CMyComPtr<IInArchive> arc = lib.CreateHandler(format);
    if (!arc) {
        *openResult = E_FAIL;
        return arc;
    }
    CMyComPtr<IInStream> stream = new CMemInStream(data);
    const UInt64 limit = 0;
    *openResult = arc->Open(stream, &limit, callback);
    return arc;
}

std::wstring ItemPath(IInArchive *arc, UInt32 index) {
    CProp v;
    arc->GetProperty(index, kpidPath, &v);
    return v.vt == VT_BSTR ? std::wstring(v.bstrVal) : std::wstring();
}

bool ItemIsDir(IInArchive *arc, UInt32 index) {
    CProp v;
    arc->GetProperty(index, kpidIsDir, &v);
    return v.vt == VT_BOOL && v.boolVal != VARIANT_FALSE;
}

UInt32 ArcErrorFlags(IInArchive *arc) {
    CProp v;
    arc->GetArchiveProperty(kpidErrorFlags, &v);
    return v.vt == VT_UI4 ? v.ulVal : 0;
}

UInt32 NumItems(IInArchive *arc) {
    UInt32 n = 0;
    arc->GetNumberOfItems(&n);
    return n;
}

CMyComPtr<CExtractCallback> ExtractItems(IInArchive *arc, const std::vector<UInt32> *indices, bool test,
                                         HRESULT *result, CExtractCallback *callback) {
    CMyComPtr<CExtractCallback> cb = callback ? callback : new CExtractCallback;
    IArchiveExtractCallback *iface = cb.operator->();
    if (indices)
        *result = arc->Extract(indices->data(), static_cast<UInt32>(indices->size()), test ? 1 : 0, iface);
    else
        *result = arc->Extract(nullptr, 0xFFFFFFFF, test ? 1 : 0, iface);
    return cb;
}

} // namespace NPluginTest
