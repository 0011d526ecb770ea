#pragma once

// The one file panel behind the main window: the folder being shown (a disk, drives or root
// folder, or a folder inside an archive), the stack of archive levels opened from files, the
// user's folder lists, and the list and column state of the two views. GUI thread only.
#include <QString>

#include <QIcon>

#include <memory>
#include <set>
#include <vector>

#include "archive/IFolder.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "ViewSettings.h"
#include "windows/FileFind.h"
#include "windows/Synchronization.h"
#include "windows/TempDir.h"

class CPanelHost;
struct CCopyToOptions;
class QMenu;
class QWidget;

// Internal failures of the panel are thrown as these integers; the main window turns each into
// an error box.
namespace panel_error {
const int bad_prop_type = 151199;
const int item_prop_failed = 2723400;
const int item_prop_type = 2723401;
const int climb_failed = 20140918;
} // namespace panel_error

// One item extracted or opened as a file: where it came from and where it lies on disk.
struct CTempFileInfo {
    UInt32 FileIndex = (UInt32)(Int32)-1; // index in its folder, -1 for none
    UString RelPath;
    UString FolderPath;
    UString FilePath;
    NWindows::NFile::NFind::CFileInfo FileInfo;
    bool NeedDelete = false;

    void DeleteDirAndFile() const;
};

// One archive level opened from a file (or from a stream of the level above).
struct CFolderLink : public CTempFileInfo {
    CMyComPtr<IFolderFolder> ParentFolder; // set only when the archive lies inside an archive
    UString ParentFolderPath;              // shown path of the folder the archive was opened in
    bool UsePassword = false;
    UString Password;
    bool IsVirtual = false;
    UString VirtualPath; // parent folder path + name

    CFolderLink() = default;
    explicit CFolderLink(const CTempFileInfo &info) : CTempFileInfo(info) {}
    ~CFolderLink();
};

struct CListColumn {
    UString Name;
    PROPID ID = 0;
    VARTYPE Type = VT_EMPTY;
    int Order = -1;
    bool IsVisible = true;
    bool IsRawProp = false;
    int Width = 120;
};

struct CSelectedState {
    UString FocusedName;
    int FocusedItem = -1;
    bool SelectFocused = true;
    UStringVector SelectedNames;
};

// The start-up command line: the first word after the program's path decides the state.
enum EStartState {
    kStart_ShowHome = 0,
    kStart_Open = 1,
    kStart_Add = 2,
    kStart_AddZip = 3,
    kStart_Add7z = 4,
    kStart_Extract = 5,
    kStart_ExtractHere = 6,
    kStart_NoFiles = 7 // an operation switch without files: says so and ends
};
struct CStartRequest {
    int State = kStart_ShowHome;
    UStringVector Files;
    bool MessageMode = false;
};
// words[0] is the program's path.
CStartRequest ParseStartCommand(const UStringVector &words);

// Title of a folder property id for the column headers.
UString GetNameOfProperty(PROPID propID, const wchar_t *name);
// Appends "title: value" and a line feed for a non-empty value (properties text).
void AddPropertyString(PROPID propID, const wchar_t *name, const PROPVARIANT &value, UString &text);
UString GetFolderPath(IFolderFolder *folder);
UString GetQuotedString(const UString &s);
void AddUniqueString(UStringVector &list, const UString &s);

// The process-wide temporary folders (thumbnails, drags); released by uninit_panel.
extern std::vector<std::shared_ptr<NWindows::NFile::NDir::CTempDir>> g_temp_dirs_;

class CPanel {
public:
    NWindows::NSynchronization::CCriticalSection fastFoldersLock;
    UStringVector fastFolders;
    NWindows::NSynchronization::CCriticalSection historyLock;
    UStringVector folderHistory;
    bool hasDeletedItems = false;
    bool flatMode = false;
    bool flatModeForFs = false;
    UString currentFolderPrefix;
    CObjectVector<CFolderLink> parentFolders;
    CMyComPtr<IFolderFolder> currentFolder;
    CMyComPtr<IFolderCompare> folderCompare;
    CMyComPtr<IFolderGetItemName> folderGetItemName;
    CMyComPtr<IArchiveGetRawProps> folderRawProps;
    CMyComPtr<IFolderAltStreams> folderAltStreams;
    CMyComPtr<IFolderOperations> folderOperations;
    UString lastTitle;
    CPanelHost *mainWin = nullptr; // the window the panel shows in
    bool timerEnabled = true;
    bool notifyEnabled = true;
    bool statusBarEnabled = true;

