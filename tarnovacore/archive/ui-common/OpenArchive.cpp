#include "OpenArchive.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ArchiveOpenCallback.h"
#include "ArchiveOpenCallbackOffset.h"
#include "DefaultName.h"
#include "ExtractCallbackToOpenCallback.h"
#include "ExtractingFilePath.h"
#include "ParserHandler.h"
#include "archive/common/FileStreams.h"
#include "archive/common/LimitedStreams.h"
#include "archive/common/StreamUtils.h"
#include "archive/common/TailInStream.h"
#include "windows/PropVariantConv.h"

using namespace NWindows;

static const UInt64 kMaxCheckStartPosition = 1 << 23; // 8 MiB
static const size_t kStartBufSize = 1 << 20;          // what the start pass looks at
static const size_t kScanBufSize = 1 << 22;           // the window of the signature scan
static const size_t kBeforeSize = 1 << 16;            // kept before the scan position
static const size_t kAfterSize = 1 << 20;             // wanted after the scan position
static const UInt64 kProgressStep = 1 << 23;
static const unsigned kNoSig = 0xFF;

// Formats whose signature is trusted even when their record gives no flags of its own.
static const char *const kTrustedSignatureFormats[] = {"7z",  "xz",  "rar", "bzip2", "gzip",
                                                       "cab", "wim", "rpm", "vhd",   "xar"};
// Executable containers that may stand in front of an archive.
static const char *const kPreArcFormats[] = {"pe", "elf", "macho", "mub", "te"};

static inline UInt16 GetUi16(const Byte *p) {
    return (UInt16)(p[0] | ((UInt16)p[1] << 8));
}

void CArcErrorInfo::ClearErrors() {
    hasTail = false;
    endBeyondData = false;
    tailIsZeros = false;
    errorFlagsKnown = false;
    errorFlags = 0;
    warningFlags = 0;
    tailLength = 0;
    errorText.Empty();
    warningText.Empty();
}

CArc::CArc()
    : formatIndex(-1), itemIndexInParent(-1), itemTimeDefined(false), startOffset(0), physicalSize(0),
      physicalSizeDefined(false), inputSize(0), availableSize(0), handlerStreamOffset(0), handlerStartLimit(0),
      isParserLevel(false), isTreeArchive(false), readOnlyArchive(false), mayHaveDeleted(false),
      mayHaveAltStreams(false), mayHaveAux(false), mayHaveINodes(false), skipSplitFormat(false) {
    itemTime.dwLowDateTime = 0;
    itemTime.dwHighDateTime = 0;
}

UInt32 GetOpenArcErrorFlags(const NCOM::CPropVariant &prop, bool *isDefinedProp) {
    if (isDefinedProp) *isDefinedProp = false;
    switch (prop.vt) {
    case VT_UI8:
        if (isDefinedProp) *isDefinedProp = true;
        return (UInt32)prop.uhVal.QuadPart;
    case VT_UI4:
        if (isDefinedProp) *isDefinedProp = true;
        return prop.ulVal;
    case VT_EMPTY:
        return 0;
    default:
        throw 151199;
    }
}

static bool IsNameInList(const UString &name, const char *const *list, unsigned count) {
    for (unsigned i = 0; i < count; i++)
        if (StringsAreEqualNoCase_Ascii(name, list[i])) return true;
    return false;
}

bool IsPreArcFormat(const CArcInfoEx &ai) {
    if (ai.Flags & NArcInfoFlags::kPreArc) return true;
    return IsNameInList(ai.Name, kPreArcFormats, ARRAY_SIZE(kPreArcFormats));
}

static bool IsTrustedSignatureFormat(const CArcInfoEx &ai) {
    if (ai.FlagsDefined) return true;
    return IsNameInList(ai.Name, kTrustedSignatureFormats, ARRAY_SIZE(kTrustedSignatureFormats));
}

int FindFormatForArchiveType(CCodecs *codecs, CIntVector orderIndices, const char *name) {
    FOR_VECTOR(i, orderIndices)
    if (StringsAreEqualNoCase_Ascii(codecs->Formats[orderIndices[i]].Name, name)) return (int)i;
    return -1;
}

static bool SignatureMatchesData(const CByteBuffer &sig, const Byte *data, size_t dataSize) {
    return sig.Size() != 0 && sig.Size() <= dataSize && memcmp(sig, data, sig.Size()) == 0;
}

void MakeCheckOrder(CCodecs *codecs, CIntVector &orderIndices, unsigned numTypes, CIntVector &orderIndices2,
                    const Byte *data, size_t dataSize) {
    for (unsigned i = 0; i < numTypes; i++) {
        const int index = orderIndices[i];
        if (index < 0) continue;
        const CArcInfoEx &ai = codecs->Formats[(unsigned)index];
        bool move = false;
        if (!data) {
            move = ai.SignatureOffset != 0 || ai.Signatures.IsEmpty();
            FOR_VECTOR(k, ai.Signatures)
            if (ai.Signatures[k].Size() == 0) move = true;
        } else if (ai.SignatureOffset == 0) {
            FOR_VECTOR(k, ai.Signatures)
            if (SignatureMatchesData(ai.Signatures[k], data, dataSize)) {
                move = true;
                break;
            }
        }
        if (move) {
            orderIndices2.Add(index);
            orderIndices[i] = -1;
        }
    }
}

HRESULT OpenArchiveSpec(IInArchive *archive, bool needPhySize, IInStream *stream, const UInt64 *startLimit,
                        IArchiveOpenCallback *openCallback, IArchiveExtractCallback *extractCallback) {
    RINOK(archive->Open(stream, startLimit, openCallback));
    if (needPhySize) {
        NCOM::CPropVariant prop;
        RINOK(archive->GetArchiveProperty(kpidPhySize, &prop));
        if (prop.vt == VT_EMPTY) {
            NCOM::CPropVariant prop2;
            RINOK(archive->GetArchiveProperty(kpidPhySizeCantBeDetected, &prop2));
            const bool cantBeDetected = prop2.vt == VT_BOOL && prop2.boolVal != VARIANT_FALSE;
            if (!cantBeDetected) RINOK(archive->Extract(nullptr, (UInt32)(Int32)-1, 1, extractCallback));
        }
    }
    return S_OK;
}

