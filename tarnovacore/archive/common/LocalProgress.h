#pragma once

#include "archive/ICoder.h"
#include "archive/IProgress.h"
#include "common/MyCom.h"

// Turns a coder's byte counts into the operation's progress: adds the bases of the current item
// and the offset of the operation, and forwards the ratio to the sink when it wants it too.
class CLocalProgress : public ICompressProgressInfo, public CMyUnknownImp {
    CMyComPtr<IProgress> _progress;
    CMyComPtr<ICompressProgressInfo> _ratioProgress;
    bool _inSizeIsMain;

public:
    UInt64 ProgressOffset;
    UInt64 InSize;
    UInt64 OutSize;
    bool SendRatio;
    bool SendProgress;

    CLocalProgress()
        : _inSizeIsMain(false), ProgressOffset(0), InSize(0), OutSize(0), SendRatio(true), SendProgress(true) {}

    void Init(IProgress *progress, bool inSizeIsMain);
    HRESULT SetCur() { return SetRatioInfo(nullptr, nullptr); }

    COM_UNKNOWN_IMP(ICompressProgressInfo)

    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) override;
};
