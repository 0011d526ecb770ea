#pragma once

#include "archive/IFolder.h"
#include "common/MyWindows.h"

class CCodecs;
class CArchiveLink;

// What the extraction driver reports to its user interface, besides the per-item calls of the
// folder extract callback. No id of its own: it is handed over as a plain pointer.
struct IExtractCallbackUI : public IFolderArchiveExtractCallback {
    virtual HRESULT BeforeOpen(const wchar_t *name, bool testMode) = 0;
    // Called after every open attempt, a failed one too; the user interface reports open errors.
    virtual HRESULT OpenResult(const CCodecs *codecs, const CArchiveLink &arcLink, const wchar_t *name,
                               HRESULT result) = 0;
    virtual HRESULT ThereAreNoFiles() = 0;
    // Its result becomes the archive's result; non-zero ends the run.
    virtual HRESULT ExtractResult(HRESULT result) = 0;
    virtual HRESULT SetPassword(const UString &password) = 0;
};
