#include "Update.h"

#include <sys/stat.h>

#include <errno.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveExtractCallback.h"
#include "ArchiveTempFile.h"
#include "EnumDirItems.h"
#include "OutMultiVolStream.h"
#include "SelfArchiveFilter.h"
#include "TempFiles.h"
#include "UpdateCallback.h"
#include "UpdatePair.h"
#include "UpdateProduce.h"
#include "archive/common/CopyCoder.h"
#include "archive/common/FileStreams.h"
#include "archive/common/StreamUtils.h"
#include "archive/common/TailOutStream.h"
#include "common/IntToString.h"
#include "common/StringConvert.h"
#include "windows/DLL.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"
#include "windows/TimeUtils.h"

using namespace NWindows;
using namespace NWindows::NFile;

static const char *const kUpdateIsNotSupoorted = "update operations are not supported for this archive";

namespace {

// Tells the user interface about old items that the action set drops.
class CUpdateProduceCallbackImp : public IUpdateProduceCallback {
    const CObjectVector<CArcItem> *_arcItems;
    IUpdateCallbackUI *_callback;

public:
    CUpdateProduceCallbackImp(const CObjectVector<CArcItem> *a, IUpdateCallbackUI *callback)
        : _arcItems(a), _callback(callback) {}

    HRESULT ShowDeleteFile(unsigned arcIndex) override {
        const CArcItem &ai = (*_arcItems)[arcIndex];
        return _callback->ShowDeleteFile(ai.Name, ai.IsDir);
    }
};

struct CDirPathSortPair {
    unsigned Len; // the number of '/' in the path
    unsigned Index;

    int Compare(const CDirPathSortPair &a) const {
        // deepest first, then in list order
        if (Len < a.Len) return 1;
        if (Len > a.Len) return -1;
        if (Index < a.Index) return -1;
        if (Index > a.Index) return 1;
        return 0;
    }
};

int CompareDirPathSortPairs(const CDirPathSortPair *p1, const CDirPathSortPair *p2, void *) {
    return p1->Compare(*p2);
}

} // namespace

// A new name stays below the archive's root and names something.
static bool IsSafeNewName(const UString &name) {
    if (name.IsEmpty() || name[0] == L'/' || name[0] == L'\\') return false;
    bool somePart = false;
    unsigned start = 0;
    for (unsigned i = 0; i <= name.Len(); i++) {
        if (i != name.Len() && name[i] != L'/' && name[i] != L'\\') continue;
        const UString part = name.Mid(start, i - start);
        start = i + 1;
        if (part == L"..") return false;
        if (!part.IsEmpty() && part != L".") somePart = true;
    }
    return somePart;
}

static std::wstring NameKey(const UString &name) {
    std::wstring key(name.Ptr());
    while (key.size() > 1 && key.back() == L'/')
        key.pop_back();
    if (!g_CaseSensitive)
        for (wchar_t &c : key)
            c = MyCharUpper(c);
    return key;
}

// Renames never store a name that leaves the archive's root, nor give an item the name of another.
static HRESULT CheckNewNames(const CObjectVector<CArcItem> &arcItems, const CRecordVector<CUpdatePair2> &pairs,
                             const UStringVector &newNames, CUpdateErrorInfo &errorInfo) {
    FOR_VECTOR(i, newNames) {
        if (IsSafeNewName(newNames[i])) continue;
        errorInfo.Text = "The new name would leave the archive's root; choose a name inside the archive:";
        errorInfo.Paths.Add(newNames[i]);
        return E_INVALIDARG;
    }
    // Items that already share a name (a tar may hold several) are left as they are.
    std::map<std::wstring, std::pair<unsigned, bool>> names; // count, some of them renamed
    FOR_VECTOR(i, pairs) {
        const CUpdatePair2 &up = pairs[i];
        const bool renamed = up.RenameIndex >= 0;
        const UString &name = renamed ? newNames[(unsigned)up.RenameIndex] : arcItems[i].Name;
        std::pair<unsigned, bool> &e = names[NameKey(name)];
        e.first++;
        e.second = e.second || renamed;
        if (e.first > 1 && e.second) {
            errorInfo.Text = "An item of the new name is already in the archive; choose another name:";
            errorInfo.Paths.Add(name);
            return E_INVALIDARG;
        }
    }
    // Nor a file where items stay below a folder of that name (one the paths only imply too), nor items below a file.
    std::map<std::wstring, bool> kept; // name of an item that keeps its name, is a folder
    FOR_VECTOR(i, pairs) {
        if (pairs[i].RenameIndex < 0) kept[NameKey(arcItems[i].Name)] = arcItems[i].IsDir;
    }
    FOR_VECTOR(i, pairs) {
        if (pairs[i].RenameIndex < 0) continue;
        const UString &name = newNames[(unsigned)pairs[i].RenameIndex];
        const std::wstring key = NameKey(name) + L'/';
        const auto below = kept.lower_bound(key);
        bool taken = below != kept.end() && below->first.compare(0, key.size(), key) == 0;
        for (size_t k = 0; !taken && k + 1 < key.size(); k++) {
            if (key[k] != L'/') continue;
            const auto parent = kept.find(key.substr(0, k));
            taken = parent != kept.end() && !parent->second;
        }
        if (taken) {
            errorInfo.Text = "An item of the new name is already in the archive; choose another name:";
            errorInfo.Paths.Add(name);
            return E_INVALIDARG;
        }
    }
    return S_OK;
}

