#pragma once

// The panel's stored lists (folder history, favourite folders, copy targets) and the list
// view's column layout, which is kept only for the run.
#include "common/MyString.h"
#include "common/MyTypes.h"
#include "common/MyVector.h"

struct CColumnInfo {
    UInt32 PropID;
    bool IsVisible;
    UInt32 Width;

    bool IsEqual(const CColumnInfo &a) const {
        return PropID == a.PropID && IsVisible == a.IsVisible && Width == a.Width;
    }
};

struct CListViewInfo {
    CRecordVector<CColumnInfo> Columns;
    UInt32 SortID = 0;
    bool Ascending = true;

    bool IsEqual(const CListViewInfo &info) const;
    void Read(const UString &id);
    void Save(const UString &id) const;
};

bool ReadFolderHistory(CObjectVector<UString> &folders);
bool SaveFolderHistory(const CObjectVector<UString> &folders);
bool ReadFastFolders(CObjectVector<UString> &folders);
bool SaveFastFolders(const CObjectVector<UString> &folders);
bool ReadCopyHistory(CObjectVector<UString> &folders);
bool SaveCopyHistory(const CObjectVector<UString> &folders);
