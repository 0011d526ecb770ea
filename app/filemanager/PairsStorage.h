#pragma once

// The comments of one folder ("descript.ion"): item name to comment, kept sorted by name
// without regard to letter case, parsed from and written back to the file's text.
#include "common/MyString.h"

struct CTextPair {
    UString key;
    UString value;
};

class CPairsStorage {
    CObjectVector<CTextPair> _pairs;

public:
    void Clear() { _pairs.Clear(); }
    unsigned Size() const { return _pairs.Size(); }
    const CTextPair &operator[](unsigned i) const { return _pairs[i]; }

    bool ReadFromString(const UString &text);
    void SaveToString(UString &text) const;

    int FindID(const UString &key, unsigned &insertPos) const;
    int FindID(const UString &key) const;
    void AddPair(const CTextPair &pair);
    void DeletePair(const UString &key);
    bool GetValue(const UString &key, UString &value) const;
    UString GetValue(const UString &key) const;
    void Sort();
};

// The file's bytes as text: strict UTF-8 (overlong forms, surrogates and values beyond
// U+10FFFF are refused) with a leading byte-order mark kept for the parser to skip.
bool DecodeCommentsText(const char *data, size_t size, UString &text);
// The text of a store as the file's bytes: UTF-8, with EF BB BF 0D 0A in front when any byte
// is not ASCII.
void EncodeCommentsText(const CPairsStorage &pairs, AString &data);
