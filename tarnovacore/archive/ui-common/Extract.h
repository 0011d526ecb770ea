#pragma once

#include "ArchiveExtractCallback.h"
#include "ArchiveLink.h"
#include "ExtractMode.h"
#include "HashCalc.h"
#include "IFileExtractCallback.h"
#include "LoadCodecs.h"
#include "OpenArchive.h"
#include "archive/common/MethodProps.h"
#include "common/Wildcard.h"

struct CExtractOptions {
    CBoolPair ElimDup;
    bool PathMode_Force;
    bool OverwriteMode_Force;
    NExtract::NPathMode::EEnum PathMode;
    NExtract::NOverwriteMode::EEnum OverwriteMode;
    UString OutputDir; // may hold "*", replaced with the archive's default item name
    CExtractNtOptions NtOptions;
    bool StdInMode;
    bool StdOutMode;
    bool YesToAll;
    bool TestMode;
    CObjectVector<CProperty> Properties;

    CExtractOptions()
        : PathMode_Force(false), OverwriteMode_Force(false), PathMode(NExtract::NPathMode::kFullPaths),
          OverwriteMode(NExtract::NOverwriteMode::kAsk), StdInMode(false), StdOutMode(false), YesToAll(false),
          TestMode(false) {}
};

struct CDecompressStat {
    UInt64 NumArchives;
    UInt64 UnpackSize;
    UInt64 AltStreams_UnpackSize;
    UInt64 PackSize;
    UInt64 NumFolders;
    UInt64 NumFiles;
    UInt64 NumAltStreams;
    UInt64 NumWarnings; // items named in a warning message: the run ends with the warning result

    CDecompressStat() { Clear(); }
    void Clear() {
        NumArchives = UnpackSize = AltStreams_UnpackSize = PackSize = NumFolders = NumFiles = NumAltStreams =
            NumWarnings = 0;
    }
};

// Extracts or tests every archive of arcPaths (or the one on standard input). arcPathsFull holds the
// same paths made full and sorted by name, to find volumes among them. Throws the 8-bit texts
// "there is no such archive" and "can't decompress folder".
HRESULT Extract(CCodecs *codecs, const CObjectVector<COpenType> &types, const CIntVector &excludedFormats,
                const UStringVector &arcPaths, const UStringVector &arcPathsFull,
                const NWildcard::CCensorNode &wildcardCensor, const CExtractOptions &options,
                IOpenCallbackUI *openCallback, IExtractCallbackUI *extractCallback, IHashCalc *hash,
                UString &errorMessage, CDecompressStat &st);

// Binary search in a list sorted by CompareFileNames; -1 when the name is not there.
int Find_FileName_InSortedVector(const UStringVector &fileNames, const UString &name);
