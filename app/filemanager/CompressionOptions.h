#pragma once

// What the compress dialog offers for each format: levels, methods, dictionary and word sizes,
// solid blocks, threads and encryption, with their defaults and the memory estimate that keeps
// the default dictionary within the machine's memory. No Qt: the dialog fills its lists from here.
#include "common/MyString.h"
#include "common/MyTypes.h"
#include "common/MyVector.h"

namespace NCompressDialog {

const UInt32 kUnset = (UInt32)(Int32)-1;

enum EMethodID { kCopy, kLZMA, kLZMA2, kPPMd, kBZip2, kDeflate, kDeflate64, kPPMdZip, kNoMethod = -1 };

struct CFormatRow {
    const char *Name;
    UInt32 LevelsMask;
    const EMethodID *Methods;
    unsigned NumMethods;
    bool Filter;
    bool Solid;
    bool MultiThread;
    bool SFX;
    bool Encrypt;
    bool EncryptFileNames;
};

// The row of a format name (no case); an unknown format gets the plain row 0.
const CFormatRow &FindFormatRow(const UString &formatName);
bool IsZipFormat(const UString &formatName);
bool Is7zFormat(const UString &formatName);

const wchar_t *GetMethodName(EMethodID id);
bool IsOrderModeMethod(EMethodID id);
// "存储", "最快", ... for the levels a row offers; empty for 2, 4, 6, 8.
const wchar_t *GetLevelName(UInt32 level);

// One entry of a list: what it shows and its value.
struct CListEntry {
    UString Label;
    UInt32 Value;
};

struct CList {
    CObjectVector<CListEntry> Entries;
    int Selected = -1;

    void Add(const UString &label, UInt32 value) { Entries.Add(CListEntry{label, value}); }
    // The last entry whose value is at most the wanted one; the first when none is.
    void SelectNearest(UInt32 wanted);
    // The selected value; kUnset for an empty list.
    UInt32 Value() const;
    // The value the engine gets: kUnset also when there is nothing to choose.
    UInt32 SpecifiedValue() const { return Entries.Size() < 2 ? kUnset : Value(); }
};

// The state the lists are built from.
struct CChoice {
    const CFormatRow *Row = nullptr;
    bool IsZip = false;
    UInt32 Level = 5; // the current level; 5 when the level list is empty
    EMethodID Method = kNoMethod;
    UInt32 NumThreads = 1; // the current thread count; 1 when the list is empty
    UInt32 NumProcessors = 1;
    UInt64 RamLimit = 0; // what the memory estimate of a default dictionary must stay within
};

// The installed memory less 16 MiB, at least 16 MiB.
UInt64 GetRamLimit(UInt64 ramSize);

// The memory one compression needs with a dictionary of dict bytes; all ones when not known.
// Computed in 64 bits: four threads of a 1536 MiB dictionary pass 4 GiB.
UInt64 GetMemoryUsage(const CChoice &c, UInt64 dict);

// storedLevel: kUnset when nothing is stored.
void BuildLevelList(const CFormatRow &row, UInt32 storedLevel, CList &list);
void BuildMethodList(const CChoice &c, const UString &storedMethod, CList &list);
void BuildDictionaryList(const CChoice &c, UInt32 storedDict, CList &list);
void BuildOrderList(const CChoice &c, UInt32 storedOrder, CList &list);
// dictionary: the specified dictionary, kUnset when unspecified.
void BuildSolidList(const CChoice &c, UInt32 dictionary, UInt32 storedBlockLog, CList &list);
void BuildThreadList(const CChoice &c, UInt32 storedThreads, CList &list);
void BuildEncryptionList(const UString &formatName, const UString &storedEncryption, CList &list);

// 0 for "非固实", 2^n for n, all ones for fully solid.
UInt64 SolidBlockSize(UInt32 value);
// "64 KB", "1536 MB", ...
UString DictionaryLabel(UInt64 size);
// The encryption text sent to the engine: empty for the default (first) entry.
UString EncryptionMethodText(const CList &list);
// Whether the self-extracting choice could be made for this row and method.
bool SfxAllowed(const CFormatRow &row, EMethodID method);

// Sizes of volumes: numbers with an optional unit (b, k, m, g, t in either case), separated by
// blanks; a "-" ends the list ("650M - CD"). False for a size of 0, a missing number, an unknown
// unit or a size beyond 64 bits.
bool ParseVolumeSizes(const UString &text, CRecordVector<UInt64> &sizes);

} // namespace NCompressDialog
