// Drag and drop of local files: a drag offers the selected items as file URLs (items of an
// archive once they are extracted); a drop onto a disk folder opens the compress dialog, a drop
// onto an archive folder adds the files through the panel copy.
#include <QAbstractItemView>
#include <QDrag>
#include <QMimeData>
#include <QUrl>

#include <memory>

#include "Panel.h"
#include "archive/ui-common/ArchiveName.h"
#include "archive/ui-common/ExtractingFilePath.h"
#include "PanelCopy.h"
#include "TempFolders.h"
#include "PanelHost.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/FileName.h"

using namespace NWindows;

namespace {

QString ToQ(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

} // namespace

void CPanel::CompressDropFiles(const UStringVector &fileNames, const UString &folderPath, bool) {
    if (fileNames.IsEmpty()) return;
    if (!currentFolder || IsFSFolder() || !folderOperations) {
        // A new archive of the dropped files, named after the first, through the compress dialog.
        UString dest = folderPath;
        if (dest.IsEmpty() && currentFolder) dest = GetFsPath();
        if (dest.IsEmpty()) {
            const UString &first = fileNames[0];
            dest = first.Left((unsigned)(first.ReverseFind(L'/') + 1));
        }
        const UString arcName = CreateArchiveName(fileNames[0], fileNames.Size() > 1, false);
        CompressFiles(dest, arcName, UString(), true, fileNames, false, true, false);
        return;
    }
    if (IsRootFolder()) {
        MessageBoxMyError(L"不支持当前操作");
        return;
    }
    // Through the panel copy, so an archive opened without its password is never added to in
    // clear.
    CopyFromAsk(fileNames);
}

QMimeData *CPanel::PrepareDragData(const CRecordVector<UInt32> &indices) {
    if (indices.IsEmpty()) return nullptr;
    QList<QUrl> urls;
    if (IsFSFolder()) {
        const UString prefix = GetFsPath();
        FOR_VECTOR(i, indices)
        urls << QUrl::fromLocalFile(ToQ(prefix + GetItemRelPath((int)indices[i])));
    } else {
        // Items of an archive are offered only as files that exist: they are extracted first.
        UStringVector names;
        FOR_VECTOR(i, indices)
        names.Add(Get_Correct_FsFile_Name(GetItemName((int)indices[i])));
        auto dir = std::make_shared<NFile::NDir::CTempDir>();
        if (!dir->Create(kTempFolderPrefix_Drag)) {
            MessageBoxMyError(L"创建临时目录失败");
            return nullptr;
        }
        g_temp_dirs_.push_back(dir);
        UString prefix = dir->GetPath();
        NFile::NName::NormalizeDirPathPrefix(prefix);
        CCopyToOptions options;
        options.includeAltStreams = true;
        options.destFolder = prefix;
        UStringVector messages;
        const HRESULT res = CopyToWithLevelPassword(options, indices, &messages, true);
        if (res != S_OK) {
            if (res != E_ABORT && messages.IsEmpty() && !options.failureShown) MessageBoxError(res);
            return nullptr;
        }
        FOR_VECTOR(i, names) {
            const UString path = prefix + names[i];
            // An item the extraction skipped is not offered.
            if (NFile::NFind::DoesFileOrDirExist(path)) urls << QUrl::fromLocalFile(ToQ(path));
        }
    }
    if (urls.isEmpty()) return nullptr;
    QMimeData *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void CPanel::OnDrag() {
    if (!folderOperations || !mainWin) return;
    CRecordVector<UInt32> indices;
    GetOperatedItemIndices(indices);
    if (indices.IsEmpty()) return;
    const bool timer = timerEnabled;
    timerEnabled = false;
    QMimeData *data = nullptr;
    try {
        data = PrepareDragData(indices);
    } catch (...) {
        timerEnabled = timer;
        throw;
    }
    QWidget *view = mainWin->get_view_widget();
    if (data) {
        QDrag *drag = new QDrag(view);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }
    if (auto *itemView = qobject_cast<QAbstractItemView *>(view)) itemView->clearSelection();
    timerEnabled = timer;
}
