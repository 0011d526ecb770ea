#pragma once

// The request of a panel copy, move, test or extraction into memory.
#include "common/MyString.h"

class CVirtFileSystem;
struct ISequentialOutStream;

struct CCopyToOptions {
    bool streamMode = false;
    bool moveMode = false;
    bool testMode = false;
    bool includeAltStreams = true;
    bool replaceAltStreamChars = false;
    bool showErrorMessages = false;
    UString destFolder; // ends with "/" for a folder
    UStringVector hashMethods;
    CVirtFileSystem *memoryTargetSpec = nullptr;
    ISequentialOutStream *memoryTarget = nullptr;
    // Set by the copy once its progress window ran: that window has shown any failure already.
    bool failureShown = false;
};
