#pragma once

// The archive command line: a command word, switches and names, parsed into the options of one
// extract, update, hash, list, benchmark or information run.
#include "DirItem.h"
#include "ExtractMode.h"
#include "HashCalc.h"
#include "UpdateOptions.h"
#include "archive/common/MethodProps.h"
#include "common/CommandLineParser.h"
#include "common/MyString.h"
#include "common/MyVector.h"
#include "common/Wildcard.h"

namespace NCommandType {
enum EEnum { kAdd = 0, kUpdate, kDelete, kTest, kExtract, kExtractFull, kList, kBenchmark, kInfo, kHash, kRename };
}

struct CArcCommand {
    NCommandType::EEnum CommandType;

    CArcCommand() : CommandType(NCommandType::kAdd) {}
    bool IsFromExtractGroup() const;
    bool IsFromUpdateGroup() const;
    bool IsTestCommand() const { return CommandType == NCommandType::kTest; }
    NExtract::NPathMode::EEnum GetPathMode() const;
};

// The message, then the offending text on a line of its own.
struct CArcCmdLineException : public UString {
    explicit CArcCmdLineException(const char *message, const wchar_t *offending = nullptr);
};

// The extraction settings a command line gives; the same names as in CExtractOptions.
struct CArcCmdLineExtractSettings {
    CBoolPair ElimDup;
    bool PathMode_Force;
    bool OverwriteMode_Force;
    NExtract::NPathMode::EEnum PathMode;
    NExtract::NOverwriteMode::EEnum OverwriteMode;
    UString OutputDir;
    CExtractNtOptions NtOptions;

    CArcCmdLineExtractSettings()
        : PathMode_Force(false), OverwriteMode_Force(false), PathMode(NExtract::NPathMode::kFullPaths),
          OverwriteMode(NExtract::NOverwriteMode::kAsk) {}
};

struct CArcCmdLineOptions {
    bool HelpRequested;
    bool UseLargePages;
    bool CaseSensitiveSet;
    bool CaseSensitive;

    bool StdInIsTerminal;
    bool StdOutIsTerminal;
    bool StdErrIsTerminal;
    bool ReadStdIn;
    bool WriteStdOut;
    bool ShowHeaders;

    bool AssumeYes;
    bool DialogMode;

    NWildcard::CCensor Censor;

    CArcCommand Command;
    UString ArchiveName;

    bool PasswordGiven;
    UString Password;

    bool ShowTechInfo;
    bool ShowTimings;

    UStringVector HashNames;

    NWildcard::CCensor ArchiveCensor;
    UString StdInName;

    CObjectVector<CProperty> Properties;
    CArcCmdLineExtractSettings ExtractSettings;

    CBoolPair SecurityOpt;
    CBoolPair AltStreamsOpt;
    CBoolPair HardLinksOpt;
    CBoolPair SymLinksOpt;

    CUpdateOptions UpdateSettings;
    CHashOptions HashSettings;

    UString TypeText;
    UStringVector SkippedTypes;

    // Message streams: 0 none, 1 standard output, 2 standard error.
    unsigned OutStreamNumber;
    unsigned ErrStreamNumber;
    unsigned PercentStreamNumber;
    unsigned LogLevel;

    UInt32 BenchPasses;

    CArcCmdLineOptions()
        : HelpRequested(false), UseLargePages(false), CaseSensitiveSet(false), CaseSensitive(false),
          StdInIsTerminal(false), StdOutIsTerminal(false), StdErrIsTerminal(false), ReadStdIn(false),
          WriteStdOut(false), ShowHeaders(true), AssumeYes(false), DialogMode(false), PasswordGiven(false),
          ShowTechInfo(false), ShowTimings(false), OutStreamNumber(1), ErrStreamNumber(2), PercentStreamNumber(1),
          LogLevel(0), BenchPasses(0) {}
};

// One parse per object: Parse1, then Parse2. Both throw CArcCmdLineException; the options are
// then partly filled. ssc, scc and l change process-wide switches (g_CaseSensitive, g_CodePage,
// global_use_lstat) while parsing.
class CArcCmdLineParser {
    NCommandLineParser::CParser parser;

public:
    CArcCmdLineParser();
    void Parse1(const UStringVector &commandStrings, CArcCmdLineOptions &options);
    void Parse2(CArcCmdLineOptions &options);
};

// The archives an extract command names, as found on disk: not folders, sorted by full path.
// Throws "Cannot find archive" when nothing matches and "Duplicate archive path:" for one file
// named twice; a failed scan comes back as its result.
HRESULT EnumerateDirItemsAndSort(NWildcard::CCensor &censor, NWildcard::ECensorPathMode pathMode,
                                 const UString &addPathPrefix, UStringVector &sortedPaths,
                                 UStringVector &sortedFullPaths, CDirItemsStat &st, IDirItemsCallback *callback);

// codePage: 1200 UTF-16LE, 1201 UTF-16BE, 65001 UTF-8, else a multibyte code page. Names are
// trimmed, one pair of enclosing quotes is dropped and empty lines are skipped.
bool ReadNamesFromListFile(const wchar_t *path, UStringVector &names, UInt32 codePage);

void SortFileNames(const UStringVector &names, CRecordVector<unsigned> &indices);
void SplitString(const UString &s, UStringVector &words);
void SplitStringToTwoStrings(const UString &s, UString &first, UString &rest);
