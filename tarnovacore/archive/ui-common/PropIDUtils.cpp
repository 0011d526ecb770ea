#include "PropIDUtils.h"

#include "archive/PropID.h"
#include "common/IntToString.h"
#include "windows/PropVariantConv.h"
#include "windows/WinTime.h"

#include <string.h>

namespace {

const char kWinAttribChars[] = "RHS8DAdNTsLCOnE_";
const char kPosixTypeChars[] = "0pc3d5b7-9lBsDEF";

UInt16 Get16(const Byte *p) {
    return (UInt16)(p[0] | ((UInt16)p[1] << 8));
}
UInt32 Get32(const Byte *p) {
    return (UInt32)p[0] | ((UInt32)p[1] << 8) | ((UInt32)p[2] << 16) | ((UInt32)p[3] << 24);
}

void AppendUInt32(AString &s, UInt32 v) {
    char temp[16];
    ConvertUInt32ToString(v, temp);
    s += temp;
}

const char *const kSidNames[] = {"0",
                                 "Dialup",
                                 "Network",
                                 "Batch",
                                 "Interactive",
                                 "Logon",
                                 "Service",
                                 "Anonymous",
                                 "Proxy",
                                 "EnterpriseDC",
                                 "Self",
                                 "AuthenticatedUsers",
                                 "RestrictedCode",
                                 "TerminalServer",
                                 "RemoteInteractiveLogon",
                                 "ThisOrganization",
                                 "16",
                                 "IUserIIS",
                                 "LocalSystem",
                                 "LocalService",
                                 "NetworkService",
                                 "Domains"};

struct CSidName {
    UInt32 Value;
    const char *Name;
};

const CSidName kBuiltinNames[] = {{544, "Administrators"},
                                  {545, "Users"},
                                  {546, "Guests"},
                                  {547, "PowerUsers"},
                                  {548, "AccountOperators"},
                                  {549, "ServerOperators"},
                                  {550, "PrintOperators"},
                                  {551, "BackupOperators"},
                                  {552, "Replicators"},
                                  {553, "RasAndIasServers"},
                                  {554, "PreWindows2000CompatibleAccess"},
                                  {555, "RemoteDesktopUsers"},
                                  {556, "NetworkConfigurationOperators"},
                                  {557, "IncomingForestTrustBuilders"},
                                  {558, "PerformanceMonitorUsers"},
                                  {559, "PerformanceLogUsers"},
                                  {560, "WindowsAuthorizationAccessGroup"},
                                  {561, "TerminalServerLicenseServers"},
                                  {562, "DistributedCOMUsers"},
                                  {569, "CryptographicOperators"},
                                  {573, "EventLogReaders"},
                                  {574, "CertificateServiceDCOMAccess"}};

const UInt32 kTrustedInstaller[6] = {80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u};

void ParseSid(AString &s, const Byte *p, UInt32 lim) {
    if (lim < 8) {
        s += "ERROR";
        return;
    }
    if (p[0] != 1) {
        s += "UNSUPPORTED";
        return;
    }
    const unsigned num = p[1];
    if (8 + (UInt64)num * 4 > lim) {
        s += "ERROR";
        return;
    }
    const UInt32 authority = ((UInt32)p[4] << 24) | ((UInt32)p[5] << 16) | ((UInt32)p[6] << 8) | p[7];
    if (Get16(p + 2) == 0 && authority == 5 && num >= 1) {
        const UInt32 v0 = Get32(p + 8);
        if (v0 < sizeof(kSidNames) / sizeof(kSidNames[0])) {
            s += kSidNames[v0];
            return;
        }
        if (v0 == 32 && num == 2) {
            const UInt32 v1 = Get32(p + 12);
            for (const CSidName &n : kBuiltinNames)
                if (n.Value == v1) {
                    s += n.Name;
                    return;
                }
        }
        if (v0 == 80 && num == 6) {
            unsigned i;
            for (i = 0; i < 6; i++)
                if (Get32(p + 8 + i * 4) != kTrustedInstaller[i]) break;
            if (i == 6) {
                s += "TrustedInstaller";
                return;
            }
        }
    }
    s += "S-1-";
    if (p[2] == 0 && p[3] == 0)
        AppendUInt32(s, authority);
    else {
        s += "0x";
        for (unsigned i = 2; i < 8; i++) {
            static const char kHex[] = "0123456789ABCDEF";
            s += kHex[p[i] >> 4];
            s += kHex[p[i] & 15];
            s.Add_Space();
        }
    }
    for (unsigned i = 0; i < num; i++) {
        s += '-';
        AppendUInt32(s, Get32(p + 8 + i * 4));
    }
}

void ParseOwner(AString &s, const Byte *p, UInt32 size, UInt32 pos) {
    if (pos > size) {
        s += "ERROR";
        return;
    }
    ParseSid(s, p + pos, size - pos);
}

void ParseAcl(AString &s, const Byte *p, UInt32 size, const char *name, UInt32 offsetPos) {
    const UInt32 offset = Get32(p + offsetPos);
    s.Add_Space();
    s += name;
    if (offset >= size) return;
    p += offset;
    if (size - offset < 8) return;
    if (Get16(p) != 2) return;
    AppendUInt32(s, Get32(p + 4));
}

} // namespace

