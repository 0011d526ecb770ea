#pragma once

// Creating and updating archives with a user in front: the compress dialog, then the engine's
// UpdateArchive on a worker thread behind a progress window.
#include "archive/ui-common/Update.h"
#include "common/MyString.h"

class CUpdateCallbackGUI;
class QWidget;
struct CArcCommandRun;
struct zip_info;

// Runs on the GUI thread (the command runner of compression runs there). The caller owns the
// callback and has set its password state.
HRESULT UpdateGUI(CCodecs *codecs, const CObjectVector<COpenType> &formatIndices, const UString &cmdArcPath,
                  NWildcard::CCensor &censor, CUpdateOptions &options, bool showDialog, bool &messageWasDisplayed,
                  CUpdateCallbackGUI *callback, QWidget *parent = nullptr);

// "1048576B" for 1048576.
UString GetNumInBytesString(UInt64 v);

// The writer's options from the dialog's choices: level, method with its dictionary and word
// size (unless the free parameters name a method), encryption, solid block, threads, then the
// free parameters as name=value pairs.
void SetOutProperties(CObjectVector<CProperty> &properties, const zip_info &info, bool is7z);

// Whether the format's writer takes these options. On refusal, text names what it refused.
HRESULT CheckWriteOptions(CCodecs *codecs, int formatIndex, const CObjectVector<CProperty> &props, UString &text);

// The update group of the archive command runner: builds the callback from the command and runs
// UpdateGUI. Returns the runner's exit value (0 done or cancelled, 1 files unreadable, 2 failed).
int UpdateCommandGUI(CArcCommandRun &run);
