// The item list: columns per folder, filling the two views, sorting, selection by item index
// (kept in user-data role 256 of each row's first cell), and what each item is called.
#include <QFileIconProvider>
#include <QHash>
#include <QHeaderView>
#include <QListWidget>
#include <QMimeDatabase>
#include <QTableWidget>

#include <QCoreApplication>

#include <wctype.h>

#include <algorithm>
#include <set>
#include <string>

#include "Panel.h"
#include "dialogcodes.h"
#include "CellText.h"
#include "mainiconview.h"
#include "mainlistview.h"
#include "PanelHost.h"
#include "windows/PropVariant.h"

using namespace NWindows;

static const int kItemRole = 256;
static const int kFirstScreenRows = 80;

// Headings the user reads: every id has a Chinese name, never an internal one.
UString GetNameOfProperty(PROPID propID, const wchar_t *name) {
    // clang-format off
    static const wchar_t *const kNames[96] = {
        L"无属性", L"主文件", L"项目索引", L"路径", L"名称", L"扩展名", L"文件夹",
        L"大小", L"压缩后大小", L"属性", L"创建时间", L"访问时间", L"修改时间", L"固实", L"注释", L"加密",
        L"之前分割", L"之后分割", L"字典大小", L"CRC", L"类型", L"剔除项", L"算法", L"主操作系统",
        L"文件系统", L"用户", L"组", L"字块", L"注释", L"定位", L"路径前缀", L"文件夹", L"文件", L"版本", L"卷",
        L"多卷压缩", L"偏移", L"链接", L"字块", L"分卷", L"时间类型", L"64 位", L"大端序", L"CPU",
        L"物理大小", L"文件头大小", L"校验和", L"特征", L"虚拟地址", L"ID", L"短文件名", L"创建程序",
        L"扇区大小", L"模式", L"链接", L"错误", L"总大小", L"可用空间", L"簇大小", L"卷标", L"本地名称",
        L"供应者", L"NT 安全", L"交替数据流", L"辅助", L"已删除", L"树状结构", L"SHA1", L"SHA256",
        L"错误类型", L"错误", L"错误", L"警告", L"警告", L"数据流", L"交替数据流", L"交替数据流大小",
        L"虚拟大小", L"释放大小", L"完整物理大小", L"卷索引", L"子类型", L"短评论", L"代码页",
        L"非压缩包类型", L"物理大小未知", L"允许零填充尾部", L"尾部大小",
        L"嵌入尾部大小", L"链接类型", L"硬链接", L"索引节点", L"数据流 ID", L"只读", L"输出名称",
        L"复制链接"};
    // clang-format on
    if (propID < 96) return UString(kNames[propID]);
    if (name) return UString(name);
    wchar_t digits[16];
    swprintf(digits, 16, L"%u", (unsigned)propID);
    return UString(digits);
}

