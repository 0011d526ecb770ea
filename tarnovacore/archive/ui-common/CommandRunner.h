#pragma once

// Runs one archive command line without any user interface of its own: splits and parses it,
// loads a registry for this one command, prepares what the command group needs and hands it to
// the front-end's callbacks, which do the work with their own progress and questions.
#include <memory>

#include "ArchiveCommandLine.h"
#include "DirItem.h"
#include "Extract.h"
#include "HashCalc.h"
#include "LoadCodecs.h"
#include "OpenArchive.h"
#include "archive/common/CreateCoder.h"
#include "common/MyString.h"

// Everything a front-end needs for one command. The registry and the hash bundle live until the
// callback returns; after that the plug-in libraries are closed, so nothing made by them may be
// kept.
struct CArcCommandRun {
    CArcCmdLineOptions Options;
    CCodecs *Codecs;                // this command's own registry, loaded
    CExternalCodecs ExternalCodecs; // its hashers are loaded for the extract group and for hash
    CObjectVector<COpenType> Types; // from -t
    CIntVector ExcludedFormats;     // from -stx, ascending, no duplicates

    // Extract group only.
    CExtractOptions ExtractOptions; // TestMode for the test command
    UStringVector ArchivePaths;     // the archives found on disk, sorted
    UStringVector ArchivePathsFull;
    CDirItemsStat ArchivesStat;
    std::unique_ptr<CHashBundle> HashBundle; // only when -scrc named methods

    CArcCommandRun() : Codecs(nullptr) {}
    CArcCommandRun(const CArcCommandRun &) = delete;
    CArcCommandRun &operator=(const CArcCommandRun &) = delete;
};

// The runner's own questions to the user, before any front-end runs.
enum ERunnerMessage {
    kRunnerMsg_EmptyCommand,      // no word at all
    kRunnerMsg_UnsupportedType,   // -t or -stx names no format
    kRunnerMsg_UpdateNotSupported // the archive's format cannot be written
};

// The exact text of a runner message and the flags of the box that shows it.
const wchar_t *GetRunnerMessageText(ERunnerMessage message);
unsigned GetRunnerMessageBoxFlags(ERunnerMessage message);

// Exit values of a run and of the front-end callbacks.
const int kRunnerExit_Ok = 0;      // done without errors
const int kRunnerExit_Warning = 1; // done, but some files could not be read
const int kRunnerExit_Error = 2;   // failed, or done with errors; the user has been told
const int kRunnerExit_Cancel = 3;  // stopped by the user

// One operation per command group. Each returns the run's exit value. Exceptions may leave them:
// the runner catches every one and reports it in its result.
struct IArcCommandCallbacks {
    virtual void ShowRunnerMessage(ERunnerMessage message) = 0;
    // x, e and t: extract or test run.ArchivePaths with run.ExtractOptions.
    virtual int RunExtract(CArcCommandRun &run) = 0;
    // a, u, d and rn: run.Options.UpdateSettings already has its format and archive path set.
    virtual int RunUpdate(CArcCommandRun &run) = 0;
    // h: hash what run.Options.Censor names with run.Options.HashSettings.
    virtual int RunHash(CArcCommandRun &run) = 0;

protected:
    ~IArcCommandCallbacks() = default;
};

struct CArcCommandResult {
    int ExitCode;
    // The run stopped on an error that nobody has shown yet: a command-line error, a plug-in
    // that cannot be loaded, an unsupported command, a failed archive search or anything thrown
    // by a callback. ExitCode is then kRunnerExit_Error.
    bool Failed;
    HRESULT ErrorCode; // E_FAIL for errors that come as text
    UString ErrorText;

    CArcCommandResult() : ExitCode(kRunnerExit_Ok), Failed(false), ErrorCode(S_OK) {}
};

// The command as one text, split at blanks outside double quotes. There is no escape character,
// so a name holding a double quote cannot be written into it: use the words entry for such names.
CArcCommandResult RunArchiveCommand(const UString &command, IArcCommandCallbacks &callbacks);
// The command as its words, taken as they are. Names placed after "--" are never switches, and
// with -spd a '*' or '?' in them is a plain character.
CArcCommandResult RunArchiveCommandWords(const UStringVector &words, IArcCommandCallbacks &callbacks);
