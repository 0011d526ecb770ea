#pragma once

// The panel's front-end of the archive command runner: a command is a list of words, never a
// text, so file names reach the engine exactly as they are.
#include "archive/ui-common/CommandRunner.h"
#include "common/MyString.h"

// The front-ends the program wires behind the runner.
class CPanelCommands : public IArcCommandCallbacks {
public:
    void ShowRunnerMessage(ERunnerMessage message) override;
    int RunExtract(CArcCommandRun &run) override;
    int RunUpdate(CArcCommandRun &run) override;
    int RunHash(CArcCommandRun &run) override;
};

// Runs the words and reports a failure nobody has shown yet in an error box. Returns the exit
// value (kRunnerExit_*: 0 only when done without errors). Any thread; never throws.
int RunCommandWords(const UStringVector &words);

class CPanelHost;
// Runs the words on a detached thread the program waits for before it ends; its end is posted to
// the window (which closes in single-operation mode, else refreshes). False: no thread.
bool StartRunnerThread(const UStringVector &words, CPanelHost *main);

// The words that extract the archives (absolute paths) into outputFolder, asking with the
// extract dialog first when showDialog is set.
UStringVector ExtractCommandWords(const UStringVector &archivePaths, const UString &outputFolder, bool showDialog);

// The words that add the names (absolute paths) to the archive at arcPath (none: the dialog
// or the engine names it), with the type when given.
UStringVector CompressCommandWords(const UString &arcPath, const UString &arcType, bool addExtension,
                                   const UStringVector &names, bool email, bool showDialog);

// The output folder of extracting one archive named name next to it: the name cut at its last
// dot (trailing blanks removed) or, without a usable dot, the name followed by "~".
UString ExtractFolderName(const UString &name);
