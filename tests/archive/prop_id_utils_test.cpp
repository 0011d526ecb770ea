#include "archive/PropID.h"
#include "archive/ui-common/PropIDUtils.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <string>
#include <vector>

namespace {

PROPVARIANT MakeUI4(UInt32 v) {
    PROPVARIANT p{};
    p.vt = VT_UI4;
    p.ulVal = v;
    return p;
}

PROPVARIANT MakeUI8(UInt64 v) {
    PROPVARIANT p{};
    p.vt = VT_UI8;
    p.uhVal.QuadPart = v;
    return p;
}

std::string Short(const PROPVARIANT &p, PROPID id, bool full = true) {
    char buf[64];
    ConvertPropertyToShortString(buf, p, id, full);
    return buf;
}

} // namespace

TEST(PropIDUtils, WinAttributeLettersSkipBit7AndAppendPosixText) {
    struct Case {
        UInt32 attrib;
        const char *text;
    } cases[] = {
        {0x10, "D"},
        {0x21, "RA"},
        {0x80, ""},
        {0xFFFF & ~0x80u, "RHS8DAdTsLCOnE_"},
        {(040755u << 16) | 0x8010, "D_ drwxr-xr-x"},
    };
    for (const Case &c : cases) {
        char buf[64];
        ConvertWinAttribToString(buf, c.attrib);
        EXPECT_STREQ(c.text, buf) << std::hex << c.attrib;
        EXPECT_EQ(c.text, Short(MakeUI4(c.attrib), kpidAttrib));
    }
}

TEST(PropIDUtils, PosixModeTextsShowTypeAndSpecialBits) {
    struct Case {
        UInt32 mode;
        const char *text;
    } cases[] = {
        {0100644, "-rw-r--r--"}, {040755, "drwxr-xr-x"},
        {0104755, "-rwsr-xr-x"}, {041777, "drwxrwxrwt"},
        {0104644, "-rwSr--r--"}, {0102750, "-rwxr-s---"},
        {0102740, "-rwxr-S---"}, {041776, "drwxrwxrwT"},
        {0120777, "lrwxrwxrwx"}, {010600, "prw-------"},
        {060660, "brw-rw----"},  {0140755, "srwxr-xr-x"},
        {0, "0---------"},       {0x12340000 | 0100644, "-rw-r--r-- 12340000"},
    };
    for (const Case &c : cases) {
        char buf[64];
        ConvertPosixAttribToString(buf, c.mode);
        EXPECT_STREQ(c.text, buf) << std::oct << c.mode;
    }
    EXPECT_EQ("-rw-r--r--", Short(MakeUI4(0100644), kpidPosixAttrib));
}

TEST(PropIDUtils, NumbersByPropertyId) {
    EXPECT_EQ("0000ABCD", Short(MakeUI4(0xABCD), kpidCRC));
    EXPECT_EQ("0x401000", Short(MakeUI4(0x401000), kpidVa));
    EXPECT_EQ("0x123456789A", Short(MakeUI8(0x123456789AULL), kpidVa));
    EXPECT_EQ("1-5", Short(MakeUI8((1ULL << 48) | 5), kpidINode));
    EXPECT_EQ("0-281474976710655", Short(MakeUI8((1ULL << 48) - 1), kpidINode));
    // The same values under other ids, or of other types, take the general form.
    EXPECT_EQ("43981", Short(MakeUI4(0xABCD), kpidSize));
    EXPECT_EQ("5", Short(MakeUI4(5), kpidINode));
    EXPECT_EQ("16", Short(MakeUI8(16), kpidAttrib));
}

TEST(PropIDUtils, TimesAreLocalWithSecondsOnlyWhenFull) {
    setenv("TZ", "UTC", 1);
    tzset();
    PROPVARIANT p{};
    p.vt = VT_FILETIME;
    EXPECT_EQ("", Short(p, kpidMTime));
    // 2001-02-03 04:05:06 UTC
    const UInt64 ticks = (981173106ULL + 11644473600ULL) * 10000000ULL;
    p.filetime.dwLowDateTime = (DWORD)ticks;
    p.filetime.dwHighDateTime = (DWORD)(ticks >> 32);
    EXPECT_EQ("2001-02-03 04:05:06", Short(p, kpidMTime, true));
    EXPECT_EQ("2001-02-03 04:05", Short(p, kpidMTime, false));
    setenv("TZ", "UTC-2", 1);
    tzset();
    EXPECT_EQ("2001-02-03 06:05:06", Short(p, kpidCTime, true));
    setenv("TZ", "UTC", 1);
    tzset();
}

