#pragma once

// The 7z format of our own: headers (packed and encrypted ones too), folders and their coders, and
// AES-256 with the password asked through ICryptoGetTextPassword. An archive whose coders this
// handler lacks (PPMd, BCJ2) and that is not encrypted is read through libarchive instead.
#include "FormatTable.h"
#include "HandlerBase.h"
#include "libarchive/OutHandler.h"
#include "PasswordKeeper.h"
#include "sevenzip/SevenZipDatabase.h"
#include "sevenzip/SevenZipDecoder.h"
#include "sevenzip/SevenZipKey.h"
#include "sevenzip/SevenZipWriter.h"
#include "WriteProps.h"
#include "archive/IArchive.h"
#include "common/MyCom.h"

#include <string>

namespace NPlugin {

class CSevenZipHandler : public CHandlerBase, public IOutArchive, public ISetProperties, public CMyUnknownImp {
    const CFormatInfo &_format;
    CMyComPtr<IInStream> _stream;
    UInt64 _streamSize = 0;
    UInt64 _phySize = 0;
    NSevenZip::CDatabase _db;
    UInt32 _errorFlags = 0;
    bool _headersEncrypted = false;
    CMyComPtr<IInArchive> _fallback; // libarchive, for coders we do not have
    CPasswordKeeper _password;
    CSevenZipKey _key;
    // The password of the running operation, once the keeper gave it.
    bool _sessionHasPassword = false;
    std::string _sessionPassword;
    COutHandler _out;
    CWriteProps _writeProps;
    CSevenZipOptions _options;

    HRESULT OpenArchive(IArchiveOpenCallback *callback);
    HRESULT KeyFor(const NSevenZip::CCoder &coder, Byte key[32]);
    void BeginPasswordSession(IUnknown *callback);
    void EndPasswordSession();
    HRESULT ExtractOwn(const UInt32 *indices, UInt32 numItems, Int32 testMode, IArchiveExtractCallback *callback);

public:
    explicit CSevenZipHandler(const CFormatInfo &format);
    virtual ~CSevenZipHandler();

    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IInArchive)
    COM_QI_ENTRY(IInArchive)
    COM_QI_ENTRY(IOutArchive)
    COM_QI_ENTRY(ISetProperties)
    COM_QI_END
    COM_ADDREF_RELEASE

    HRESULT Open(IInStream *stream, const UInt64 *startLimit, IArchiveOpenCallback *openCallback) override;
    HRESULT Close() override;
    HRESULT GetNumberOfItems(UInt32 *numItems) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                    IArchiveExtractCallback *extractCallback) override;
    HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) override;

    HRESULT WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                         IArchiveUpdateCallback *updateCallback) override;
    HRESULT GetTimeKind(UInt32 *type) override;
    HRESULT SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) override;

    // For the writer: the open archive's tables, stream and password (to copy folders raw or
    // re-encode them with the same password).
    const NSevenZip::CDatabase *Database() const { return _isOpen && !_fallback ? &_db : nullptr; }
    IInStream *Stream() const { return _stream; }
};

} // namespace NPlugin
