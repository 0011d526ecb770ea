#include "MyString.h"

#include <wchar.h>

#include <wctype.h>

int FindCharPosInString(const char *s, char c) throw()
{
    for (const char *p = s;; p++) {
        if (*p == c)
            return (int)(p - s);
        if (*p == 0)
            return -1;
    }
}

int FindCharPosInString(const wchar_t *s, wchar_t c) throw()
{
    for (const wchar_t *p = s;; p++) {
        if (*p == c)
            return (int)(p - s);
        if (*p == 0)
            return -1;
    }
}

void MyStringLower_Ascii(char *s) throw()
{
    for (; *s != 0; s++)
        *s = MyCharLower_Ascii(*s);
}

void MyStringLower_Ascii(wchar_t *s) throw()
{
    for (; *s != 0; s++)
        *s = MyCharLower_Ascii(*s);
}

wchar_t MyCharUpper(wchar_t c) throw()
{
    if (c < 'a')
        return c;
    if (c <= 'z')
        return (wchar_t)(c - 0x20);
    if (c <= 0x7F)
        return c;
    return (wchar_t)towupper((wint_t)c);
}

static inline UInt32 CharValue(char c) { return (unsigned char)c; }
static inline UInt32 CharValue(wchar_t c) { return (UInt32)c; }

// Folds 'A'..'Z' only; values above 127 compare exactly.
static inline bool SameAscii(UInt32 c1, UInt32 c2)
{
    return c1 < 0x80 && c2 < 0x80 && MyCharLower_Ascii((char)c1) == MyCharLower_Ascii((char)c2);
}
static inline bool SameFull(UInt32 c1, UInt32 c2) { return MyCharUpper((wchar_t)c1) == MyCharUpper((wchar_t)c2); }
static inline bool SameNever(UInt32, UInt32) { return false; }

template <class C1, class C2> static bool PrefixedBy(const C1 *s1, const C2 *s2, bool (*same)(UInt32, UInt32))
{
    for (;;) {
        const UInt32 c2 = CharValue(*s2++);
        if (c2 == 0)
            return true;
        const UInt32 c1 = CharValue(*s1++);
        if (c1 != c2 && !same(c1, c2))
            return false;
    }
}

template <class C1, class C2> static bool EqualBy(const C1 *s1, const C2 *s2, bool (*same)(UInt32, UInt32))
{
    for (;;) {
        const UInt32 c1 = CharValue(*s1++);
        const UInt32 c2 = CharValue(*s2++);
        if (c1 != c2 && !same(c1, c2))
            return false;
        if (c1 == 0)
            return true;
    }
}

bool IsString1PrefixedByString2(const char *s1, const char *s2) throw() { return PrefixedBy(s1, s2, SameNever); }
bool IsString1PrefixedByString2(const wchar_t *s1, const wchar_t *s2) throw() { return PrefixedBy(s1, s2, SameNever); }
bool IsString1PrefixedByString2(const wchar_t *s1, const char *s2) throw() { return PrefixedBy(s1, s2, SameNever); }
bool IsString1PrefixedByString2_NoCase(const wchar_t *s1, const wchar_t *s2) throw()
{
    return PrefixedBy(s1, s2, SameFull);
}
bool IsString1PrefixedByString2_NoCase_Ascii(const wchar_t *s1, const char *s2) throw()
{
    return PrefixedBy(s1, s2, SameAscii);
}

bool StringsAreEqual_Ascii(const wchar_t *w, const char *a) throw() { return EqualBy(w, a, SameNever); }
bool StringsAreEqualNoCase(const wchar_t *s1, const wchar_t *s2) throw() { return EqualBy(s1, s2, SameFull); }
bool StringsAreEqualNoCase_Ascii(const char *s1, const char *s2) throw() { return EqualBy(s1, s2, SameAscii); }
bool StringsAreEqualNoCase_Ascii(const wchar_t *s1, const char *s2) throw() { return EqualBy(s1, s2, SameAscii); }
bool StringsAreEqualNoCase_Ascii(const wchar_t *s1, const wchar_t *s2) throw() { return EqualBy(s1, s2, SameAscii); }

int MyStringCompare(const char *s1, const char *s2) throw()
{
    for (;;) {
        const unsigned char c1 = (unsigned char)*s1++;
        const unsigned char c2 = (unsigned char)*s2++;
        if (c1 < c2)
            return -1;
        if (c1 > c2)
            return 1;
        if (c1 == 0)
            return 0;
    }
}