// 32- or 64-bit integers, signed or unsigned; empty is "not defined"; anything else E_FAIL.
static HRESULT Archive_GetArcProp_Int(IInArchive *archive, PROPID propID, Int64 &value, bool &defined) {
    defined = false;
    NCOM::CPropVariant prop;
    RINOK(archive->GetArchiveProperty(propID, &prop));
    switch (prop.vt) {
    case VT_UI4:
        value = (Int64)prop.ulVal;
        break;
    case VT_I4:
        value = (Int64)prop.lVal;
        break;
    case VT_UI8:
        value = (Int64)prop.uhVal.QuadPart;
        break;
    case VT_I8:
        value = prop.hVal.QuadPart;
        break;
    case VT_EMPTY:
        return S_OK;
    default:
        return E_FAIL;
    }
    defined = true;
    return S_OK;
}

static HRESULT Archive_GetArcProp_Bool(IInArchive *archive, PROPID propID, bool &result) {
    NCOM::CPropVariant prop;
    result = false;
    RINOK(archive->GetArchiveProperty(propID, &prop));
    if (prop.vt == VT_BOOL)
        result = prop.boolVal != VARIANT_FALSE;
    else if (prop.vt != VT_EMPTY)
        return E_FAIL;
    return S_OK;
}

static void ReadErrorText(const NCOM::CPropVariant &prop, UString &text, const wchar_t *unknownText) {
    if (prop.vt == VT_BSTR)
        text.SetFromBstr(prop.bstrVal);
    else if (prop.vt != VT_EMPTY)
        text = unknownText;
}

HRESULT CArc::ReadBasicProps(IInArchive *archive, UInt64 startPosition, HRESULT openResult) {
    physicalSizeDefined = false;
    physicalSize = 0;
    startOffset = 0;
    availableSize = inputSize > startPosition ? inputSize - startPosition : 0;
    openErrors.ClearErrors();
    {
        NCOM::CPropVariant prop;
        RINOK(archive->GetArchiveProperty(kpidErrorFlags, &prop));
        openErrors.errorFlags = GetOpenArcErrorFlags(prop, &openErrors.errorFlagsKnown);
    }
    {
        NCOM::CPropVariant prop;
        RINOK(archive->GetArchiveProperty(kpidWarningFlags, &prop));
        openErrors.warningFlags = GetOpenArcErrorFlags(prop);
    }
    {
        NCOM::CPropVariant prop;
        RINOK(archive->GetArchiveProperty(kpidError, &prop));
        ReadErrorText(prop, openErrors.errorText, L"Unknown error");
    }
    {
        NCOM::CPropVariant prop;
        RINOK(archive->GetArchiveProperty(kpidWarning, &prop));
        ReadErrorText(prop, openErrors.warningText, L"Unknown warning");
    }
    if (openResult == S_OK || openErrors.IsArc_After_NonOpen()) {
        Int64 phy = 0;
        RINOK(Archive_GetArcProp_Int(archive, kpidPhySize, phy, physicalSizeDefined));
        physicalSize = (UInt64)phy;
        bool offsetDefined;
        RINOK(Archive_GetArcProp_Int(archive, kpidOffset, startOffset, offsetDefined));
        const UInt64 globalOffset = startPosition + (UInt64)startOffset;
        availableSize = inputSize > globalOffset ? inputSize - globalOffset : 0;
        if (physicalSizeDefined) {
            const UInt64 endPos = globalOffset + physicalSize;
            if (endPos < inputSize) {
                availableSize = physicalSize;
                openErrors.hasTail = true;
                openErrors.tailLength = inputSize - endPos;
            } else if (endPos > inputSize) {
                openErrors.endBeyondData = true;
            }
        }
    }
    return S_OK;
}

HRESULT CArc::CheckZerosTail(const COpenOptions &op, UInt64 offset) {
    if (!op.inputStream) return S_OK;
    RINOK(op.inputStream->Seek((Int64)offset, STREAM_SEEK_SET, nullptr));
    const UInt32 kBufSize = 1 << 11;
    Byte buf[kBufSize];
    for (;;) {
        UInt32 processed = 0;
        RINOK(op.inputStream->Read(buf, kBufSize, &processed));
        if (processed == 0) {
            openErrors.tailIsZeros = true;
            return S_OK;
        }
        for (UInt32 i = 0; i < processed; i++)
            if (buf[i] != 0) return S_OK;
    }
}

