// Reading the items of an opened level: paths, default names, alternate streams, sizes and times.
#include "archive/common/StreamUtils.h"
#include "ExtractingFilePath.h"
#include "OpenArchive.h"
#include "common/Wildcard.h"
#include "windows/PropVariantConv.h"

using namespace NWindows;

static const UInt32 kNoParent = (UInt32)(Int32)-1;
static const UInt32 kParentTypeAltStream = 1;

HRESULT Archive_GetItemBoolProp(IInArchive *archive, UInt32 index, PROPID propID, bool &result) {
    NCOM::CPropVariant prop;
    result = false;
    RINOK(archive->GetProperty(index, propID, &prop));
    if (prop.vt == VT_BOOL)
        result = prop.boolVal != VARIANT_FALSE;
    else if (prop.vt != VT_EMPTY)
        return E_FAIL;
    return S_OK;
}

HRESULT Archive_IsItem_Dir(IInArchive *archive, UInt32 index, bool &result) {
    return Archive_GetItemBoolProp(archive, index, kpidIsDir, result);
}

HRESULT Archive_IsItem_Aux(IInArchive *archive, UInt32 index, bool &result) {
    return Archive_GetItemBoolProp(archive, index, kpidIsAux, result);
}

HRESULT Archive_IsItem_AltStream(IInArchive *archive, UInt32 index, bool &result) {
    return Archive_GetItemBoolProp(archive, index, kpidIsAltStream, result);
}

HRESULT Archive_IsItem_Deleted(IInArchive *archive, UInt32 index, bool &result) {
    return Archive_GetItemBoolProp(archive, index, kpidIsDeleted, result);
}

// A string property: a string is taken, empty gives an empty text, anything else is E_FAIL.
static HRESULT GetItemStringProp(IInArchive *archive, UInt32 index, PROPID propID, UString &result) {
    result.Empty();
    NCOM::CPropVariant prop;
    RINOK(archive->GetProperty(index, propID, &prop));
    if (prop.vt == VT_BSTR)
        result.SetFromBstr(prop.bstrVal);
    else if (prop.vt != VT_EMPTY)
        return E_FAIL;
    return S_OK;
}

// Zero-terminated text of 2- or 4-byte little-endian units, each unit one character.
static void ReadRawText(const void *data, UInt32 dataSize, unsigned unitSize, UString &result) {
    result.Empty();
    if (!data || dataSize < unitSize) return;
    const Byte *p = (const Byte *)data;
    const unsigned len = dataSize / unitSize - 1;
    wchar_t *dest = result.GetBuf(len);
    unsigned i = 0;
    for (; i < len; i++, p += unitSize) {
        UInt32 c = (UInt32)p[0] | ((UInt32)p[1] << 8);
        if (unitSize == 4) c |= ((UInt32)p[2] << 16) | ((UInt32)p[3] << 24);
        if (c == 0) break;
        dest[i] = (wchar_t)c;
    }
    result.ReleaseBuf_SetEnd(i);
}

HRESULT CArc::GetItemPath(UInt32 index, UString &result) const {
    if (rawPropsHandler && !isTreeArchive) {
        const void *data = nullptr;
        UInt32 dataSize = 0;
        UInt32 propType = 0;
        if (rawPropsHandler->GetRawProp(index, kpidPath, &data, &dataSize, &propType) == S_OK &&
            propType == NPropDataType::kUtf16z) {
            ReadRawText(data, dataSize, 2, result);
            if (!result.IsEmpty()) return S_OK;
        }
    }
    RINOK(GetItemStringProp(handler, index, kpidPath, result));
    if (result.IsEmpty()) return GetDefaultItemPath(index, result);
    return S_OK;
}

HRESULT CArc::GetDefaultItemPath(UInt32 index, UString &result) const {
    result.Empty();
    bool isDir;
    RINOK(Archive_IsItem_Dir(handler, index, isDir));
    if (isDir) return S_OK;
    result = defaultItemName;
    NCOM::CPropVariant prop;
    RINOK(handler->GetProperty(index, kpidExtension, &prop));
    if (prop.vt == VT_BSTR) {
        result += L'.';
        result += prop.bstrVal;
    } else if (prop.vt != VT_EMPTY) {
        return E_FAIL;
    }
    // The extension comes from the archive: the made-up name must stay one name.
    if (!result.IsEmpty()) result = Get_Correct_FsFile_Name(result);
    return S_OK;
}

HRESULT CArc::GetItemPath2(UInt32 index, UString &result) const {
    RINOK(GetItemPath(index, result));
    if (mayHaveDeleted) {
        bool isDeleted = false;
        RINOK(Archive_IsItem_Deleted(handler, index, isDeleted));
        if (isDeleted) result.Insert(0, L"[DELETED]/");
    }
    return S_OK;
}

int FindAltStreamColon_in_Path(const wchar_t *path) {
    int colonPos = -1;
    for (unsigned i = 0;; i++) {
        const wchar_t c = path[i];
        if (c == 0) return colonPos;
        if (c == L':') {
            if (colonPos < 0) colonPos = (int)i;
        } else if (c == L'/') {
            colonPos = -1;
        }
    }
}