// What the user can do when the plug-in refuses a request it cannot carry out (yet).
static void ExplainRefusal(const CArcInfoEx &format, HRESULT result, bool passwordGiven, CUpdateErrorInfo &errorInfo) {
    if (!errorInfo.Text.IsEmpty()) return;
    const AString name = UnicodeStringToMultiByte(format.Name);
    if (result == E_INVALIDARG && (format.Flags & NArcInfoFlags::kKeepName) != 0) {
        errorInfo.Text = "A ";
        errorInfo.Text += name;
        errorInfo.Text += " file holds one file only, not folders or several files: create a .tar archive first, "
                          "then compress the .tar file into ";
        errorInfo.Text += name;
    } else if (result == E_NOTIMPL && passwordGiven) {
        errorInfo.Text = "A ";
        errorInfo.Text += name;
        errorInfo.Text += " archive cannot be protected with a password here: choose zip to encrypt the archive";
    }
}

// A name such as x.tar.gz or x.tgz says that the stream holds a tar.
static bool NamePromisesTar(const CArcInfoEx &format, const UString &path) {
    const int slash = path.ReverseFind_PathSepar();
    const UString name = path.Ptr((unsigned)(slash + 1));
    const int dot = name.ReverseFind_Dot();
    if (dot <= 0) return false;
    const int extIndex = format.FindExtension(UString(name.Ptr((unsigned)dot + 1)));
    if (extIndex >= 0 && !format.Exts[(unsigned)extIndex].PairedExt.IsEmpty()) return true;
    UString base;
    base.SetFrom(name, (unsigned)dot);
    return base.Len() > 4 && StringsAreEqualNoCase_Ascii(base.Ptr(base.Len() - 4), ".tar");
}