void ConvertWinAttribToString(char *dest, UInt32 attrib) throw() {
    char *s = dest;
    for (unsigned i = 0; i < 16; i++) {
        if (i == 7) continue;
        if (attrib & ((UInt32)1 << i)) *s++ = kWinAttribChars[i];
    }
    *s = 0;
    if (attrib > 0xFFFF) {
        *s++ = ' ';
        ConvertPosixAttribToString(s, attrib >> 16);
    }
}

void ConvertPosixAttribToString(char *dest, UInt32 mode) throw() {
    dest[0] = kPosixTypeChars[(mode >> 12) & 0xF];
    for (unsigned i = 0; i < 9; i++) {
        const bool set = (mode & ((UInt32)1 << (8 - i))) != 0;
        dest[1 + i] = set ? "rwx"[i % 3] : '-';
    }
    if (mode & 04000) dest[3] = (mode & 0100) ? 's' : 'S';
    if (mode & 02000) dest[6] = (mode & 010) ? 's' : 'S';
    if (mode & 01000) dest[9] = (mode & 01) ? 't' : 'T';
    dest[10] = 0;
    if (mode > 0xFFFF) {
        dest[10] = ' ';
        ConvertUInt32ToHex8Digits(mode & 0xFFFF0000, dest + 11);
    }
}

void ConvertPropertyToShortString(char *dest, const PROPVARIANT &prop, PROPID propID, bool full) throw() {
    *dest = 0;
    if (prop.vt == VT_FILETIME) {
        const FILETIME &utc = prop.filetime;
        if (utc.dwLowDateTime == 0 && utc.dwHighDateTime == 0) return;
        FILETIME local;
        if (!FileTimeToLocalFileTime(&utc, &local)) return;
        if (!ConvertFileTimeToString(local, dest, true, full)) *dest = 0;
        return;
    }
    switch (propID) {
    case kpidAttrib:
        if (prop.vt != VT_UI4) break;
        ConvertWinAttribToString(dest, prop.ulVal);
        return;
    case kpidCRC:
        if (prop.vt != VT_UI4) break;
        ConvertUInt32ToHex8Digits(prop.ulVal, dest);
        return;
    case kpidVa: {
        UInt64 v;
        if (prop.vt == VT_UI4)
            v = prop.ulVal;
        else if (prop.vt == VT_UI8)
            v = prop.uhVal.QuadPart;
        else
            break;
        dest[0] = '0';
        dest[1] = 'x';
        ConvertUInt64ToHex(v, dest + 2);
        return;
    }
    case kpidPosixAttrib:
        if (prop.vt != VT_UI4) break;
        ConvertPosixAttribToString(dest, prop.ulVal);
        return;
    case kpidINode: {
        if (prop.vt != VT_UI8) break;
        const UInt64 v = prop.uhVal.QuadPart;
        char *s = ConvertUInt32ToString((UInt32)(v >> 48), dest);
        *s++ = '-';
        ConvertUInt64ToString(v & (((UInt64)1 << 48) - 1), s);
        return;
    }
    default:
        break;
    }
    ConvertPropVariantToShortString(prop, dest);
}

void ConvertPropertyToString(UString &dest, const PROPVARIANT &prop, PROPID propID, bool full) {
    if (prop.vt == VT_BSTR) {
        dest.SetFromBstr(prop.bstrVal);
        return;
    }
    char temp[64];
    ConvertPropertyToShortString(temp, prop, propID, full);
    dest.SetFromAscii(temp);
}

void ConvertNtSecureToString(const Byte *data, UInt32 size, AString &text) {
    text.Empty();
    if (size < 20 || size > (1 << 18)) {
        text = "ERROR";
        return;
    }
    if (Get16(data) != 1) {
        text = "UNSUPPORTED";
        return;
    }
    ParseOwner(text, data, size, Get32(data + 4));
    text.Add_Space();
    ParseOwner(text, data, size, Get32(data + 8));
    const UInt16 control = Get16(data + 2);
    if (control & 0x10) ParseAcl(text, data, size, "s:", 12);
    if (control & 0x04) ParseAcl(text, data, size, "d:", 16);
    text.Add_Space();
    AppendUInt32(text, size);
}
