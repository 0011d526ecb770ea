#include "Agent.h"

// The editing side of the agent: until it lands, every edit is refused.

HRESULT CAgent::SetFolder(IFolderFolder *) {
    return E_NOTIMPL;
}

HRESULT CAgent::SetFiles(const wchar_t *, const wchar_t *const *, UInt32) {
    return E_NOTIMPL;
}

HRESULT CAgent::DeleteItems(ISequentialOutStream *, const UInt32 *, UInt32, IFolderArchiveUpdateCallback *) {
    return E_NOTIMPL;
}

HRESULT CAgent::DoOperation(CObjectVector<UString> *, CObjectVector<UString> *, CCodecs *, Int32,
                            ISequentialOutStream *, const Byte *, const wchar_t *, IFolderArchiveUpdateCallback *) {
    return E_NOTIMPL;
}

HRESULT CAgent::DoOperation2(CObjectVector<UString> *, CObjectVector<UString> *, ISequentialOutStream *, const Byte *,
                             const wchar_t *, IFolderArchiveUpdateCallback *) {
    return E_NOTIMPL;
}

HRESULT CAgent::SetProperties(const wchar_t *const *, const PROPVARIANT *, UInt32) {
    return E_NOTIMPL;
}

HRESULT CAgent::CommonUpdate(ISequentialOutStream *, unsigned, IArchiveUpdateCallback *) {
    return E_NOTIMPL;
}

HRESULT CAgent::CreateFolder(ISequentialOutStream *, const wchar_t *, IFolderArchiveUpdateCallback *) {
    return E_NOTIMPL;
}

HRESULT CAgent::RenameItem(ISequentialOutStream *, const UInt32 *, UInt32, const wchar_t *,
                           IFolderArchiveUpdateCallback *) {
    return E_NOTIMPL;
}

HRESULT CAgent::UpdateOneFile(ISequentialOutStream *, const UInt32 *, UInt32, const wchar_t *,
                              IFolderArchiveUpdateCallback *) {
    return E_NOTIMPL;
}
