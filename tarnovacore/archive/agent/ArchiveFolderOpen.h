#pragma once

// Opens a file as a browsable archive folder and lists the extensions that the archive core can
// open. Keeps no state: everything comes from the agent's process-wide registry.
#include "archive/IFolder.h"
#include "archive/ui-common/LoadCodecs.h"
#include "common/MyCom.h"

class CArchiveFolderManager : public IFolderManager, public CMyUnknownImp {
    void AddIconExt(const CCodecIcons &lib, UString &dest);
    HRESULT LoadFormats();
    int FindFormat(const UString &type);

public:
    COM_UNKNOWN_IMP(IFolderManager)

    HRESULT OpenFolderFile(IInStream *inStream, const wchar_t *filePath, const wchar_t *arcFormat,
                           IFolderFolder **resultFolder, IProgress *progress) override;
    HRESULT GetExtensions(BSTR *extensions) override;
    HRESULT GetIconPath(const wchar_t *ext, BSTR *iconPath, Int32 *iconIndex) override;
};