    // Item list and columns.
    UString folderTypeId;
    CListViewInfo listViewInfo;
    CObjectVector<CListColumn> columns;
    CObjectVector<CListColumn> visibleColumns;
    PROPID sortPropId = 0;
    bool sortAscending = true;
    bool sortIsRawProp = false;
    bool needSaveColumns = false;
    UInt32 listedItemCount = 0; // items the views were filled with
    int imageItemCount = 0;
    int otherItemCount = 0;

    // Files of a start-up operation with their full paths: they may lie in several folders, so
    // the operation takes them from here, not from the selection of the bound folder.
    UStringVector startFullPaths;
    int startState = kStart_ShowHome;
    // Operations that run on the shown folder; while any runs, the list is not reloaded (the
    // reload waits until the last one ends).
    int busyOperations = 0;
    bool refreshPending = false;

    CPanel() = default;
    ~CPanel();
    CPanel(const CPanel &) = delete;
    CPanel &operator=(const CPanel &) = delete;

    bool init_panel(CPanelHost *main);
    void uninit_panel();
    void Release();
    // The start-up operation of states 2..6; runs from the event loop.
    void RunStartOperation();

    // Message boxes, parent GetParent().
    QWidget *GetParent() const;
    void MessageBoxInfo(const wchar_t *text, const wchar_t *caption);
    void MessageBoxW(const wchar_t *text, const wchar_t *caption);
    void MessageBoxW(const wchar_t *text);
    void MessageBoxMyError(const wchar_t *text);
    void MessageBoxErrorLang(const wchar_t *text);
    void MessageBoxError(HRESULT code, const wchar_t *caption);
    void MessageBoxError(HRESULT code);
    void MessageBoxError2Lines(const wchar_t *text, HRESULT code);
    void MessageBoxLastError(const wchar_t *caption);
    void MessageBoxLastError();
    void SetFocusToList() {}
    void Post_Refresh_StatusBar() {}

    // Folder type.
    UString GetFolderTypeID() const;
    bool IsFolderTypeEqTo(const char *name) const;
    bool IsRootFolder() const;
    bool IsFSFolder() const;
    bool IsFSDrivesFolder() const;
    bool IsAltStreamsFolder() const;
    bool IsArcFolder() const;

    // Paths.
    UString GetFsPath() const;
    UString GetDriveOrNetworkPrefix() const;
    void GetFilePaths(const CRecordVector<UInt32> &indices, UStringVector &paths, bool allowFolders = false);
    UString GetItemsInfoString(const CRecordVector<UInt32> &indices);
    void RefreshTitle(bool always = false);

    // Binding and navigation.
    HRESULT SetNewFolder(IFolderFolder *folder);
    void ReleaseFolder();
    void SetToRootFolder();
    void LoadFullPath();
    void LoadFullPathAndShow();
    void FoldersHistory(UStringVector &list);
    void ClearFoldersHistory();
    void CloseOneLevel();
    void CloseOpenFolders();
    HRESULT BindToPath(const UString &fullPath, const UString &arcFormat, bool &archiveIsOpened, bool &encrypted);
    HRESULT BindToPathAndRefresh(const UString &path);
    void OpenRootFolder();
    void OpenDrivesFolder();
    void OpenAltStreams();
    void OpenFolder(int index);
    void OpenParentFolder();
    void OpenFileName();
    void SetBookmark(unsigned i);
    void OpenBookmark(unsigned i);

    // Opening a file as an archive level. Result 1 (S_FALSE): not an archive.
    HRESULT OpenItemAsArchive(IInStream *stream, const CTempFileInfo &info, const UString &virtualPath,
                              const UString &arcFormat, bool &encrypted);
    // These two report every failure themselves; S_FALSE only for a file that is no archive.
    HRESULT OpenItemAsArchive(const UString &name, const UString &arcFormat, bool &encrypted);
    HRESULT OpenItemAsArchive(int index, const wchar_t *type = nullptr);
    void OpenItem(int index, bool tryInternal, bool tryExternal, const wchar_t *type);
    HRESULT OpenParentArchiveFolder();

