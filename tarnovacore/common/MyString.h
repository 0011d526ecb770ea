#pragma once

#include <string.h>
#include <wchar.h>

#include "MyTypes.h"
#include "MyVector.h"

// Free functions on NUL-terminated text.
int FindCharPosInString(const char *s, char c) throw();
int FindCharPosInString(const wchar_t *s, wchar_t c) throw();

inline unsigned MyStringLen(const char *s) { return (unsigned)strlen(s); }
inline unsigned MyStringLen(const wchar_t *s) { return (unsigned)wcslen(s); }

void MyStringLower_Ascii(char *s) throw();
void MyStringLower_Ascii(wchar_t *s) throw();

inline char MyCharLower_Ascii(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + 0x20) : c; }
inline wchar_t MyCharLower_Ascii(wchar_t c) { return (c >= 'A' && c <= 'Z') ? (wchar_t)(c + 0x20) : c; }
inline char MyCharUpper_Ascii(char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 0x20) : c; }

// The full fold: ASCII by hand, everything above 127 through towupper of the current locale.
wchar_t MyCharUpper(wchar_t c) throw();
inline bool IsCharDirLimiter(wchar_t c) { return c == L'/'; }

bool IsString1PrefixedByString2(const char *s1, const char *s2) throw();
bool IsString1PrefixedByString2(const wchar_t *s1, const wchar_t *s2) throw();
bool IsString1PrefixedByString2(const wchar_t *s1, const char *s2) throw();
bool IsString1PrefixedByString2_NoCase(const wchar_t *s1, const wchar_t *s2) throw();
bool IsString1PrefixedByString2_NoCase_Ascii(const wchar_t *s1, const char *s2) throw();

bool StringsAreEqual_Ascii(const wchar_t *w, const char *a) throw();
bool StringsAreEqualNoCase(const wchar_t *s1, const wchar_t *s2) throw();
bool StringsAreEqualNoCase_Ascii(const char *s1, const char *s2) throw();
bool StringsAreEqualNoCase_Ascii(const wchar_t *s1, const char *s2) throw();
bool StringsAreEqualNoCase_Ascii(const wchar_t *s1, const wchar_t *s2) throw();

int MyStringCompare(const char *s1, const char *s2) throw();
int MyStringCompare(const wchar_t *s1, const wchar_t *s2) throw();
int MyStringCompareNoCase(const wchar_t *s1, const wchar_t *s2) throw();

// Thrown when a capacity beyond the limit (or below the length) is requested.
const UInt32 kAStringAllocError = 20130220;
const UInt32 kUStringAllocError = 20130221;

