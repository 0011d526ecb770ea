#include "PairsStorage.h"

#include "common/UTFConvert.h"

// CRs go first, so that blanks before a CR LF line end are trimmed too.
static void TrimAndRemoveCR(UString &s) {
    s.RemoveChar(L'\r');
    s.Trim();
}

bool CPairsStorage::ReadFromString(const UString &text) {
    _pairs.Clear();
    const wchar_t *s = text.Ptr();
    const unsigned len = text.Len();
    unsigned p = (len != 0 && s[0] == 0xFEFF) ? 1 : 0;
    // A NUL ends the text: nothing behind it is read, so the walk cannot stall on it.
    while (p < len && s[p] != 0) {
        UString name;
        bool quoted = false;
        while (p < len) {
            const wchar_t c = s[p];
            if (c == 0) break;
            p++;
            if (c == L'\n') break;
            if (quoted) {
                if (c == L'"') break;
                name += c;
                continue;
            }
            if (c == L' ' || c == L'\t') break;
            if (c == L'"') {
                quoted = true;
                continue;
            }
            name += c;
        }
        TrimAndRemoveCR(name);
        if (name.IsEmpty()) continue;

        UString comment;
        while (p < len) {
            const wchar_t c = s[p];
            if (c == 0) break;
            p++;
            if (c == L'\n') break;
            comment += c;
        }
        TrimAndRemoveCR(comment);
        CTextPair &pair = _pairs.AddNew();
        pair.key = name;
        pair.value = comment;
    }
    Sort();
    return true;
}

void CPairsStorage::SaveToString(UString &text) const {
    FOR_VECTOR(i, _pairs) {
        const CTextPair &pair = _pairs[i];
        const bool quote = pair.key.Find(L' ') >= 0;
        if (quote) text += L'"';
        text += pair.key;
        if (quote) text += L'"';
        text += L' ';
        text += pair.value;
        text += L'\r';
        text += L'\n';
    }
}

int CPairsStorage::FindID(const UString &key, unsigned &insertPos) const {
    unsigned left = 0, right = _pairs.Size();
    while (left != right) {
        const unsigned mid = (left + right) / 2;
        const int cmp = MyStringCompareNoCase(key, _pairs[mid].key);
        if (cmp == 0) {
            insertPos = mid;
            return (int)mid;
        }
        if (cmp < 0)
            right = mid;
        else
            left = mid + 1;
    }
    insertPos = left;
    return -1;
}

int CPairsStorage::FindID(const UString &key) const {
    unsigned pos;
    return FindID(key, pos);
}

void CPairsStorage::AddPair(const CTextPair &pair) {
    unsigned pos;
    const int index = FindID(pair.key, pos);
    if (index >= 0) {
        _pairs[(unsigned)index] = pair;
        return;
    }
    _pairs.Insert(pos, pair);
}

void CPairsStorage::DeletePair(const UString &key) {
    const int index = FindID(key);
    if (index >= 0) _pairs.Delete((unsigned)index);
}

bool CPairsStorage::GetValue(const UString &key, UString &value) const {
    value.Empty();
    const int index = FindID(key);
    if (index < 0) return false;
    value = _pairs[(unsigned)index].value;
    return true;
}

UString CPairsStorage::GetValue(const UString &key) const {
    UString value;
    GetValue(key, value);
    return value;
}

static int ComparePairs(void *const *a, void *const *b, void *) {
    return MyStringCompareNoCase(((const CTextPair *)*a)->key, ((const CTextPair *)*b)->key);
}

void CPairsStorage::Sort() {
    _pairs.Sort(ComparePairs, nullptr);
}

// Length of the well-formed sequence at s (at most lim bytes), 0 when it is not one: the
// shortest form only, no surrogates, nothing beyond U+10FFFF.
static unsigned StrictUtf8SequenceLen(const Byte *s, size_t lim) {
    const Byte c = s[0];
    if (c < 0x80) return 1;
    unsigned n;
    UInt32 v;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        v = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        v = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        v = c & 0x07;
    } else
        return 0;
    if (lim < n) return 0;
    for (unsigned i = 1; i < n; i++) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        v = (v << 6) | (s[i] & 0x3F);
    }
    static const UInt32 kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (v < kMin[n] || v > 0x10FFFF || (v >= 0xD800 && v < 0xE000)) return 0;
    return n;
}

bool DecodeCommentsText(const char *data, size_t size, UString &text) {
    text.Empty();
    const Byte *s = (const Byte *)data;
    for (size_t i = 0; i < size;) {
        const unsigned n = StrictUtf8SequenceLen(s + i, size - i);
        if (n == 0) return false;
        i += n;
    }
    AString bytes;
    bytes.SetFrom(data, (unsigned)size);
    return ConvertUTF8ToUnicode(bytes, text);
}

void EncodeCommentsText(const CPairsStorage &pairs, AString &data) {
    UString text;
    pairs.SaveToString(text);
    AString utf8;
    ConvertUnicodeToUTF8(text, utf8);
    data.Empty();
    for (unsigned i = 0; i < utf8.Len(); i++)
        if ((Byte)utf8[i] >= 0x80) {
            data = "\xEF\xBB\xBF\r\n";
            break;
        }
    data += utf8;
}