    // Item list.
    HRESULT InitColumns();
    void SaveListViewInfo();
    void ReadListViewInfo();
    HRESULT RefreshListCtrl();
    HRESULT RefreshListCtrl(const UString &focusedName, int focusedPos, bool selectFocused,
                            const UStringVector &selectedNames);
    HRESULT RefreshListCtrl(const CSelectedState &state);
    // Refresh that keeps the selected items selected.
    HRESULT RefreshListCtrlSaveFocused();
    void SaveSelectedState(CSelectedState &state);
    void OnReload();
    void OnTimer();
    int GetRealItemIndex(int row) const;
    int GetCurrentIndex() const;
    void GetSelectedItemsIndices(CRecordVector<UInt32> &indices) const;
    void GetOperatedItemIndices(CRecordVector<UInt32> &indices) const;
    void GetOperatedIndicesSmart(CRecordVector<UInt32> &indices) const;
    void GetAllItemIndices(CRecordVector<UInt32> &indices) const;
    void GetSelectedNames(UStringVector &names);
    UString GetItemName(int index) const;
    UString GetItemName_for_Copy(int index) const;
    UString GetItemPrefix(int index) const;
    UString GetItemRelPath(int index) const;
    UString GetItemRelPath2(int index) const { return GetItemRelPath(index); }
    UString GetItemFullPath(int index) const;
    bool GetItem_BoolProp(int index, PROPID propID) const;
    bool IsItem_Folder(int index) const;
    bool IsItem_Deleted(int index) const;
    bool IsItem_AltStream(int index) const;
    UInt64 GetItemSize(int index) const;
    void OpenFocusedItemAsInternal(const wchar_t *type = nullptr);
    void OpenSelectedItems(bool tryInternal);
    void SetSortRawStatus();
    // Puts the rows in the order of the sort column again, keeping the selection.
    void SortRows();
    // Creates the cells of these rows that are still missing (all but the name, which every row
    // gets at once).
    void FillCells(int firstRow, int lastRow);
    static bool is_image(const UString &name);

    // Drag and drop.
    void OnDrag();
    void CompressDropFiles(const UStringVector &fileNames, const UString &folderPath, bool moveMode = false);

    // Operations of the command runner, the panel copy, folder operations and the menus; they
    // come with those areas (weak definitions stand in until then).
    void AddToArchive(int state);
    // Adds the names (absolute paths) to arcPathPrefix + arcName on the calling thread.
    HRESULT CompressFiles(const UString &arcPathPrefix, const UString &arcName, const UString &arcType,
                          bool addExtension, const UStringVector &names, bool email, bool showDialog,
                          bool waitFinish);
    void ExtractArchives(bool showDialog);
    void DeleteItems(bool toRecycleBin);
    void CreateFileMenu(QMenu *menu);
    void OnFileMenu(int id);
    bool IsThereReadOnlyFolder();

    // ---- Menus, properties, thumbnails, drag out (PanelMenu.cpp, PanelThumbnails.cpp, PanelDrag.cpp).
    // The properties text of the operated item, the folder and the open archive levels; empty
    // for a folder that is no archive folder.
    UString GetPropertiesText();
    void Properties();
    // Where the thumbnail picture of the item lies (index -1: the folder of the shown archive
    // folder, ending in "/"); empty outside an archive or when the thumbnail folder cannot be made.
    UString get_temp_pic_file(int index);
    // Extracts the pictures of the last icon-mode listing that have no thumbnail file yet and
    // gives their entries the thumbnails; each picture is tried once per process.
    void ExtractThumbnails();
    // The drag data of the items: local-file URLs, for items inside an archive of their copies
    // extracted to a new temporary folder first. Null when there is nothing to offer.
    class QMimeData *PrepareDragData(const CRecordVector<UInt32> &indices);

private:
    std::vector<UInt32> pendingThumbnails; // pictures of the icon view still without a thumbnail
    QIcon ThumbnailIcon(const UString &path);
    // After a listing: when pictures make up at least half of the items, their missing
    // thumbnails are extracted from the event loop.
    void ScheduleThumbnailExtraction();
    static const int kMaxThumbnailsPerListing = 500;

public:
    // ---- end of menus, properties, thumbnails, drag out

