#pragma once

// The folder family: one browsable level of the panel (the root, a disk folder or a folder inside
// an opened archive), the opened-archive objects of the agent, and the callbacks that a folder
// drives while extracting. Self-contained: only the interface headers and forward declarations.
#include "../common/InterfaceIds.h"
#include "../common/MyUnknown.h"
#include "../common/MyWindows.h"
#include "IArchive.h"
#include "IProgress.h"
#include "IStream.h"
#include "PropID.h"
#include "ui-common/ExtractMode.h"

template <class T> class CObjectVector;
class UString;
class CCodecs;
class CAgentFolder;
struct IFolderArchiveUpdateCallback;

// 08 00
struct IFolderFolder : public IUnknown {
    virtual HRESULT LoadItems() = 0;
    virtual HRESULT GetNumberOfItems(UInt32 *numItems) = 0;
    virtual HRESULT GetProperty(UInt32 itemIndex, PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT BindToFolder(UInt32 index, IFolderFolder **resultFolder) = 0;
    virtual HRESULT BindToFolder(const wchar_t *name, IFolderFolder **resultFolder) = 0;
    virtual HRESULT BindToParentFolder(IFolderFolder **resultFolder) = 0;
    virtual HRESULT GetNumberOfProperties(UInt32 *numProperties) = 0;
    virtual HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) = 0;
    virtual HRESULT GetFolderProperty(PROPID propID, PROPVARIANT *value) = 0;
};

// 08 17: index 0xFFFFFFFF (or an empty name) is the folder itself.
struct IFolderAltStreams : public IUnknown {
    virtual HRESULT BindToAltStreams(UInt32 index, IFolderFolder **resultFolder) = 0;
    virtual HRESULT BindToAltStreams(const wchar_t *name, IFolderFolder **resultFolder) = 0;
    virtual HRESULT AreAltStreamsSupported(UInt32 index, Int32 *isSupported) = 0;
};

// 08 04
struct IFolderWasChanged : public IUnknown {
    virtual HRESULT WasChanged(Int32 *wasChanged) = 0;
};

// 08 0B
struct IFolderOperationsExtractCallback : public IProgress {
    virtual HRESULT AskWrite(const wchar_t *srcPath, Int32 srcIsFolder, const FILETIME *srcTime, const UInt64 *srcSize,
                             const wchar_t *destPathRequest, BSTR *destPathResult, Int32 *writeAnswer) = 0;
    virtual HRESULT ShowMessage(const wchar_t *message) = 0;
    virtual HRESULT SetCurrentFilePath(const wchar_t *filePath) = 0;
    virtual HRESULT SetNumFiles(UInt64 numFiles) = 0;
};

// 08 13
struct IFolderOperations : public IUnknown {
    virtual HRESULT CreateFolder(const wchar_t *name, IProgress *progress) = 0;
    virtual HRESULT CreateFile(const wchar_t *name, IProgress *progress) = 0;
    virtual HRESULT Rename(UInt32 index, const wchar_t *newName, IProgress *progress) = 0;
    virtual HRESULT Delete(const UInt32 *indices, UInt32 numItems, IProgress *progress) = 0;
    virtual HRESULT CopyTo(Int32 moveMode, const UInt32 *indices, UInt32 numItems, Int32 includeAltStreams,
                           Int32 replaceAltStreamCharsMode, const wchar_t *path,
                           IFolderOperationsExtractCallback *callback) = 0;
    virtual HRESULT CopyFrom(Int32 moveMode, const wchar_t *fromFolderPath, const wchar_t *const *itemsPaths,
                             UInt32 numItems, IProgress *progress) = 0;
    virtual HRESULT SetProperty(UInt32 index, PROPID propID, const PROPVARIANT *value, IProgress *progress) = 0;
    virtual HRESULT CopyFromFile(UInt32 index, const wchar_t *fullFilePath, IProgress *progress) = 0;
};

// 08 07
struct IFolderGetSystemIconIndex : public IUnknown {
    virtual HRESULT GetSystemIconIndex(UInt32 index, Int32 *iconIndex) = 0;
};

// 08 09
struct IFolderClone : public IUnknown {
    virtual HRESULT Clone(IFolderFolder **resultFolder) = 0;
};

// 08 0A
struct IFolderSetFlatMode : public IUnknown {
    virtual HRESULT SetFlatMode(Int32 flatMode) = 0;
};

// 08 0E
struct IFolderProperties : public IUnknown {
    virtual HRESULT GetNumberOfFolderProperties(UInt32 *numProperties) = 0;
    virtual HRESULT GetFolderPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) = 0;
};