// A file named .tar, or one with the tar header's magic where it belongs.
static bool IsTarFile(const UString &path, const CDirItem &item) {
    if (item.Name.Len() > 4 && StringsAreEqualNoCase_Ascii(item.Name.Ptr(item.Name.Len() - 4), ".tar")) return true;
    // Only a regular file is looked into: opening a pipe would wait for a writer.
    struct stat st;
    if (stat(NName::GetOsPath(path), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    CInFileStream *inSpec = new CInFileStream;
    CMyComPtr<IInStream> in(inSpec);
    if (!inSpec->Open(path)) return false;
    Byte header[263];
    size_t size = sizeof(header);
    if (ReadStream(in, header, &size) != S_OK || size != sizeof(header)) return false;
    return memcmp(header + 257, "ustar", 5) == 0;
}

// Writes one output archive.
static HRESULT Compress(const CUpdateOptions &options, bool isUpdatingItself, CCodecs *codecs,
                        const NUpdateArchive::CActionSet &actionSet, const CArc *arc, CArchivePath &archivePath,
                        const CObjectVector<CArcItem> &arcItems, Byte *processedItemsStatuses,
                        const CDirItems &dirItems, const CDirItem *parentDirItem, CTempFiles &tempFiles,
                        CArchiveTempFile *tempFile, CUpdateErrorInfo &errorInfo, IUpdateCallbackUI *callback,
                        CFinishArchiveStat &st) {
    CMyComPtr<IOutArchive> outArchive;
    int formatIndex = options.Method.Format.formatIndex;
    if (arc) {
        formatIndex = arc->formatIndex;
        if (formatIndex < 0) return E_NOTIMPL;
        CMyComPtr<IInArchive> archive2 = arc->handler;
        if (archive2->QueryInterface(IID_IOutArchive, (void **)&outArchive) != S_OK) throw kUpdateIsNotSupoorted;
    } else {
        if (formatIndex < 0) throw kUpdateIsNotSupoorted;
        RINOK(codecs->CreateOutArchive((unsigned)formatIndex, outArchive))
        if (outArchive) {
            CMyComPtr<ISetCompressCodecsInfo> setCompressCodecsInfo;
            outArchive.QueryInterface(IID_ISetCompressCodecsInfo, &setCompressCodecsInfo);
            if (setCompressCodecsInfo) RINOK(setCompressCodecsInfo->SetCompressCodecsInfo(codecs))
        }
    }
    if (!outArchive) throw kUpdateIsNotSupoorted;

    UInt32 value = 0;
    RINOK(outArchive->GetTimeKind(&value))
    if (value > NFileTimeType::kDOS) return E_FAIL;
    const Int32 fileTimeType = (Int32)value;

    {
        const CArcInfoEx &arcInfo = codecs->Formats[(unsigned)formatIndex];
        if (options.KeepAltStreams.Val && (arcInfo.Flags & NArcInfoFlags::kAltStreams) == 0) return E_NOTIMPL;
        if (options.KeepNtSecurity.Val && (arcInfo.Flags & NArcInfoFlags::kNtSecure) == 0) return E_NOTIMPL;
    }

    CRecordVector<CUpdatePair2> updatePairs2;
    UStringVector newNames;

    if (options.Renames.IsEmpty()) {
        CRecordVector<CUpdatePair> updatePairs;
        CDirItemNames names;
        names.Fill(dirItems);
        GetUpdatePairInfoList(dirItems, arcItems, fileTimeType, updatePairs, &names);
        CUpdateProduceCallbackImp upCallback(&arcItems, callback);
        UpdateProduce(updatePairs, actionSet, updatePairs2, isUpdatingItself ? &upCallback : nullptr);
        CheckStoredNames(updatePairs2, dirItems, arcItems, &names);
    } else {
        for (unsigned i = 0; i < arcItems.Size(); i++) {
            const CArcItem &ai = arcItems[i];
            CUpdatePair2 up2;
            up2.HasNewData = false;
            up2.HasNewProps = false;
            up2.KeepArcProps = true;
            up2.ArchiveIndex = (Int32)ai.HandlerIndex;
            if (ai.Selected) {
                for (unsigned k = 0; k < options.Renames.Size(); k++) {
                    const CRenamePair &rp = options.Renames[k];
                    UString dest;
                    bool found = rp.GetNewPath(ai.IsDir, ai.Name, dest);
                    if (!found && ai.IsAltStream) {
                        const int colon = FindAltStreamColon_in_Path(ai.Name);
                        if (colon >= 0) {
                            UString mainName;
                            mainName.SetFrom(ai.Name, (unsigned)colon);
                            if (rp.GetNewPath(false, mainName, dest)) {
                                dest += L':';
                                dest += ai.Name.Ptr((unsigned)(colon + 1));
                                found = true;
                            }
                        }
                    }
                    if (found) {
                        up2.HasNewProps = true;
                        RINOK(Archive_GetItemBoolProp(arc->handler, ai.HandlerIndex, kpidIsAnti, up2.Anti))
                        up2.RenameIndex = (Int32)newNames.Size();
                        newNames.Add(dest);
                        break;
                    }
                }
            }
            updatePairs2.Add(up2);
        }
    }

    if (!options.Renames.IsEmpty())
        RINOK(CheckNewNames(arcItems, updatePairs2, newNames, errorInfo))

        {
            UInt64 numItems = 0;
            for (unsigned i = 0; i < updatePairs2.Size(); i++)
                if (updatePairs2[i].HasNewData) numItems++;
            RINOK(callback->SetNumItems(numItems))
        }

    CArchiveUpdateCallback *updateCallbackSpec = new CArchiveUpdateCallback;
    CMyComPtr<IArchiveUpdateCallback> updateCallback(updateCallbackSpec);
    updateCallbackSpec->OpenShared = options.OpenForWriteShare;
    updateCallbackSpec->FromStdIn = options.ReadStdIn;
    updateCallbackSpec->Callback = callback;
    if (arc) {
        updateCallbackSpec->Archive = arc->handler;
        updateCallbackSpec->Arc = arc;
    }
    updateCallbackSpec->DirItems = &dirItems;
    updateCallbackSpec->ParentDirItem = parentDirItem;
    updateCallbackSpec->WithNtSecurity = options.KeepNtSecurity.Val;
    {
        const UInt32 flags = codecs->Formats[(unsigned)formatIndex].Flags;
        // Hard links are asked for only where the format has them (tar): zip and 7z store copies.
        updateCallbackSpec->WithHardLinks = options.KeepHardLinks.Val && (flags & NArcInfoFlags::kHardLinks) != 0;
        updateCallbackSpec->FollowSymLinks = (flags & NArcInfoFlags::kSymLinks) == 0;
    }
    updateCallbackSpec->WithSymLinks = options.KeepSymLinks.Val;
    updateCallbackSpec->ArcItems = &arcItems;
    updateCallbackSpec->Records = &updatePairs2;
    updateCallbackSpec->ProcessedFlags = processedItemsStatuses;
    if (!options.Renames.IsEmpty()) updateCallbackSpec->NewNames = &newNames;

    CMyComPtr<IOutStream> outSeekStream;
    CMyComPtr<ISequentialOutStream> outStream;
    COutFileStream *outStreamSpec = nullptr;
    CStdOutFileStream *stdOutFileStreamSpec = nullptr;
    COutMultiVolStream *volStreamSpec = nullptr;

    if (options.ToStdOut) {
        if (!options.VolumeSizes.IsEmpty()) return E_FAIL;
        stdOutFileStreamSpec = new CStdOutFileStream;
        outStream = stdOutFileStreamSpec;
    } else {
        UString dirPrefix;
        if (!NDir::GetOnlyDirPrefix(archivePath.GetFinalPath(), dirPrefix)) throw 1417161;
        if (!dirPrefix.IsEmpty()) NDir::CreateComplexDir(dirPrefix);

        if (!options.VolumeSizes.IsEmpty()) {
            if (arc && arc->GetGlobalOffset() > 0) return E_NOTIMPL;
            volStreamSpec = new COutMultiVolStream;
            outSeekStream = volStreamSpec;
            outStream = outSeekStream;
            volStreamSpec->Sizes = options.VolumeSizes;
            volStreamSpec->Prefix = archivePath.GetFinalVolPath();
            volStreamSpec->Prefix += L'.';
            volStreamSpec->TempFiles = &tempFiles;
            volStreamSpec->Init();
        } else if (tempFile) {
            const UString finalPath = archivePath.GetFinalPath();
            UString failedPath;
            if (tempFile->Create(archivePath.TempFolder,
                                 finalPath.Ptr((unsigned)(finalPath.ReverseFind_PathSepar() + 1)), failedPath) != S_OK)
                return errorInfo.SetFromLastError("cannot open file", failedPath);
            outStreamSpec = tempFile->FileStream();
            outSeekStream = tempFile->Stream();
            outStream = outSeekStream;
        } else {
            outStreamSpec = new COutFileStream;
            outSeekStream = outStreamSpec;
            outStream = outSeekStream;
            const UString realPath = archivePath.GetFinalPath();
            if (!outStreamSpec->Create(realPath, false))
                return errorInfo.SetFromLastError("cannot open file", realPath);
            tempFiles.Paths.Add(realPath);
        }
    }

    RINOK(SetProperties(outArchive, options.Method.Props))

    if (options.MakeSfx) {
        CInFileStream *sfxStreamSpec = new CInFileStream;
        CMyComPtr<IInStream> sfxStream(sfxStreamSpec);
        if (!sfxStreamSpec->Open(options.SfxModulePath))
            return errorInfo.SetFromLastError("cannot open SFX module", options.SfxModulePath);

        CMyComPtr<ISequentialOutStream> sfxOutStream;
        COutFileStream *outStreamSpec2 = nullptr;
        if (options.VolumeSizes.IsEmpty())
            sfxOutStream = outStream;
        else {
            outStreamSpec2 = new COutFileStream;
            sfxOutStream = outStreamSpec2;
            const UString realPath = archivePath.GetFinalPath();
            if (!outStreamSpec2->Create(realPath, false))
                return errorInfo.SetFromLastError("cannot open file", realPath);
            // A failed run removes the stub together with the volumes.
            tempFiles.Paths.Add(realPath);
        }

        UInt64 sfxSize = 0;
        RINOK(sfxStreamSpec->GetSize(&sfxSize))
        RINOK(callback->WriteSfx(options.SfxModulePath, sfxSize))
        RINOK(NCompress::CopyStream(sfxStream, sfxOutStream, nullptr))
        if (outStreamSpec2) RINOK(outStreamSpec2->Close())
    }

    CMyComPtr<ISequentialOutStream> tailStream;
    if (options.MakeSfx || !arc || arc->handlerStreamOffset == 0)
        tailStream = outStream;
    else {
        // Bytes in front of the old archive (a stub, say) stay in front of the new one.
        if (!arc->subRangeStream) return E_FAIL;
        RINOK(arc->subRangeStream->Seek(0, STREAM_SEEK_SET, nullptr))
        RINOK(NCompress::CopyStream_ExactSize(arc->subRangeStream, outStream, arc->handlerStreamOffset, nullptr))
        if (options.ToStdOut)
            tailStream = outStream;
        else {
            CTailOutStream *tailStreamSpec = new CTailOutStream;
            tailStream = tailStreamSpec;
            tailStreamSpec->Stream = outSeekStream;
            tailStreamSpec->Offset = arc->handlerStreamOffset;
            tailStreamSpec->Init();
        }
    }

    const HRESULT result = outArchive->WriteArchive(tailStream, updatePairs2.Size(), updateCallback);
    if (result != S_OK) {
        ExplainRefusal(codecs->Formats[(unsigned)formatIndex], result, updateCallbackSpec->PasswordWasGiven, errorInfo);
        return result;
    }

    if (!updateCallbackSpec->AreAllFilesClosed()) {
        errorInfo.Text = "There are unclosed input file:";
        errorInfo.Paths = updateCallbackSpec->GetOpenPaths();
        return E_FAIL;
    }

    if (options.StampArchiveTime) {
        FILETIME ft;
        ft.dwLowDateTime = 0;
        ft.dwHighDateTime = 0;
        for (unsigned i = 0; i < updatePairs2.Size(); i++) {
            const CUpdatePair2 &pair2 = updatePairs2[i];
            const FILETIME *ft2 = nullptr;
            if (pair2.HasNewProps && pair2.DiskIndex >= 0)
                ft2 = &dirItems.Items[(unsigned)pair2.DiskIndex].MTime;
            else if (pair2.KeepArcProps && pair2.ArchiveIndex >= 0)
                ft2 = &arcItems[(unsigned)pair2.ArchiveIndex].MTime;
            if (ft2 && ::CompareFileTime(&ft, ft2) < 0) ft = *ft2;
        }
        if (ft.dwLowDateTime != 0 || ft.dwHighDateTime != 0) {
            if (outStreamSpec) outStreamSpec->SetMTime(&ft);
            if (volStreamSpec) volStreamSpec->SetMTime(&ft);
        }
    }

    if (outStreamSpec) {
        UInt64 size = 0;
        if (outStreamSpec->GetSize(&size) == S_OK) st.ArchiveSize = size;
        // The temporary file stays open until it is put in place: closed, an unnamed one is gone.
        return tempFile ? S_OK : outStreamSpec->Close();
    }
    if (stdOutFileStreamSpec) {
        st.ArchiveSize = stdOutFileStreamSpec->GetSize();
        return S_OK;
    }
    if (volStreamSpec) {
        st.ArchiveSize = volStreamSpec->GetSize();
        return volStreamSpec->Close();
    }
    return S_OK;
}

static HRESULT EnumerateInArchiveItems(const NWildcard::CCensor &censor, const CArc &arc,
                                       CObjectVector<CArcItem> &arcItems) {
    arcItems.Clear();
    UInt32 numItems = 0;
    IInArchive *archive = arc.handler;
    RINOK(archive->GetNumberOfItems(&numItems))
    arcItems.ClearAndReserve(numItems);

    CReadArcItem item;
    for (UInt32 i = 0; i < numItems; i++) {
        CArcItem ai;
        RINOK(arc.GetItem(i, item))
        ai.Name = item.itemPath;
        ai.IsDir = item.isDir;
        ai.IsAltStream = item.isAltStream;

        ai.Selected = false;
        for (unsigned k = 0; k < censor.Pairs.Size(); k++) {
            bool include;
            if (CensorNode_CheckPath2(censor.Pairs[k].Head, item, include)) {
                if (!include) {
                    ai.Selected = false;
                    break;
                }
                ai.Selected = true;
            }
        }

        RINOK(arc.GetItemMTime(i, ai.MTime, ai.HasMTime))
        RINOK(arc.GetItemSize(i, ai.Size, ai.HasSize)) {
            NCOM::CPropVariant prop;
            RINOK(archive->GetProperty(i, kpidTimeType, &prop))
            if (prop.vt == VT_UI4) {
                ai.TimeType = (Int32)prop.ulVal;
                if (prop.ulVal > NFileTimeType::kDOS) return E_FAIL;
            }
        }
        ai.HandlerIndex = i;
        arcItems.AddInReserved(ai);
    }
    return S_OK;
}

// Whether the source at path may go: only what the new archive really holds.
static bool IsStoredInArchive(const CDirItem &di, Byte flag, const UString &path) {
    if (flag == kProcessed_Opened) return true;
    if (flag != kProcessed_None || di.Size != 0) return false;
    // Never opened and empty when scanned: the record stored it as empty, unless it has grown since.
    NFind::CFileInfo fi;
    return fi.Find(path) && !fi.IsDir() && fi.Size == 0;
}

HRESULT UpdateArchive(CCodecs *codecs, const CObjectVector<COpenType> &types, const UString &cmdArcPath2,
                      NWildcard::CCensor &censor, CUpdateOptions &options, CUpdateErrorInfo &errorInfo,
                      IOpenCallbackUI *openCallback, IUpdateCallbackUI2 *callback, bool needSetPath) {
    if (options.ToStdOut && options.MailMode) return E_FAIL;
    if (types.Size() > 1) return E_NOTIMPL;

    const bool renameMode = !options.Renames.IsEmpty();
    if (renameMode && options.Outputs.Size() != 1) return E_FAIL;

    if (options.DeleteSourcesAfter) {
        if (options.Outputs.Size() != 1) return E_NOTIMPL;
        const NUpdateArchive::CActionSet &as = options.Outputs[0].Actions;
        for (unsigned i = NUpdateArchive::kPairDiskOnly; i < NUpdateArchive::kNumPairStates; i++)
            if (as.StateActions[i] != NUpdateArchive::kActionCompress) return E_NOTIMPL;
    }

    censor.AddPathsToCensor(options.CensorPathMode);
    censor.ExtendExclude();

    if (!options.VolumeSizes.IsEmpty() && options.MailMode) return E_NOTIMPL;

    if (options.MakeSfx) {
        CProperty property;
        property.Name = L"rsfx";
        options.Method.Props.Add(property);
        if (options.SfxModulePath.IsEmpty()) {
            errorInfo.Text = "SFX file is not specified";
            return E_FAIL;
        }
        bool found = false;
        if (options.SfxModulePath.Find(L'/') < 0) {
            const UString fullName = NDLL::GetModuleDirPrefix() + options.SfxModulePath;
            if (NFind::DoesFileExist(fullName)) {
                options.SfxModulePath = fullName;
                found = true;
            }
        }
        if (!found && !NFind::DoesFileExist(options.SfxModulePath))
            return errorInfo.SetFromLastError("cannot find specified SFX module", options.SfxModulePath);
    }

    CArchiveLink arcLink;

    if (needSetPath) {
        if (!options.InitFormatIndex(codecs, types, cmdArcPath2) || !options.SetArcPath(codecs, cmdArcPath2))
            return E_NOTIMPL;
    }

    UString arcPath = options.ArcPath.GetFinalPath();

    if (cmdArcPath2.IsEmpty()) {
        if (options.Method.Format.formatIndex < 0) throw "type of archive is not specified";
    } else {
        NFind::CFileInfo fi;
        // The archive's own name: "*" and "?" in it are characters, not a search.
        if (!NFind::FindExactPath(arcPath, fi, NFind::ELinkRule::kByGlobalFlag)) {
            if (renameMode) throw "can't find archive";
            if (options.Method.Format.formatIndex < 0) {
                if (!options.SetArcPath(codecs, cmdArcPath2)) return E_NOTIMPL;
            }
        } else {
            if (fi.IsDir()) throw "there is no such archive";
            if (fi.IsDevice) return E_NOTIMPL;
            if (!options.VolumeSizes.IsEmpty()) return E_NOTIMPL;

            // A single-stream format is opened without the type, so that a tar inside is found and refused below.
            CObjectVector<COpenType> types2;
            if (options.Method.HasType &&
                (options.Method.Format.formatIndex < 0 ||
                 (codecs->Formats[(unsigned)options.Method.Format.formatIndex].Flags & NArcInfoFlags::kKeepName) == 0))
                types2.Add(options.Method.Format);
            CIntVector excl;

            COpenOptions op;
            op.registry = codecs;
            op.requestedTypes = &types2;
            op.excludedFormatIndices = &excl;
            op.readStdIn = false;
            op.filePath = arcPath;
            op.handlerProps = &options.Method.Props;

            RINOK(callback->StartOpenArchive(arcPath))

            HRESULT result = arcLink.Open3(op, openCallback);
            if (result == E_ABORT) return result;
            if (result == S_OK && arcLink.failedOpenErrors.failedFormatIndex >= 0) result = S_FALSE;
            // A single-stream file that opened but whose content (a tar) does not open as the type
            // asked for: a compressed tar, which cannot be updated in place. Say so, not "no archive".
            if (result == S_FALSE && arcLink.levels.Size() == 1 && arcLink.levels[0].formatIndex >= 0) {
                const CArcInfoEx &outer = codecs->Formats[(unsigned)arcLink.levels[0].formatIndex];
                if ((outer.Flags & NArcInfoFlags::kKeepName) != 0) {
                    errorInfo.Text = "A compressed tar (";
                    errorInfo.Text += UnicodeStringToMultiByte(outer.Name);
                    errorInfo.Text += ") cannot be updated: extract it, change the files and compress them into a new "
                                      "archive";
                    errorInfo.Paths.Add(arcPath);
                    return E_NOTIMPL;
                }
            }

            const HRESULT res2 = callback->OpenResult(codecs, arcLink, arcPath, result);
            if (res2 != S_OK) return res2;
            RINOK(result)

            if (arcLink.volumeFilePaths.Size() > 1) {
                errorInfo.ErrorNumber = (DWORD)E_NOTIMPL;
                errorInfo.Text = "Updating for multivolume archives is not implemented";
                return E_NOTIMPL;
            }

            if (arcLink.levels.Size() > 1) {
                // Only the innermost archive would be written: a tar.gz would become a plain tar.
                const auto formatName = [&](const CArc &level) {
                    return level.formatIndex < 0
                               ? AString("archive")
                               : UnicodeStringToMultiByte(codecs->Formats[(unsigned)level.formatIndex].Name);
                };
                const AString inner = formatName(arcLink.levels.Back());
                const AString outer = formatName(arcLink.levels[arcLink.levels.Size() - 2]);
                errorInfo.ErrorNumber = (DWORD)E_NOTIMPL;
                errorInfo.Text = "The archive is a ";
                errorInfo.Text += inner;
                errorInfo.Text += " compressed with ";
                errorInfo.Text += outer;
                errorInfo.Text += ", which cannot be updated in place: update the ";
                errorInfo.Text += inner;
                errorInfo.Text += " archive first, then compress it into ";
                errorInfo.Text += outer;
                errorInfo.Paths.Add(arcPath);
                return E_NOTIMPL;
            }

            CArc &arc = arcLink.levels.Back();
            arc.itemTime = fi.MTime;
            arc.itemTimeDefined = !fi.IsDevice;

            if (arc.openErrors.hasTail) {
                errorInfo.ErrorNumber = (DWORD)E_NOTIMPL;
                errorInfo.Text = "There is some data block after the end of the archive";
                return E_NOTIMPL;
            }
            if (options.Method.Format.formatIndex < 0) {
                options.Method.Format.formatIndex = arc.formatIndex;
                if (!options.SetArcPath(codecs, cmdArcPath2)) return E_NOTIMPL;
            }
        }
    }

    if (options.Method.Format.formatIndex < 0) {
        options.Method.Format.formatIndex = codecs->FindFormatForArchiveType(UString(L"7z"));
        if (options.Method.Format.formatIndex < 0) return E_NOTIMPL;
    }

    const bool thereIsInArchive = arcLink.isOpen;
    if (!thereIsInArchive && renameMode) return E_FAIL;

    CDirItems dirItems;
    dirItems.Callback = callback;

    CDirItem parentDirItem;
    CDirItem *parentDirItem_Ptr = nullptr;

    if (options.ReadStdIn) {
        CDirItem di;
        di.Name = options.StdInItemName;
        di.Size = (UInt64)(Int64)-1;
        di.Attrib = 0;
        NTime::GetCurUtcFileTime(di.MTime);
        di.CTime = di.ATime = di.MTime;
        dirItems.Items.Add(di);
    } else if (!renameMode) {
        bool needScanning = false;
        for (unsigned i = 0; i < options.Outputs.Size(); i++)
            if (options.Outputs[i].Actions.NeedScanning()) needScanning = true;
        if (needScanning) {
            RINOK(callback->StartScanning())
            dirItems.SymLinks = options.KeepSymLinks.Val;
            dirItems.ScanAltStreams = options.KeepAltStreams.Val;
            HRESULT res = EnumerateItems(censor, options.CensorPathMode, options.PathPrefixToAdd, dirItems);
            // A format that cannot hold a link stores what the link points to.
            if (res == S_OK &&
                (codecs->Formats[(unsigned)options.Method.Format.formatIndex].Flags & NArcInfoFlags::kSymLinks) == 0)
                res = dirItems.FollowSymLinks();
            if (res != S_OK) {
                if (res != E_ABORT) errorInfo.Text = "Scanning error";
                return res;
            }
            // The archive being replaced is never stored in itself, so move mode never deletes it either.
            if (thereIsInArchive && !options.ToStdOut) {
                UStringVector self;
                self.Add(arcPath);
                RemoveFilesFromDirItems(dirItems, self);
            }
            RINOK(callback->FinishScanning(dirItems.Stat))
            // Every named input was missing or unreadable: a new archive would hold nothing, so
            // none is made (the scan errors have already been reported).
            if (!thereIsInArchive && dirItems.Items.IsEmpty() && dirItems.Stat.NumErrors != 0) {
                errorInfo.ErrorNumber = ENOENT;
                errorInfo.Text = "No files were found to add";
                return errorInfo.Get_HRESULT_Error();
            }

            if (censor.Pairs.Size() == 1) {
                NFind::CFileInfo fi;
                UString prefix = censor.Pairs[0].Prefix;
                prefix += L'.';
                if (fi.Find(prefix) && fi.IsDir()) {
                    parentDirItem.Size = fi.Size;
                    parentDirItem.CTime = fi.CTime;
                    parentDirItem.ATime = fi.ATime;
                    parentDirItem.MTime = fi.MTime;
                    parentDirItem.Attrib = fi.Attrib;
                    parentDirItem.SecureIndex = -1;
                    parentDirItem_Ptr = &parentDirItem;
                }
            }
        }
    }

    if (!thereIsInArchive && !options.ReadStdIn && dirItems.Items.Size() == 1 && !dirItems.Items[0].IsDir()) {
        // One file in a single-stream format named like a compressed tar: the name would promise a tar that is not
        // there. Folders and several files are refused by the writer itself.
        const CArcInfoEx &format = codecs->Formats[(unsigned)options.Method.Format.formatIndex];
        if ((format.Flags & NArcInfoFlags::kKeepName) != 0 && NamePromisesTar(format, arcPath) &&
            !IsTarFile(dirItems.GetPhyPath(0), dirItems.Items[0])) {
            const AString name = UnicodeStringToMultiByte(format.Name);
            errorInfo.Text = "The archive's name asks for a tar compressed with ";
            errorInfo.Text += name;
            errorInfo.Text += ", but the input is not a tar: create a .tar archive first, then compress the .tar file "
                              "into ";
            errorInfo.Text += name;
            errorInfo.Paths.Add(arcPath);
            return E_INVALIDARG;
        }
    }

    bool usesTempDir = false;

    if (!options.ToStdOut && options.ReplaceSource && !options.Outputs.IsEmpty()) {
        CArchivePath &ap = options.Outputs[0].ArcPath;
        ap = options.ArcPath;
        // A new archive too: a run that is killed leaves nothing under the archive's name.
        if (options.VolumeSizes.IsEmpty()) {
            usesTempDir = true;
            ap.UseTemp = true;
            ap.TempFolder = options.WorkFolder.IsEmpty() ? ap.Folder : options.WorkFolder;
            NName::NormalizeDirPathPrefix(ap.TempFolder);
        }
    }

    // Further outputs are new archives, written beside their final names as well.
    if (!options.ToStdOut && options.VolumeSizes.IsEmpty()) {
        for (unsigned i = usesTempDir ? 1 : 0; i < options.Outputs.Size(); i++) {
            CArchivePath &ap = options.Outputs[i].ArcPath;
            ap.UseTemp = true;
            ap.TempFolder = ap.Folder;
            NName::NormalizeDirPathPrefix(ap.TempFolder);
        }
    }

    if (!options.ToStdOut) {
        for (unsigned i = 0; i < options.Outputs.Size(); i++) {
            if (i == 0 && usesTempDir && thereIsInArchive) continue;
            const UString path = options.Outputs[i].ArcPath.GetFinalPath();
            if (NFind::DoesFileOrDirExist(path)) {
                errorInfo.ErrorNumber = EEXIST;
                errorInfo.Text = "The file already exists";
                errorInfo.Paths.Add(path);
                return errorInfo.Get_HRESULT_Error();
            }
        }
    }

    CObjectVector<CArcItem> arcItems;
    if (thereIsInArchive) RINOK(EnumerateInArchiveItems(censor, *arcLink.GetArc(), arcItems))

    CByteVector processedItems;
    if (options.DeleteSourcesAfter && dirItems.Items.Size() != 0) {
        processedItems.ClearAndSetSize(dirItems.Items.Size());
        memset(&processedItems[0], 0, processedItems.Size());
    }

    CTempFiles tempFiles;
    std::vector<std::unique_ptr<CArchiveTempFile>> outFiles(options.Outputs.Size());

    for (unsigned i = 0; i < options.Outputs.Size(); i++) {
        const CArc *arc = thereIsInArchive ? arcLink.GetArc() : nullptr;
        CUpdateArchiveCommand &command = options.Outputs[i];
        UString name;
        bool isUpdating;
        if (options.ToStdOut) {
            name = L"stdout";
            isUpdating = thereIsInArchive;
        } else {
            name = command.ArcPath.GetFinalPath();
            isUpdating = (i == 0 && options.ReplaceSource && thereIsInArchive);
        }
        RINOK(callback->StartArchive(name, isUpdating))

        CFinishArchiveStat st;
        if (!options.ToStdOut && command.ArcPath.UseTemp) outFiles[i].reset(new CArchiveTempFile);
        RINOK(Compress(options, isUpdating, codecs, command.Actions, arc, command.ArcPath, arcItems,
                       processedItems.IsEmpty() ? nullptr : &processedItems[0], dirItems, parentDirItem_Ptr, tempFiles,
                       outFiles[i].get(), errorInfo, callback, st))
        RINOK(callback->FinishArchive(st))
    }

    if (thereIsInArchive) {
        RINOK(arcLink.Close())
        arcLink.Release();
    }

    // Everything written so far stays from here on.
    tempFiles.Paths.Clear();

    for (unsigned i = 0; i < options.Outputs.Size(); i++) {
        if (!outFiles[i]) continue;
        CArchiveTempFile &file = *outFiles[i];
        const UString finalPath = options.Outputs[i].ArcPath.GetFinalPath();
        // One rename replaces the old archive, so it is never missing or half-written; when that
        // fails the old archive is as it was.
        const bool replace = i == 0 && usesTempDir && thereIsInArchive;
        if (file.Commit(finalPath, replace) != S_OK) {
            errorInfo.SetFromLastError(replace ? "cannot move the file; the archive is unchanged"
                                               : "cannot move the file");
            // A named temporary file whose rename failed is kept, complete, and named to the user.
            if (!file.NamedPath().IsEmpty() && NFind::DoesFileExist(file.NamedPath())) {
                errorInfo.Paths.Add(file.NamedPath());
                file.Keep();
            }
            errorInfo.Paths.Add(finalPath);
            return errorInfo.Get_HRESULT_Error();
        }
    }

    if (options.DeleteSourcesAfter && !processedItems.IsEmpty()) {
        CRecordVector<CDirPathSortPair> pairs;
        for (unsigned i = 0; i < dirItems.Items.Size(); i++) {
            const CDirItem &dirItem = dirItems.Items[i];
            const UString phyPath = dirItems.GetPhyPath(i);
            if (dirItem.IsDir()) {
                CDirPathSortPair pair;
                pair.Index = i;
                pair.Len = 0;
                for (unsigned k = 0; k < phyPath.Len(); k++)
                    if (phyPath[k] == L'/') pair.Len++;
                pairs.Add(pair);
            } else if (IsStoredInArchive(dirItem, processedItems[i], phyPath)) {
                RINOK(callback->DeletingAfterArchiving(phyPath, false))
                NDir::DeleteFileAlways(phyPath);
            }
        }
        pairs.Sort(CompareDirPathSortPairs, nullptr);
        for (unsigned i = 0; i < pairs.Size(); i++) {
            const UString phyPath = dirItems.GetPhyPath(pairs[i].Index);
            if (NFind::DoesDirExist(phyPath)) {
                RINOK(callback->DeletingAfterArchiving(phyPath, true))
                NDir::RemoveDir(phyPath);
            }
        }
        RINOK(callback->FinishDeletingAfterArchiving())
    }

    return S_OK;
}
