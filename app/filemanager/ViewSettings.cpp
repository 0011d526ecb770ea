#include "ViewSettings.h"

#include "options.h"

bool CListViewInfo::IsEqual(const CListViewInfo &info) const {
    if (Columns.Size() != info.Columns.Size() || SortID != info.SortID || Ascending != info.Ascending) return false;
    FOR_VECTOR(i, Columns)
    if (!Columns[i].IsEqual(info.Columns[i])) return false;
    return true;
}

// The column layout is not kept between runs: the record stays as the caller prepared it.
void CListViewInfo::Read(const UString &) {}
void CListViewInfo::Save(const UString &) const {}

bool ReadFolderHistory(CObjectVector<UString> &folders) {
    return options::instance().get_folder_history(folders);
}
bool SaveFolderHistory(const CObjectVector<UString> &folders) {
    return options::instance().set_folder_history(folders);
}
bool ReadFastFolders(CObjectVector<UString> &folders) {
    return options::instance().get_fast_folder(folders);
}
bool SaveFastFolders(const CObjectVector<UString> &folders) {
    return options::instance().set_fast_folder(folders);
}
bool ReadCopyHistory(CObjectVector<UString> &folders) {
    return options::instance().get_copy_history(folders);
}
bool SaveCopyHistory(const CObjectVector<UString> &folders) {
    return options::instance().set_copy_history(folders);
}
