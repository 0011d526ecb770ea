#pragma once

#include "archive/ICoder.h"
#include "archive/IArchive.h"
#include "common/MyCom.h"

// Lets a test extraction run during detection (to find an archive's end) report as open progress
// while writing nothing.
class CExtractCallback_To_OpenCallback : public IArchiveExtractCallback,
                                         public ICompressProgressInfo,
                                         public CMyUnknownImp {
public:
    CMyComPtr<IArchiveOpenCallback> target;
    UInt64 fileCount;
    UInt64 startPosition;

    CExtractCallback_To_OpenCallback() : fileCount(0), startPosition(0) {}
    void Init(IArchiveOpenCallback *callback) {
        target = callback;
        fileCount = 0;
        startPosition = 0;
    }

    COM_UNKNOWN_IMP(IArchiveExtractCallback, ICompressProgressInfo)

    HRESULT SetTotal(UInt64 total) override;
    HRESULT SetCompleted(const UInt64 *completeValue) override;
    HRESULT GetStream(UInt32 index, ISequentialOutStream **outStream, Int32 askExtractMode) override;
    HRESULT PrepareOperation(Int32 askExtractMode) override;
    HRESULT SetOperationResult(Int32 opRes) override;
    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) override;
};
