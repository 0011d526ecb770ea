#pragma once

// Loads the built 7z.so with dlopen as the program does and drives it with memory streams and
// callbacks of its own.
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "archive/IPassword.h"
#include "common/MyCom.h"

#include <map>
#include <string>
#include <vector>

namespace NPluginTest {

std::string PluginPath();

class CPluginLib {
    void *_handle = nullptr;

public:
    // utf16: the value copied into global_use_utf16_conversion.
    explicit CPluginLib(int utf16 = 1);
    ~CPluginLib();
    CPluginLib(const CPluginLib &) = delete;
    CPluginLib &operator=(const CPluginLib &) = delete;

    bool Loaded() const { return _handle != nullptr; }
    void *Sym(const char *name) const;
    template <class F> F Fn(const char *name) const { return reinterpret_cast<F>(Sym(name)); }

    UInt32 NumFormats() const;
    int FindFormat(const std::string &name) const;
    GUID FormatClassId(UInt32 index) const;
    // A new handler of the named format; null when there is none.
    CMyComPtr<IInArchive> CreateHandler(const std::string &formatName) const;
};

// PROPVARIANT that clears itself.
struct CProp : PROPVARIANT {
    CProp() {
        memset(static_cast<PROPVARIANT *>(this), 0, sizeof(PROPVARIANT));
        vt = VT_EMPTY;
    }
    ~CProp() { VariantClear(this); }
    CProp(const CProp &) = delete;
    CProp &operator=(const CProp &) = delete;
};

class CMemInStream : public IInStream, public IStreamGetSize, public CMyUnknownImp {
    std::string _data;
    UInt64 _pos = 0;

public:
    explicit CMemInStream(std::string data) : _data(std::move(data)) {}
    virtual ~CMemInStream() {}
    COM_UNKNOWN_IMP(IInStream, IStreamGetSize)
    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT GetSize(UInt64 *size) override;
};

class CMemOutStream : public ISequentialOutStream, public CMyUnknownImp {
public:
    std::string data;
    virtual ~CMemOutStream() {}
    COM_UNKNOWN_IMP(ISequentialOutStream)
    HRESULT Write(const void *p, UInt32 size, UInt32 *processedSize) override;
};

enum class EPasswordAnswer { kNone, kGive, kCancel };

class COpenCallback : public IArchiveOpenCallback,
                      public IArchiveOpenVolumeCallback,
                      public ICryptoGetTextPassword,
                      public CMyUnknownImp {
public:
    std::wstring name;                         // kpidName of the archive
    std::map<std::wstring, std::string> files; // volumes that GetStream can hand out
    std::vector<std::wstring> asked;           // volume names asked for
    EPasswordAnswer answer = EPasswordAnswer::kNone;
    std::wstring password;
    int passwordRequests = 0;
    int progressCalls = 0;

    virtual ~COpenCallback() {}
    COM_UNKNOWN_IMP(IArchiveOpenCallback, IArchiveOpenVolumeCallback, ICryptoGetTextPassword)
    HRESULT SetTotal(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *, const UInt64 *) override {
        progressCalls++;
        return S_OK;
    }
    HRESULT GetProperty(PROPID propID, PROPVARIANT *value) override;
    HRESULT GetStream(const wchar_t *volumeName, IInStream **inStream) override;
    HRESULT CryptoGetTextPassword(BSTR *out) override;
};

struct CItemResult {
    std::string data;
    Int32 askMode = -1;
    Int32 opRes = -1;
    bool gotStream = false;
    bool reported = false; // through ReportExtractResult
};

class CExtractCallback : public IArchiveExtractCallback,
                         public ICryptoGetTextPassword,
                         public IArchiveExtractCallbackMessage,
                         public CMyUnknownImp {
    CMyComPtr<CMemOutStream> _current;
    UInt32 _currentIndex = 0;
    bool _haveCurrent = false;

public:
    bool giveStreamsInTest = false;
    EPasswordAnswer answer = EPasswordAnswer::kNone;
    std::wstring password;
    int passwordRequests = 0;
    std::vector<UInt32> order; // indices in GetStream order
    std::map<UInt32, CItemResult> items;
    std::vector<std::string> protocol; // "G", "P", "R" per call, for ordering checks

    virtual ~CExtractCallback() {}
    COM_UNKNOWN_IMP(IArchiveExtractCallback, ICryptoGetTextPassword, IArchiveExtractCallbackMessage)
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT GetStream(UInt32 index, ISequentialOutStream **outStream, Int32 askExtractMode) override;
    HRESULT PrepareOperation(Int32 askExtractMode) override;
    HRESULT SetOperationResult(Int32 opRes) override;
    HRESULT CryptoGetTextPassword(BSTR *out) override;
    HRESULT ReportExtractResult(UInt32 indexType, UInt32 index, Int32 opRes) override;
};

// A folder of its own under /tmp, removed at destruction.
class CTempDir {
    std::string _path;

public:
    CTempDir();
    ~CTempDir();
    const std::string &Path() const { return _path; }
    std::string operator/(const std::string &name) const { return _path + "/" + name; }
};

int Run(const std::string &command);
std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &data);
std::string Utf8(const std::wstring &w);
std::wstring Wide(const std::string &utf8);

// Opens data with the named format's handler; result of Open in *openResult.
CMyComPtr<IInArchive> OpenArchive(const CPluginLib &lib, const std::string &format, const std::string &data,
                                  HRESULT *openResult, COpenCallback *callback = nullptr);
std::wstring ItemPath(IInArchive *arc, UInt32 index);
bool ItemIsDir(IInArchive *arc, UInt32 index);
UInt32 ArcErrorFlags(IInArchive *arc);
UInt32 NumItems(IInArchive *arc);
// Extracts all items (or the given ones) and returns the callback with the results.
CMyComPtr<CExtractCallback> ExtractItems(IInArchive *arc, const std::vector<UInt32> *indices, bool test,
                                         HRESULT *result, CExtractCallback *callback = nullptr);

} // namespace NPluginTest
