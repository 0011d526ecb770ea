#pragma once

#include "DirItem.h"
#include "archive/ICoder.h"
#include "archive/common/CreateCoder.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "common/Wildcard.h"

const unsigned k_HashCalc_DigestSize_Max = 64;

const unsigned k_HashCalc_Index_Current = 0;
const unsigned k_HashCalc_Index_DataSum = 1;
const unsigned k_HashCalc_Index_NamesSum = 2;
const unsigned k_HashCalc_Index_StreamsSum = 3;
const unsigned k_HashCalc_NumGroups = 4;

struct CHasherState {
    CMyComPtr<IHasher> Hasher;
    AString Name;
    UInt32 DigestSize;
    Byte Digests[k_HashCalc_NumGroups][k_HashCalc_DigestSize_Max];
};

// What the extract callback feeds while data goes by.
struct IHashCalc {
    virtual void InitForNewFile() = 0;
    virtual void Update(const void *data, UInt32 size) = 0;
    virtual void SetSize(UInt64 size) = 0;
    virtual void Final(bool isDir, bool isAltStream, const UString &path) = 0;

protected:
    ~IHashCalc() = default;
};

// The chosen hash methods run together over the same data; besides each item's digest it keeps
// three sums: of the data, of data and names, and of every stream with its name.
struct CHashBundle : public IHashCalc {
    CObjectVector<CHasherState> Hashers;

    UInt64 NumDirs;
    UInt64 NumFiles;
    UInt64 NumAltStreams;
    UInt64 FilesSize;
    UInt64 AltStreamsSize;
    UInt64 NumErrors;

    UInt64 CurSize;

    CHashBundle() { Init(); }
    void Init() { NumDirs = NumFiles = NumAltStreams = FilesSize = AltStreamsSize = NumErrors = CurSize = 0; }

    // An empty list means CRC32; "*" takes every hasher the plug-ins offer.
    HRESULT SetMethods(const CExternalCodecs *externalCodecs, const UStringVector &methods);

    void InitForNewFile() override;
    void Update(const void *data, UInt32 size) override;
    void SetSize(UInt64 size) override;
    void Final(bool isDir, bool isAltStream, const UString &path) override;
};

struct IHashCallbackUI : public IDirItemsCallback {
    virtual HRESULT StartScanning() = 0;
    virtual HRESULT FinishScanning(const CDirItemsStat &st) = 0;
    virtual HRESULT SetNumFiles(UInt64 numFiles) = 0;
    virtual HRESULT SetTotal(UInt64 size) = 0;
    virtual HRESULT SetCompleted(const UInt64 *completeValue) = 0;
    virtual HRESULT CheckBreak() = 0;
    virtual HRESULT BeforeFirstFile(const CHashBundle &hb) = 0;
    virtual HRESULT GetStream(const wchar_t *name, bool isFolder) = 0;
    // S_FALSE skips the file; any other result ends the run with it.
    virtual HRESULT OpenFileError(const UString &path, DWORD systemError) = 0;
    virtual HRESULT SetOperationResult(UInt64 fileSize, const CHashBundle &hb, bool showHash) = 0;
    virtual HRESULT AfterLastFile(CHashBundle &hb) = 0;

protected:
    ~IHashCallbackUI() = default;
};

struct CHashOptions {
    UStringVector Methods;
    bool OpenShareForWrite;
    bool StdInMode;
    bool AltStreamsMode;
    NWildcard::ECensorPathMode PathMode;

    CHashOptions()
        : OpenShareForWrite(false), StdInMode(false), AltStreamsMode(false), PathMode(NWildcard::k_RelatPath) {}
};

HRESULT HashCalc(const CExternalCodecs *externalCodecs, const NWildcard::CCensor &censor, const CHashOptions &options,
                 AString &errorInfo, IHashCallbackUI *callback);

// Two upper-case hex digits a byte; digests of up to 8 bytes read as the number they hold (last
// byte first). A null digest gives spaces. dest needs 2 * size + 1 characters.
void AddHashHexToString(char *dest, const Byte *data, UInt32 size);