int MyStringCompare(const wchar_t *s1, const wchar_t *s2) throw()
{
    // The C library's comparison reads many characters at a time: sorting the names of a large
    // scan spends most of its time here.
    const int r = wcscmp(s1, s2);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int MyStringCompareNoCase(const wchar_t *s1, const wchar_t *s2) throw()
{
    for (;;) {
        const wchar_t c1 = *s1++;
        const wchar_t c2 = *s2++;
        if (c1 != c2) {
            const Int32 u1 = (Int32)MyCharUpper(c1);
            const Int32 u2 = (Int32)MyCharUpper(c2);
            if (u1 < u2)
                return -1;
            if (u1 > u2)
                return 1;
        }
        if (c1 == 0)
            return 0;
    }
}

// ---------- CStringBase ----------

template <typename T, UInt32 E> unsigned CStringBase<T, E>::Len_of(const T *s)
{
    unsigned i = 0;
    while (s[i] != 0)
        i++;
    return i;
}

template <typename T, UInt32 E> void CStringBase<T, E>::ReAlloc(unsigned newLimit)
{
    if (newLimit < _len || newLimit > kMaxCapacity)
        throw E;
    T *newBuf = new T[(size_t)newLimit + 1];
    memcpy(newBuf, _chars, ((size_t)_len + 1) * sizeof(T));
    delete[] _chars;
    _chars = newBuf;
    _limit = newLimit;
}

template <typename T, UInt32 E> void CStringBase<T, E>::ReAlloc2(unsigned newLimit)
{
    if (newLimit > kMaxCapacity)
        throw E;
    T *newBuf = new T[(size_t)newLimit + 1];
    newBuf[0] = 0;
    delete[] _chars;
    _chars = newBuf;
    _limit = newLimit;
}

template <typename T, UInt32 E> void CStringBase<T, E>::InsertSpace(unsigned index, unsigned size)
{
    Grow(size);
    memmove(_chars + index + size, _chars + index, ((size_t)_len - index + 1) * sizeof(T));
}

template <typename T, UInt32 E> CStringBase<T, E> &CStringBase<T, E>::operator=(T c)
{
    if (1 > _limit) {
        T *newBuf = new T[2];
        delete[] _chars;
        _chars = newBuf;
        _limit = 1;
    }
    _len = 1;
    _chars[0] = c;
    _chars[1] = 0;
    return *this;
}

template <typename T, UInt32 E> CStringBase<T, E> &CStringBase<T, E>::operator=(const T *s)
{
    const unsigned len = Len_of(s);
    if (len > _limit) {
        if (len > kMaxCapacity)
            throw E;
        T *newBuf = new T[(size_t)len + 1];
        delete[] _chars;
        _chars = newBuf;
        _limit = len;
    }
    _len = len;
    // memmove: the text may point into this string's own buffer.
    memmove(_chars, s, ((size_t)len + 1) * sizeof(T));
    return *this;
}

template <typename T, UInt32 E> CStringBase<T, E> &CStringBase<T, E>::operator=(const CStringBase &s)
{
    if (&s == this)
        return *this;
    const unsigned len = s._len;
    if (len > _limit) {
        T *newBuf = new T[(size_t)len + 1];
        delete[] _chars;
        _chars = newBuf;
        _limit = len;
    }
    _len = len;
    memcpy(_chars, s._chars, ((size_t)len + 1) * sizeof(T));
    return *this;
}

template <typename T, UInt32 E> void CStringBase<T, E>::SetFrom(const T *s, unsigned len)
{
    if (len > _limit) {
        if (len > kMaxCapacity)
            throw E;
        T *newBuf = new T[(size_t)len + 1];
        memcpy(newBuf, s, (size_t)len * sizeof(T));
        delete[] _chars;
        _chars = newBuf;
        _limit = len;
    } else if (len != 0) {
        memmove(_chars, s, (size_t)len * sizeof(T));
    }
    _chars[len] = 0;
    _len = len;
}

template <typename T, UInt32 E> CStringBase<T, E> &CStringBase<T, E>::operator+=(const T *s)
{
    const unsigned len = Len_of(s);
    // The text may lie inside our own buffer, which Grow can free.
    if (s >= _chars && s <= _chars + _len) {
        const CStringBase copy(s);
        return operator+=(copy);
    }
    Grow(len);
    memcpy(_chars + _len, s, ((size_t)len + 1) * sizeof(T));
    _len += len;
    return *this;
}

template <typename T, UInt32 E> CStringBase<T, E> &CStringBase<T, E>::operator+=(const CStringBase &s)
{
    const unsigned len = s._len;
    if (&s == this) {
        const CStringBase copy(s);
        return operator+=(copy);
    }
    Grow(len);
    memcpy(_chars + _len, s._chars, ((size_t)len + 1) * sizeof(T));
    _len += len;
    return *this;
}

template <typename T, UInt32 E> bool CStringBase<T, E>::IsPrefixedBy_Ascii_NoCase(const char *s) const
{
    const T *p = _chars;
    for (;;) {
        const unsigned char c = (unsigned char)*s++;
        if (c == 0)
            return true;
        const T c1 = *p++;
        if ((UInt32)c1 != c && MyCharLower_Ascii(c1) != (T)MyCharLower_Ascii((char)c))
            return false;
    }
}

template <typename T, UInt32 E> int CStringBase<T, E>::Find(const T *s, unsigned startIndex) const
{
    if (startIndex > _len)
        return -1;
    if (s[0] == 0)
        return (int)startIndex;
    for (const T *p = _chars + startIndex; *p != 0; p++) {
        unsigned i = 0;
        for (;; i++) {
            if (s[i] == 0)
                return (int)(p - _chars);
            if (p[i] != s[i])
                break;
        }
    }
    return -1;
}

template <typename T, UInt32 E> int CStringBase<T, E>::ReverseFind(T c) const
{
    for (unsigned i = _len; i != 0;) {
        if (_chars[--i] == c)
            return (int)i;
    }
    return -1;
}

template <typename T, UInt32 E> void CStringBase<T, E>::InsertAtFront(T c)
{
    if (_limit == _len)
        Grow_1();
    MoveItems(1, 0);
    _chars[0] = c;
    _len++;
}

template <typename T, UInt32 E> void CStringBase<T, E>::Insert(unsigned index, const T *s)
{
    const unsigned num = Len_of(s);
    if (num == 0)
        return;
    if (s >= _chars && s <= _chars + _len) {
        const CStringBase copy(s);
        Insert(index, copy);
        return;
    }
    InsertSpace(index, num);
    memcpy(_chars + index, s, (size_t)num * sizeof(T));
    _len += num;
}

template <typename T, UInt32 E> void CStringBase<T, E>::Insert(unsigned index, const CStringBase &s)
{
    const unsigned num = s._len;
    if (num == 0)
        return;
    if (&s == this) {
        const CStringBase copy(s);
        Insert(index, copy);
        return;
    }
    InsertSpace(index, num);
    memcpy(_chars + index, s._chars, (size_t)num * sizeof(T));
    _len += num;
}

static inline bool IsTrimmedChar(wchar_t c) { return c == ' ' || c == '\t' || c == '\n'; }

template <typename T, UInt32 E> void CStringBase<T, E>::TrimLeft()
{
    unsigned i = 0;
    while (i < _len && IsTrimmedChar((wchar_t)_chars[i]))
        i++;
    if (i != 0) {
        MoveItems(0, i);
        _len -= i;
    }
}

template <typename T, UInt32 E> void CStringBase<T, E>::TrimRight()
{
    unsigned i = _len;
    while (i != 0 && IsTrimmedChar((wchar_t)_chars[i - 1]))
        i--;
    if (i != _len) {
        _chars[i] = 0;
        _len = i;
    }
}

template <typename T, UInt32 E> void CStringBase<T, E>::RemoveChar(T c)
{
    T *dest = _chars;
    for (const T *src = _chars; *src != 0; src++)
        if (*src != c)
            *dest++ = *src;
    *dest = 0;
    _len = (unsigned)(dest - _chars);
}

template <typename T, UInt32 E> void CStringBase<T, E>::Replace(T oldChar, T newChar)
{
    if (oldChar == newChar)
        return;
    for (unsigned i = 0; i < _len; i++)
        if (_chars[i] == oldChar)
            _chars[i] = newChar;
}

template <typename T, UInt32 E> void CStringBase<T, E>::Replace(const CStringBase &oldString, const CStringBase &newString)
{
    if (oldString.IsEmpty() || oldString == newString)
        return;
    unsigned pos = 0;
    while (pos < _len) {
        const int index = Find(oldString._chars, pos);
        if (index < 0)
            break;
        Delete((unsigned)index, oldString._len);
        Insert((unsigned)index, newString);
        // Continue past the inserted text: it is never searched again.
        pos = (unsigned)index + newString._len;
    }
}

template <typename T, UInt32 E> void CStringBase<T, E>::Delete(unsigned index)
{
    MoveItems(index, index + 1);
    _len--;
}

template <typename T, UInt32 E> void CStringBase<T, E>::Delete(unsigned index, unsigned count)
{
    if (index >= _len || count == 0)
        return;
    if (count > _len - index)
        count = _len - index;
    MoveItems(index, index + count);
    _len -= count;
}

template <typename T, UInt32 E> void CStringBase<T, E>::DeleteFrontal(unsigned num)
{
    if (num != 0) {
        MoveItems(0, num);
        _len -= num;
    }
}

template class CStringBase<char, kAStringAllocError>;
template class CStringBase<wchar_t, kUStringAllocError>;

// ---------- AString / UString ----------

void AString::SetFrom_CalcLen(const char *s, unsigned len)
{
    unsigned i = 0;
    while (i < len && s[i] != 0)
        i++;
    SetFrom(s, i);
}

void AString::SetFromWStr_if_Ascii(const wchar_t *s)
{
    unsigned len = 0;
    for (;; len++) {
        const wchar_t c = s[len];
        if (c == 0)
            break;
        if ((UInt32)c >= 0x80)
            return;
    }
    char *buf = GetBuf(len);
    for (unsigned i = 0; i < len; i++)
        buf[i] = (char)s[i];
    ReleaseBuf_SetEnd(len);
}

void UString::SetFromAscii(const char *s)
{
    const unsigned len = MyStringLen(s);
    wchar_t *buf = GetBuf(len);
    for (unsigned i = 0; i < len; i++)
        buf[i] = (unsigned char)s[i];
    ReleaseBuf_SetEnd(len);
}

void UString::AddAscii(const char *s)
{
    const unsigned len = MyStringLen(s);
    Grow(len);
    for (unsigned i = 0; i < len; i++)
        _chars[_len + i] = (unsigned char)s[i];
    _len += len;
    _chars[_len] = 0;
}

void UString::SetFromBstr(const wchar_t *bstr)
{
    if (!bstr) {
        Empty();
        return;
    }
    // The byte length sits in the 4 bytes before the text.
    UInt32 byteLen;
    memcpy(&byteLen, (const Byte *)bstr - 4, 4);
    SetFrom(bstr, byteLen / (unsigned)sizeof(wchar_t));
}

// ---------- UString2 ----------

void UString2::ReAlloc2(unsigned newLimit)
{
    if (newLimit > 0x3FFFFFFF)
        throw kUStringAllocError;
    wchar_t *newBuf = new wchar_t[(size_t)newLimit + 1];
    newBuf[0] = 0;
    delete[] _chars;
    _chars = newBuf;
}

void UString2::SetStartLen(unsigned len)
{
    _chars = nullptr;
    if (len > 0x3FFFFFFF)
        throw kUStringAllocError;
    _chars = new wchar_t[(size_t)len + 1];
    _len = len;
}

UString2::UString2(const wchar_t *s) : _chars(nullptr), _len(0)
{
    const unsigned len = MyStringLen(s);
    SetStartLen(len);
    memcpy(_chars, s, ((size_t)len + 1) * sizeof(wchar_t));
}

UString2::UString2(const UString2 &s) : _chars(nullptr), _len(0)
{
    if (s._chars) {
        SetStartLen(s._len);
        memcpy(_chars, s._chars, ((size_t)s._len + 1) * sizeof(wchar_t));
    }
}

UString2 &UString2::operator=(const wchar_t *s)
{
    const unsigned len = MyStringLen(s);
    if (len > _len || !_chars) {
        if (s >= _chars && _chars && s <= _chars + _len) {
            const UString2 copy(s);
            return *this = copy;
        }
        ReAlloc2(len);
    }
    _len = len;
    memmove(_chars, s, ((size_t)len + 1) * sizeof(wchar_t));
    return *this;
}

UString2 &UString2::operator=(const UString2 &s)
{
    if (&s == this)
        return *this;
    if (!s._chars) {
        if (_chars) {
            _chars[0] = 0;
            _len = 0;
        }
        return *this;
    }
    if (s._len > _len || !_chars)
        ReAlloc2(s._len);
    _len = s._len;
    memcpy(_chars, s._chars, ((size_t)s._len + 1) * sizeof(wchar_t));
    return *this;
}

void UString2::SetFromAscii(const char *s)
{
    const unsigned len = MyStringLen(s);
    if (len > _len || !_chars)
        ReAlloc2(len);
    for (unsigned i = 0; i < len; i++)
        _chars[i] = (unsigned char)s[i];
    _chars[len] = 0;
    _len = len;
}

bool operator==(const UString2 &s1, const UString2 &s2)
{
    return s1._len == s2._len && (s1._len == 0 || wmemcmp(s1._chars, s2._chars, s1._len) == 0);
}

bool operator==(const UString2 &s1, const wchar_t *s2)
{
    if (s1.IsEmpty())
        return *s2 == 0;
    return wcscmp(s1._chars, s2) == 0;
}
