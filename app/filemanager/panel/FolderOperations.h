#pragma once

// Name checks of the panel's folder operations and the worker that runs a folder change behind
// the progress window.
#include "ProgressThreadVirt.h"
#include "archive/IFolder.h"
#include "common/MyCom.h"
#include "common/MyString.h"

class CPanel;
class CUpdateCallback100Imp;

// False when the last part of the name is "." or "..".
bool IsCorrectFsName(const UString &name);
// Parts of the name that do not exist yet lose their trailing blanks and dots; existing parts
// stay as they are. An absolute name ignores the base.
bool CorrectFsPath(const UString &base, const UString &name, UString &result);

class CThreadFolderOperations : public CProgressThreadVirt {
public:
    enum EKind { kCreateFolder = 0, kDelete = 1, kRename = 2 };
    int kind = kCreateFolder;
    UString name;                // new folder's name, or the new name of a rename
    CRecordVector<UInt32> indices; // items to delete, or the one to rename
    CMyComPtr<IFolderOperations> folderOperations;
    CMyComPtr<IFolderArchiveUpdateCallback> updateCallback;
    CUpdateCallback100Imp *updateCallbackSpec = nullptr;

    HRESULT ProcessVirt() override;
    // Runs the worker with the progress window; the first failure that is not a cancel.
    HRESULT DoOperation(CPanel &panel, const UString &title, const UString &errorTitle);
};
