#pragma once

// Checksums with a user in front: the engine's HashCalc on a worker thread behind a progress
// window; the sums are shown as the run's final box.
#include "archive/ui-common/HashCalc.h"
#include "common/MyString.h"

struct CArcCommandRun;

HRESULT HashCalcGUI(const CExternalCodecs *codecs, const NWildcard::CCensor &censor, const CHashOptions &options,
                    bool &messageWasDisplayed);

// The summary of a hash run (also the hash part of a test report).
void AddHashBundleRes(UString &s, const CHashBundle &bundle, const UString &firstFileName);

// The hash command of the archive command runner. Returns the runner's exit value.
int HashCommandGUI(CArcCommandRun &run);
