#pragma once

// Writes a 7z archive: new items are encoded into solid blocks, blocks of the old archive whose
// items all stay are copied raw, other kept items are decoded and encoded again. With a password,
// every block is encrypted (AES-256, a random salt and IV) and, with "he", the header too.
#include "sevenzip/SevenZipDatabase.h"
#include "sevenzip/SevenZipEncoder.h"
#include "UpdateItem.h"
#include "WriteProps.h"
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "common/MyCom.h"

#include <stdio.h>
#include <string>
#include <vector>

namespace NPlugin {

// What the 7z writer takes beyond the shared write options: dictionary and solid block limits.
struct CSevenZipOptions {
    UInt64 dictionary = 0; // 0: the level's
    bool solid = true;
    UInt64 solidBytes = 0; // 0: the default limit
    UInt64 solidFiles = 0; // 0: no limit

    void Reset() { *this = CSevenZipOptions(); }
    // Picks out what it knows; the names were checked by CWriteProps before.
    void Set(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps);
};

class CSevenZipWriter : public CEncodeProgress {
    struct CItemRecord {
        CUpdateItem update;
        NSevenZip::CItem item; // as it goes into the header
        bool written = false;
    };

    const CWriteProps &_props;
    const CSevenZipOptions &_options;
    IInArchive *_old;
    const NSevenZip::CDatabase *_oldDb;
    IInStream *_oldStream;
    ISequentialOutStream *_out;
    CMyComPtr<IOutStream> _seekOut;
    UInt64 _base = 0; // where the archive starts in the output (after a stub)
    IArchiveUpdateCallback *_callback;
    CMyComPtr<ICompressProgressInfo> _ratio;

    std::vector<CItemRecord> _records;
    NSevenZip::CDatabase _db;   // the new archive's tables
    std::vector<size_t> _order; // records in header order (items with data first, in folder order)
    UInt64 _packed = 0;         // bytes of packed streams written so far
    FILE *_spool = nullptr;
    int _oldFd = -1; // descriptors behind _oldStream and _out when both are plain files
    int _outFd = -1;
    std::vector<Byte> _outBuf; // packed bytes on their way to _out, written in large pieces
    UInt64 _completed = 0;     // input bytes coded or copied
    UInt64 _ratioIn = 0;       // input bytes whose packed form is written
    UInt64 _total = 0;         // input bytes of every item with data
    UInt64 _fed = 0;           // input bytes given to the coders or copied so far

    bool _encrypt = false;
    std::string _password; // UTF-8
    Byte _key[32] = {};
    CSevenZipAesProps _aes;
    CSevenZipMethod _method;

    // The block being filled.
    std::unique_ptr<CSevenZipEncoder> _encoder;
    std::unique_ptr<CSevenZipSink> _packSink;
    UInt64 _blockBytes = 0;
    UInt32 _blockFiles = 0;
    UInt32 _blockFirstSub = 0;

    HRESULT CollectItems(UInt32 numItems);
    HRESULT AskPassword();
    HRESULT CopyRawFolders(std::vector<bool> &copied);
    // Copies packed bytes of the old archive to the output: inside the kernel when both streams
    // are plain files, else (or for what the kernel refused) through buf.
    HRESULT CopyPacked(UInt64 offset, UInt64 size, std::vector<Byte> &buf);
    // Moves offset and left past what the kernel copied; leaves the descriptors unset on refusal.
    HRESULT KernelCopy(UInt64 &offset, UInt64 &left);
    HRESULT ReencodeKept(const std::vector<bool> &copied);
    HRESULT WriteNewItems();
    HRESULT BeginItem(UInt64 sizeHint);
    HRESULT EndItem(size_t record, UInt64 size, UInt32 crc);
    HRESULT CloseBlock();
    HRESULT WriteHeaderAndClose();
    HRESULT FlushOut();

public:
    CSevenZipWriter(const CWriteProps &props, const CSevenZipOptions &options, IInArchive *old,
                    const NSevenZip::CDatabase *oldDb, IInStream *oldStream, ISequentialOutStream *out,
                    IArchiveUpdateCallback *callback);
    ~CSevenZipWriter();
    HRESULT Run(UInt32 numItems);

    // Packed bytes on their way out (the sink of the encoders).
    HRESULT WritePacked(const Byte *data, size_t size);
    // Item data on its way into the current block.
    HRESULT WriteItemData(const Byte *data, size_t size);
    HRESULT AddProgress(UInt64 bytes) { return EncodeProgress(bytes, bytes); }
    HRESULT EncodeProgress(UInt64 coded, UInt64 written, UInt64 aheadIn = 0, UInt64 aheadOut = 0) override;
    friend class CKeptItemSource;
};

} // namespace NPlugin