HRESULT CArc::GetItemPathToParent(UInt32 index, UInt32 parent, UStringVector &parts) const {
    if (!rawPropsHandler) return E_FAIL;
    if (index == parent) return S_OK;
    UInt32 numItems = 0;
    RINOK(handler->GetNumberOfItems(&numItems));
    UInt32 curIndex = index;
    bool prevWasAltStream = false;
    // Parent links come from the archive: a cycle must not hold the walk forever.
    for (UInt32 step = 0;; step++) {
        if (step >= numItems) return E_FAIL;
        UString name;
        {
            const void *data = nullptr;
            UInt32 dataSize = 0;
            UInt32 propType = 0;
            if (rawPropsHandler->GetRawProp(curIndex, kpidName, &data, &dataSize, &propType) == S_OK && data &&
                propType == NPropDataType::kUtf32z)
                ReadRawText(data, dataSize, 4, name);
            else
                RINOK(GetItemStringProp(handler, curIndex, kpidName, name));
        }
        UInt32 curParent = kNoParent;
        UInt32 parentType = 0;
        RINOK(rawPropsHandler->GetParent(curIndex, &curParent, &parentType));
        if (parentType != kParentTypeAltStream) {
            for (;;) {
                const int pos = name.ReverseFind_PathSepar();
                if (pos < 0) break;
                parts.Insert(0, UString(name.Ptr((unsigned)pos + 1)));
                name.DeleteFrom((unsigned)pos);
            }
        }
        parts.Insert(0, name);
        if (prevWasAltStream && parts.Size() >= 2) {
            UString &s = parts[parts.Size() - 2];
            s += L':';
            s += parts.Back();
            parts.DeleteBack();
        }
        if (curParent == parent) return S_OK;
        if (curParent == kNoParent) return E_FAIL;
        prevWasAltStream = parentType == kParentTypeAltStream;
        curIndex = curParent;
    }
}

HRESULT CArc::GetItem(UInt32 index, CReadArcItem &item) const {
    item.isAltStream = false;
    item.altStreamName.Empty();
    item.mainPath.Empty();
    item.isDir = false;
    item.itemPath.Empty();
    item.parentIndex = kNoParent;
    item.pathParts.Clear();

    RINOK(Archive_IsItem_Dir(handler, index, item.isDir));
    item.mainIsDir = item.isDir;
    RINOK(GetItemPath2(index, item.itemPath));
    item.mainPath = item.itemPath;
    UInt32 mainIndex = index;

    if (mayHaveAltStreams) RINOK(Archive_IsItem_AltStream(handler, index, item.isAltStream));

    bool needFindAltStream = false;
    if (item.isAltStream) {
        needFindAltStream = true;
        if (rawPropsHandler) {
            UInt32 parent = kNoParent;
            UInt32 parentType = 0;
            RINOK(rawPropsHandler->GetParent(index, &parent, &parentType));
            if (parentType == kParentTypeAltStream) {
                needFindAltStream = false;
                RINOK(GetItemStringProp(handler, index, kpidName, item.altStreamName));
                item.parentIndex = parent;
                mainIndex = parent;
                if (parent == kNoParent) {
                    item.mainPath.Empty();
                    item.mainIsDir = true;
                } else {
                    RINOK(GetItemPath2(parent, item.mainPath));
                    RINOK(Archive_IsItem_Dir(handler, parent, item.mainIsDir));
                }
            }
        }
    }

    const bool splitHere = item.splitAtColon || needFindAltStream;
    if (splitHere) {
        const int colon = FindAltStreamColon_in_Path(item.itemPath);
        if (colon >= 0) {
            item.mainPath = item.itemPath.Left((unsigned)colon);
            item.altStreamName = item.itemPath.Ptr((unsigned)colon + 1);
            item.mainIsDir = (colon == 0 || item.itemPath[(unsigned)colon - 1] == L'/');
            item.isAltStream = true;
        }
    }

    if (!item.relativeToBase) {
        SplitPathToParts(item.mainPath, item.pathParts);
    } else {
        RINOK(GetItemPathToParent(mainIndex, item.baseFolderIndex, item.pathParts));
        if (splitHere && !item.pathParts.IsEmpty()) {
            UString &last = item.pathParts.Back();
            const int colon = FindAltStreamColon_in_Path(last);
            if (colon >= 0) {
                item.altStreamName = last.Ptr((unsigned)colon + 1);
                item.isAltStream = true;
                if (colon == 0) {
                    item.mainIsDir = true;
                    item.pathParts.DeleteBack();
                } else {
                    item.mainIsDir = last[(unsigned)colon - 1] == L'/';
                    last.DeleteFrom((unsigned)colon);
                }
            }
        }
    }
    return S_OK;
}

HRESULT CArc::GetItemSize(UInt32 index, UInt64 &size, bool &defined) const {
    NCOM::CPropVariant prop;
    defined = false;
    size = 0;
    RINOK(handler->GetProperty(index, kpidSize, &prop));
    if (prop.vt == VT_EMPTY) return S_OK;
    if (!ConvertPropVariantToUInt64(prop, size)) return E_FAIL;
    defined = true;
    return S_OK;
}

HRESULT CArc::GetItemMTime(UInt32 index, FILETIME &time, bool &defined) const {
    NCOM::CPropVariant prop;
    defined = false;
    time.dwLowDateTime = 0;
    time.dwHighDateTime = 0;
    RINOK(handler->GetProperty(index, kpidMTime, &prop));
    if (prop.vt == VT_FILETIME) {
        time = prop.filetime;
        defined = true;
    } else if (prop.vt != VT_EMPTY) {
        return E_FAIL;
    } else if (itemTimeDefined) {
        time = itemTime;
        defined = true;
    }
    return S_OK;
}