// Both string kinds share one template; only the character type and the error code differ.
template <typename T, UInt32 kAllocError> class CStringBase {
protected:
    T *_chars;
    unsigned _len;
    unsigned _limit;

public:
    static const unsigned kMaxCapacity = 0x3FFFFFFF;

protected:
    void ReAlloc(unsigned newLimit);
    void ReAlloc2(unsigned newLimit);
    void SetStartLen(unsigned len)
    {
        _chars = nullptr;
        _chars = new T[(size_t)len + 1];
        _len = len;
        _limit = len;
    }
    void Grow_1() { ReAlloc((_len + _len / 2) | 15); }
    void Grow(unsigned n)
    {
        if (_limit - _len < n) {
            const unsigned need = _len + n;
            if (need < _len || need > kMaxCapacity)
                throw kAllocError;
            ReAlloc((need + need / 2) | 15);
        }
    }
    void InsertSpace(unsigned index, unsigned size);
    void MoveItems(unsigned dest, unsigned src) { memmove(_chars + dest, _chars + src, (size_t)(_len - src + 1) * sizeof(T)); }
    static unsigned Len_of(const T *s);

    CStringBase(unsigned len, int) { SetStartLen(len); }

public:
    CStringBase() : _chars(nullptr), _len(0), _limit(0)
    {
        _chars = new T[4];
        _chars[0] = 0;
        _limit = 3;
    }
    explicit CStringBase(T c)
    {
        SetStartLen(1);
        _chars[0] = c;
        _chars[1] = 0;
    }
    CStringBase(const T *s)
    {
        const unsigned len = Len_of(s);
        SetStartLen(len);
        memcpy(_chars, s, ((size_t)len + 1) * sizeof(T));
    }
    CStringBase(const CStringBase &s)
    {
        SetStartLen(s._len);
        memcpy(_chars, s._chars, ((size_t)s._len + 1) * sizeof(T));
    }
    // The source keeps a valid empty buffer: a live string never has a null buffer.
    CStringBase(CStringBase &&s) : _chars(s._chars), _len(s._len), _limit(s._limit)
    {
        s._chars = nullptr;
        s._chars = new T[4];
        s._chars[0] = 0;
        s._len = 0;
        s._limit = 3;
    }
    CStringBase(unsigned num, const T *s)
    {
        unsigned len = 0;
        while (len < num && s[len] != 0)
            len++;
        SetStartLen(len);
        memcpy(_chars, s, (size_t)len * sizeof(T));
        _chars[len] = 0;
    }
    CStringBase(unsigned num, const CStringBase &s)
    {
        if (num > s._len)
            num = s._len;
        SetStartLen(num);
        memcpy(_chars, s._chars, (size_t)num * sizeof(T));
        _chars[num] = 0;
    }
    CStringBase(const CStringBase &s, T c)
    {
        SetStartLen(s._len + 1);
        memcpy(_chars, s._chars, (size_t)s._len * sizeof(T));
        _chars[s._len] = c;
        _chars[s._len + 1] = 0;
    }
    // Concatenation constructor: capacity exactly the sum of the lengths.
    CStringBase(const T *s1, unsigned num1, const T *s2, unsigned num2)
    {
        SetStartLen(num1 + num2);
        memcpy(_chars, s1, (size_t)num1 * sizeof(T));
        memcpy(_chars + num1, s2, ((size_t)num2) * sizeof(T));
        _chars[num1 + num2] = 0;
    }
    ~CStringBase() { delete[] _chars; }

    operator const T *() const { return _chars; }
    const T *Ptr() const { return _chars; }
    const T *Ptr(unsigned pos) const { return _chars + pos; }
    const T *RightPtr(unsigned num) const { return _chars + _len - num; }
    T Back() const { return _chars[(size_t)_len - 1]; }

    unsigned Len() const { return _len; }
    unsigned Capacity() const { return _limit; }
    bool IsEmpty() const { return _len == 0; }
    void Empty()
    {
        _len = 0;
        _chars[0] = 0;
    }

    void ReplaceOneCharAtPos(unsigned pos, T c) { _chars[pos] = c; }

    // Direct buffer access for conversions that fill the text themselves.
    T *GetBuf(unsigned minLen)
    {
        if (minLen > _limit)
            ReAlloc2(minLen);
        return _chars;
    }
    T *GetBuf_SetEnd(unsigned minLen)
    {
        if (minLen > _limit)
            ReAlloc2(minLen);
        _chars[minLen] = 0;
        _len = minLen;
        return _chars;
    }
    void ReleaseBuf_SetLen(unsigned newLen) { _len = newLen; }
    void ReleaseBuf_SetEnd(unsigned newLen)
    {
        _len = newLen;
        _chars[newLen] = 0;
    }
    void ReleaseBuf_CalcLen(unsigned maxLen)
    {
        _chars[maxLen] = 0;
        _len = Len_of(_chars);
    }

    CStringBase &operator=(T c);
    CStringBase &operator=(const T *s);
    CStringBase &operator=(const CStringBase &s);
    CStringBase &operator=(CStringBase &&s) noexcept
    {
        if (this != &s) {
            T *chars = _chars;
            const unsigned limit = _limit;
            _chars = s._chars;
            _len = s._len;
            _limit = s._limit;
            s._chars = chars;
            s._limit = limit;
            s.Empty();
        }
        return *this;
    }
    void SetFrom(const T *s, unsigned len);

    CStringBase &operator+=(T c)
    {
        if (_limit == _len)
            Grow_1();
        _chars[_len++] = c;
        _chars[_len] = 0;
        return *this;
    }
    CStringBase &operator+=(const T *s);
    CStringBase &operator+=(const CStringBase &s);

    void Add_Space() { operator+=((T)' '); }
    void Add_Space_if_NotEmpty()
    {
        if (!IsEmpty())
            Add_Space();
    }
    void Add_LF() { operator+=((T)'\n'); }
    void Add_PathSepar() { operator+=((T)'/'); }

    CStringBase Mid(unsigned startIndex, unsigned count) const
    {
        if (startIndex > _len)
            startIndex = _len;
        if (count > _len - startIndex)
            count = _len - startIndex;
        return CStringBase(_chars + startIndex, count, _chars, 0);
    }
    CStringBase Left(unsigned count) const { return Mid(0, count); }
    CStringBase Ptr_as_String(unsigned pos) const { return Mid(pos, _len - pos); }

    int Compare(const T *s) const { return MyStringCompare(_chars, s); }
    bool IsEqualTo(const T *s) const { return MyStringCompare(_chars, s) == 0; }
    bool IsPrefixedBy(const T *s) const { return IsString1PrefixedByString2(_chars, s); }
    bool IsPrefixedBy_Ascii_NoCase(const char *s) const;

    int Find(T c) const { return FindCharPosInString(_chars, c); }
    int Find(T c, unsigned startIndex) const
    {
        if (startIndex > _len)
            return -1;
        const int pos = FindCharPosInString(_chars + startIndex, c);
        return pos < 0 ? -1 : (int)startIndex + pos;
    }
    int Find(const T *s) const { return Find(s, 0); }
    int Find(const T *s, unsigned startIndex) const;
    int ReverseFind(T c) const;
    int ReverseFind_Dot() const { return ReverseFind((T)'.'); }
    int ReverseFind_PathSepar() const { return ReverseFind((T)'/'); }

    void InsertAtFront(T c);
    void Insert(unsigned index, const T *s);
    void Insert(unsigned index, const CStringBase &s);

    void MakeLower_Ascii() { MyStringLower_Ascii(_chars); }

    void TrimLeft();
    void TrimRight();
    void Trim()
    {
        TrimRight();
        TrimLeft();
    }

    void RemoveChar(T c);
    void Replace(T oldChar, T newChar);
    void Replace(const CStringBase &oldString, const CStringBase &newString);

    void Delete(unsigned index);
    void Delete(unsigned index, unsigned count);
    void DeleteFrontal(unsigned num);
    void DeleteBack() { _chars[--_len] = 0; }
    void DeleteFrom(unsigned index)
    {
        if (index < _len) {
            _len = index;
            _chars[index] = 0;
        }
    }

    // Clears the text before freeing it: used for passwords.
    void Wipe_and_Empty()
    {
        memset(_chars, 0, ((size_t)_limit + 1) * sizeof(T));
        _len = 0;
    }

    friend CStringBase operator+(const CStringBase &s1, const CStringBase &s2)
    {
        return CStringBase(s1._chars, s1._len, s2._chars, s2._len);
    }
    friend CStringBase operator+(const CStringBase &s1, const T *s2) { return CStringBase(s1._chars, s1._len, s2, Len_of(s2)); }
    friend CStringBase operator+(const T *s1, const CStringBase &s2) { return CStringBase(s1, Len_of(s1), s2._chars, s2._len); }
    friend CStringBase operator+(const CStringBase &s1, T c) { return CStringBase(s1, c); }

    friend bool operator==(const CStringBase &s1, const CStringBase &s2)
    {
        return s1._len == s2._len && memcmp(s1._chars, s2._chars, (size_t)s1._len * sizeof(T)) == 0;
    }
    friend bool operator==(const CStringBase &s1, const T *s2) { return MyStringCompare(s1._chars, s2) == 0; }
    friend bool operator==(const T *s1, const CStringBase &s2) { return MyStringCompare(s1, s2._chars) == 0; }
    friend bool operator!=(const CStringBase &s1, const CStringBase &s2) { return !(s1 == s2); }
    friend bool operator!=(const CStringBase &s1, const T *s2) { return !(s1 == s2); }
    friend bool operator!=(const T *s1, const CStringBase &s2) { return !(s1 == s2); }
    friend bool operator<(const CStringBase &s1, const CStringBase &s2) { return MyStringCompare(s1._chars, s2._chars) < 0; }
};

