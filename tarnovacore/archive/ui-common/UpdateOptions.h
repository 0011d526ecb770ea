#pragma once

#include "ArchivePath.h"
#include "ExtractMode.h"
#include "OpenArchive.h"
#include "RenamePair.h"
#include "UpdateAction.h"
#include "archive/common/MethodProps.h"
#include "common/MyString.h"
#include "common/MyVector.h"
#include "common/Wildcard.h"

// The output format and the options handed to its handler.
struct CCompressionMethodMode {
    bool HasType;
    COpenType Format;
    CObjectVector<CProperty> Props;

    CCompressionMethodMode() : HasType(false) {}
};

// One output archive of a request.
struct CUpdateArchiveCommand {
    UString GivenPath;
    CArchivePath ArcPath;
    NUpdateArchive::CActionSet Actions;
};

// One create-or-update request.
struct CUpdateOptions {
    CCompressionMethodMode Method;
    CObjectVector<CUpdateArchiveCommand> Outputs;
    bool ReplaceSource; // command 0 rewrites the archive named by the request
    CArchivePath ArcPath;
    EArcNameMode NameMode;

    bool MakeSfx;
    UString SfxModulePath;

    bool OpenForWriteShare;
    bool ReadStdIn;
    UString StdInItemName;
    bool ToStdOut;

    bool MailMode;
    bool MailRemoveAfter;
    UString MailAddress;

    UString WorkFolder; // empty: beside the archive

    NWildcard::ECensorPathMode CensorPathMode;
    UString PathPrefixToAdd;

    CBoolPair KeepNtSecurity;
    CBoolPair KeepAltStreams;
    CBoolPair KeepHardLinks;
    CBoolPair KeepSymLinks;

    bool DeleteSourcesAfter;
    bool StampArchiveTime;

    CObjectVector<CRenamePair> Renames;
    CRecordVector<UInt64> VolumeSizes;

    CUpdateOptions()
        : ReplaceSource(true), NameMode(kArcNameSmart), MakeSfx(false), OpenForWriteShare(false), ReadStdIn(false),
          ToStdOut(false), MailMode(false), MailRemoveAfter(false), CensorPathMode(NWildcard::k_RelatPath),
          DeleteSourcesAfter(false), StampArchiveTime(false) {}

    // False for more than one type; without a type the format comes from the name's extension.
    bool InitFormatIndex(const CCodecs *codecs, const CObjectVector<COpenType> &types, const UString &arcPath);
    // Splits arcPath (and each command's given path) by the name mode; false when the chosen format
    // cannot write.
    bool SetArcPath(const CCodecs *codecs, const UString &arcPath);
};
