#pragma once

// Opening one level of an archive: format detection, the handler's error state, and access to the
// items of the opened level.
#include "LoadCodecs.h"
#include "archive/IArchive.h"
#include "archive/common/MethodProps.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "windows/PropVariant.h"

class COpenCallbackImp;

// Where an archive found by detection may lie inside the data.
struct COpenAcceptFlags {
    bool acceptFrontal; // at offset 0, followed by extra data
    bool acceptTail;    // after offset 0, ending at the end of the data
    bool acceptMid;     // after offset 0, followed by extra data

    COpenAcceptFlags(bool frontal, bool tail, bool mid) : acceptFrontal(frontal), acceptTail(tail), acceptMid(mid) {}
};

// One requested archive type.
struct COpenType {
    Int32 formatIndex; // -1: any format
    COpenAcceptFlags specForced;
    COpenAcceptFlags specMain;
    COpenAcceptFlags specWrongExt;
    COpenAcceptFlags specUnknownExt;
    bool descend;
    bool acceptArc;
    bool acceptParser;
    bool tryEveryPosition;
    bool allowZeroTail;
    bool startLimitDefined;
    UInt64 startLimit;

    COpenType()
        : formatIndex(-1), specForced(true, true, true), specMain(true, false, false),
          specWrongExt(false, false, false), specUnknownExt(true, true, true), descend(true), acceptArc(true),
          acceptParser(false), tryEveryPosition(false), allowZeroTail(false), startLimitDefined(false), startLimit(0) {}
};

// One open request.
struct COpenOptions {
    CCodecs *registry;
    COpenType currentType;
    const CObjectVector<COpenType> *requestedTypes;
    const CIntVector *excludedFormatIndices;
    CMyComPtr<IInStream> inputStream;
    CMyComPtr<ISequentialInStream> sequentialStream;
    CMyComPtr<IArchiveOpenCallback> openCallback;
    COpenCallbackImp *callbackImp; // the object behind openCallback, when the engine made it
    const CObjectVector<CProperty> *handlerProps;
    bool readStdIn;
    UString filePath;

    COpenOptions()
        : registry(nullptr), requestedTypes(nullptr), excludedFormatIndices(nullptr), callbackImp(nullptr),
          handlerProps(nullptr), readStdIn(false) {}
};

// The error state of one open attempt.
struct CArcErrorInfo {
    bool hasTail;
    bool endBeyondData;
    bool tailIsZeros;
    bool errorFlagsKnown;
    UInt32 errorFlags;
    UInt32 warningFlags;
    Int32 failedFormatIndex;
    UInt64 tailLength;
    UString errorText;
    UString warningText;

    CArcErrorInfo() : failedFormatIndex(-1) { ClearErrors(); }
    void ClearErrors();
    // The handler refused the data but its flags say that it is this format, damaged.
    bool IsArc_After_NonOpen() const { return errorFlagsKnown && (errorFlags & kpv_ErrorFlags_IsNotArc) == 0; }
};

// The path information of one item.
struct CReadArcItem {
    UString itemPath;
    UStringVector pathParts;
    UString mainPath;
    UString altStreamName;
    bool isAltStream;
    bool splitAtColon;
    bool isDir;
    bool mainIsDir;
    UInt32 parentIndex;
    bool relativeToBase;
    UInt32 baseFolderIndex;

    CReadArcItem()
        : isAltStream(false), splitAtColon(false), isDir(false), mainIsDir(false), parentIndex((UInt32)(Int32)-1),
          relativeToBase(false), baseFolderIndex(0) {}
};

// One opened level of an archive.
class CArc {
public:
    CMyComPtr<IInArchive> handler;
    CMyComPtr<IInStream> subRangeStream;
    CMyComPtr<IArchiveGetRawProps> rawPropsHandler;
    CMyComPtr<IArchiveGetRootProps> rootPropsHandler;

    CArcErrorInfo openErrors;
    CArcErrorInfo failedOpenErrors;

    UString arcPath;
    UString filePath;
    UString defaultItemName;

    Int32 formatIndex;
    Int32 itemIndexInParent;

    FILETIME itemTime;
    bool itemTimeDefined;

    Int64 startOffset;
    UInt64 physicalSize;
    bool physicalSizeDefined;
    UInt64 inputSize;
    UInt64 availableSize;
    UInt64 handlerStreamOffset;
    // The start limit the handler accepted the archive with: a reopen asks the same question.
    UInt64 handlerStartLimit;

    bool isParserLevel;
    bool isTreeArchive;
    bool readOnlyArchive;
    bool mayHaveDeleted;
    bool mayHaveAltStreams;
    bool mayHaveAux;
    bool mayHaveINodes;
    bool skipSplitFormat;

    CArc();

    // Start of the archive in the outermost stream of this level.
    UInt64 GetGlobalOffset() const { return handlerStreamOffset + (UInt64)startOffset; }

    HRESULT OpenStream2(const COpenOptions &op);
    HRESULT OpenStream(const COpenOptions &op);
    HRESULT OpenStreamOrFile(COpenOptions &op);
    HRESULT ReOpen(const COpenOptions &op);

    HRESULT PrepareToOpen(const COpenOptions &op, unsigned format, CMyComPtr<IInArchive> &archive);
    HRESULT ReadBasicProps(IInArchive *archive, UInt64 startPosition, HRESULT openResult);
    HRESULT CheckZerosTail(const COpenOptions &op, UInt64 offset);

    HRESULT GetItemPath(UInt32 index, UString &path) const;
    HRESULT GetDefaultItemPath(UInt32 index, UString &path) const;
    HRESULT GetItemPath2(UInt32 index, UString &path) const;
    HRESULT GetItemPathToParent(UInt32 index, UInt32 parent, UStringVector &parts) const;
    HRESULT GetItem(UInt32 index, CReadArcItem &item) const;
    HRESULT GetItemSize(UInt32 index, UInt64 &size, bool &defined) const;
    HRESULT GetItemMTime(UInt32 index, FILETIME &time, bool &defined) const;

private:
    HRESULT OpenFromStart(const COpenOptions &op, const CIntVector &candidates, unsigned numMainTypes, bool isForced,
                          bool isUnknownExt, bool searchMarkerInHandler, const CBoolVector &isMainFormat,
                          CBoolVector &skipAtStart, bool &done);
};

HRESULT Archive_GetItemBoolProp(IInArchive *archive, UInt32 index, PROPID propID, bool &result);
HRESULT Archive_IsItem_Dir(IInArchive *archive, UInt32 index, bool &result);
HRESULT Archive_IsItem_Aux(IInArchive *archive, UInt32 index, bool &result);
HRESULT Archive_IsItem_AltStream(IInArchive *archive, UInt32 index, bool &result);
HRESULT Archive_IsItem_Deleted(IInArchive *archive, UInt32 index, bool &result);

// Position of the first ':' after the last '/', or -1.
int FindAltStreamColon_in_Path(const wchar_t *path);

HRESULT OpenArchiveSpec(IInArchive *archive, bool needPhySize, IInStream *stream, const UInt64 *startLimit,
                        IArchiveOpenCallback *openCallback, IArchiveExtractCallback *extractCallback);

int FindFormatForArchiveType(CCodecs *codecs, CIntVector orderIndices, const char *name);
void MakeCheckOrder(CCodecs *codecs, CIntVector &orderIndices, unsigned numTypes, CIntVector &orderIndices2,
                    const Byte *data, size_t dataSize);
bool IsPreArcFormat(const CArcInfoEx &ai);
UInt32 GetOpenArcErrorFlags(const NWindows::NCOM::CPropVariant &prop, bool *isDefinedProp = nullptr);
