#include "ArchiveOpenCallbackOffset.h"

#include "windows/PropVariant.h"

void CArchiveOpenCallback_Offset::Init(IArchiveOpenCallback *callback) {
    target = callback;
    volumeCallback.Release();
    passwordCallback.Release();
    if (callback) {
        target.QueryInterface(IID_IArchiveOpenVolumeCallback, &volumeCallback);
        target.QueryInterface(IID_ICryptoGetTextPassword, &passwordCallback);
    }
    fileCount = 0;
    startPosition = 0;
}

HRESULT CArchiveOpenCallback_Offset::SetTotal(const UInt64 *, const UInt64 *) {
    return S_OK;
}

HRESULT CArchiveOpenCallback_Offset::SetCompleted(const UInt64 *, const UInt64 *bytes) {
    if (!target) return S_OK;
    UInt64 value = startPosition;
    if (bytes) value += *bytes;
    return target->SetCompleted(&fileCount, &value);
}

HRESULT CArchiveOpenCallback_Offset::GetProperty(PROPID propID, PROPVARIANT *value) {
    if (volumeCallback) return volumeCallback->GetProperty(propID, value);
    NWindows::NCOM::PropVariant_Clear(value);
    return S_OK;
}

HRESULT CArchiveOpenCallback_Offset::GetStream(const wchar_t *name, IInStream **inStream) {
    if (volumeCallback) return volumeCallback->GetStream(name, inStream);
    *inStream = nullptr;
    return S_FALSE;
}

HRESULT CArchiveOpenCallback_Offset::CryptoGetTextPassword(BSTR *password) {
    if (passwordCallback) return passwordCallback->CryptoGetTextPassword(password);
    return E_NOTIMPL;
}
