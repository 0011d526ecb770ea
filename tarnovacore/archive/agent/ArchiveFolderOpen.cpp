#include "ArchiveFolderOpen.h"

#include "Agent.h"
#include "common/StringConvert.h"

HRESULT CArchiveFolderManager::LoadFormats() {
    return LoadGlobalCodecs();
}

int CArchiveFolderManager::FindFormat(const UString &type) {
    if (!g_CodecsObj) return -1;
    FOR_VECTOR(i, g_CodecsObj->Formats) {
        if (StringsAreEqualNoCase(g_CodecsObj->Formats[i].Name, type)) return (int)i;
    }
    return -1;
}

HRESULT CArchiveFolderManager::OpenFolderFile(IInStream *inStream, const wchar_t *filePath, const wchar_t *arcFormat,
                                              IFolderFolder **resultFolder, IProgress *progress) {
    COM_TRY_BEGIN
    CMyComPtr<IArchiveOpenCallback> openArchiveCallback;
    if (progress) {
        CMyComPtr<IProgress> progressWrapper = progress;
        progressWrapper.QueryInterface(IID_IArchiveOpenCallback, &openArchiveCallback);
    }
    CAgent *agent = new CAgent();
    CMyComPtr<IInFolderArchive> archive = agent;
    const HRESULT res = archive->Open(inStream, filePath, arcFormat, nullptr, openArchiveCallback);
    if (res != S_OK) return res;
    return archive->BindToRootFolder(resultFolder);
    COM_TRY_END
}

void CArchiveFolderManager::AddIconExt(const CCodecIcons &lib, UString &dest) {
    FOR_VECTOR(i, lib.IconPairs) {
        dest.Add_Space_if_NotEmpty();
        dest += lib.IconPairs[i].Ext;
    }
}

HRESULT CArchiveFolderManager::GetExtensions(BSTR *extensions) {
    COM_TRY_BEGIN
    LoadFormats();
    *extensions = nullptr;
    UString res;
    if (g_CodecsObj) {
        FOR_VECTOR(i, g_CodecsObj->Libs)
        AddIconExt(g_CodecsObj->Libs[i], res);
        AddIconExt(g_CodecsObj->BuiltInIcons, res);

        if (res.IsEmpty()) {
            FOR_VECTOR(i, g_CodecsObj->Formats) {
                const CArcInfoEx &ai = g_CodecsObj->Formats[i];
                FOR_VECTOR(j, ai.Exts) {
                    res.Add_Space_if_NotEmpty();
                    res.AddAscii(UnicodeStringToMultiByte(ai.Exts[j].Ext, 0));
                }
            }
        }
    }
    *extensions = ::SysAllocString(res);
    if (!*extensions) return E_OUTOFMEMORY;
    return S_OK;
    COM_TRY_END
}

HRESULT CArchiveFolderManager::GetIconPath(const wchar_t *, BSTR *iconPath, Int32 *iconIndex) {
    *iconPath = nullptr;
    *iconIndex = 0;
    return S_OK;
}
