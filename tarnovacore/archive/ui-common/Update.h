#pragma once

#include "ArchiveLink.h"
#include "LoadCodecs.h"
#include "UpdateCallbackUI.h"
#include "UpdateErrorInfo.h"
#include "UpdateOptions.h"
#include "common/Wildcard.h"

// Creates or updates the archives of one request: scans the disk items the censor names, pairs
// them with the old archive's items, writes each output and puts the new archive in place of the
// old one. Throws 8-bit texts for requests that make no sense and lets the pairing's exceptions
// through.
HRESULT UpdateArchive(CCodecs *codecs, const CObjectVector<COpenType> &types, const UString &cmdArcPath2,
                      NWildcard::CCensor &censor, CUpdateOptions &options, CUpdateErrorInfo &errorInfo,
                      IOpenCallbackUI *openCallback, IUpdateCallbackUI2 *callback, bool needSetPath);
