#pragma once

// The one table of formats the plug-in offers: names, extensions, signatures, flags and how each
// is read. Readers shared by many formats take their format record; writers join the same table.
#include "libarchive/ArchiveReader.h"
#include "archive/IArchive.h"

#include <string>
#include <vector>

namespace NPlugin {

enum class EHandlerKind {
    kLibarchive, // a container read entry by entry
    kZip,        // zip through libzip, libarchive for a damaged one
    kStream,     // one compressed stream holding one item
    kSplit,      // numbered volumes joined into one item
    kSevenZip    // our own 7z reader and writer
};

struct CFormatInfo {
    Byte classIdByte; // last byte of the class id; stable, unlike the table position
    const char *name;
    const char *exts;
    const char *addExts;
    std::vector<std::string> signatures;
    UInt32 signatureOffset;
    UInt32 flags;
    EHandlerKind kind;
    FormatSetupFunc setup;
    // A second way in when the first reader refuses the data (a zip without a readable central
    // directory is still read front to back); data read that way is marked damaged.
    FormatSetupFunc fallbackSetup;
    int filterCode;  // single streams: the libarchive filter that must have been detected
    bool canDecrypt; // libarchive can decrypt this format's items given a password
    Func_IsArc isArc;
    // An archive read from its end (a zip's central directory) may follow a program or other data.
    bool mayFollowStub = false;
    // The reader stops right after the archive's end marker, so what it took is the archive's size.
    bool endFromReader = false;

    bool SignatureMatches(const Byte *data, size_t size) const;
    size_t SignatureSpan() const;
};

UInt32 GetNumFormats();
const CFormatInfo &GetFormat(UInt32 index);
GUID FormatClassId(const CFormatInfo &format);

HRESULT GetFormatProperty(UInt32 index, PROPID propID, PROPVARIANT *value);
HRESULT GetFormatIsArc(UInt32 index, Func_IsArc *isArc);
// CLASS_E_CLASSNOTAVAILABLE when the id is not one of the formats.
HRESULT CreateFormatHandler(const GUID &classId, const GUID &iid, void **outObject);

// The class-id scheme of the plug-in: {5441524E-4F56-kind-1000-0000000000nn}.
enum EClassKind : UInt16 { kClassFormat = 1, kClassDecoder = 2, kClassEncoder = 3 };
GUID MakeClassId(EClassKind kind, Byte id);

} // namespace NPlugin
