#pragma once

// Writes a new zip straight to the output as the compressor hands over each entry's data, with no
// temporary copy: local headers, data, central directory, zip64 records where sizes, offsets or the
// number of entries need them. An entry that fits one compression job gets its header with the
// final sizes; a larger one gets them afterwards, in place when the output can seek and in a data
// descriptor when it cannot. Everything goes out through a 1 MiB buffer.
#include "zip/ZipCompressor.h"
#include "common/MyCom.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace NPlugin {

class CZipDirectWriter : public IZipEntrySink {
public:
    struct CEntry {
        std::string name; // as stored; a folder's ends in '/'
        Int64 mtime = 0;  // Unix time
        UInt32 externalAttributes = 0;
        bool sizeKnown = false;
        UInt64 sizeHint = 0;

        // Filled as the entry is written.
        UInt16 method = 0;
        UInt16 flags = 0;
        UInt32 crc = 0;
        UInt64 packSize = 0;
        UInt64 size = 0;
        UInt64 offset = 0;
        bool zip64Local = false;
        bool descriptor = false;
    };

private:
    CMyComPtr<ISequentialOutStream> _out;
    CMyComPtr<IOutStream> _outSeek;
    UInt64 _base = 0;
    const CZipCompressor *_compressor = nullptr;
    std::vector<Byte> _buf;
    UInt64 _pos = 0; // bytes written so far, buffered ones included
    std::vector<CEntry> _entries;
    std::unordered_set<std::string> _names;

    HRESULT Put(const void *data, size_t size);
    HRESULT Flush();
    HRESULT Patch(UInt64 pos, const void *data, size_t size);
    HRESULT WriteLocalHeader(CEntry &e);

public:
    explicit CZipDirectWriter(ISequentialOutStream *out);
    HRESULT Begin(const CZipCompressor *compressor);
    // The next entry, in the compressor's order; E_INVALIDARG for a name already taken.
    HRESULT Expect(CEntry entry);
    HRESULT EntryData(size_t entry, const Byte *data, size_t size, bool first, bool last) override;
    // Central directory and end records; an archive without entries is the end record alone.
    HRESULT End();
};

} // namespace NPlugin
