#pragma once

// Decodes one folder of a 7z archive: its chain of coders from the packed stream to the folder's
// data, pulled in blocks. Coders: Copy, LZMA, LZMA2, the branch filters and Delta (liblzma), Deflate
// (zlib), BZip2 (libbz2) and AES-256 (OpenSSL).
#include "sevenzip/SevenZipDatabase.h"
#include "archive/IStream.h"

#include <functional>
#include <memory>

namespace NPlugin {

enum class EDecodeError { kNone, kData, kUnexpectedEnd, kUnsupported, kNoPassword };

// One stage of the chain: Read gives 0 bytes at the end of its data. A result other than S_OK
// ends the folder; S_FALSE means the data is bad (the kind is in the shared status).
class CSevenZipSource {
public:
    virtual ~CSevenZipSource() {}
    virtual HRESULT Read(Byte *data, size_t size, size_t &got) = 0;
};

// Gives the key for an AES coder: S_OK, E_ABORT when the prompt was cancelled, or S_FALSE when
// there is no password.
typedef std::function<HRESULT(const NSevenZip::CCoder &coder, Byte key[32])> AesKeyFunc;

class CSevenZipDecoder {
    EDecodeError _error = EDecodeError::kNone;
    std::unique_ptr<CSevenZipSource> _top;

public:
    // Whether every coder of the folder is one this decoder has.
    static bool Supports(const NSevenZip::CFolder &folder);
    static bool IsEncrypted(const NSevenZip::CFolder &folder);

    // S_OK, or S_FALSE with Error() set when the folder cannot be decoded at all.
    HRESULT Init(IInStream *stream, const NSevenZip::CDatabase &db, size_t folderIndex, const AesKeyFunc &key);
    // Fills data up to size; fewer bytes only at the end of the folder's data.
    HRESULT Read(Byte *data, size_t size, size_t &got);
    EDecodeError Error() const { return _error; }
    EDecodeError *ErrorSlot() { return &_error; }
};

// Decodes a whole small folder (a packed header) into memory, checking its CRC.
HRESULT DecodeFolderToMemory(IInStream *stream, const NSevenZip::CDatabase &db, size_t folderIndex,
                             const AesKeyFunc &key, std::vector<Byte> &out, EDecodeError &error);

} // namespace NPlugin
