#pragma once

// The error texts of extraction and archive opening, shared by every callback that reports them
// (extraction, compression, the panel's archive edits).
#include "common/MyString.h"
#include "common/MyWindows.h"

class progresswindow;
class CCodecs;
class CArchiveLink;
struct CArcErrorInfo;

// The text of one failed item: the kind of failure, a wrong-password hint for encrypted items and
// the file name. With a window, a failure of kind 1..9 is also reported to it (its error box, and
// the run stops). opRes 0 gives an empty text.
void SetExtractErrorMessage(progresswindow *window, Int32 opRes, Int32 encrypted, const wchar_t *fileName, UString &s);

// One line per error flag of an opened archive; unknown high bits as one hexadecimal line.
UString GetOpenArcErrorMessage(UInt32 errorFlags);

// Errors and warnings of one archive level, each part ending in a line feed.
void ErrorInfo_Print(UString &s, const CArcErrorInfo &e);

UString GetBracedType(const wchar_t *name);

// The report of one open attempt; empty when the archive opened cleanly.
void OpenResult_GUI(UString &s, const CCodecs *codecs, const CArchiveLink &link, const wchar_t *name, HRESULT result);
