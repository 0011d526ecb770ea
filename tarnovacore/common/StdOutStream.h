#pragma once

#include <stdio.h>

#include "MyString.h"

// -1: the locale's multibyte encoding; 65001: UTF-8; anything else goes to the locale conversion.
extern int g_CodePage;

void StdOut_Convert_UString_to_AString(const UString &s, AString &temp);
const char *my_getlocale();

class CStdOutStream {
    FILE *_stream;
    bool _streamIsOpen;

public:
    CStdOutStream() : _stream(nullptr), _streamIsOpen(false) {}
    explicit CStdOutStream(FILE *stream) : _stream(stream), _streamIsOpen(false) {}
    ~CStdOutStream() { Close(); }
    CStdOutStream(const CStdOutStream &) = delete;
    CStdOutStream &operator=(const CStdOutStream &) = delete;

    operator FILE *() { return _stream; }
    bool Open(const char *fileName) throw();
    bool Close() throw();
    bool Flush() throw();

    CStdOutStream &operator<<(CStdOutStream &(*func)(CStdOutStream &)) { return func(*this); }
    CStdOutStream &operator<<(const char *s) throw()
    {
        fputs(s, _stream);
        return *this;
    }
    CStdOutStream &operator<<(char c) throw()
    {
        fputc((unsigned char)c, _stream);
        return *this;
    }
    CStdOutStream &operator<<(Int32 number) throw();
    CStdOutStream &operator<<(Int64 number) throw();
    CStdOutStream &operator<<(UInt32 number) throw();
    CStdOutStream &operator<<(UInt64 number) throw();
    CStdOutStream &operator<<(const wchar_t *s);
    void PrintUString(const UString &s, AString &temp);
};

CStdOutStream &endl(CStdOutStream &outStream) throw();
void showR7eriInfo(CStdOutStream &so);

extern CStdOutStream g_StdOut;
extern CStdOutStream g_StdErr;
