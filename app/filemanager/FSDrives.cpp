#include "FSDrives.h"

#include <stdlib.h>

#include "FSFolder.h"
#include "common/StringConvert.h"
#include "windows/PropVariant.h"

using namespace NWindows;

static const char *const kDriveTypes[] = {"Unknown", "No Root Dir", "Removable", "Fixed",
                                          "Remote",  "CD-ROM",      "RAM disk"};
static const unsigned kNumDriveTypes = sizeof(kDriveTypes) / sizeof(kDriveTypes[0]);

static const NFsFolder::CPropInfo kProps[] = {
    {kpidName, VT_BSTR},       {kpidTotalSize, VT_UI8},   {kpidFreeSpace, VT_UI8},   {kpidType, VT_BSTR},
    {kpidVolumeName, VT_BSTR}, {kpidFileSystem, VT_BSTR}, {kpidClusterSize, VT_UI4},
};
static const unsigned kNumProps = sizeof(kProps) / sizeof(kProps[0]);

static void AddDrive(CObjectVector<CDriveInfo> &drives, const UString &name, const UString &fullSystemName) {
    CDriveInfo &drive = drives.AddNew();
    drive.name = name;
    drive.fullSystemName = fullSystemName;
    drive.volumeName = name;
    drive.fileSystemName = L"img";
    drive.driveType = 0;
}

HRESULT CFSDrives::LoadItems() {
    COM_TRY_BEGIN
    drives.Clear();
    AddDrive(drives, UString(L"/"), UString(L"/"));
    const char *home = getenv("HOME");
    if (home) {
        const UString homePath = MultiByteToUnicodeString(AString(home));
        AddDrive(drives, homePath, homePath + L'/');
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CFSDrives::GetNumberOfItems(UInt32 *numItems) {
    *numItems = drives.Size();
    return S_OK;
}

HRESULT CFSDrives::GetNumberOfProperties(UInt32 *numProperties) {
    *numProperties = kNumProps;
    return S_OK;
}

HRESULT CFSDrives::GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    return NFsFolder::GetPropInfoFromTable(kProps, kNumProps, index, name, propID, varType);
}

HRESULT CFSDrives::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    if (index >= drives.Size()) return E_INVALIDARG;
    COM_TRY_BEGIN
    NCOM::CPropVariant prop;
    const CDriveInfo &drive = drives[index];
    switch (propID) {
    case kpidIsDir:
        prop = true;
        break;
    case kpidName:
        prop = drive.name;
        break;
    case kpidOutName:
        if (!drive.name.IsEmpty() && drive.name.Back() == L':') {
            UString s = drive.name;
            s.DeleteBack();
            s += L".img";
            prop = s;
        }
        break;
    case kpidType:
        if (drive.driveType < kNumDriveTypes) prop = kDriveTypes[drive.driveType];
        break;
    case kpidVolumeName:
        prop = drive.volumeName;
        break;
    case kpidFileSystem:
        prop = drive.fileSystemName;
        break;
    default:
        break;
    }
    prop.Detach(value);
    return S_OK;
    COM_TRY_END
}

HRESULT CFSDrives::GetFolderProperty(PROPID propID, PROPVARIANT *value) {
    return NFsFolder::GetPathOrTypeProperty(propID, L"我的电脑/", L"FSDrives", value);
}

HRESULT CFSDrives::BindToFolder(UInt32 index, IFolderFolder **resultFolder) {
    *resultFolder = nullptr;
    if (index >= drives.Size()) return E_INVALIDARG;
    return NFsFolder::CreateFsFolder(drives[index].fullSystemName, resultFolder);
}

HRESULT CFSDrives::BindToFolder(const wchar_t *name, IFolderFolder **resultFolder) {
    return NFsFolder::CreateFsFolder(name, resultFolder);
}

HRESULT CFSDrives::BindToParentFolder(IFolderFolder **resultFolder) {
    *resultFolder = nullptr;
    return S_OK;
}

HRESULT CFSDrives::CreateFolder(const wchar_t *, IProgress *) {
    return E_NOTIMPL;
}
HRESULT CFSDrives::CreateFile(const wchar_t *, IProgress *) {
    return E_NOTIMPL;
}
HRESULT CFSDrives::Rename(UInt32, const wchar_t *, IProgress *) {
    return E_NOTIMPL;
}
HRESULT CFSDrives::Delete(const UInt32 *, UInt32, IProgress *) {
    return E_NOTIMPL;
}
HRESULT CFSDrives::CopyTo(Int32, const UInt32 *, UInt32 numItems, Int32, Int32, const wchar_t *,
                          IFolderOperationsExtractCallback *) {
    return numItems == 0 ? S_OK : E_NOTIMPL;
}
HRESULT CFSDrives::CopyFrom(Int32, const wchar_t *, const wchar_t *const *, UInt32, IProgress *) {
    return E_NOTIMPL;
}
HRESULT CFSDrives::SetProperty(UInt32, PROPID, const PROPVARIANT *, IProgress *) {
    return E_NOTIMPL;
}
HRESULT CFSDrives::CopyFromFile(UInt32, const wchar_t *, IProgress *) {
    return E_NOTIMPL;
}

// Entries have no icons of their own here.
HRESULT CFSDrives::GetSystemIconIndex(UInt32, Int32 *iconIndex) {
    *iconIndex = 0;
    return S_OK;
}
