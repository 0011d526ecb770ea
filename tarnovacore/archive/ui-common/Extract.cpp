#include "Extract.h"

#include <errno.h>

#include "ExtractingFilePath.h"
#include "archive/common/StreamUtils.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/PropVariant.h"
#include "windows/PropVariantConv.h"

using namespace NWindows;
using namespace NFile;

namespace {

UInt64 PhySizeOf(IInArchive *archive) {
    NCOM::CPropVariant prop;
    if (archive->GetArchiveProperty(kpidPhySize, &prop) != S_OK) return 0;
    if (prop.vt == VT_EMPTY) return 0;
    UInt64 size = 0;
    if (!ConvertPropVariantToUInt64(prop, size)) throw 151199;
    return size;
}

HRESULT DecompressArchive(CCodecs *codecs, const CArchiveLink &arcLink, UInt64 packSize,
                          const NWildcard::CCensorNode &wildcardCensor, const CExtractOptions &options, bool calcCrc,
                          IExtractCallbackUI *callback, CArchiveExtractCallback *ecs, UString &errorMessage,
                          UInt64 &stdInProcessed) {
    stdInProcessed = 0;
    const CArc &arc = arcLink.levels.Back();
    IInArchive *archive = arc.handler;

    UString replaceName = arc.defaultItemName;
    if (arcLink.levels.Size() > 1) {
        const CArc &arc0 = arcLink.levels.Front();
        if (arc0.formatIndex >= 0 && codecs->Formats[(unsigned)arc0.formatIndex].Name.IsEqualTo_Ascii_NoCase("pe"))
            replaceName = arc0.defaultItemName;
    }
    UString outDir = options.OutputDir;
    outDir.Replace(UString(L"*"), Get_Correct_FsFile_Name(replaceName));

    bool elimIsPossible = false;
    UString elimPrefix;
    if (options.ElimDup.Val && options.PathMode != NExtract::NPathMode::kAbsPaths) {
        UString dirPrefix, name;
        SplitPathToParts_Smart(outDir, dirPrefix, name);
        if (!name.IsEmpty()) {
            if (name.Back() == L'/') name.DeleteBack();
            if (!name.IsEmpty()) {
                elimIsPossible = true;
                elimPrefix = name;
            }
        }
    }

    const bool allFilesAreAllowed = wildcardCensor.AreAllAllowed();
    CRecordVector<UInt32> realIndices;
    if (!options.StdInMode) {
        UInt32 numItems;
        RINOK(archive->GetNumberOfItems(&numItems));
        CReadArcItem item;
        for (UInt32 i = 0; i < numItems; i++) {
            if (elimIsPossible || !allFilesAreAllowed) {
                RINOK(arc.GetItem(i, item));
            } else {
                item.isAltStream = false;
                if (!options.NtOptions.AltStreams.Val && arc.mayHaveAltStreams)
                    RINOK(Archive_IsItem_AltStream(archive, i, item.isAltStream));
            }
            if (item.isAltStream && !options.NtOptions.AltStreams.Val) continue;
            if (elimIsPossible) {
                const UString &s = item.mainPath;
                if (!IsPath1PrefixedByPath2(s, elimPrefix))
                    elimIsPossible = false;
                else {
                    const wchar_t c = s[elimPrefix.Len()];
                    if (c == 0) {
                        if (!item.mainIsDir) elimIsPossible = false;
                    } else if (c != L'/')
                        elimIsPossible = false;
                }
            }
            if (!allFilesAreAllowed && !CensorNode_CheckPath(wildcardCensor, item)) continue;
            realIndices.Add(i);
        }
        if (realIndices.Size() == 0) {
            callback->ThereAreNoFiles();
            return callback->ExtractResult(S_OK);
        }
    }

    UStringVector removePathParts;
    if (elimIsPossible) removePathParts.Add(elimPrefix);

    // Testing and writing to standard output leave the disk alone, the output folder included.
    UStringVector madeDirs; // the folders this run makes, outermost first
    if (outDir.IsEmpty())
        outDir = L"./";
    else if (!options.TestMode && !options.StdOutMode) {
        UString dir = outDir;
        while (!dir.IsEmpty() && dir.Back() == L'/')
            dir.DeleteBack();
        while (dir.Find(L'/') >= 0 && !NFind::DoesFileOrDirExist(dir)) {
            madeDirs.Insert(0, dir);
            const int slash = dir.ReverseFind_PathSepar();
            if (slash <= 0) break;
            dir.DeleteFrom((unsigned)slash);
        }
    }
    if (!options.TestMode && !options.StdOutMode && outDir != L"./" && !NDir::CreateComplexDir(outDir)) {
        const int err = errno;
        errorMessage = L"Can not create output directory: ";
        errorMessage += outDir;
        return HRESULT_FROM_ERRNO(err);
    }

    ecs->Init(options.NtOptions, options.StdInMode ? &wildcardCensor : nullptr, &arc, callback, options.StdOutMode,
              options.TestMode, outDir, removePathParts, false, packSize);

    // With hashing the handler extracts, and the callback keeps the data away from disk.
    const Int32 testMode = (options.TestMode && !calcCrc) ? 1 : 0;
    HRESULT result;
    if (options.StdInMode) {
        result = archive->Extract(nullptr, (UInt32)(Int32)-1, testMode, ecs);
        stdInProcessed = PhySizeOf(archive);
    } else
        result = archive->Extract(&realIndices[0], realIndices.Size(), testMode, ecs);

    // Folder times and links are finished for standard input too: a link must not stay a text
    // file. After a failure the links already written are still made.
    if (result == S_OK) {
        result = ecs->SetDirsTimes();
    } else {
        ecs->DiscardUnfinishedFile(true);
        ecs->CreateDelayedLinks();
        // A run that wrote nothing (a cancelled password prompt) leaves no empty folder behind;
        // removing stops at the first folder that holds something.
        for (unsigned i = madeDirs.Size(); i > 0; i--)
            if (!NDir::RemoveDir(madeDirs[i - 1])) break;
    }
    return callback->ExtractResult(result);
}

} // namespace