static QString ToQ(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

namespace {

// File-type icons, one lookup per extension: asking the desktop for every one of 100,000 files
// would cost more than listing them.
class CIconCache {
public:
    QIcon folder() {
        if (_folder.isNull()) _folder = _provider.icon(QFileIconProvider::Folder);
        return _folder;
    }
    QIcon file() {
        if (_file.isNull()) _file = _provider.icon(QFileIconProvider::File);
        return _file;
    }
    QIcon forName(const UString &name) {
        const int dot = name.ReverseFind(L'.');
        const QString ext = dot > 0 ? ToQ(UString(name.Ptr((unsigned)dot + 1))).toLower() : QString();
        auto it = _byExt.find(ext);
        if (it != _byExt.end()) return it.value();
        QIcon icon;
        if (!ext.isEmpty()) {
            const QMimeType mime = _mimes.mimeTypeForFile("x." + ext, QMimeDatabase::MatchExtension);
            icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
        }
        if (icon.isNull()) icon = file();
        _byExt.insert(ext, icon);
        return icon;
    }

private:
    QFileIconProvider _provider;
    QMimeDatabase _mimes;
    QIcon _folder, _file;
    QHash<QString, QIcon> _byExt;
};

CIconCache &Icons() {
    static CIconCache cache;
    return cache;
}

bool IsSizeType(VARTYPE t) {
    switch (t) {
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_I8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

int ColumnAlignment(const CListColumn &c) {
    if (c.ID == kpidCTime || c.ID == kpidATime || c.ID == kpidMTime) return Qt::AlignLeft | Qt::AlignVCenter;
    switch (c.Type) {
    case VT_EMPTY:
    case VT_BSTR:
    case VT_I1:
    case VT_FILETIME:
        return Qt::AlignLeft | Qt::AlignVCenter;
    default:
        return IsSizeType(c.Type) ? (int)(Qt::AlignRight | Qt::AlignVCenter) : (int)Qt::AlignCenter;
    }
}

} // namespace

static bool IsImageName(const wchar_t *name, unsigned len);

bool CPanel::is_image(const UString &name) {
    return IsImageName(name.Ptr(), name.Len());
}

static bool IsImageName(const wchar_t *name, unsigned len) {
    static const std::set<std::wstring> kExts = {
        L"bmp",  L"dib", L"rle", L"jpg", L"jpeg", L"jpe", L"jif", L"jfif", L"thm", L"tbi",  L"gif", L"png", L"tif",
        L"tiff", L"fax", L"g3f", L"g3n", L"swf",  L"psd", L"pdd", L"cr2",  L"crw", L"nef",  L"arw", L"srf", L"sr2",
        L"orf",  L"pef", L"raf", L"rw2", L"raw",  L"bay", L"dcr", L"kdc",  L"mrw", L"o32",  L"x3f", L"erf", L"mef",
        L"dng",  L"mos", L"fff", L"cs1", L"3fr",  L"nrw", L"psp", L"tga",  L"pcx", L"dcx",  L"pbm", L"pgm", L"ppm",
        L"pcd",  L"sgi", L"bw",  L"rgb", L"rgba", L"wmf", L"emf", L"ico",  L"cur", L"wbmp", L"wbm"};
    unsigned dot = len;
    while (dot > 0 && name[dot - 1] != L'.')
        dot--;
    if (dot == 0 || dot >= len) return false;
    std::wstring ext(name + dot, len - dot);
    for (auto &c : ext)
        c = (wchar_t)towlower((wint_t)c);
    return kExts.count(ext) != 0;
}

HRESULT CPanel::InitColumns() {
    if (mainWin->is_icon_mode()) return E_FAIL;
    mainlistview *table = mainWin->get_list_view();
    if (needSaveColumns) SaveListViewInfo();
    ReadListViewInfo();
    sortAscending = listViewInfo.Ascending;
    columns.Clear();
    needSaveColumns = true;

    const bool isFs = IsFSFolder() || IsAltStreamsFolder();
    auto startsHidden = [isFs](PROPID id) {
        return isFs && (id == kpidPackSize || id == kpidAttrib || id == kpidATime || id == kpidLinks ||
                        id == kpidNtReparse || id == kpidINode);
    };
    UInt32 numProps = 0;
    currentFolder->GetNumberOfProperties(&numProps);
    for (UInt32 i = 0; i < numProps; i++) {
        CMyComBSTR name;
        PROPID id = 0;
        VARTYPE type = VT_EMPTY;
        if (currentFolder->GetPropertyInfo(i, &name, &id, &type) != S_OK) continue;
        if (id == kpidIsDir) continue;
        CListColumn &c = columns.AddNew();
        c.Name = GetNameOfProperty(id, name);
        c.ID = id;
        c.Type = type;
        c.Width = id == kpidName ? 160 : 120;
        c.IsVisible = !startsHidden(id);
    }
    if (folderRawProps) {
        UInt32 numRaw = 0;
        folderRawProps->GetNumRawProps(&numRaw);
        for (UInt32 i = 0; i < numRaw; i++) {
            CMyComBSTR name;
            PROPID id = 0;
            RINOK(folderRawProps->GetRawPropInfo(i, &name, &id));
            CListColumn &c = columns.AddNew();
            c.Name = GetNameOfProperty(id, name);
            c.ID = id;
            c.IsRawProp = true;
            c.Width = id == kpidName ? 160 : 120;
            c.IsVisible = !startsHidden(id);
        }
    }
    int order = 0;
    FOR_VECTOR(k, listViewInfo.Columns) {
        const CColumnInfo &info = listViewInfo.Columns[k];
        FOR_VECTOR(j, columns) {
            CListColumn &c = columns[j];
            if (c.ID != info.PropID || c.Order >= 0) continue;
            c.IsVisible = info.IsVisible;
            c.Width = (int)info.Width;
            if (c.IsVisible) c.Order = order++;
            break;
        }
    }
    FOR_VECTOR(j, columns)
    if (columns[j].Order < 0) columns[j].Order = order++;

    visibleColumns.Clear();
    FOR_VECTOR(j, columns)
    if (columns[j].IsVisible) visibleColumns.Add(columns[j]);
    visibleColumns.Sort([](void *const *a, void *const *b, void *) -> int {
        const int x = static_cast<const CListColumn *>(*a)->Order, y = static_cast<const CListColumn *>(*b)->Order;
        return x < y ? -1 : (x > y ? 1 : 0);
    }, nullptr);
    sortPropId = listViewInfo.SortID;

    // The rows of the level being left go first: with them still in the table, every column
    // added or removed moves each row's cells, which stalls a level of 100,000 items for seconds.
    table->clearContents();
    table->setRowCount(0);
    rowItems.clear();
    table->setColumnCount((int)visibleColumns.Size());
    QStringList labels;
    FOR_VECTOR(j, visibleColumns)
    labels << ToQ(visibleColumns[j].Name);
    table->setHorizontalHeaderLabels(labels);
    FOR_VECTOR(j, visibleColumns)
    table->setColumnWidth((int)j, visibleColumns[j].Width);
    return S_OK;
}

void CPanel::SaveListViewInfo() {
    if (!mainWin || mainWin->is_icon_mode()) return;
    mainlistview *table = mainWin->get_list_view();
    FOR_VECTOR(j, visibleColumns) {
        if ((int)j < table->columnCount()) visibleColumns[j].Width = table->columnWidth((int)j);
        FOR_VECTOR(k, columns)
        if (columns[k].ID == visibleColumns[j].ID && columns[k].IsRawProp == visibleColumns[j].IsRawProp)
            columns[k].Width = visibleColumns[j].Width;
    }
    CListViewInfo info;
    FOR_VECTOR(j, visibleColumns) {
        CColumnInfo c = {visibleColumns[j].ID, true, (UInt32)visibleColumns[j].Width};
        info.Columns.Add(c);
    }
    FOR_VECTOR(k, columns)
    if (!columns[k].IsVisible) {
        CColumnInfo c = {columns[k].ID, false, (UInt32)columns[k].Width};
        info.Columns.Add(c);
    }
    info.SortID = sortPropId;
    info.Ascending = sortAscending;
    if (info.IsEqual(listViewInfo)) return;
    info.Save(folderTypeId);
    listViewInfo = info;
}

void CPanel::ReadListViewInfo() {
    if (!mainWin || mainWin->is_icon_mode()) return;
    folderTypeId = GetFolderTypeID();
    if (!folderTypeId.IsEmpty()) listViewInfo.Read(folderTypeId);
}

HRESULT CPanel::RefreshListCtrl() {
    return RefreshListCtrl(UString(), -1, true, UStringVector());
}

HRESULT CPanel::RefreshListCtrl(const CSelectedState &state) {
    return RefreshListCtrl(state.FocusedName, state.FocusedItem, state.SelectFocused, state.SelectedNames);
}

void CPanel::SaveSelectedState(CSelectedState &state) {
    state.FocusedName.Empty();
    state.FocusedItem = -1;
    state.SelectedNames.Clear();
    if (!currentFolder || !mainWin) return;
    const int focused = GetRealItemIndex(GetCurrentIndex());
    if (focused >= 0) state.FocusedName = GetItemRelPath(focused);
    GetSelectedNames(state.SelectedNames);
}

HRESULT CPanel::RefreshListCtrlSaveFocused() {
    // While an operation changes the folder its item indices are not to be read.
    if (busyOperations > 0) {
        refreshPending = true;
        return S_OK;
    }
    CSelectedState state;
    SaveSelectedState(state);
    return RefreshListCtrl(state);
}

void CPanel::OnReload() {
    const HRESULT res = RefreshListCtrlSaveFocused();
    if (res != S_OK) MessageBoxError(res);
}

void CPanel::OnTimer() {
    if (!timerEnabled || !currentFolder) return;
    CMyComPtr<IFolderWasChanged> changed;
    currentFolder.QueryInterface(IID_IFolderWasChanged, &changed);
    if (!changed) return;
    Int32 was = 0;
    if (changed->WasChanged(&was) == S_OK && was) OnReload();
}

HRESULT CPanel::RefreshListCtrl(const UString &focusedName, int /* focusedPos */, bool selectFocused,
                                const UStringVector &selectedNames) {
    if (!mainWin) return E_FAIL;
    if (busyOperations > 0) {
        // An operation is changing this folder: reload once it is done.
        refreshPending = true;
        return S_OK;
    }
    LoadFullPathAndShow();
    const bool timer = timerEnabled;
    timerEnabled = notifyEnabled = statusBarEnabled = false;
    struct CRestore {
        CPanel &p;
        bool timer;
        ~CRestore() {
            p.timerEnabled = timer;
            p.notifyEnabled = true;
            p.statusBarEnabled = true;
        }
    } restore{*this, timer};

    if (!currentFolder) SetToRootFolder();
    listedItemCount = 0;
    {
        CMyComPtr<IFolderSetFlatMode> flat;
        currentFolder.QueryInterface(IID_IFolderSetFlatMode, &flat);
        if (flat) flat->SetFlatMode(flatMode);
    }
    RINOK(currentFolder->LoadItems());

    mainlistview *table = mainWin->get_list_view();
    mainiconview *icons = mainWin->get_icon_view();
    if (mainWin->is_icon_mode()) {
        icons->show();
        table->hide();
    } else {
        table->show();
        icons->hide();
        RINOK(InitColumns());
    }
    FillList(focusedName, selectFocused, selectedNames);
    QCoreApplication::postEvent(mainWin->host_widget(), new QEvent(custom_event::refresh_address));
    ScheduleThumbnailExtraction();
    return S_OK;
}

UString CPanel::GetItemNameFast(UInt32 index) const {
    if (folderGetItemName) {
        const wchar_t *name = nullptr;
        unsigned len = 0;
        folderGetItemName->GetItemName(index, &name, &len);
        if (name) return UString(name);
    }
    return GetItemName((int)index);
}

// The cell of one column of one row; the row's item index is in role 256.
QTableWidgetItem *CPanel::MakeCell(UInt32 item, int column, wchar_t *buffer) {
    const CListColumn &col = visibleColumns[(unsigned)column];
    buffer[0] = 0;
    SetFolderItemText(currentFolder, folderRawProps, folderGetItemName, item, col.ID, col.IsRawProp, buffer, 1024);
    QTableWidgetItem *cell = new QTableWidgetItem(QString::fromWCharArray(buffer));
    cell->setData(kItemRole, (uint)item);
    cell->setTextAlignment(ColumnAlignment(col));
    cell->setFlags(cell->flags() & ~Qt::ItemIsEditable);
    return cell;
}

// The first cell of a row: the name (or the first column's text) with the item's icon.
QTableWidgetItem *CPanel::MakeNameCell(UInt32 item, bool readOnly) {
    QTableWidgetItem *cell;
    const bool isDir = item < itemIsDir.size() && itemIsDir[item];
    if (!visibleColumns.IsEmpty() && visibleColumns[0].ID == kpidName) {
        const UString name = GetItemNameFast(item);
        cell = new QTableWidgetItem(isDir ? Icons().folder() : Icons().forName(name), ToQ(MaskedItemName(name)));
        cell->setData(kItemRole, (uint)item);
        cell->setTextAlignment(visibleColumns.IsEmpty() ? (int)(Qt::AlignLeft | Qt::AlignVCenter)
                                                        : ColumnAlignment(visibleColumns[0]));
    } else {
        wchar_t buffer[1024];
        cell = MakeCell(item, 0, buffer);
        cell->setIcon(isDir ? Icons().folder() : Icons().forName(GetItemNameFast(item)));
    }
    Qt::ItemFlags flags = cell->flags();
    if (readOnly) flags &= ~Qt::ItemIsEditable;
    cell->setFlags(flags);
    return cell;
}

void CPanel::FillCells(int firstRow, int lastRow) {
    if (!mainWin || !currentFolder || mainWin->is_icon_mode()) return;
    mainlistview *table = mainWin->get_list_view();
    const int numColumns = std::min(table->columnCount(), (int)visibleColumns.Size());
    lastRow = std::min(lastRow, table->rowCount() - 1);
    wchar_t buffer[1024];
    int readOnly = -1;
    // The view paints right after: the model need not announce each cell.
    QAbstractItemModel *model = table->model();
    const bool blocked = model->blockSignals(true);
    for (int r = std::max(firstRow, 0); r <= lastRow; r++) {
        const int item = GetRealItemIndex(r);
        if (item < 0 || (UInt32)item >= listedItemCount) continue;
        if (!table->item(r, 0)) {
            if (readOnly < 0) readOnly = IsThereReadOnlyFolder() ? 1 : 0;
            table->setItem(r, 0, MakeNameCell((UInt32)item, readOnly != 0));
        }
        for (int c = 1; c < numColumns; c++)
            if (!table->item(r, c)) table->setItem(r, c, MakeCell((UInt32)item, c, buffer));
    }
    model->blockSignals(blocked);
}

// The rows in display order: folders first, then by the sort column as the folder orders it.
void CPanel::SortedOrder(std::vector<UInt32> &order) const {
    order.resize(listedItemCount);
    for (UInt32 i = 0; i < listedItemCount; i++)
        order[i] = i;
    const std::vector<bool> &dirs = itemIsDir;
    IFolderCompare *compare = folderCompare;
    const PROPID prop = sortPropId;
    const Int32 raw = sortIsRawProp ? 1 : 0;
    const bool ascending = sortAscending;
    const auto less = [&](UInt32 a, UInt32 b) {
        if (dirs[a] != dirs[b]) return (bool)dirs[a];
        const Int32 r = compare ? compare->CompareItems(a, b, prop, raw) : 0;
        return ascending ? r < 0 : r > 0;
    };
    // Folders most often come in order already.
    if (!std::is_sorted(order.begin(), order.end(), less)) std::stable_sort(order.begin(), order.end(), less);
}

void CPanel::FillTable(const std::set<UInt32> &toSelect) {
    mainlistview *table = mainWin->get_list_view();
    std::vector<UInt32> order;
    SortedOrder(order);
    table->clearContents();
    rowItems = order;
    table->setRowCount((int)order.size());
    QAbstractItemModel *model = table->model();
    // Cells are made for the rows on screen (and as they come into view); the first screen gets
    // them now.
    FillCells(0, kFirstScreenRows);
    table->viewport()->update();

    const bool headerBlocked = table->horizontalHeader()->blockSignals(true);
    int sortColumn = 0;
    FOR_VECTOR(j, visibleColumns)
    if (visibleColumns[j].ID == sortPropId) sortColumn = (int)j;
    table->horizontalHeader()->setSortIndicator(sortColumn, sortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    table->horizontalHeader()->blockSignals(headerBlocked);

    if (!toSelect.empty()) {
        QItemSelection selection;
        QModelIndex first;
        const int lastColumn = table->columnCount() - 1;
        for (int row = 0; row < (int)order.size(); row++) {
            if (!toSelect.count(order[(size_t)row])) continue;
            const QModelIndex index = model->index(row, 0);
            selection.select(index, model->index(row, lastColumn));
            if (!first.isValid()) first = index;
        }
        table->selectionModel()->select(selection, QItemSelectionModel::Select);
        if (first.isValid()) {
            table->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
            table->scrollTo(first);
        }
    } else if (!order.empty()) {
        table->scrollToTop();
    }
}

void CPanel::SortRows() {
    if (!mainWin || mainWin->is_icon_mode() || !currentFolder) return;
    SetSortRawStatus();
    CRecordVector<UInt32> selected;
    GetSelectedItemsIndices(selected);
    std::set<UInt32> keep;
    FOR_VECTOR(k, selected)
    keep.insert(selected[k]);
    mainlistview *table = mainWin->get_list_view();
    table->setUpdatesEnabled(false);
    table->clearSelection();
    FillTable(keep);
    table->setUpdatesEnabled(true);
}

void CPanel::FillList(const UString &focusedName, bool /* selectFocused */, const UStringVector &selectedNames) {
    const bool iconMode = mainWin->is_icon_mode();
    QAbstractItemView *view = iconMode ? static_cast<QAbstractItemView *>(mainWin->get_icon_view())
                                       : static_cast<QAbstractItemView *>(mainWin->get_list_view());
    mainlistview *table = mainWin->get_list_view();
    mainiconview *icons = mainWin->get_icon_view();

    view->setUpdatesEnabled(false);
    const bool blocked = view->blockSignals(true);
    if (iconMode)
        icons->clear();
    else {
        table->clearContents();
        table->setRowCount(0);
        rowItems.clear();
    }

    if (!IsFSFolder()) {
        hasDeletedItems = false;
        CMyComPtr<IGetFolderArcProps> getArcProps;
        currentFolder.QueryInterface(IID_IGetFolderArcProps, &getArcProps);
        if (getArcProps) {
            CMyComPtr<IFolderArcProps> arcProps;
            getArcProps->GetFolderArcProps(&arcProps);
            UInt32 levels = 0;
            if (arcProps && arcProps->GetArcNumLevels(&levels) == S_OK && levels != 0) {
                NCOM::CPropVariant prop;
                if (arcProps->GetArcProp(levels - 1, kpidIsDeleted, &prop) == S_OK && prop.vt == VT_BOOL &&
                    prop.boolVal != VARIANT_FALSE)
                    hasDeletedItems = true;
            }
        }
    }
    imageItemCount = otherItemCount = 0;
    pendingThumbnails.clear();
    // Pictures are read on this thread: only so many per listing get a thumbnail.
    int thumbnailBudget = kMaxThumbnailsPerListing;

    UInt32 numItems = 0;
    currentFolder->GetNumberOfItems(&numItems);
    listedItemCount = numItems;
    itemIsDir.assign(numItems, false);
    const bool trySelect = !focusedName.IsEmpty() || !selectedNames.IsEmpty();
    std::set<UInt32> toSelect;
    std::vector<QListWidgetItem *> iconEntries(iconMode ? numItems : 0);

    for (UInt32 i = 0; i < numItems; i++) {
        if (!iconMode && !trySelect) {
            // The table's cells are made as their rows come into view: here only what sorting and
            // the choice of view need.
            if (IsItem_Folder((int)i)) {
                itemIsDir[i] = true;
                otherItemCount++;
                continue;
            }
            const wchar_t *fast = nullptr;
            unsigned fastLen = 0;
            if (folderGetItemName) folderGetItemName->GetItemName(i, &fast, &fastLen);
            const bool image = fast ? IsImageName(fast, fastLen) : is_image(GetItemName((int)i));
            if (image)
                imageItemCount++;
            else
                otherItemCount++;
            continue;
        }
        const UString name = GetItemNameFast(i);
        if (trySelect) {
            UString relPath = name;
            if (flatMode) relPath = GetItemPrefix((int)i) + name;
            if (selectedNames.FindInSorted(relPath) >= 0 || (!focusedName.IsEmpty() && relPath == focusedName))
                toSelect.insert(i);
        }
        if (!iconMode) {
            if (IsItem_Folder((int)i)) {
                itemIsDir[i] = true;
                otherItemCount++;
            } else if (is_image(name)) {
                imageItemCount++;
            } else {
                otherItemCount++;
            }
            continue;
        }
        QIcon icon;
        if (IsItem_Folder((int)i)) {
            itemIsDir[i] = true;
            otherItemCount++;
            icon = Icons().folder();
        } else {
            const bool image = is_image(name);
            if (image)
                imageItemCount++;
            else
                otherItemCount++;
            if (image && iconMode && thumbnailBudget > 0) {
                thumbnailBudget--;
                if (!parentFolders.IsEmpty()) {
                    const UString picPath = get_temp_pic_file((int)i);
                    if (!picPath.IsEmpty()) {
                        icon = ThumbnailIcon(picPath);
                        if (icon.isNull()) pendingThumbnails.push_back(i);
                    }
                } else {
                    icon = ThumbnailIcon(currentFolderPrefix + (flatMode ? GetItemPrefix((int)i) + name : name));
                }
            }
            if (icon.isNull()) icon = Icons().forName(name);
        }
        if (iconMode) {
            const QString text = ToQ(MaskedItemName(name));
            QListWidgetItem *entry = new QListWidgetItem(icon, text);
            entry->setData(kItemRole, (uint)i);
            entry->setSizeHint(QSize(128, 128));
            entry->setToolTip(text);
            iconEntries[i] = entry;
        }
    }
    if (iconMode) {
        // The same order as the table: folders first, then by the sort column.
        std::vector<UInt32> order;
        SortedOrder(order);
        for (const UInt32 i : order) {
            icons->addItem(iconEntries[i]);
            if (toSelect.count(i)) iconEntries[i]->setSelected(true);
        }
    }

    SetSortRawStatus();
    if (!iconMode) {
        bool found = false;
        FOR_VECTOR(j, visibleColumns)
        if (visibleColumns[j].ID == sortPropId) found = true;
        if (!found && !visibleColumns.IsEmpty()) {
            sortPropId = visibleColumns[0].ID;
            SetSortRawStatus();
        }
        FillTable(toSelect);
        // Names and times get the room their first screen needs (never less than the layout's).
        for (int c = 0; c + 1 < (int)visibleColumns.Size(); c++) {
            const CListColumn &col = visibleColumns[(unsigned)c];
            if (col.ID != kpidName && col.Type != VT_FILETIME) continue;
            const int wanted = std::min(table->content_width(c) + 8, 420);
            if (wanted > table->columnWidth(c)) table->setColumnWidth(c, wanted);
        }
    } else {
        QListWidgetItem *first = nullptr;
        for (int r = 0; r < icons->count() && !first; r++)
            if (icons->item(r)->isSelected()) first = icons->item(r);
        if (first) {
            icons->setCurrentItem(first, QItemSelectionModel::NoUpdate);
            icons->scrollToItem(first);
        }
    }
    view->blockSignals(blocked);
    view->setUpdatesEnabled(true);
}

int CPanel::GetRealItemIndex(int row) const {
    if (!mainWin || row < 0) return -1;
    QVariant v;
    if (mainWin->is_icon_mode()) {
        QListWidgetItem *entry = mainWin->get_icon_view()->item(row);
        if (entry) v = entry->data(kItemRole);
    } else {
        if (row < mainWin->get_list_view()->rowCount() && (size_t)row < rowItems.size())
            return (int)rowItems[(size_t)row];
        QTableWidgetItem *cell = mainWin->get_list_view()->item(row, 0);
        if (cell) v = cell->data(kItemRole);
    }
    // A row without an item index is no item (never item 0).
    if (!v.isValid()) return -1;
    return (int)v.toUInt();
}

int CPanel::GetCurrentIndex() const {
    if (!mainWin) return -1;
    if (mainWin->is_icon_mode()) return mainWin->get_icon_view()->currentRow();
    return mainWin->get_list_view()->currentRow();
}

void CPanel::GetSelectedItemsIndices(CRecordVector<UInt32> &indices) const {
    indices.Clear();
    if (!mainWin) return;
    QAbstractItemView *view = mainWin->is_icon_mode() ? static_cast<QAbstractItemView *>(mainWin->get_icon_view())
                                                      : static_cast<QAbstractItemView *>(mainWin->get_list_view());
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected) {
        if (index.column() != 0) continue;
        const int item = GetRealItemIndex(index.row());
        if (item >= 0) indices.Add((UInt32)item);
    }
}

void CPanel::GetOperatedItemIndices(CRecordVector<UInt32> &indices) const {
    GetSelectedItemsIndices(indices);
}

void CPanel::GetAllItemIndices(CRecordVector<UInt32> &indices) const {
    indices.Clear();
    UInt32 num = 0;
    if (currentFolder) currentFolder->GetNumberOfItems(&num);
    for (UInt32 i = 0; i < num; i++)
        indices.Add(i);
}

void CPanel::GetOperatedIndicesSmart(CRecordVector<UInt32> &indices) const {
    GetOperatedItemIndices(indices);
    if (indices.IsEmpty()) GetAllItemIndices(indices);
}

void CPanel::GetSelectedNames(UStringVector &names) {
    names.Clear();
    CRecordVector<UInt32> indices;
    GetSelectedItemsIndices(indices);
    FOR_VECTOR(i, indices)
    names.Add(GetItemRelPath((int)indices[i]));
    names.Sort();
}

UString CPanel::GetItemName(int index) const {
    if (index == -1) return UString(L"..");
    NCOM::CPropVariant prop;
    if (currentFolder->GetProperty((UInt32)index, kpidName, &prop) != S_OK) throw panel_error::item_prop_failed;
    if (prop.vt != VT_BSTR) throw panel_error::item_prop_type;
    return UString(prop.bstrVal);
}

UString CPanel::GetItemName_for_Copy(int index) const {
    if (index == -1) return UString(L"..");
    NCOM::CPropVariant prop;
    if (currentFolder->GetProperty((UInt32)index, kpidOutName, &prop) != S_OK) throw panel_error::item_prop_failed;
    if (prop.vt == VT_BSTR) return UString(prop.bstrVal);
    if (prop.vt != VT_EMPTY) throw panel_error::item_prop_type;
    return GetItemName(index);
}

UString CPanel::GetItemPrefix(int index) const {
    if (index == -1) return UString();
    NCOM::CPropVariant prop;
    if (currentFolder->GetProperty((UInt32)index, kpidPrefix, &prop) != S_OK) throw panel_error::item_prop_failed;
    if (prop.vt == VT_BSTR) return UString(prop.bstrVal);
    return UString();
}

UString CPanel::GetItemRelPath(int index) const {
    return GetItemPrefix(index) + GetItemName(index);
}

UString CPanel::GetItemFullPath(int index) const {
    return GetFsPath() + GetItemRelPath(index);
}

bool CPanel::GetItem_BoolProp(int index, PROPID propID) const {
    NCOM::CPropVariant prop;
    if (currentFolder->GetProperty((UInt32)index, propID, &prop) != S_OK) throw panel_error::item_prop_failed;
    if (prop.vt == VT_BOOL) return prop.boolVal != VARIANT_FALSE;
    if (prop.vt == VT_EMPTY) return false;
    throw panel_error::item_prop_type;
}

bool CPanel::IsItem_Folder(int index) const {
    return index == -1 || GetItem_BoolProp(index, kpidIsDir);
}
bool CPanel::IsItem_Deleted(int index) const {
    return index != -1 && GetItem_BoolProp(index, kpidIsDeleted);
}
bool CPanel::IsItem_AltStream(int index) const {
    return index != -1 && GetItem_BoolProp(index, kpidIsAltStream);
}

UInt64 CPanel::GetItemSize(int index) const {
    if (index == -1) return 0;
    if (folderGetItemName) return folderGetItemName->GetItemSize((UInt32)index);
    NCOM::CPropVariant prop;
    if (currentFolder->GetProperty((UInt32)index, kpidSize, &prop) != S_OK) throw panel_error::item_prop_failed;
    switch (prop.vt) {
    case VT_EMPTY:
        return 0;
    case VT_UI1:
        return prop.bVal;
    case VT_UI2:
        return prop.uiVal;
    case VT_UI4:
        return prop.ulVal;
    case VT_UI8:
        return prop.uhVal.QuadPart;
    default:
        throw panel_error::bad_prop_type;
    }
}

void CPanel::OpenFocusedItemAsInternal(const wchar_t *type) {
    const int index = GetRealItemIndex(GetCurrentIndex());
    if (index < 0) return;
    if (IsItem_Folder(index))
        OpenFolder(index);
    else
        OpenItem(index, true, false, type);
}

void CPanel::OpenSelectedItems(bool tryInternal) {
    CRecordVector<UInt32> indices;
    GetOperatedItemIndices(indices);
    if (indices.Size() > 20) {
        MessageBoxErrorLang(L"项目太多");
        return;
    }
    FOR_VECTOR(i, indices) {
        const int index = (int)indices[i];
        if (IsItem_Folder(index)) {
            if (tryInternal) {
                OpenFolder(index);
                return;
            }
            OpenFolderExternal(index);
            continue;
        }
        OpenItem(index, tryInternal && indices.Size() == 1, true, nullptr);
    }
}

void CPanel::SetSortRawStatus() {
    sortIsRawProp = false;
    FOR_VECTOR(i, columns)
    if (columns[i].ID == sortPropId) {
        sortIsRawProp = columns[i].IsRawProp;
        return;
    }
}