    // ---- Panel operations: copy and move, folder operations (PanelCopy.cpp, PanelFolderOps.cpp).
    void OnCopy(bool move, bool copyToSame);
    HRESULT CopyTo(CCopyToOptions &options, const CRecordVector<UInt32> &indices, UStringVector *messages,
                   bool &usePassword, UString &password);
    // CopyTo with the password of the innermost archive level; with keepPassword, one given during
    // a successful run is kept for that level.
    HRESULT CopyToWithLevelPassword(CCopyToOptions &options, const CRecordVector<UInt32> &indices,
                                    UStringVector *messages = nullptr, bool keepPassword = false);
    // failureShown, when given, tells whether the run's progress window has shown its failure.
    HRESULT CopyFrom(bool moveMode, const UString &folderPrefix, const UStringVector &filePaths, bool showErrorMessages,
                     UStringVector *messages, bool *failureShown = nullptr);
    // Adds the files (full paths) to the shown archive folder and reloads the list.
    void CopyFromNoAsk(const UStringVector &filePaths);
    // The same after the user confirms.
    void CopyFromAsk(const UStringVector &filePaths);
    // Tests the selected items of an archive folder, or the selected archives of a disk folder.
    void TestArchives();
    void CreateFolder();
    void CreateFile();
    void RenameFile();
    // A typed name made acceptable to the disk, relative to the shown disk folder.
    bool CorrectFsPath(const UString &path, UString &result);
    // The folder offers operations and no archive level from the shown folder outwards is
    // read-only; otherwise the reason is shown under the operation's name.
    bool CheckBeforeUpdate(const wchar_t *operationName);
    bool CanChangeFolder(const wchar_t *errorText); // the same check

    // ---- end of panel operations

    // ---- Opening items (PanelOpenItem.cpp, PanelOpenArchive.cpp).
    // Opens the focused item in an outside program: the terminal editor with useEditor, else the
    // desktop's program; an item of an archive is copied out first and written back when changed.
    void EditItem(bool useEditor);
    void EditItem(int index, bool useEditor);
    void OpenItemInArchive(int index, bool tryInternal, bool tryExternal, bool editMode, bool useEditor,
                           const wchar_t *type);
    // Hands a folder to the desktop: -1 the parent of the shown disk folder, else that item.
    void OpenFolderExternal(int index);
    // True (after a warning) when the name is disguised.
    bool IsVirus_Message(const UString &name);
    // Writes the file back as item index of the shown archive folder and on through every level
    // above it up to the archive on disk.
    HRESULT OnOpenItemChanged(UInt32 index, const wchar_t *fullFilePath, bool usePassword, const UString &password);
    // An item handed to an outside program: its watch has ended (GUI thread).
    void OnOpenedItemWatchEnded(int end, const std::shared_ptr<struct CTmpProcessInfo> &info);
    // A copy changed by its program: the write-back question when its levels can take it, else
    // (or when the user declines) where the copy stays.
    void OfferChangedCopy(const std::shared_ptr<struct COpenedItem> &record);
    // Before the window closes, while it can still ask: copies with outside programs are deleted
    // or offered for write-back, and every archive level is closed with its write-back question.
    void CloseForExit();
    // At the end, without asking: unchanged copies are deleted, changed ones kept.
    void ReleaseOpenedItems();
    // Items handed to outside programs whose watch still runs, and the watch's intervals.
    std::vector<std::shared_ptr<struct COpenedItem>> openedItems;
    std::shared_ptr<struct CWatchTiming> watchTiming;
    // How each archive level's file looked when it was last in step with the level above.
    std::vector<std::pair<UString, std::shared_ptr<struct CFileStamp>>> linkStamps;
    // ---- end of opening items

private:
    void FillList(const UString &focusedName, bool selectFocused, const UStringVector &selectedNames);
    void FillTable(const std::set<UInt32> &toSelect);
    void SortedOrder(std::vector<UInt32> &order) const;
    class QTableWidgetItem *MakeCell(UInt32 item, int column, wchar_t *buffer);
    std::vector<bool> itemIsDir; // of the last listing
    // The item of each table row; its cells are made as the row comes into view.
    std::vector<UInt32> rowItems;
    class QTableWidgetItem *MakeNameCell(UInt32 item, bool readOnly);
    UString GetItemNameFast(UInt32 index) const;
};

// Counts an operation on the panel's folder for the life of the object. When the last one ends,
// a reload that was asked for meanwhile runs.
class CPanelBusyGuard {
    CPanel &_panel;

public:
    explicit CPanelBusyGuard(CPanel &panel);
    ~CPanelBusyGuard();
};

// Clears the three processing switches for its life and restores them on every exit.
class CSwitchesSaver {
    CPanel &_p;
    bool _timer, _notify, _status;

public:
    explicit CSwitchesSaver(CPanel &p)
        : _p(p), _timer(p.timerEnabled), _notify(p.notifyEnabled), _status(p.statusBarEnabled) {
        p.timerEnabled = p.notifyEnabled = p.statusBarEnabled = false;
    }
    ~CSwitchesSaver() {
        _p.timerEnabled = _timer;
        _p.notifyEnabled = _notify;
        _p.statusBarEnabled = _status;
    }
};
