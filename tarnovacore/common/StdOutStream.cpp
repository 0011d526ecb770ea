#include "StdOutStream.h"

#include <locale.h>
#include <unistd.h>

#include "IntToString.h"
#include "StringConvert.h"
#include "UTFConvert.h"

int g_CodePage = -1;

CStdOutStream g_StdOut(stdout);
CStdOutStream g_StdErr(stderr);

bool CStdOutStream::Open(const char *fileName) throw()
{
    Close();
    _stream = fopen(fileName, "wt");
    _streamIsOpen = (_stream != nullptr);
    return _streamIsOpen;
}

bool CStdOutStream::Close() throw()
{
    if (!_streamIsOpen)
        return true;
    // The stream is gone whatever fclose says: closing it again would be a double close.
    const int res = fclose(_stream);
    _stream = nullptr;
    _streamIsOpen = false;
    return res == 0;
}

bool CStdOutStream::Flush() throw() { return fflush(_stream) == 0; }

CStdOutStream &endl(CStdOutStream &outStream) throw() { return outStream << '\n'; }

CStdOutStream &CStdOutStream::operator<<(Int32 number) throw() { return operator<<((Int64)number); }

CStdOutStream &CStdOutStream::operator<<(Int64 number) throw()
{
    char s[32];
    ConvertInt64ToString(number, s);
    return operator<<(s);
}

CStdOutStream &CStdOutStream::operator<<(UInt32 number) throw()
{
    char s[16];
    ConvertUInt32ToString(number, s);
    return operator<<(s);
}

CStdOutStream &CStdOutStream::operator<<(UInt64 number) throw()
{
    char s[32];
    ConvertUInt64ToString(number, s);
    return operator<<(s);
}

void StdOut_Convert_UString_to_AString(const UString &s, AString &temp)
{
    if (g_CodePage == 65001)
        ConvertUnicodeToUTF8(s, temp);
    else
        UnicodeStringToMultiByte2(temp, s, g_CodePage == -1 ? 0 : (UInt32)g_CodePage);
}

void CStdOutStream::PrintUString(const UString &s, AString &temp)
{
    StdOut_Convert_UString_to_AString(s, temp);
    fwrite(temp.Ptr(), 1, temp.Len(), _stream);
}

CStdOutStream &CStdOutStream::operator<<(const wchar_t *s)
{
    AString temp;
    PrintUString(UString(s), temp);
    return *this;
}

const char *my_getlocale()
{
    const char *name = setlocale(LC_CTYPE, nullptr);
    return name ? name : "C";
}

void showR7eriInfo(CStdOutStream &so)
{
    so << "Tarnova core 1.0 (locale=" << my_getlocale() << ",Utf16=" << (global_use_utf16_conversion ? "on" : "off")
       << ",HugeFiles=on,64 bits," << (UInt32)sysconf(_SC_NPROCESSORS_CONF) << " CPUs x86-64)" << endl
       << endl;
}