int Find_FileName_InSortedVector(const UStringVector &fileNames, const UString &name) {
    unsigned left = 0, right = fileNames.Size();
    while (left != right) {
        const unsigned mid = (left + right) / 2;
        const int comp = CompareFileNames(name, fileNames[mid]);
        if (comp == 0) return (int)mid;
        if (comp < 0)
            right = mid;
        else
            left = mid + 1;
    }
    return -1;
}

HRESULT Extract(CCodecs *codecs, const CObjectVector<COpenType> &types, const CIntVector &excludedFormats,
                const UStringVector &arcPaths, const UStringVector &arcPathsFull,
                const NWildcard::CCensorNode &wildcardCensor, const CExtractOptions &options,
                IOpenCallbackUI *openCallback, IExtractCallbackUI *extractCallback, IHashCalc *hash,
                UString &errorMessage, CDecompressStat &st) {
    st.Clear();
    UInt64 totalPackSize = 0;
    CRecordVector<UInt64> arcSizes;
    const unsigned numArcs = options.StdInMode ? 1 : arcPaths.Size();

    for (unsigned i = 0; i < numArcs; i++) {
        NFind::CFileInfo fi;
        fi.Size = 0;
        if (!options.StdInMode) {
            if (!fi.Find(arcPaths[i], true)) throw "there is no such archive";
            if (fi.IsDir()) throw "can't decompress folder";
        }
        arcSizes.Add(fi.Size);
        totalPackSize += fi.Size;
    }

    CBoolVector skipArcs;
    for (unsigned i = 0; i < numArcs; i++)
        skipArcs.Add(false);

    CArchiveExtractCallback *ecs = new CArchiveExtractCallback;
    CMyComPtr<IArchiveExtractCallback> ec(ecs);
    const bool multi = (numArcs > 1);
    ecs->InitForMulti(multi, options.PathMode, options.OverwriteMode);
    if (hash) ecs->SetHashMethods(hash);

    if (multi) RINOK(extractCallback->SetTotal(totalPackSize));

    UInt64 totalPackProcessed = 0;
    bool thereAreNotOpenArchives = false;

    for (unsigned i = 0; i < numArcs; i++) {
        if (skipArcs[i]) continue;

        const UString arcPath = options.StdInMode ? UString() : arcPaths[i];
        NFind::CFileInfo fi;
        if (!options.StdInMode) {
            if (!fi.Find(arcPath, true) || fi.IsDir()) throw "there is no such archive";
        }

        RINOK(extractCallback->BeforeOpen(arcPath, options.TestMode));

        CArchiveLink arcLink;
        CObjectVector<COpenType> types2 = types;
        COpenOptions op;
        op.registry = codecs;
        op.requestedTypes = &types2;
        op.excludedFormatIndices = &excludedFormats;
        op.readStdIn = options.StdInMode;
        op.filePath = arcPath;
        op.handlerProps = &options.Properties;

        HRESULT result = arcLink.Open3(op, openCallback);
        if (result == E_ABORT) return result;
        if (result == S_OK && arcLink.failedOpenErrors.failedFormatIndex >= 0) result = S_FALSE;

        RINOK(extractCallback->OpenResult(codecs, arcLink, arcPath, result));

        if (result != S_OK) {
            thereAreNotOpenArchives = true;
            if (!options.StdInMode) {
                NFind::CFileInfo fi2;
                if (fi2.Find(arcPath, true) && !fi2.IsDir()) totalPackProcessed += fi2.Size;
            }
            continue;
        }

        if (!options.StdInMode) {
            // Volumes that this archive used are not opened again as archives of their own.
            Int64 correctionSize = (Int64)arcLink.volumeFilesSize;
            for (unsigned v = 0; v < arcLink.volumeFilePaths.Size(); v++) {
                const int index = Find_FileName_InSortedVector(arcPathsFull, arcLink.volumeFilePaths[v]);
                if (index >= 0 && (unsigned)index > i) {
                    skipArcs[(unsigned)index] = true;
                    correctionSize -= (Int64)arcSizes[(unsigned)index];
                }
            }
            if (correctionSize != 0) {
                Int64 newPackSize = (Int64)totalPackSize + correctionSize;
                if (newPackSize < 0) newPackSize = 0;
                totalPackSize = (UInt64)newPackSize;
                RINOK(extractCallback->SetTotal(totalPackSize));
            }
        }

        ecs->SetArcMTime((!options.StdInMode && !fi.IsDevice) ? &fi.MTime : nullptr);

        UInt64 packProcessed;
        const bool calcCrc = (hash != nullptr);
        RINOK(DecompressArchive(codecs, arcLink, fi.Size + arcLink.volumeFilesSize, wildcardCensor, options, calcCrc,
                                extractCallback, ecs, errorMessage, packProcessed));
        if (!options.StdInMode) packProcessed = fi.Size + arcLink.volumeFilesSize;
        totalPackProcessed += packProcessed;
        ecs->SetProgressBases(ecs->GetProgressInBase() + packProcessed, ecs->UnpackSize);
        if (!errorMessage.IsEmpty()) return E_FAIL;
    }

    if (multi || thereAreNotOpenArchives) {
        RINOK(extractCallback->SetTotal(totalPackSize));
        RINOK(extractCallback->SetCompleted(&totalPackProcessed));
    }

    st.NumFolders = ecs->NumFolders;
    st.NumFiles = ecs->NumFiles;
    st.NumAltStreams = ecs->NumAltStreams;
    st.UnpackSize = ecs->UnpackSize;
    st.AltStreams_UnpackSize = ecs->AltStreams_UnpackSize;
    st.NumWarnings = ecs->NumWarnings;
    st.NumArchives = arcPaths.Size();
    st.PackSize = ecs->GetProgressInBase();
    return S_OK;
}
