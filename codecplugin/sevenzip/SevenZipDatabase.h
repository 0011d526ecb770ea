#pragma once

// The headers of a 7z archive as a table: packed streams, folders (coder graphs) with their
// substreams, and the items with their names, times and attributes. Parse reads an unpacked header;
// Write builds one from the same structures, so reader and writer share one picture of the format.
#include "common/MyWindows.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace NPlugin {

namespace NSevenZip {

enum EPropId : Byte {
    kEnd = 0x00,
    kHeader = 0x01,
    kArchiveProperties = 0x02,
    kAdditionalStreamsInfo = 0x03,
    kMainStreamsInfo = 0x04,
    kFilesInfo = 0x05,
    kPackInfo = 0x06,
    kUnpackInfo = 0x07,
    kSubStreamsInfo = 0x08,
    kSize = 0x09,
    kCrc = 0x0A,
    kFolder = 0x0B,
    kCodersUnpackSize = 0x0C,
    kNumUnpackStream = 0x0D,
    kEmptyStream = 0x0E,
    kEmptyFile = 0x0F,
    kAnti = 0x10,
    kName = 0x11,
    kCTime = 0x12,
    kATime = 0x13,
    kMTime = 0x14,
    kWinAttributes = 0x15,
    kComment = 0x16,
    kEncodedHeader = 0x17,
    kStartPos = 0x18,
    kDummy = 0x19
};

enum EMethodId : UInt64 {
    kMethodCopy = 0x00,
    kMethodDelta = 0x03,
    kMethodX86 = 0x03030103,
    kMethodBcj2 = 0x0303011B,
    kMethodPpc = 0x03030205,
    kMethodIa64 = 0x03030401,
    kMethodArm = 0x03030501,
    kMethodArmt = 0x03030701,
    kMethodSparc = 0x03030805,
    kMethodArm64 = 0x0A,
    kMethodLzma = 0x030101,
    kMethodLzma2 = 0x21,
    kMethodPpmd = 0x030401,
    kMethodDeflate = 0x040108,
    kMethodDeflate64 = 0x040109,
    kMethodBzip2 = 0x040202,
    kMethodAes = 0x06F10701
};

const size_t kSignatureHeaderSize = 32;
extern const Byte kSignature[6];

// Broken header data: thrown by the parser, caught by the handler.
struct CHeaderError : std::runtime_error {
    CHeaderError() : std::runtime_error("7z header error") {}
};

struct CCoder {
    UInt64 methodId = 0;
    UInt32 numInStreams = 1;
    UInt32 numOutStreams = 1;
    std::vector<Byte> props;
};

struct CBindPair {
    UInt32 inIndex;
    UInt32 outIndex;
};

struct CFolder {
    std::vector<CCoder> coders;
    std::vector<CBindPair> bindPairs;
    std::vector<UInt32> packedStreams; // in-stream index of each packed stream
    std::vector<UInt64> unpackSizes;   // one per out stream of all coders
    bool crcDefined = false;
    UInt32 crc = 0;
    // Filled from the tables around the folder.
    UInt32 firstPackStream = 0;
    UInt32 numSubstreams = 1;
    UInt32 firstFile = 0; // the first item with data in this folder
    UInt32 numFiles = 0;

    int MainOutStream() const; // the out stream bound to nothing: the folder's data
    UInt64 UnpackSize() const;
    bool Uses(UInt64 methodId) const;
};

struct CItem {
    std::wstring name;
    bool hasStream = false;
    bool isDir = false;
    bool isAnti = false;
    UInt64 size = 0;
    bool crcDefined = false;
    UInt32 crc = 0;
    bool mtimeDefined = false, ctimeDefined = false, atimeDefined = false;
    FILETIME mtime = {0, 0}, ctime = {0, 0}, atime = {0, 0};
    bool attribDefined = false;
    UInt32 attrib = 0;
    int folder = -1;           // -1: no data
    UInt64 offsetInFolder = 0; // where its data starts in the folder's output
};

struct CDatabase {
    UInt64 packPos = 0; // of the first packed stream, after the signature header
    std::vector<UInt64> packSizes;
    std::vector<UInt32> packCrcs; // kept for writing back unchanged
    std::vector<CFolder> folders;
    std::vector<CItem> items;
    std::vector<UInt64> packStreamOffsets; // from the archive start
    // One entry per substream of all folders, in folder order.
    std::vector<UInt64> substreamSizes;
    std::vector<bool> substreamCrcDefined;
    std::vector<UInt32> substreamCrcs;

    void Clear() { *this = CDatabase(); }
    // Links items to folders and computes offsets; throws CHeaderError when the tables disagree.
    void Link();
};

// Reading side.
class CByteReader {
    const Byte *_p;
    size_t _size;
    size_t _pos = 0;

public:
    CByteReader(const Byte *p, size_t size) : _p(p), _size(size) {}
    Byte ReadByte();
    UInt64 ReadNumber();
    UInt32 ReadNum(); // a number that counts something held in memory
    UInt32 ReadUInt32();
    UInt64 ReadUInt64();
    const Byte *ReadBytes(size_t n);
    void Skip(UInt64 n);
    size_t Left() const { return _size - _pos; }
};

// Parses the streams part (pack, unpack and substreams info) into db.
void ParseStreamsInfo(CByteReader &r, CDatabase &db);
// Parses a plain header (after its kHeader byte).
void ParseHeader(CByteReader &r, CDatabase &db);

// Writing side: appends to a byte vector.
class CByteWriter {
public:
    std::vector<Byte> data;
    void WriteByte(Byte b) { data.push_back(b); }
    void WriteNumber(UInt64 v);
    void WriteUInt32(UInt32 v);
    void WriteUInt64(UInt64 v);
    void WriteBytes(const void *p, size_t n);
};

// The header for db; the items' substreams are taken in folder order.
void WriteStreamsInfo(CByteWriter &w, const CDatabase &db, bool withSubstreams);
void WriteHeader(CByteWriter &w, const CDatabase &db);

UInt32 Crc32(const void *data, size_t size, UInt32 crc = 0);

} // namespace NSevenZip

} // namespace NPlugin
