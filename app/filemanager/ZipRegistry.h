#pragma once

// The archive side's settings records, read from and written to the settings store.
#include "common/MyString.h"
#include "common/MyTypes.h"
#include "common/MyVector.h"
#include "archive/ui-common/ExtractMode.h"
#include "archive/ui-common/WorkDirInfo.h"

namespace NExtract {

struct CInfo {
    int ExtractMode;
    int OverwriteMode;
    bool ExtractModeForce;
    bool OverwriteModeForce;
    CBoolPair SplitDest;
    CBoolPair ElimDup;
    CBoolPair Security;
    CBoolPair ShowPassword;
    CObjectVector<UString> PathHistory; // most recent first
    bool OpenOutputDir;

    CInfo()
        : ExtractMode(1), OverwriteMode(0), ExtractModeForce(false), OverwriteModeForce(false), OpenOutputDir(false) {}
    bool Load();
    bool Save() const;
};

bool Read_ShowPassword();
bool Save_ShowPassword(bool showPassword);

} // namespace NExtract

namespace NCompression {

struct CFormatOptions {
    UInt32 Level;
    UInt32 Dictionary;
    UInt32 OrderKey;
    UInt32 BlockSize;
    UInt32 NumThreads;
    UString FormatID;
    UString Options;
    UString Method;
    UString EncryptionMethod;

    CFormatOptions()
        : Level((UInt32)(Int32)-1), Dictionary((UInt32)(Int32)-1), OrderKey((UInt32)(Int32)-1),
          BlockSize((UInt32)(Int32)-1), NumThreads((UInt32)(Int32)-1) {}
};

struct CInfo {
    int Config;
    int Level;
    bool ShowPassword;
    bool EncryptHeaders;
    UString Archiver;
    CObjectVector<UString> ArcHistory; // most recent first
    CObjectVector<CFormatOptions> Formats;
    CBoolPair Security;
    CBoolPair AltStreams;
    CBoolPair HardLinks;
    CBoolPair SymLinks;

    CInfo() : Config(0), Level(5), ShowPassword(false), EncryptHeaders(false), Archiver(L"7z") {}
    bool Load();
    bool Save() const;
};

} // namespace NCompression

// Removes every entry equal to s ignoring case, then puts s first.
void AddUniqueStringToHeadOfList(CObjectVector<UString> &list, const UString &s);

UString NumberToString(UInt64 number);
// The format with every "{0}" replaced by the argument.
UString MyFormatNew(const UString &format, const UString &argument);