HRESULT CArc::PrepareToOpen(const COpenOptions &op, unsigned format, CMyComPtr<IInArchive> &archive) {
    archive.Release();
    CMyComPtr<IInArchive> archive2;
    try {
        RINOK(op.registry->CreateInArchive(format, archive2));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (!archive2) return S_OK;
    const CArcInfoEx &ai = op.registry->Formats[format];
    if (op.registry->PassCodecsToLibs && ai.LibIndex >= 0 && !op.registry->Libs[(unsigned)ai.LibIndex].SetCodecs) {
        CMyComPtr<ISetCompressCodecsInfo> setCompressCodecsInfo;
        archive2.QueryInterface(IID_ISetCompressCodecsInfo, &setCompressCodecsInfo);
        if (setCompressCodecsInfo) RINOK(setCompressCodecsInfo->SetCompressCodecsInfo(op.registry));
    }
    if (ai.Flags & NArcInfoFlags::kPreArc) {
        CMyComPtr<IArchiveAllowTail> allowTail;
        archive2.QueryInterface(IID_IArchiveAllowTail, &allowTail);
        if (allowTail) allowTail->SetTailAllowed(1);
    }
    if (op.handlerProps) RINOK(SetProperties(archive2, *op.handlerProps));
    archive = archive2;
    return S_OK;
}

static const COpenAcceptFlags &ChooseAcceptFlags(const COpenType &type, bool isForced, bool isMain, bool isUnknownExt) {
    if (isForced) return type.specForced;
    if (isMain) return type.specMain;
    return isUnknownExt ? type.specUnknownExt : type.specWrongExt;
}

// What the parser lists about one archive found inside the file.
static HRESULT ReadParseItemProps(IInArchive *archive, const CArcInfoEx &ai, NArchive::NParser::CParseItem &pi) {
    pi.extension = ai.GetMainExt();
    pi.timeDefined = false;
    pi.formatName = ai.Name;
    RINOK(Archive_GetArcProp_Bool(archive, kpidIsNotArcType, pi.notArchiveType));
    pi.isStub = (ai.Flags & NArcInfoFlags::kPreArc) != 0;
    {
        NCOM::CPropVariant prop;
        RINOK(archive->GetArchiveProperty(kpidMTime, &prop));
        if (prop.vt == VT_FILETIME) {
            pi.time = prop.filetime;
            pi.timeDefined = true;
        } else {
            NCOM::CPropVariant prop2;
            RINOK(archive->GetArchiveProperty(kpidCTime, &prop2));
            if (prop2.vt == VT_FILETIME) {
                pi.time = prop2.filetime;
                pi.timeDefined = true;
            }
        }
    }
    {
        NCOM::CPropVariant prop;
        RINOK(archive->GetArchiveProperty(kpidName, &prop));
        if (prop.vt == VT_BSTR) {
            pi.name.SetFromBstr(prop.bstrVal);
            pi.extension.Empty();
        } else {
            NCOM::CPropVariant prop2;
            RINOK(archive->GetArchiveProperty(kpidExtension, &prop2));
            if (prop2.vt == VT_BSTR) pi.extension.SetFromBstr(prop2.bstrVal);
        }
    }
    {
        NCOM::CPropVariant prop;
        RINOK(archive->GetArchiveProperty(kpidShortComment, &prop));
        if (prop.vt == VT_BSTR) pi.comment.SetFromBstr(prop.bstrVal);
    }
    UInt32 numItems = 0;
    RINOK(archive->GetNumberOfItems(&numItems));
    for (UInt32 i = 0; i < numItems; i++) {
        {
            NCOM::CPropVariant prop;
            UInt64 size = 0;
            if (archive->GetProperty(i, kpidSize, &prop) == S_OK && ConvertPropVariantToUInt64(prop, size)) {
                pi.unpackSize += size;
                pi.unpackSizeDefined = true;
            }
        }
        bool isDir = false;
        Archive_IsItem_Dir(archive, i, isDir);
        if (isDir)
            pi.folderCount++;
        else
            pi.fileCount++;
    }
    pi.folderCountDefined = pi.folderCount != 0;
    pi.fileCountDefined = true;
    return S_OK;
}

// The gap in front of a record whose offset came out negative belongs to nobody.
static void NormalizeRecordOffset(Int64 offset, NArchive::NParser::CParseItem &pi) {
    if (offset < 0) {
        const UInt64 neg = (UInt64)(-(offset + 1)) + 1;
        pi.size = pi.size > neg ? pi.size - neg : 0;
        pi.offset = 0;
    } else {
        pi.offset = (UInt64)offset;
    }
}

HRESULT CArc::OpenFromStart(const COpenOptions &op, const CIntVector &candidates, unsigned numMainTypes, bool isForced,
                            bool isUnknownExt, bool searchMarkerInHandler, const CBoolVector &isMainFormat,
                            CBoolVector &skipAtStart, bool &done) {
    done = false;
    const unsigned numCheck = isForced ? numMainTypes : candidates.Size();
    const UInt64 maxStartOffset = op.currentType.startLimitDefined ? op.currentType.startLimit : kMaxCheckStartPosition;
    for (unsigned i = 0; i < numCheck; i++) {
        const int index = candidates[i];
        const CArcInfoEx &ai = op.registry->Formats[(unsigned)index];
        bool exactOnly = false;
        if (i >= numMainTypes) {
            if (!(ai.Flags & NArcInfoFlags::kBackwardOpen)) continue;
            exactOnly = true;
        }
        formatIndex = index;
        if (op.openCallback) RINOK(op.openCallback->SetTotal(nullptr, &inputSize));
        if (op.inputStream) RINOK(op.inputStream->Seek(0, STREAM_SEEK_SET, nullptr));
        CMyComPtr<IInArchive> archive;
        RINOK(PrepareToOpen(op, (unsigned)index, archive));
        if (!archive) continue;
        HRESULT result;
        const UInt64 searchLimit = (!exactOnly && searchMarkerInHandler) ? maxStartOffset : 0;
        if (op.inputStream) {
            result = archive->Open(op.inputStream, &searchLimit, op.openCallback);
        } else {
            CMyComPtr<IArchiveOpenSeq> openSeq;
            archive.QueryInterface(IID_IArchiveOpenSeq, &openSeq);
            if (!openSeq) return E_NOTIMPL;
            result = openSeq->OpenSequential(op.sequentialStream);
        }
        RINOK(ReadBasicProps(archive, 0, result));
        if (result == S_FALSE) {
            const bool isArc = openErrors.IsArc_After_NonOpen();
            if (!op.currentType.acceptParser || !isArc) skipAtStart[(unsigned)index] = true;
            if (exactOnly) continue;
            // Only a format that recognised the data is blamed: callers report it as a damaged
            // archive of that format.
            if (i == 0 && numMainTypes == 1 && isArc) {
                openErrors.failedFormatIndex = index;
                failedOpenErrors = openErrors;
                if (!op.currentType.acceptParser && !IsPreArcFormat(ai)) return S_FALSE;
            }
            continue;
        }
        RINOK(result);

        const COpenAcceptFlags &impl =
            ChooseAcceptFlags(op.currentType, isForced, isMainFormat[(unsigned)index], isUnknownExt);
        bool thereIsTail = openErrors.hasTail;
        if (thereIsTail && op.currentType.allowZeroTail) {
            RINOK(CheckZerosTail(op, (UInt64)startOffset + physicalSize));
            if (openErrors.tailIsZeros) thereIsTail = false;
        }
        if (startOffset > 0) {
            if (exactOnly || !searchMarkerInHandler || (!impl.acceptTail && !impl.acceptMid)) continue;
            if (op.currentType.startLimitDefined && (UInt64)startOffset > op.currentType.startLimit) continue;
        }
        if (thereIsTail && !(startOffset > 0 ? impl.acceptMid : impl.acceptFrontal)) continue;
        if ((startOffset > 0 || thereIsTail) && !isForced && IsPreArcFormat(ai)) continue;
        handler = archive;
        handlerStartLimit = searchLimit;
        done = true;
        return S_OK;
    }
    return S_OK;
}

HRESULT CArc::OpenStream2(const COpenOptions &op) {
    handler.Release();
    rawPropsHandler.Release();
    rootPropsHandler.Release();
    openErrors.ClearErrors();
    openErrors.failedFormatIndex = -1;
    isParserLevel = false;
    handlerStreamOffset = 0;
    handlerStartLimit = 0;

    CCodecs *codecs = op.registry;
    const unsigned numFormats = codecs->Formats.Size();

    UString fileName, extension;
    {
        const int slashPos = arcPath.ReverseFind_PathSepar();
        fileName = arcPath.Ptr((unsigned)(slashPos + 1));
        const int dotPos = fileName.ReverseFind_Dot();
        if (dotPos >= 0) extension = fileName.Ptr((unsigned)(dotPos + 1));
    }

    const UInt64 maxStartOffset = op.currentType.startLimitDefined ? op.currentType.startLimit : kMaxCheckStartPosition;

    CBoolVector isMainFormat;
    isMainFormat.ClearAndSetSize(numFormats);
    for (unsigned i = 0; i < numFormats; i++)
        isMainFormat[i] = false;

    CIntVector candidates;
    unsigned numMainTypes = 0;
    bool isForced = false;
    bool searchMarkerInHandler = false;
    bool isUnknownExt = false;

    if (op.currentType.formatIndex >= 0) {
        candidates.Add(op.currentType.formatIndex);
        numMainTypes = 1;
        isMainFormat[(unsigned)op.currentType.formatIndex] = true;
        searchMarkerInHandler = true;
        isForced = true;
    } else {
        bool isNumberedZip = false, isNumberedRar = false;
        {
            const unsigned len = extension.Len();
            if (len >= 2) {
                const wchar_t c = extension[0];
                bool allDigits = true;
                for (unsigned k = 1; k < len; k++)
                    if (extension[k] < '0' || extension[k] > '9') {
                        allDigits = false;
                        break;
                    }
                if (allDigits) {
                    isNumberedZip = (c == 'z' || c == 'Z');
                    isNumberedRar = (c == 'r' || c == 'R');
                }
            }
        }
        bool preArcMatched = false;
        unsigned numMatched = 0;
        for (unsigned i = 0; i < numFormats; i++) {
            const CArcInfoEx &ai = codecs->Formats[i];
            if (StringsAreEqualNoCase_Ascii(ai.Name, "Split") && (skipSplitFormat || !op.currentType.acceptArc))
                continue;
            if (op.excludedFormatIndices && op.excludedFormatIndices->FindInSorted((int)i) >= 0) continue;
            if (IsPreArcFormat(ai)) preArcMatched = true;
            const bool matched = (!extension.IsEmpty() && ai.FindExtension(extension) >= 0) ||
                                 (isNumberedZip && StringsAreEqualNoCase_Ascii(ai.Name, "zip")) ||
                                 (isNumberedRar && StringsAreEqualNoCase_Ascii(ai.Name, "rar"));
            if (matched) {
                candidates.Insert(numMatched++, (int)i);
                isMainFormat[i] = true;
            } else {
                candidates.Add((int)i);
            }
        }

        if (!op.inputStream) {
            if (numMatched != 1) return E_NOTIMPL;
            candidates.DeleteFrom(1);
        } else if (candidates.Size() >= 2) {
            RINOK(op.inputStream->Seek(0, STREAM_SEEK_SET, nullptr));
            if (numMatched == 0 || StringsAreEqualNoCase_Ascii(extension, "exe")) {
                // keep the registry order
            } else if (extension == L"000" || extension == L"001") {
                const int pos = FindFormatForArchiveType(codecs, candidates, "rar");
                if (pos >= 0) {
                    Byte buf[1 << 10];
                    size_t processed = sizeof(buf);
                    RINOK(ReadStream(op.inputStream, buf, &processed));
                    static const Byte kRarHeader[] = {0x52, 0x61, 0x72, 0x21, 0x1a, 0x07, 0x00};
                    if (processed >= 16 && memcmp(buf, kRarHeader, 7) == 0 && buf[9] == 0x73 && (buf[10] & 1) != 0) {
                        const int rarIndex = candidates[(unsigned)pos];
                        candidates.Delete((unsigned)pos);
                        candidates.Insert(0, rarIndex);
                        if (!isMainFormat[(unsigned)rarIndex]) {
                            isMainFormat[(unsigned)rarIndex] = true;
                            numMatched++;
                        }
                    }
                }
            } else {
                Byte buf[1 << 10];
                size_t processed = sizeof(buf);
                RINOK(ReadStream(op.inputStream, buf, &processed));
                if (processed == 0) return S_FALSE;
                CIntVector moved;
                MakeCheckOrder(codecs, candidates, numMatched, moved, nullptr, 0);
                MakeCheckOrder(codecs, candidates, numMatched, moved, buf, processed);
                FOR_VECTOR(k, candidates)
                if (candidates[k] >= 0) moved.Add(candidates[k]);
                candidates = moved;
            }
        }
        if (candidates.Size() >= 2) {
            const int isoPos = FindFormatForArchiveType(codecs, candidates, "iso");
            const int udfPos = FindFormatForArchiveType(codecs, candidates, "udf");
            if (isoPos >= 0 && udfPos > isoPos) {
                const int t = candidates[(unsigned)isoPos];
                candidates[(unsigned)isoPos] = candidates[(unsigned)udfPos];
                candidates[(unsigned)udfPos] = t;
            }
        }
        numMainTypes = numMatched;
        isUnknownExt = (numMainTypes == 0) || preArcMatched;
        searchMarkerInHandler = false;
    }

    // Opening from the start.
    UInt64 fileSize = 0;
    if (op.inputStream) {
        RINOK(op.inputStream->Seek(0, STREAM_SEEK_END, &fileSize));
        RINOK(op.inputStream->Seek(0, STREAM_SEEK_SET, nullptr));
    }
    inputSize = fileSize;

    CBoolVector skipAtStart;
    skipAtStart.ClearAndSetSize(numFormats);
    for (unsigned i = 0; i < numFormats; i++)
        skipAtStart[i] = false;

    if (op.currentType.acceptArc) {
        bool done;
        RINOK(OpenFromStart(op, candidates, numMainTypes, isForced, isUnknownExt, searchMarkerInHandler, isMainFormat,
                            skipAtStart, done));
        if (done) return S_OK;
        if (!op.inputStream) return S_FALSE;
        if (isForced && !op.currentType.acceptParser) {
            if (op.currentType.startLimitDefined) {
                if (op.currentType.startLimit == 0) return S_FALSE;
            } else {
                const CArcInfoEx &ai = codecs->Formats[(unsigned)candidates[0]];
                if (ai.FindExtension(extension) >= 0 && (ai.Flags & NArcInfoFlags::kFindSignature)) return S_FALSE;
            }
        }
    }
    if (!op.inputStream) return S_FALSE;

    // Archives at the start, then everything the signatures point at.
    NArchive::NParser::CHandler *parserSpec = new NArchive::NParser::CHandler;
    CMyComPtr<IInArchive> parser = parserSpec;

    CExtractCallback_To_OpenCallback *extractToOpenSpec = new CExtractCallback_To_OpenCallback;
    CMyComPtr<IArchiveExtractCallback> extractToOpen = extractToOpenSpec;
    extractToOpenSpec->Init(op.openCallback);

    {
        CByteBuffer startBuf(kStartBufSize);
        size_t bytesRead = kStartBufSize < fileSize ? kStartBufSize : (size_t)fileSize;
        bool endOfFile = fileSize < kStartBufSize;
        RINOK(op.inputStream->Seek(0, STREAM_SEEK_SET, nullptr));
        {
            const size_t wanted = bytesRead;
            RINOK(ReadStream(op.inputStream, startBuf, &bytesRead));
            if (bytesRead < wanted) endOfFile = true;
        }
        if (bytesRead == 0) return S_FALSE;

        CIntVector startList;
        int splitIndex = -1;
        FOR_VECTOR(i, candidates) {
            const unsigned index = (unsigned)candidates[i];
            if (skipAtStart[index]) continue;
            const CArcInfoEx &ai = codecs->Formats[index];
            if (StringsAreEqualNoCase_Ascii(ai.Name, "Split")) {
                splitIndex = (int)index;
                continue;
            }
            if (ai.IsArcTest) {
                const UInt32 isArcRes = ai.IsArcTest(startBuf, bytesRead);
                if (isArcRes == k_IsArc_Res_NO || (isArcRes == k_IsArc_Res_NEED_MORE && endOfFile)) continue;
                startList.Insert(0, (int)index);
                continue;
            }
            if (!IsTrustedSignatureFormat(ai) || ai.Signatures.IsEmpty()) {
                startList.Add((int)index);
                continue;
            }
            bool isMatched = false;
            bool needCheck = false;
            FOR_VECTOR(k, ai.Signatures) {
                const CByteBuffer &sig = ai.Signatures[k];
                if (sig.Size() + ai.SignatureOffset > bytesRead) {
                    if (!endOfFile) needCheck = true;
                    continue;
                }
                if (sig.Size() != 0 && memcmp(startBuf + ai.SignatureOffset, sig, sig.Size()) == 0) {
                    isMatched = true;
                    break;
                }
            }
            if (isMatched) {
                startList.Insert(0, (int)index);
                continue;
            }
            if (ai.Flags & (NArcInfoFlags::kStartOpen | NArcInfoFlags::kPureStartOpen | NArcInfoFlags::kBackwardOpen))
                needCheck = true;
            if (needCheck) startList.Add((int)index);
        }
        if (splitIndex >= 0) startList.Insert(0, splitIndex);

        FOR_VECTOR(i, startList) {
            const unsigned index = (unsigned)startList[i];
            const CArcInfoEx &ai = codecs->Formats[index];
            formatIndex = (Int32)index;
            if (op.openCallback) RINOK(op.openCallback->SetTotal(nullptr, &fileSize));
            RINOK(op.inputStream->Seek(0, STREAM_SEEK_SET, nullptr));
            CMyComPtr<IInArchive> archive;
            RINOK(PrepareToOpen(op, index, archive));
            if (!archive) continue;
            const UInt64 zeroLimit = 0;
            const HRESULT result = OpenArchiveSpec(archive, !op.currentType.acceptArc, op.inputStream, &zeroLimit,
                                                   op.openCallback, extractToOpen);
            if (result == S_FALSE) {
                skipAtStart[index] = true;
                continue;
            }
            RINOK(result);
            RINOK(ReadBasicProps(archive, 0, result));
            if (startOffset > 0) continue;

            NArchive::NParser::CParseItem pi;
            pi.size = availableSize;
            pi.lengthUnknown = !physicalSizeDefined;
            pi.formatIndex = (Int32)index;
            NormalizeRecordOffset(startOffset, pi);

            if (op.currentType.acceptArc) {
                const COpenAcceptFlags &impl =
                    ChooseAcceptFlags(op.currentType, isForced, isMainFormat[index], isUnknownExt);
                bool openCur = !openErrors.hasTail;
                if (!openCur && op.currentType.allowZeroTail) {
                    RINOK(CheckZerosTail(op, (UInt64)startOffset + physicalSize));
                    openCur = openErrors.tailIsZeros;
                }
                if (!openCur && impl.acceptFrontal && (isForced || !IsPreArcFormat(ai))) openCur = true;
                if (openCur) {
                    subRangeStream = op.inputStream;
                    handler = archive;
                    return S_OK;
                }
            }
            skipAtStart[index] = true;
            if (pi.offset == 0 && !pi.lengthUnknown && pi.size >= fileSize) continue;
            RINOK(ReadParseItemProps(archive, ai, pi));
            parserSpec->AddItem(pi);
        }
    }

    // The signature scan.
    CUIntVector arcToSig;
    CIntVector sigToArc;
    {
        unsigned numSigs = 0;
        for (unsigned i = 0; i < numFormats; i++) {
            const CArcInfoEx &ai = codecs->Formats[i];
            arcToSig.Add(numSigs);
            FOR_VECTOR(k, ai.Signatures)
            sigToArc.Add((int)i);
            numSigs += ai.Signatures.Size();
        }
        if (numSigs >= kNoSig) return S_FALSE;
    }

    CByteBuffer hashBuffer((size_t)1 << 16);
    Byte *hash = hashBuffer;
    memset(hash, kNoSig, (size_t)1 << 16);
    Byte prevs[256];
    memset(prevs, kNoSig, sizeof(prevs));

    CIntVector difficultFormats;
    CBoolVector isDifficult;
    isDifficult.ClearAndSetSize(numFormats);
    for (unsigned i = 0; i < numFormats; i++)
        isDifficult[i] = false;
    FOR_VECTOR(i, candidates) {
        const unsigned index = (unsigned)candidates[i];
        const CArcInfoEx &ai = codecs->Formats[index];
        bool difficult = !ai.FlagsDefined || (ai.Flags & NArcInfoFlags::kStartOpen) != 0;
        FOR_VECTOR(k, ai.Signatures) {
            const CByteBuffer &sig = ai.Signatures[k];
            if (sig.Size() < 2) {
                difficult = true;
                continue;
            }
            const unsigned sigIndex = arcToSig[index] + k;
            const UInt16 v = GetUi16(sig);
            prevs[sigIndex] = hash[v];
            hash[v] = (Byte)sigIndex;
        }
        if (difficult) {
            difficultFormats.Add((int)index);
            isDifficult[index] = true;
        }
    }

    RINOK(op.inputStream->Seek(0, STREAM_SEEK_SET, nullptr));

    CLimitedCachedInStream *limitedStreamSpec = new CLimitedCachedInStream;
    CMyComPtr<IInStream> limitedStream = limitedStreamSpec;
    limitedStreamSpec->SetStream(op.inputStream);
    // The scan window lives in the stream: a handler taken from the scan keeps reading through it.
    limitedStreamSpec->Buffer.Alloc(kScanBufSize);
    Byte *buf = limitedStreamSpec->Buffer;

    CArchiveOpenCallback_Offset *offsetCallbackSpec = nullptr;
    CMyComPtr<IArchiveOpenCallback> offsetCallback;
    if (op.openCallback) {
        offsetCallbackSpec = new CArchiveOpenCallback_Offset;
        offsetCallback = offsetCallbackSpec;
        offsetCallbackSpec->Init(op.openCallback);
        RINOK(op.openCallback->SetTotal(nullptr, &fileSize));
    }

    UInt64 runningSize = fileSize;
    UInt64 pos = 0;
    if (!op.currentType.tryEveryPosition && parserSpec->NumItems() == 1) {
        const NArchive::NParser::CParseItem &pi = parserSpec->Item(0);
        if (!pi.lengthUnknown && pi.offset == 0) pos = pi.size;
    }
    bool checkDifficult = true;
    bool endOfFile = false;
    UInt64 bufPhyPos = 0;
    size_t bytesInBuf = 0;
    UInt64 prevProgressPos = 0;
    bool useOffsetCallback = false;

    for (;;) {
        if (!endOfFile) {
            if (bytesInBuf < kScanBufSize) {
                size_t processed = kScanBufSize - bytesInBuf;
                RINOK(op.inputStream->Seek((Int64)(bufPhyPos + bytesInBuf), STREAM_SEEK_SET, nullptr));
                RINOK(ReadStream(op.inputStream, buf + bytesInBuf, &processed));
                if (processed == 0) {
                    runningSize = bufPhyPos + bytesInBuf;
                    endOfFile = true;
                } else {
                    bytesInBuf += processed;
                    limitedStreamSpec->SetCache(bytesInBuf, bufPhyPos);
                    continue;
                }
            }
            const UInt64 bufEnd = bufPhyPos + bytesInBuf;
            if (!endOfFile && (pos >= bufEnd || bufEnd - pos < kAfterSize)) {
                const UInt64 newStart = pos > kBeforeSize ? pos - kBeforeSize : 0;
                if (newStart > bufPhyPos) {
                    if (newStart < bufEnd) {
                        const size_t keep = (size_t)(bufEnd - newStart);
                        memmove(buf, buf + (size_t)(newStart - bufPhyPos), keep);
                        bytesInBuf = keep;
                    } else {
                        bytesInBuf = 0;
                    }
                    bufPhyPos = newStart;
                    limitedStreamSpec->SetCache(bytesInBuf, bufPhyPos);
                    continue;
                }
            }
        }

        if (offsetCallbackSpec) {
            offsetCallbackSpec->fileCount = parserSpec->NumItems();
            offsetCallbackSpec->startPosition = pos;
            useOffsetCallback = !op.currentType.acceptArc || parserSpec->NumItems() > 1;
            if (pos >= prevProgressPos + kProgressStep) {
                prevProgressPos = pos;
                RINOK(offsetCallback->SetCompleted(nullptr, nullptr));
            }
        }

        const UInt64 bufEnd = bufPhyPos + bytesInBuf;
        if (bufEnd > runningSize) {
            inputSize = runningSize;
            runningSize = bufEnd;
        }
        if (pos < bufPhyPos || pos >= bufEnd || bufEnd - pos < 2) break;
        const size_t availSize = (size_t)(bufEnd - pos);
        UInt64 scanSize = availSize >= kAfterSize ? availSize - kAfterSize : availSize - 2;
        if (!op.currentType.acceptParser) {
            if (pos > maxStartOffset) break;
            const UInt64 rem = maxStartOffset - pos;
            if (scanSize > rem) scanSize = rem;
        }
        scanSize++;

        const Byte *p = buf + (size_t)(pos - bufPhyPos);
        if (!checkDifficult) {
            UInt64 skipped = 0;
            while (skipped < scanSize && hash[GetUi16(p + skipped)] == kNoSig)
                skipped++;
            pos += skipped;
            if (skipped == scanSize) continue;
            p += skipped;
        }

        const size_t avail = (size_t)(bufEnd - pos);
        unsigned sigIndex = hash[GetUi16(p)];
        unsigned difficultPos = 0;
        bool recordMade = false;
        bool nextCheckDifficult = false;
        UInt64 nextPos = pos + 1;

        for (;;) {
            unsigned index;
            UInt64 startArc;
            if (checkDifficult && difficultPos < difficultFormats.Size()) {
                index = (unsigned)difficultFormats[difficultPos++];
                startArc = pos;
            } else {
                if (sigIndex == kNoSig) break;
                const unsigned curSig = sigIndex;
                sigIndex = prevs[curSig];
                index = (unsigned)sigToArc[curSig];
                if (checkDifficult && isDifficult[index]) continue;
                const CArcInfoEx &ai = codecs->Formats[index];
                const CByteBuffer &sig = ai.Signatures[curSig - arcToSig[index]];
                if (pos < ai.SignatureOffset) continue;
                if (sig.Size() > avail || memcmp(p, sig, sig.Size()) != 0) continue;
                startArc = pos - ai.SignatureOffset;
            }
            if (skipAtStart[index] && startArc == 0) continue;

            const CArcInfoEx &ai = codecs->Formats[index];
            if (ai.IsArcTest && startArc >= bufPhyPos && startArc < bufEnd) {
                const size_t offsetInBuf = (size_t)(startArc - bufPhyPos);
                const UInt32 isArcRes = ai.IsArcTest(buf + offsetInBuf, bytesInBuf - offsetInBuf);
                if (isArcRes == k_IsArc_Res_NO || (isArcRes == k_IsArc_Res_NEED_MORE && endOfFile)) continue;
            }

            CMyComPtr<IInArchive> archive;
            RINOK(PrepareToOpen(op, index, archive));
            if (!archive) return E_FAIL;
            formatIndex = (Int32)index;

            const bool useGlobalOffset = (ai.Flags & NArcInfoFlags::kUseGlobalOffset) != 0;
            UInt64 streamOffset;
            if (useGlobalOffset) {
                RINOK(limitedStreamSpec->InitAndSeek(0, runningSize));
                RINOK(limitedStream->Seek((Int64)startArc, STREAM_SEEK_SET, nullptr));
                streamOffset = 0;
            } else {
                RINOK(limitedStreamSpec->InitAndSeek(startArc, runningSize - startArc));
                RINOK(limitedStreamSpec->SeekToStart());
                streamOffset = startArc;
            }
            if (offsetCallbackSpec) offsetCallbackSpec->startPosition = startArc;
            extractToOpenSpec->fileCount = 0;
            extractToOpenSpec->startPosition = startArc;

            const UInt64 zeroLimit = 0;
            IArchiveOpenCallback *callback = op.openCallback;
            if (useOffsetCallback) callback = offsetCallback;
            const HRESULT result = OpenArchiveSpec(archive, true, limitedStream, &zeroLimit, callback, extractToOpen);
            RINOK(ReadBasicProps(archive, useGlobalOffset ? 0 : startArc, result));

            const bool isOpen = (result == S_OK);
            if (result == S_FALSE) {
                if (!op.currentType.acceptParser) {
                    if (!isForced && openErrors.IsArc_After_NonOpen()) {
                        failedOpenErrors = openErrors;
                        failedOpenErrors.failedFormatIndex = (Int32)index;
                        return S_FALSE;
                    }
                    continue;
                }
                if (!openErrors.IsArc_After_NonOpen() || !physicalSizeDefined || physicalSize == 0) continue;
            } else {
                RINOK(result);
            }

            NArchive::NParser::CParseItem pi;
            pi.formatIndex = (Int32)index;
            Int64 recordOffset;
            if (useGlobalOffset) {
                recordOffset = startOffset;
            } else {
                if (startOffset != 0) return E_FAIL;
                recordOffset = (Int64)startArc;
            }
            if (physicalSizeDefined) {
                pi.size = physicalSize;
                if ((UInt64)recordOffset + physicalSize > inputSize) {
                    pi.size = inputSize - (UInt64)recordOffset;
                    physicalSize = pi.size;
                }
            } else {
                pi.size = inputSize - (UInt64)recordOffset;
            }
            if (pi.size == 0 || pi.size >= ((UInt64)1 << 63)) return E_FAIL;
            if (isOpen && !physicalSizeDefined) pi.lengthUnknown = true;
            NormalizeRecordOffset(recordOffset, pi);

            if (!op.currentType.acceptArc && pi.offset == 0 && !pi.lengthUnknown && pi.size >= inputSize) continue;

            nextPos = (op.currentType.tryEveryPosition || pi.lengthUnknown) ? pos + 1 : pi.offset + pi.size;
            // A record that ends at or before the scan position would be found here again and again.
            if (nextPos <= pos) nextPos = pos + 1;

            RINOK(ReadParseItemProps(archive, ai, pi));
            if (pi.offset < startArc && !op.currentType.tryEveryPosition) {
                while (parserSpec->NumItems() != 0) {
                    const NArchive::NParser::CParseItem &back = parserSpec->Item(parserSpec->NumItems() - 1);
                    if (back.offset < pi.offset || back.offset + back.size > pi.offset + pi.size) break;
                    parserSpec->DeleteLastItem();
                }
            }

            if (isOpen && op.currentType.acceptArc && physicalSizeDefined) {
                bool thereIsTail = openErrors.hasTail;
                if (thereIsTail && op.currentType.allowZeroTail) {
                    RINOK(CheckZerosTail(op, streamOffset + (UInt64)startOffset + physicalSize));
                    if (openErrors.tailIsZeros) thereIsTail = false;
                }
                const COpenAcceptFlags &impl =
                    ChooseAcceptFlags(op.currentType, isForced, isMainFormat[index], isUnknownExt);
                bool openCur = false;
                if (pi.offset > 0) {
                    if (!pi.notArchiveType) openCur = thereIsTail ? impl.acceptMid : impl.acceptTail;
                } else {
                    openCur = !thereIsTail || impl.acceptFrontal;
                }
                if (!isForced && pi.isStub) openCur = false;
                if (!openCur && !pi.isStub && !thereIsTail && (!pi.notArchiveType || pi.offset == 0)) {
                    if (parserSpec->NumItems() == 0) {
                        if (impl.acceptTail) openCur = true;
                    } else if (parserSpec->NumItems() == 1 && parserSpec->Item(0).isStub) {
                        if (op.currentType.specUnknownExt.acceptTail) openCur = true;
                    }
                }
                if (openCur) {
                    subRangeStream = op.inputStream;
                    handler = archive;
                    formatIndex = (Int32)index;
                    handlerStreamOffset = streamOffset;
                    return S_OK;
                }
            }

            parserSpec->AddItem(pi);
            recordMade = true;
            nextCheckDifficult = !pi.lengthUnknown;
            break;
        }

        if (recordMade) {
            pos = nextPos;
            checkDifficult = nextCheckDifficult;
        } else {
            pos++;
            checkDifficult = false;
        }
    }

    if (op.currentType.acceptParser) {
        const bool wasOneRecord = parserSpec->NumItems() == 1;
        parserSpec->AddUnknownItem(runningSize);
        if (parserSpec->NumItems() == 0) return S_FALSE;
        if (wasOneRecord || parserSpec->NumItems() > 1) {
            parserSpec->SetStream(op.inputStream);
            handler = parser;
            openErrors.ClearErrors();
            isParserLevel = true;
            formatIndex = -1;
            startOffset = 0;
            return S_OK;
        }
    }
    return handler ? S_OK : S_FALSE;
}

HRESULT CArc::OpenStream(const COpenOptions &op) {
    RINOK(OpenStream2(op));
    if (!handler) return S_OK;
    handler.QueryInterface(IID_IArchiveGetRawProps, &rawPropsHandler);
    handler.QueryInterface(IID_IArchiveGetRootProps, &rootPropsHandler);
    RINOK(Archive_GetArcProp_Bool(handler, kpidIsTree, isTreeArchive));
    RINOK(Archive_GetArcProp_Bool(handler, kpidIsDeleted, mayHaveDeleted));
    RINOK(Archive_GetArcProp_Bool(handler, kpidIsAltStream, mayHaveAltStreams));
    RINOK(Archive_GetArcProp_Bool(handler, kpidIsAux, mayHaveAux));
    RINOK(Archive_GetArcProp_Bool(handler, kpidINode, mayHaveINodes));
    RINOK(Archive_GetArcProp_Bool(handler, kpidReadOnly, readOnlyArchive));

    defaultItemName.Empty();
    if (formatIndex >= 0) {
        const CArcInfoEx &ai = op.registry->Formats[(unsigned)formatIndex];
        const UString fileName = arcPath.Ptr((unsigned)(arcPath.ReverseFind_PathSepar() + 1));
        UString extension;
        {
            const int dotPos = fileName.ReverseFind_Dot();
            if (dotPos >= 0) extension = fileName.Ptr((unsigned)(dotPos + 1));
        }
        if (ai.Exts.IsEmpty()) {
            defaultItemName = GetDefaultName2(fileName, UString(), UString());
        } else {
            int subExtIndex = ai.FindExtension(extension);
            if (subExtIndex < 0) subExtIndex = 0;
            const CArcExtInfo &extInfo = ai.Exts[(unsigned)subExtIndex];
            defaultItemName = GetDefaultName2(fileName, extInfo.Ext, extInfo.PairedExt);
        }
        // The paired extension and the name come from outside: one harmless name.
        defaultItemName = Get_Correct_FsFile_Name(defaultItemName);
    }
    return S_OK;
}

// Standard input as a stream that can seek, which every handler needs: a file given as standard
// input is read where it is; anything else (a pipe) is first copied into a private temporary file
// that has no name and goes when the stream does.
static HRESULT OpenStdInAsFile(CMyComPtr<IInStream> &stream) {
    int fd = 0;
    struct stat st;
    const bool regular = fstat(0, &st) == 0 && S_ISREG(st.st_mode);
    if (!regular) {
        fd = open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0) {
            char name[] = "/tmp/tarnovaI-XXXXXX";
            fd = mkstemp(name);
            if (fd < 0) return HRESULT_FROM_ERRNO(errno);
            unlink(name);
        }
        char buf[1 << 16];
        for (;;) {
            const ssize_t n = read(0, buf, sizeof(buf));
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                const int err = errno;
                close(fd);
                return HRESULT_FROM_ERRNO(err);
            }
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = write(fd, buf + done, (size_t)(n - done));
                if (w < 0) {
                    if (errno == EINTR) continue;
                    const int err = errno;
                    close(fd);
                    return HRESULT_FROM_ERRNO(err);
                }
                done += w;
            }
        }
    }
    char path[64];
    snprintf(path, sizeof(path), "/proc/self/fd/%d", fd);
    CInFileStream *fileStream = new CInFileStream(true);
    stream = fileStream;
    UString u;
    u.SetFromAscii(path);
    const bool ok = fileStream->Open(u);
    const int err = errno;
    if (fd != 0) close(fd);
    if (!ok) {
        stream.Release();
        return HRESULT_FROM_ERRNO(err);
    }
    return S_OK;
}

