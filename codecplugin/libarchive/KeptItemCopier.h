#pragma once

// Copies the items kept from the old archive into the new one: the old handler extracts them in
// one pass in archive order, and each one is written as its entry's data on the way through
// (decoded and encoded again). An encrypted item is copied only into an encrypted archive.
#include "libarchive/LibarchiveWriter.h"
#include "UpdateItem.h"
#include "archive/IArchive.h"
#include "archive/IPassword.h"
#include "common/MyCom.h"

#include <string>
#include <vector>

namespace NPlugin {

class CKeptItemCopier : public IArchiveExtractCallback,
                        public IArchiveExtractCallbackMessage,
                        public ICryptoGetTextPassword,
                        public CMyUnknownImp {
    CLibarchiveWriter &_writer;
    const std::vector<CUpdateItem> &_items;
    std::vector<UInt32> _itemOfIndex; // old archive index -> position in _items
    IArchiveUpdateCallback *_callback;
    CMyComPtr<IArchiveUpdateCallbackFile> _callbackFile;
    CMyComPtr<IArchiveExtractCallbackMessage> _callbackMessage;
    EWriteFormat _format;
    bool _archiveEncrypted;
    UInt64 _progressBase;

    bool _havePassword = false;
    std::wstring _password; // of the old archive

    // The entry whose data is on its way.
    bool _pending = false;
    size_t _current = 0;
    UInt64 _written = 0;
    size_t _numCopied = 0;
    static const UInt32 kCheckEvery = 4 << 20;
    UInt64 _copied = 0; // data of every entry so far, but for the last few MiB
    UInt64 _uncheckedBytes = 0;

    HRESULT AskPassword();
    HRESULT EndEntry();

public:
    // Asks the caller for the old archive's password; E_ABORT when it was refused.
    static HRESULT AskOldPassword(IArchiveUpdateCallback *callback, std::wstring &password);
    // readPassword: the old archive's password when it is known already.
    CKeptItemCopier(CLibarchiveWriter &writer, const std::vector<CUpdateItem> &items, UInt32 numOldItems,
                    IArchiveUpdateCallback *callback, EWriteFormat format, bool archiveEncrypted,
                    const std::wstring *readPassword, UInt64 progressBase);
    virtual ~CKeptItemCopier();

    COM_UNKNOWN_IMP(IArchiveExtractCallback, IArchiveExtractCallbackMessage, ICryptoGetTextPassword)

    // The old archive indices to extract, in archive order; E_INVALIDARG for a bad or doubled one.
    HRESULT Prepare(std::vector<UInt32> &indices);
    bool AllCopied() const { return _numCopied == _itemsToCopy; }
    HRESULT WriteEntryData(const void *data, UInt32 size, UInt32 *processedSize);

    HRESULT SetTotal(UInt64 total) override;
    HRESULT SetCompleted(const UInt64 *completeValue) override;
    HRESULT GetStream(UInt32 index, ISequentialOutStream **outStream, Int32 askExtractMode) override;
    HRESULT PrepareOperation(Int32 askExtractMode) override;
    HRESULT SetOperationResult(Int32 opRes) override;
    HRESULT ReportExtractResult(UInt32 indexType, UInt32 index, Int32 opRes) override;
    HRESULT CryptoGetTextPassword(BSTR *password) override;

private:
    size_t _itemsToCopy = 0;
};

} // namespace NPlugin