// 08 10: level 0 is the outermost archive.
struct IFolderArcProps : public IUnknown {
    virtual HRESULT GetArcNumLevels(UInt32 *numLevels) = 0;
    virtual HRESULT GetArcProp(UInt32 level, PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT GetArcNumProps(UInt32 level, UInt32 *numProps) = 0;
    virtual HRESULT GetArcPropInfo(UInt32 level, UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) = 0;
    virtual HRESULT GetArcProp2(UInt32 level, PROPID propID, PROPVARIANT *value) = 0;
    virtual HRESULT GetArcNumProps2(UInt32 level, UInt32 *numProps) = 0;
    virtual HRESULT GetArcPropInfo2(UInt32 level, UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) = 0;
};

// 08 11
struct IGetFolderArcProps : public IUnknown {
    virtual HRESULT GetFolderArcProps(IFolderArcProps **object) = 0;
};

// 08 14
struct IFolderCalcItemFullSize : public IUnknown {
    virtual HRESULT CalcItemFullSize(UInt32 index, IProgress *progress) = 0;
};

// 08 15: returns an ordering, not an HRESULT.
struct IFolderCompare : public IUnknown {
    virtual Int32 CompareItems(UInt32 index1, UInt32 index2, PROPID propID, Int32 propIsRaw) = 0;
};

// 08 16: the names point into the folder's own storage.
struct IFolderGetItemName : public IUnknown {
    virtual HRESULT GetItemName(UInt32 index, const wchar_t **name, unsigned *len) = 0;
    virtual HRESULT GetItemPrefix(UInt32 index, const wchar_t **name, unsigned *len) = 0;
    virtual UInt64 GetItemSize(UInt32 index) = 0;
};

// 09 05
struct IFolderManager : public IUnknown {
    virtual HRESULT OpenFolderFile(IInStream *inStream, const wchar_t *filePath, const wchar_t *arcFormat,
                                   IFolderFolder **resultFolder, IProgress *progress) = 0;
    virtual HRESULT GetExtensions(BSTR *extensions) = 0;
    virtual HRESULT GetIconPath(const wchar_t *ext, BSTR *iconPath, Int32 *iconIndex) = 0;
};

// Overwrite answers of AskOverwrite.
namespace NOverwriteAnswer {
enum EEnum { kYes = 0, kYesToAll, kNo, kNoToAll, kAutoRename, kCancel };
}

// 01 07: the extract callback's user interface.
struct IFolderArchiveExtractCallback : public IProgress {
    virtual HRESULT AskOverwrite(const wchar_t *existName, const FILETIME *existTime, const UInt64 *existSize,
                                 const wchar_t *newName, const FILETIME *newTime, const UInt64 *newSize,
                                 Int32 *answer) = 0;
    virtual HRESULT PrepareOperation(const wchar_t *name, Int32 isFolder, Int32 askExtractMode,
                                     const UInt64 *position) = 0;
    virtual HRESULT MessageError(const wchar_t *message) = 0;
    virtual HRESULT SetOperationResult(Int32 opRes, Int32 encrypted) = 0;
};

// 01 08
struct IFolderArchiveExtractCallback2 : public IUnknown {
    virtual HRESULT ReportExtractResult(Int32 opRes, Int32 encrypted, const wchar_t *name) = 0;
};

// 01 0B: how an archive edit reports to the panel.
struct IFolderArchiveUpdateCallback : public IProgress {
    virtual HRESULT CompressOperation(const wchar_t *name) = 0;
    virtual HRESULT DeleteOperation(const wchar_t *name) = 0;
    virtual HRESULT OperationResult(Int32 opRes) = 0;
    virtual HRESULT UpdateErrorMessage(const wchar_t *message) = 0;
    virtual HRESULT SetNumFiles(UInt64 numFiles) = 0;
};

// 01 10: structured reports; a callback that has it gets no message lines for file errors.
struct IFolderArchiveUpdateCallback2 : public IUnknown {
    virtual HRESULT OpenFileError(const wchar_t *path, HRESULT errorCode) = 0;
    virtual HRESULT ReadingFileError(const wchar_t *path, HRESULT errorCode) = 0;
    virtual HRESULT ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) = 0;
    virtual HRESULT ReportUpdateOperation(UInt32 notifyOp, const wchar_t *name, Int32 isDir) = 0;
};

// 01 11
struct IFolderScanProgress : public IUnknown {
    virtual HRESULT ScanError(const wchar_t *path, HRESULT errorCode) = 0;
    virtual HRESULT ScanProgress(UInt64 numFolders, UInt64 numFiles, UInt64 totalSize, const wchar_t *path,
                                 Int32 isDir) = 0;
};

// 01 0C: the implementing object itself, without a reference.
struct IArchiveFolderInternal : public IUnknown {
    virtual HRESULT GetAgentFolder(CAgentFolder **agentFolder) = 0;
};

// 01 0D
struct IArchiveFolder : public IUnknown {
    virtual HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32 includeAltStreams,
                            Int32 replaceAltStreamCharsMode, NExtract::NPathMode::EEnum pathMode,
                            NExtract::NOverwriteMode::EEnum overwriteMode, const wchar_t *path, Int32 testMode,
                            IFolderArchiveExtractCallback *extractCallback2) = 0;
};

