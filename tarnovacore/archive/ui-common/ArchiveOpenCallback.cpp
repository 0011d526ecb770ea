#include "archive/common/StreamUtils.h"
#include "ArchiveOpenCallback.h"

#include <errno.h>

#include "ExtractingFilePath.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"

using namespace NWindows;

void COpenCallbackImp::Init(const UString &folder, const UString &name) {
    archiveFolder = folder;
    if (!lastFileInfo.Find(folder + name, true)) throw 20121118;
    volumeNames.Clear();
    volumeInUse.Clear();
    volumeSizes.Clear();
    nestedMode = false;
    passwordAsked = false;
}

HRESULT COpenCallbackImp::SetTotal(const UInt64 *files, const UInt64 *bytes) {
    COM_TRY_BEGIN
    if (ui) return ui->Open_SetTotal(files, bytes);
    return S_OK;
    COM_TRY_END
}

HRESULT COpenCallbackImp::SetCompleted(const UInt64 *files, const UInt64 *bytes) {
    COM_TRY_BEGIN
    if (ui) return ui->Open_SetCompleted(files, bytes);
    return S_OK;
    COM_TRY_END
}

HRESULT COpenCallbackImp::GetProperty(PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    NCOM::CPropVariant prop;
    if (nestedMode) {
        if (propID == kpidName) prop = nestedName;
    } else {
        switch (propID) {
        case kpidName:
            prop = lastFileInfo.Name;
            break;
        case kpidIsDir:
            prop = lastFileInfo.IsDir();
            break;
        case kpidSize:
            prop = lastFileInfo.Size;
            break;
        case kpidAttrib:
            prop = (UInt32)lastFileInfo.Attrib;
            break;
        case kpidCTime:
            prop = lastFileInfo.CTime;
            break;
        case kpidATime:
            prop = lastFileInfo.ATime;
            break;
        case kpidMTime:
            prop = lastFileInfo.MTime;
            break;
        default:
            break;
        }
    }
    prop.Detach(value);
    return S_OK;
    COM_TRY_END
}

HRESULT COpenCallbackImp::GetStream(const wchar_t *name, IInStream **inStream) {
    COM_TRY_BEGIN
    *inStream = nullptr;
    if (nestedMode) return S_FALSE;
    if (ui) RINOK(ui->Open_CheckBreak());
    const UString volName(name);
    // The handler names the volume; it must stay beside the archive.
    if (!IsSafePath(volName)) return S_FALSE;
    UString fullPath;
    if (!NFile::NName::GetFullPath(archiveFolder, volName, fullPath)) return S_FALSE;
    if (!lastFileInfo.Find(fullPath, true)) return S_FALSE;
    if (lastFileInfo.IsDir()) return S_FALSE;
    CInFileStreamVol *streamSpec = new CInFileStreamVol;
    CMyComPtr<IInStream> stream(streamSpec);
    if (!streamSpec->Open(fullPath)) return HRESULT_FROM_ERRNO(errno);
    volumeSizes.Add(lastFileInfo.Size);
    volumeNames.Add(volName);
    streamSpec->volumeIndex = (Int32)volumeInUse.Add(true);
    streamSpec->openCallbackImp = this;
    streamSpec->openCallbackRef = this;
    *inStream = stream.Detach();
    return S_OK;
    COM_TRY_END
}

HRESULT COpenCallbackImp::SetSubArchiveName(const wchar_t *name) {
    nestedMode = true;
    nestedName = name;
    return S_OK;
}

HRESULT COpenCallbackImp::CryptoGetTextPassword(BSTR *password) {
    COM_TRY_BEGIN
    if (!ui) return E_NOTIMPL;
    passwordAsked = true;
    return ui->Open_CryptoGetTextPassword(password);
    COM_TRY_END
}

CInFileStreamVol::~CInFileStreamVol() {
    if (openCallbackImp && volumeIndex >= 0) openCallbackImp->volumeInUse[(unsigned)volumeIndex] = false;
}
