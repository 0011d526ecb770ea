#include "LocalProgress.h"

#include "StreamUtils.h"

void CLocalProgress::Init(IProgress *progress, bool inSizeIsMain) {
    _ratioProgress.Release();
    _progress = progress;
    _progress.QueryInterface(IID_ICompressProgressInfo, &_ratioProgress);
    _inSizeIsMain = inSizeIsMain;
}

HRESULT CLocalProgress::SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) {
    UInt64 in = InSize, out = OutSize;
    if (inSize) in += *inSize;
    if (outSize) out += *outSize;
    if (SendRatio && _ratioProgress) RINOK(_ratioProgress->SetRatioInfo(&in, &out));
    if (!SendProgress) return S_OK;
    if (!_progress) return S_OK;
    in += ProgressOffset;
    out += ProgressOffset;
    return _progress->SetCompleted(_inSizeIsMain ? &in : &out);
}
