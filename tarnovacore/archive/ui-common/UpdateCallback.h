#pragma once

#include <mutex>

#include "DirItem.h"
#include "OpenArchive.h"
#include "UpdateCallbackUI.h"
#include "UpdateProduce.h"
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "archive/IPassword.h"
#include "archive/common/FileStreams.h"
#include "common/MyCom.h"

// Values of the processed-flag array, one byte per disk item.
enum {
    kProcessed_None = 0,
    kProcessed_Opened = 1, // its data was opened for the writer
    kProcessed_Failed = 2  // opening or reading it failed: the archive does not hold it whole
};

// What a format handler's writer calls while it writes an archive: the records' data and
// properties, progress, per-item results and passwords.
class CArchiveUpdateCallback : public IArchiveUpdateCallback2,
                               public IArchiveUpdateCallbackFile,
                               public IArchiveExtractCallbackMessage,
                               public IArchiveGetRawProps,
                               public IArchiveGetRootProps,
                               public ICryptoGetTextPassword2,
                               public ICryptoGetTextPassword,
                               public ICompressProgressInfo,
                               public IInFileStream_Callback,
                               public CMyUnknownImp {
    UInt32 ArcIndexOf(const CUpdatePair2 &up) const {
        return ArcItems ? (*ArcItems)[(unsigned)up.ArchiveIndex].HandlerIndex : (UInt32)up.ArchiveIndex;
    }
    void SetProcessedFlag(int diskIndex, Byte value);

    // Position in ArcItems of each handler index, -1 where there is none. The writer reports archive items by the
    // handler's index, while the list may be in another order (the agent lists it in tree order) and may leave some
    // out; built on the first report.
    CRecordVector<int> _arcItemOfHandlerIndex;
    bool _arcItemMapBuilt;
    const CArcItem *FindArcItem(UInt32 handlerIndex);

    // With WithHardLinks: for each record, the earlier record whose disk file is the same file
    // (device and inode), -1 where there is none; built on the first question.
    CIntVector _hardLinkOf;
    bool _hardLinksFound;
    int FindHardLinkTarget(UInt32 index);

    // The folder of the last file read, held open so that the next file of the same folder is
    // opened by its name alone. _heldFolder: its prefix index, -1 for none; _heldFolderFd is -1
    // where the folder could not be opened.
    std::mutex _heldFolderLock;
    int _heldFolder = -1;
    int _heldFolderFd = -1;
    bool OpenInHeldFolder(CInFileStream &stream, const CDirItem &di);

public:
    // The writer was given a password to encrypt with.
    bool PasswordWasGiven = false;
    // Input files handed to the writer and not yet released, by record index.
    CRecordVector<UInt32> OpenIndexes;
    // Their paths on disk, for the message that names them.
    UStringVector GetOpenPaths() const;

    CRecordVector<UInt64> VolumeSizes;
    UString VolumeName;
    UString VolumeExt;

    IUpdateCallbackUI *Callback;

    const CDirItems *DirItems;
    const CDirItem *ParentDirItem;

    const CArc *Arc;
    CMyComPtr<IInArchive> Archive;
    const CObjectVector<CArcItem> *ArcItems;
    const CRecordVector<CUpdatePair2> *Records;
    const UStringVector *NewNames;

    bool OpenShared; // kept for the caller; the file layer decides how files are shared
    bool FromStdIn;
    bool KeepArcNames;
    bool WithNtSecurity;
    bool WithHardLinks;
    bool WithSymLinks;
    // The format holds no links: files are read through a link, as the scan described them.
    bool FollowSymLinks;

    Byte *ProcessedFlags; // one per disk item, or null

    CArchiveUpdateCallback();
    ~CArchiveUpdateCallback();

    bool AreAllFilesClosed() const;

    COM_UNKNOWN_IMP(IArchiveUpdateCallback2, IArchiveUpdateCallbackFile, IArchiveExtractCallbackMessage,
                    IArchiveGetRawProps, IArchiveGetRootProps, ICryptoGetTextPassword2, ICryptoGetTextPassword,
                    ICompressProgressInfo)

    HRESULT SetTotal(UInt64 size) override;
    HRESULT SetCompleted(const UInt64 *completeValue) override;
    HRESULT GetUpdateItemInfo(UInt32 index, Int32 *newData, Int32 *newProps, UInt32 *indexInArchive) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT GetStream(UInt32 index, ISequentialInStream **inStream) override;
    HRESULT SetOperationResult(Int32 operationResult) override;
    HRESULT GetVolumeSize(UInt32 index, UInt64 *size) override;
    HRESULT GetVolumeStream(UInt32 index, ISequentialOutStream **volumeStream) override;
    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) override;
    HRESULT GetStream2(UInt32 index, ISequentialInStream **inStream, UInt32 notifyOp) override;
    HRESULT ReportOperation(UInt32 indexType, UInt32 index, UInt32 notifyOp) override;
    HRESULT ReportExtractResult(UInt32 indexType, UInt32 index, Int32 opRes) override;
    HRESULT GetParent(UInt32 index, UInt32 *parent, UInt32 *parentType) override;
    HRESULT GetRawProp(UInt32 index, PROPID propID, const void **data, UInt32 *dataSize, UInt32 *propType) override;
    HRESULT GetNumRawProps(UInt32 *numProps) override;
    HRESULT GetRawPropInfo(UInt32 index, BSTR *name, PROPID *propID) override;
    HRESULT GetRootProp(PROPID propID, PROPVARIANT *value) override;
    HRESULT GetRootRawProp(PROPID propID, const void **data, UInt32 *dataSize, UInt32 *propType) override;
    HRESULT CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *password) override;
    HRESULT CryptoGetTextPassword(BSTR *password) override;

    HRESULT InFileStream_On_Error(UInt64 val, UInt32 error) override;
    void InFileStream_On_Destroy(UInt64 val) override;
};