// 01 0E
struct IInFolderArchive : public IUnknown {
    virtual HRESULT Open(IInStream *inStream, const wchar_t *filePath, const wchar_t *arcFormat, BSTR *archiveType,
                         IArchiveOpenCallback *openArchiveCallback) = 0;
    virtual HRESULT ReOpen(IArchiveOpenCallback *openArchiveCallback) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT GetNumberOfProperties(UInt32 *numProperties) = 0;
    virtual HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) = 0;
    virtual HRESULT BindToRootFolder(IFolderFolder **resultFolder) = 0;
    virtual HRESULT Extract(NExtract::NPathMode::EEnum pathMode, NExtract::NOverwriteMode::EEnum overwriteMode,
                            const wchar_t *path, Int32 testMode, IFolderArchiveExtractCallback *extractCallback2) = 0;
};

// 01 0F
struct IOutFolderArchive : public IUnknown {
    virtual HRESULT SetFolder(IFolderFolder *folder) = 0;
    virtual HRESULT SetFiles(const wchar_t *folderPrefix, const wchar_t *const *names, UInt32 numNames) = 0;
    virtual HRESULT DeleteItems(ISequentialOutStream *outArchiveStream, const UInt32 *indices, UInt32 numItems,
                                IFolderArchiveUpdateCallback *updateCallback) = 0;
    virtual HRESULT DoOperation(CObjectVector<UString> *requestedPaths, CObjectVector<UString> *processedPaths,
                                CCodecs *codecs, Int32 formatIndex, ISequentialOutStream *outArchiveStream,
                                const Byte *stateActions, const wchar_t *sfxModule,
                                IFolderArchiveUpdateCallback *updateCallback) = 0;
    virtual HRESULT DoOperation2(CObjectVector<UString> *requestedPaths, CObjectVector<UString> *processedPaths,
                                 ISequentialOutStream *outArchiveStream, const Byte *stateActions,
                                 const wchar_t *sfxModule, IFolderArchiveUpdateCallback *updateCallback) = 0;
};

// 01 20: properties of the current item for a user interface that supplies its own streams.
struct IGetProp : public IUnknown {
    virtual HRESULT GetProp(PROPID propID, PROPVARIANT *value) = 0;
};

// 01 30
struct IFolderExtractToStreamCallback : public IUnknown {
    virtual HRESULT UseExtractToStream(Int32 *res) = 0;
    virtual HRESULT GetStream7(const wchar_t *name, Int32 isDir, ISequentialOutStream **outStream, Int32 askExtractMode,
                               IGetProp *getProp) = 0;
    virtual HRESULT PrepareOperation7(Int32 askExtractMode) = 0;
    virtual HRESULT SetOperationResult7(Int32 opRes, Int32 encrypted) = 0;
};

// The declared value type of each property id 0 to 95, for column lists.
inline constexpr Byte k7z_PROPID_To_VARTYPE[96] = {
    VT_EMPTY,    VT_UI4,      VT_UI4,  VT_BSTR, VT_BSTR, VT_BSTR, VT_BOOL, VT_UI8,  VT_UI8,  VT_UI4,  VT_FILETIME,
    VT_FILETIME, VT_FILETIME, VT_BOOL, VT_BOOL, VT_BOOL, VT_BOOL, VT_BOOL, VT_UI4,  VT_UI4,  VT_BSTR, VT_BOOL,
    VT_BSTR,     VT_BSTR,     VT_BSTR, VT_BSTR, VT_BSTR, VT_UI8,  VT_BSTR, VT_UI8,  VT_BSTR, VT_UI8,  VT_UI8,
    VT_BSTR,     VT_UI4,      VT_BOOL, VT_UI8,  VT_UI8,  VT_UI8,  VT_UI8,  VT_UI4,  VT_BOOL, VT_BOOL, VT_BSTR,
    VT_UI8,      VT_UI8,      VT_UI4,  VT_BSTR, VT_UI8,  VT_BSTR, VT_BSTR, VT_BSTR, VT_UI4,  VT_UI4,  VT_BSTR,
    VT_BSTR,     VT_UI8,      VT_UI8,  VT_UI4,  VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_BOOL, VT_BOOL, VT_BOOL,
    VT_BOOL,     VT_BSTR,     VT_BSTR, VT_BSTR, VT_UI8,  VT_UI4,  VT_UI4,  VT_BSTR, VT_UI8,  VT_UI8,  VT_UI8,
    VT_UI8,      VT_UI8,      VT_UI8,  VT_UI8,  VT_BSTR, VT_BSTR, VT_BSTR, VT_BOOL, VT_BOOL, VT_BOOL, VT_UI8,
    VT_UI8,      VT_BSTR,     VT_BSTR, VT_UI8,  VT_UI8,  VT_BOOL, VT_BSTR, VT_BSTR,
};
