// Thumbnails of pictures in the icon view. Pictures on disk are read where they lie; pictures in
// an archive are first extracted into one process-wide temporary folder, under a path that
// mirrors their place in the archive levels, so that each is extracted only once.
#include <QFileInfo>
#include <QImageReader>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "ErrorText.h"
#include "Panel.h"
#include "PanelCopy.h"
#include "archive/ui-common/ExtractingFilePath.h"
#include "TempFolders.h"
#include "mainiconview.h"
#include "PanelHost.h"

using namespace NWindows;

static const int kItemRole = 256;
static const int kThumbnailSide = 48;
static const int kIconSide = 64; // the icon view's icon size
// Larger pictures are not read on the GUI thread for a thumbnail.
static const qint64 kMaxThumbnailSourceSize = 32 << 20;

static QString ToQ(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

// The thumbnail folder lives in g_temp_dirs_ (removed with the panel); a new one is made when
// that list was emptied.
static UString ThumbnailFolder() {
    static std::weak_ptr<NFile::NDir::CTempDir> folder;
    std::shared_ptr<NFile::NDir::CTempDir> dir = folder.lock();
    if (!dir) {
        dir = std::make_shared<NFile::NDir::CTempDir>();
        if (!dir->Create(kTempFolderPrefix_Thumbnail)) return UString();
        g_temp_dirs_.push_back(dir);
        folder = dir;
    }
    UString path = dir->GetPath();
    if (path.IsEmpty() || path.Back() != L'/') path += L'/';
    return path;
}

// Appends the parts of a path, each made a safe single name, each followed by "/".
static void AppendSafeParts(UString &dest, const UString &path) {
    UString part;
    for (unsigned i = 0; i <= path.Len(); i++) {
        if (i == path.Len() || path[i] == L'/') {
            if (!part.IsEmpty()) {
                dest += Get_Correct_FsFile_Name(part);
                dest += L'/';
            }
            part.Empty();
        } else {
            part += path[i];
        }
    }
}

// Thumbnail paths of pictures whose extraction was tried: a picture that the extraction does
// not produce gets its type icon from then on, never another extraction.
static std::set<std::wstring> &TriedThumbnails() {
    static std::set<std::wstring> tried;
    return tried;
}

UString CPanel::get_temp_pic_file(int index) {
    if (parentFolders.IsEmpty()) return UString();
    // A listing asks for every picture: the failure is told once until a folder can be made.
    static bool failureShown = false;
    UString path = ThumbnailFolder();
    if (path.IsEmpty()) {
        if (!failureShown) {
            failureShown = true;
            MessageBoxMyError(L"创建临时目录失败");
        }
        return UString();
    }
    failureShown = false;
    // The outermost archive by its whole path, so that archives of the same name in different
    // folders do not share thumbnails.
    FOR_VECTOR(i, parentFolders) {
        const CFolderLink &link = parentFolders[i];
        AppendSafeParts(path, i == 0 && !link.FilePath.IsEmpty() ? link.FilePath : link.RelPath);
    }
    AppendSafeParts(path, GetFolderPath(currentFolder));
    if (index >= 0) {
        const UString prefix = GetItemPrefix(index);
        if (!prefix.IsEmpty()) AppendSafeParts(path, prefix);
        path += Get_Correct_FsFile_Name(GetItemName(index));
    }
    return path;
}

QIcon CPanel::ThumbnailIcon(const UString &path) {
    const QString file = ToQ(path);
    const QFileInfo info(file);
    if (!info.isFile() || info.size() > kMaxThumbnailSourceSize) return QIcon();
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    // Formats that know their size decode straight to the small picture.
    if (size.isValid() && (size.width() > kThumbnailSide || size.height() > kThumbnailSide))
        reader.setScaledSize(size.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull()) return QIcon();
    QPixmap pixmap = QPixmap::fromImage(image);
    if (pixmap.width() > kThumbnailSide || pixmap.height() > kThumbnailSide)
        pixmap = pixmap.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio, Qt::FastTransformation);
    // Centred on a square of the view's icon size, so that the names under pictures of any shape
    // line up with those under type icons.
    QPixmap square(kIconSide, kIconSide);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawPixmap((kIconSide - pixmap.width()) / 2, (kIconSide - pixmap.height()) / 2, pixmap);
    painter.end();
    return QIcon(square);
}

void CPanel::ScheduleThumbnailExtraction() {
    if (pendingThumbnails.empty() || !mainWin || parentFolders.IsEmpty()) return;
    const int listed = imageItemCount + otherItemCount;
    // An empty listing has nothing to weigh.
    if (listed <= 0 || imageItemCount * 10 / listed <= 4) {
        pendingThumbnails.clear();
        return;
    }
    // From the event loop: the listing may run inside other operations, which must not get a
    // second progress window in the middle of their own work.
    CPanelHost *host = mainWin;
    QPointer<QWidget> window(host->host_widget());
    QTimer::singleShot(0, window, [this, host, window] {
        if (!window || host->get_panel() != this) return;
        try {
            ExtractThumbnails();
        } catch (...) {
            MessageBoxMyError(CurrentExceptionText());
        }
    });
}

void CPanel::ExtractThumbnails() {
    if (pendingThumbnails.empty() || !mainWin || !mainWin->is_icon_mode() || parentFolders.IsEmpty()) return;
    if (busyOperations > 0) return; // the listing after that operation asks again
    std::vector<UInt32> pending;
    pending.swap(pendingThumbnails);
    UInt32 numItems = 0;
    currentFolder->GetNumberOfItems(&numItems);

    CRecordVector<UInt32> indices;
    std::vector<UString> paths;
    for (UInt32 index : pending) {
        if (index >= numItems) continue;
        const UString path = get_temp_pic_file((int)index);
        if (path.IsEmpty()) return;
        if (!TriedThumbnails().insert(std::wstring(path.Ptr())).second) continue;
        indices.Add(index);
        paths.push_back(path);
    }
    if (indices.IsEmpty()) return;
    const UString dest = get_temp_pic_file(-1);
    if (dest.IsEmpty()) return;

    CCopyToOptions options;
    options.moveMode = false;
    options.testMode = false;
    options.includeAltStreams = true;
    options.showErrorMessages = true;
    options.destFolder = dest;
    // The copy ends when its worker ends: there is no waiting for files to appear. Pictures it
    // did not produce keep their type icons.
    CopyToWithLevelPassword(options, indices);

    if (!mainWin || !mainWin->is_icon_mode()) return;
    QListWidget *view = mainWin->get_icon_view();
    std::map<UInt32, QIcon> icons;
    for (unsigned k = 0; k < indices.Size(); k++) {
        const QIcon icon = ThumbnailIcon(paths[k]);
        if (!icon.isNull()) icons[indices[k]] = icon;
    }
    if (icons.empty()) return;
    for (int row = 0; row < view->count(); row++) {
        QListWidgetItem *entry = view->item(row);
        const QVariant v = entry->data(kItemRole);
        if (!v.isValid()) continue;
        auto it = icons.find(v.toUInt());
        if (it != icons.end()) entry->setIcon(it->second);
    }
}
