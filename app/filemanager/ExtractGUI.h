#pragma once

// Extraction and testing with a user in front: the extract dialog, then the engine's Extract on a
// worker thread behind a progress window with its prompts and final report.
#include "archive/ui-common/Extract.h"
#include "archive/ui-common/HashCalc.h"
#include "common/MyString.h"

class CExtractCallbackImp;
class QWidget;
struct CArcCommandRun;

// Runs on a thread other than the GUI thread (the command runner's). The caller owns the callback
// and has set its overwrite mode, password and flags.
HRESULT ExtractGUI(CCodecs *codecs, const CObjectVector<COpenType> &formatIndices,
                   const CRecordVector<int> &excludedFormatIndices, CObjectVector<UString> &archivePaths,
                   CObjectVector<UString> &archivePathsFull, const NWildcard::CCensorNode &censor,
                   CExtractOptions &options, CHashBundle *hashBundle, bool showDialog, bool &messageWasDisplayed,
                   CExtractCallbackImp *callback, QWidget *parent = nullptr);

// The path without a leading lower-case "c:".
const wchar_t *nameWindowToUnix(const wchar_t *path);

// Lines of the test and checksum reports. The size in megabytes follows from 1 MiB on, or always.
void AddValuePair(UString &s, const wchar_t *name, UInt64 value, bool addColon);
void AddSizePair(UString &s, const wchar_t *name, UInt64 value, bool alwaysMegabytes = false);

// The extract group of the archive command runner: builds the callback from the command and
// runs ExtractGUI. Returns the runner's exit value (0 done or cancelled, 2 failed).
int ExtractCommandGUI(CArcCommandRun &run);