TEST(PropIDUtils, StringValuesAreCopiedWhole) {
    PROPVARIANT p{};
    p.vt = VT_BSTR;
    p.bstrVal = ::SysAllocString(L"d\u00e9j\u00e0/vu.txt");
    UString s;
    ConvertPropertyToString(s, p, kpidPath);
    EXPECT_STREQ(L"d\u00e9j\u00e0/vu.txt", s.Ptr());
    ::SysFreeString(p.bstrVal);
    ConvertPropertyToString(s, MakeUI4(0x21), kpidAttrib);
    EXPECT_STREQ(L"RA", s.Ptr());
}

namespace {

void Put32(std::vector<Byte> &v, size_t pos, UInt32 x) {
    for (int i = 0; i < 4; i++)
        v[pos + i] = (Byte)(x >> (8 * i));
}

// A NT-authority SID with the given sub-authorities.
std::vector<Byte> Sid(std::vector<UInt32> subs, Byte authority = 5) {
    std::vector<Byte> v(8 + 4 * subs.size());
    v[0] = 1;
    v[1] = (Byte)subs.size();
    v[7] = authority;
    for (size_t i = 0; i < subs.size(); i++)
        Put32(v, 8 + 4 * i, subs[i]);
    return v;
}

std::vector<Byte> Descriptor(const std::vector<Byte> &owner, const std::vector<Byte> &group, UInt16 control,
                             UInt32 daclCount) {
    std::vector<Byte> d(20);
    d[0] = 1;
    d[2] = (Byte)control;
    Put32(d, 4, (UInt32)d.size());
    d.insert(d.end(), owner.begin(), owner.end());
    Put32(d, 8, (UInt32)d.size());
    d.insert(d.end(), group.begin(), group.end());
    if (control & 0x04) {
        Put32(d, 16, (UInt32)d.size());
        std::vector<Byte> acl(8);
        acl[0] = 2;
        Put32(acl, 4, daclCount);
        d.insert(d.end(), acl.begin(), acl.end());
    }
    return d;
}

std::string Nt(const std::vector<Byte> &d) {
    AString s;
    ConvertNtSecureToString(d.data(), (UInt32)d.size(), s);
    return s.Ptr();
}

} // namespace

TEST(PropIDUtils, SecurityDescriptorSummary) {
    EXPECT_EQ("ERROR", Nt(std::vector<Byte>(19)));
    std::vector<Byte> rev2(20);
    rev2[0] = 2;
    EXPECT_EQ("UNSUPPORTED", Nt(rev2));

    const std::vector<Byte> system = Sid({18});
    const std::vector<Byte> admins = Sid({32, 544});
    std::vector<Byte> d = Descriptor(system, admins, 0x04, 3);
    EXPECT_EQ("LocalSystem Administrators d:3 " + std::to_string(d.size()), Nt(d));

    d = Descriptor(Sid({80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u}), Sid({21, 7, 8, 1001}), 0, 0);
    EXPECT_EQ("TrustedInstaller Domains " + std::to_string(d.size()), Nt(d));

    d = Descriptor(Sid({32, 999}), Sid({1, 2}, 1), 0, 0);
    EXPECT_EQ("S-1-5-32-999 S-1-1-1-2 " + std::to_string(d.size()), Nt(d));

    // An owner offset beyond the data, and a SID that claims more sub-authorities than it has.
    d = Descriptor(system, admins, 0, 0);
    Put32(d, 4, 1000);
    d[d.size() - admins.size() + 1] = 9;
    EXPECT_EQ("ERROR ERROR " + std::to_string(d.size()), Nt(d));
}
