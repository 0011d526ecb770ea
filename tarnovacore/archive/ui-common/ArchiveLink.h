#pragma once

// An archive opened as a chain of levels, outermost first: a compressed tar is the compressed
// stream and, inside it, the tar.
#include "ArchiveOpenCallback.h"
#include "OpenArchive.h"

class CArchiveLink {
public:
    CObjectVector<CArc> levels;
    UStringVector volumeFilePaths;
    UInt64 volumeFilesSize;
    bool isOpen;
    bool passwordRequested;
    UString failedOpenPath;
    CArcErrorInfo failedOpenErrors;

    CArchiveLink() : volumeFilesSize(0), isOpen(false), passwordRequested(false) {}
    CArchiveLink(const CArchiveLink &) = delete;
    CArchiveLink &operator=(const CArchiveLink &) = delete;
    ~CArchiveLink() { Release(); }

    const CArc *GetArc() const { return levels.IsEmpty() ? nullptr : &levels.Back(); }
    IInArchive *GetArchive() const { return levels.IsEmpty() ? nullptr : (IInArchive *)levels.Back().handler; }

    HRESULT Open(COpenOptions &op);
    HRESULT Open2(COpenOptions &op, IOpenCallbackUI *callbackUI);
    HRESULT Open3(COpenOptions &op, IOpenCallbackUI *callbackUI);
    HRESULT ReOpen(COpenOptions &op);

    HRESULT Close();
    void Release();
    void KeepModeForNextOpen();
};

// "zip", "gz.tar", "*:s1m", "#": archive types, innermost level first.
bool ParseOpenTypes(CCodecs &codecs, const UString &s, CObjectVector<COpenType> &types);
bool ParseType(CCodecs &codecs, const UString &s, COpenType &type);
// A decimal number with an optional b, k, m, g or t.
bool ParseComplexSize(const wchar_t *s, UInt64 &result);
