#include "ExtractCallbackToOpenCallback.h"

HRESULT CExtractCallback_To_OpenCallback::SetTotal(UInt64) {
    return S_OK;
}
HRESULT CExtractCallback_To_OpenCallback::SetCompleted(const UInt64 *) {
    return S_OK;
}

HRESULT CExtractCallback_To_OpenCallback::GetStream(UInt32, ISequentialOutStream **outStream, Int32) {
    *outStream = nullptr;
    return S_OK;
}

HRESULT CExtractCallback_To_OpenCallback::PrepareOperation(Int32) {
    return S_OK;
}
HRESULT CExtractCallback_To_OpenCallback::SetOperationResult(Int32) {
    return S_OK;
}

HRESULT CExtractCallback_To_OpenCallback::SetRatioInfo(const UInt64 *inSize, const UInt64 *) {
    if (!target) return S_OK;
    UInt64 value = startPosition;
    if (inSize) value += *inSize;
    return target->SetCompleted(&fileCount, &value);
}
