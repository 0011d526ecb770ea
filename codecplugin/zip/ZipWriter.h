#pragma once

// Writes a zip. A new archive without a password goes straight to the output as its entries are
// compressed side by side. Otherwise libzip writes it: kept entries of the old archive are copied
// as they are (compressed and, when encrypted, with their own key, so no password is needed); a
// rename rewrites only the name; new entries are first compressed side by side into a temporary
// file and then written, in order, encrypted with the chosen method when a password is given.
#include "WriteProps.h"
#include "zip/ZipHandler.h"
#include "archive/IArchive.h"

namespace NPlugin {

// old: the open archive, null when a new one is made.
HRESULT WriteZipArchive(const CZipOldArchive *old, const CWriteProps &props, ISequentialOutStream *out, UInt32 numItems,
                        IArchiveUpdateCallback *callback);

} // namespace NPlugin