class AString : public CStringBase<char, kAStringAllocError> {
    typedef CStringBase<char, kAStringAllocError> Base;

public:
    using Base::Base;
    using Base::operator=;
    AString() = default;
    AString(const Base &s) : Base(s) {}
    AString(Base &&s) : Base(static_cast<Base &&>(s)) {}

    // Cuts n at the first 0 byte within the first n bytes.
    void SetFrom_CalcLen(const char *s, unsigned len);
    // Copies only when every character is below 128; otherwise leaves the string as it was.
    void SetFromWStr_if_Ascii(const wchar_t *s);
    bool IsEqualTo_Ascii_NoCase(const char *s) const { return StringsAreEqualNoCase_Ascii(_chars, s); }
};

class UString : public CStringBase<wchar_t, kUStringAllocError> {
    typedef CStringBase<wchar_t, kUStringAllocError> Base;

public:
    using Base::Base;
    using Base::operator=;
    UString() = default;
    UString(const Base &s) : Base(s) {}
    UString(Base &&s) : Base(static_cast<Base &&>(s)) {}

    // Bytes widened as unsigned values 0..255, no charset conversion.
    void SetFromAscii(const char *s);
    void AddAscii(const char *s);
    void SetFromBstr(const wchar_t *bstr);

    bool IsEqualTo_NoCase(const wchar_t *s) const { return StringsAreEqualNoCase(_chars, s); }
    bool IsEqualTo_Ascii_NoCase(const char *s) const { return StringsAreEqualNoCase_Ascii(_chars, s); }
    int CompareNoCase(const wchar_t *s) const { return MyStringCompareNoCase(_chars, s); }
    bool IsPrefixedBy_NoCase(const wchar_t *s) const { return IsString1PrefixedByString2_NoCase(_chars, s); }
    bool IsPrefixedBy(const char *s) const { return IsString1PrefixedByString2(_chars, s); }
    using Base::IsPrefixedBy;
};