HRESULT CArc::OpenStreamOrFile(COpenOptions &op) {
    // The stream made here belongs to this level only: a caller that reuses the options for another
    // archive must not read this one.
    COpenOptions op2 = op;
    if (op.readStdIn) {
        RINOK(OpenStdInAsFile(op2.inputStream));
    } else if (!op.inputStream) {
        arcPath = filePath;
        CInFileStream *fileStreamSpec = new CInFileStream(true);
        CMyComPtr<IInStream> fileStream = fileStreamSpec;
        if (!fileStreamSpec->Open(filePath)) return HRESULT_FROM_ERRNO(errno);
        op2.inputStream = fileStream;
    }
    const HRESULT res = OpenStream(op2);
    skipSplitFormat = false;
    return res;
}

HRESULT CArc::ReOpen(const COpenOptions &op) {
    openErrors.ClearErrors();
    openErrors.failedFormatIndex = -1;
    UInt64 fileSize = 0;
    if (op.inputStream) {
        RINOK(op.inputStream->Seek(0, STREAM_SEEK_END, &fileSize));
        RINOK(op.inputStream->Seek(0, STREAM_SEEK_SET, nullptr));
    }
    inputSize = fileSize;
    const UInt64 globalOffset = GetGlobalOffset();
    CMyComPtr<IInStream> stream2;
    if ((Int64)globalOffset > 0) {
        CTailInStream *tailStreamSpec = new CTailInStream;
        stream2 = tailStreamSpec;
        tailStreamSpec->Stream = op.inputStream;
        tailStreamSpec->Offset = globalOffset;
        tailStreamSpec->Init();
        RINOK(tailStreamSpec->SeekToStart());
    } else {
        stream2 = op.inputStream;
    }
    const UInt64 startLimit = handlerStartLimit;
    const HRESULT res = handler->Open(stream2, &startLimit, op.openCallback);
    if (res == S_OK) {
        RINOK(ReadBasicProps(handler, globalOffset, res));
        handlerStreamOffset = globalOffset;
        if (globalOffset != 0) subRangeStream = op.inputStream;
    }
    return res;
}