// Compact wide string without a capacity; only the property-value holder takes it.
class UString2 {
    wchar_t *_chars;
    unsigned _len;

    void ReAlloc2(unsigned newLimit);
    void SetStartLen(unsigned len);

public:
    UString2() : _chars(nullptr), _len(0) {}
    UString2(const wchar_t *s);
    UString2(const UString2 &s);
    ~UString2() { delete[] _chars; }

    UString2 &operator=(const wchar_t *s);
    UString2 &operator=(const UString2 &s);
    void SetFromAscii(const char *s);

    unsigned Len() const { return _len; }
    bool IsEmpty() const { return _len == 0; }
    const wchar_t *GetRawPtr() const { return _chars; }
    operator const wchar_t *() const { return _chars ? _chars : L""; }

    friend bool operator==(const UString2 &s1, const UString2 &s2);
    friend bool operator==(const UString2 &s1, const wchar_t *s2);
    friend bool operator==(const wchar_t *s1, const UString2 &s2) { return s2 == s1; }
    friend bool operator!=(const UString2 &s1, const UString2 &s2) { return !(s1 == s2); }
};

typedef CObjectVector<AString> AStringVector;
typedef CObjectVector<UString> UStringVector;

extern template class CStringBase<char, kAStringAllocError>;
extern template class CStringBase<wchar_t, kUStringAllocError>;
