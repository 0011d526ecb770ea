// Copying and moving items of a file-system folder to another place on disk.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FSFolder.h"
#include "FSFolderSys.h"
#include "common/StringConvert.h"
#include "common/Wildcard.h"
#include "windows/ErrorMsg.h"
#include "windows/FileDir.h"
#include "windows/FileIO.h"
#include "windows/FileName.h"

using namespace NWindows;
using namespace NFile;

namespace NFsFolder {

// A copy is reported to the progress this often, so that a large file shows its progress and
// can be cancelled in the middle.
static const size_t kProgressStep = (size_t)1 << 23;

struct CCopyState {
    UInt64 totalSize = 0;
    UInt64 completed = 0;
    UInt64 fileSize = 0;
    IProgress *progress = nullptr;
    IFolderOperationsExtractCallback *callback = nullptr;
    UInt64 remainingTotal = 0;
    bool moveMode = false;

    HRESULT CallProgress() { return progress->SetCompleted(&completed); }
    HRESULT CopyFile_Sys(const AString &src, const struct stat &srcSt, const AString &dest);
    HRESULT MoveFile_Sys(const AString &src, const struct stat &srcSt, const AString &dest);

private:
    HRESULT CopyData(int inFd, int outFd);
};

// A system failure inside a copy, with errno telling why (at the destination, or in removing
// the moved source); callback results pass unchanged.
static const HRESULT kSysError = S_FALSE;
static const HRESULT kSysErrorAtSource = 2;

static UString ToU(const AString &osPath) {
    return MultiByteToUnicodeString(osPath);
}

static UString GetLastErrorMessage() {
    const int err = errno;
    return NError::MyFormatMessage(err != 0 ? (UInt32)err : (UInt32)E_FAIL);
}

static HRESULT SendMessageError(IFolderOperationsExtractCallback *callback, const UString &message,
                                const UString &fileName) {
    UString s = message;
    s += L" : ";
    s += fileName;
    const HRESULT res = callback->ShowMessage(s);
    return res != S_OK ? res : E_ABORT;
}

static HRESULT SendMessageError(IFolderOperationsExtractCallback *callback, const char *message,
                                const UString &fileName) {
    return SendMessageError(callback, MultiByteToUnicodeString(AString(message)), fileName);
}

static HRESULT SendLastErrorMessage(IFolderOperationsExtractCallback *callback, const UString &fileName) {
    return SendMessageError(callback, GetLastErrorMessage(), fileName);
}

static AString CombinePath(const AString &p1, const char *p2) {
    AString s = p1;
    s += '/';
    s += p2;
    return s;
}

static bool IsSameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when dest names the source file itself, through whatever path: another spelling, a
// link to its folder, or a hard link.
static bool IsDestTheSource(const struct stat &srcSt, const AString &dest) {
    struct stat st;
    return lstat(dest, &st) == 0 && IsSameFile(srcSt, st);
}

// True when dest is the source folder or lies somewhere inside it, also when the path reaches
// it through links: the deepest existing part of dest is resolved and its folders compared.
static bool IsDestInsideFolder(const struct stat &srcSt, const AString &dest) {
    std::string path(dest.Ptr(), dest.Len());
    for (;;) {
        char *resolved = realpath(path.c_str(), nullptr);
        if (resolved) {
            std::string real = resolved;
            free(resolved);
            for (;;) {
                struct stat st;
                if (stat(real.empty() ? "/" : real.c_str(), &st) == 0 && IsSameFile(srcSt, st)) return true;
                if (real.empty() || real == "/") return false;
                real.erase(real.rfind('/'));
            }
        }
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos || slash == 0) return false;
        path.erase(slash);
    }
}

HRESULT CCopyState::CopyData(int inFd, int outFd) {
    UInt64 done = 0;
    size_t sinceReport = 0;
    bool useCopyRange = true;
    std::vector<char> buf;
    for (;;) {
        ssize_t n;
        if (useCopyRange) {
            n = copy_file_range(inFd, nullptr, outFd, nullptr, kProgressStep, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) && done == 0) {
                useCopyRange = false;
                continue;
            }
        } else {
            if (buf.empty()) buf.resize((size_t)1 << 20);
            n = read(inFd, buf.data(), buf.size());
            if (n > 0) {
                for (ssize_t pos = 0; pos < n;) {
                    const ssize_t w = write(outFd, buf.data() + pos, (size_t)(n - pos));
                    if (w < 0) {
                        if (errno == EINTR) continue;
                        return kSysError;
                    }
                    pos += w;
                }
            }
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            return kSysError;
        }
        if (n == 0) return S_OK;
        done += (UInt64)n;
        sinceReport += (size_t)n;
        if (sinceReport >= kProgressStep) {
            sinceReport = 0;
            const UInt64 pos = completed + done;
            const HRESULT res = progress->SetCompleted(&pos);
            if (res != S_OK) return res;
        }
    }
}

// The copy goes to a temporary name in the target folder and is renamed over the target only
// when complete: on any failure the old target and the source stay as they were. A link is
// copied as a link.
HRESULT CCopyState::CopyFile_Sys(const AString &src, const struct stat &srcSt, const AString &dest) {
    AString temp;
    HRESULT res = S_OK;
    if (S_ISLNK(srcSt.st_mode)) {
        std::vector<char> target((size_t)srcSt.st_size + PATH_MAX + 1);
        const ssize_t len = readlink(src, target.data(), target.size() - 1);
        if (len < 0) return kSysError;
        target[(size_t)len] = 0;
        // A free name: made as a file first, then replaced by the link under that name.
        const int fd = CreateTempFileBeside(dest, temp);
        if (fd < 0) return kSysError;
        close(fd);
        if (unlink(temp) != 0) return kSysError;
        // Should another process take the free name meanwhile, this fails and leaves its file.
        if (symlink(target.data(), temp) != 0) return kSysError;
    } else if (S_ISREG(srcSt.st_mode)) {
        const int inFd = open(src, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (inFd < 0) return kSysError;
        const int outFd = CreateTempFileBeside(dest, temp);
        if (outFd < 0) {
            const int err = errno;
            close(inFd);
            errno = err;
            return kSysError;
        }
        res = CopyData(inFd, outFd);
        if (res == S_OK && fchmod(outFd, srcSt.st_mode & (mode_t)gbl_umask.mask) != 0) res = kSysError;
        int err = errno;
        // A failed close can be the first report of a full disk.
        if (close(outFd) != 0 && res == S_OK) {
            res = kSysError;
            err = errno;
        }
        close(inFd);
        errno = err;
    } else {
        // Devices, pipes and sockets: reading them could block or never end.
        errno = ENOTSUP;
        return kSysError;
    }
    if (res == S_OK && rename(temp, dest) != 0) res = kSysError;
    if (res != S_OK) {
        const int err = errno;
        unlink(temp);
        errno = err;
    }
    return res;
}

HRESULT CCopyState::MoveFile_Sys(const AString &src, const struct stat &srcSt, const AString &dest) {
    if (rename(src, dest) == 0) return S_OK;
    if (errno != EXDEV) return kSysError;
    RINOK(CopyFile_Sys(src, srcSt, dest));
    return unlink(src) == 0 ? S_OK : kSysErrorAtSource;
}

static HRESULT CopyFile_Ask(CCopyState &state, const UString &srcPath, const AString &srcOs, const struct stat &srcSt,
                            const UString &destPath, const AString &destOs) {
    if (CompareFileNames(destPath, srcPath) == 0 || IsDestTheSource(srcSt, destOs))
        return SendMessageError(state.callback,
                                state.moveMode ? "can not move file onto itself" : "can not copy file onto itself",
                                destPath);

    FILETIME srcTime;
    NFind::UnixSecondsToFileTime((Int64)srcSt.st_mtim.tv_sec, srcTime);
    const UInt64 srcSize = S_ISREG(srcSt.st_mode) || S_ISLNK(srcSt.st_mode) ? (UInt64)srcSt.st_size : 0;
    Int32 writeAnswer = 0;
    CMyComBSTR destPathResult;
    RINOK(state.callback->AskWrite(srcPath, 0, &srcTime, &srcSize, destPath, &destPathResult, &writeAnswer));

    if (!writeAnswer) {
        if (state.remainingTotal >= srcSize) {
            state.remainingTotal -= srcSize;
            RINOK(state.progress->SetTotal(state.remainingTotal));
        }
        return state.CallProgress();
    }

    RINOK(state.callback->SetCurrentFilePath(srcPath));
    UString newPath = destPath;
    AString newOs = destOs;
    if (destPathResult.Get() && destPath != destPathResult.Get()) {
        newPath = destPathResult.Get();
        newOs = NName::GetOsPath(newPath);
        if (IsDestTheSource(srcSt, newOs))
            return SendMessageError(state.callback,
                                    state.moveMode ? "can not move file onto itself" : "can not copy file onto itself",
                                    newPath);
    }
    state.fileSize = srcSize;
    const HRESULT res =
        state.moveMode ? state.MoveFile_Sys(srcOs, srcSt, newOs) : state.CopyFile_Sys(srcOs, srcSt, newOs);
    if (res == kSysError) return SendLastErrorMessage(state.callback, newPath);
    if (res == kSysErrorAtSource) return SendLastErrorMessage(state.callback, srcPath);
    if (res != S_OK) return res;
    state.completed += state.fileSize;
    return state.CallProgress();
}

static bool IsFolderPathInside(const UString &dest, const UString &src) {
    const unsigned len = src.Len();
    if (dest.Len() < len) return false;
    if (dest.Len() != len && dest[len] != L'/') return false;
    return CompareFileNames(dest.Left(len), src) == 0;
}

static bool MakeFolder(const AString &destOs, mode_t mode) {
    if (mkdir(destOs, mode) == 0) return true;
    if (errno == EEXIST) {
        struct stat st;
        if (stat(destOs, &st) == 0 && S_ISDIR(st.st_mode)) return true;
        errno = EEXIST;
        return false;
    }
    if (errno != ENOENT) return false;
    return NDir::CreateComplexDir(ToU(destOs));
}

static HRESULT CopyFolder(CCopyState &state, const UString &srcPath, const AString &srcOs, const struct stat &srcSt,
                          const UString &destPath, const AString &destOs) {
    RINOK(state.CallProgress());

    if (IsFolderPathInside(destPath, srcPath) || IsDestInsideFolder(srcSt, destOs))
        return SendMessageError(state.callback,
                                state.moveMode ? "can not move folder onto itself" : "can not copy folder onto itself",
                                destPath);

    if (state.moveMode && rename(srcOs, destOs) == 0) return S_OK;

    if (!MakeFolder(destOs, (srcSt.st_mode & 07777 & (mode_t)gbl_umask.mask) | 0700))
        return SendMessageError(state.callback, "can not create folder", destPath);

    // The names are read first, so that moving entries away cannot disturb the listing.
    std::vector<std::string> names;
    {
        DIR *dir = opendir(srcOs);
        if (!dir) {
            state.callback->ShowMessage(GetLastErrorMessage() + L" : " + srcPath);
            return S_OK;
        }
        for (;;) {
            errno = 0;
            const struct dirent *de = readdir(dir);
            if (!de) break;
            const char *n = de->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
            names.push_back(n);
        }
        const int err = errno;
        closedir(dir);
        if (err != 0) {
            errno = err;
            state.callback->ShowMessage(GetLastErrorMessage() + L" : " + srcPath);
            return S_OK;
        }
    }

    for (const std::string &name : names) {
        const AString subSrcOs = CombinePath(srcOs, name.c_str());
        const AString subDestOs = CombinePath(destOs, name.c_str());
        const UString subName = ToU(AString(name.c_str()));
        const UString subSrc = srcPath + L'/' + subName;
        const UString subDest = destPath + L'/' + subName;
        struct stat st;
        if (lstat(subSrcOs, &st) != 0) {
            if (errno == ENOENT) continue; // gone meanwhile
            return SendLastErrorMessage(state.callback, subSrc);
        }
        // Links are never followed: a link to a folder is copied as the link.
        const HRESULT res = S_ISDIR(st.st_mode) ? CopyFolder(state, subSrc, subSrcOs, st, subDest, subDestOs)
                                                : CopyFile_Ask(state, subSrc, subSrcOs, st, subDest, subDestOs);
        if (res != S_OK) return res;
    }

    if (state.moveMode && rmdir(srcOs) != 0) return SendMessageError(state.callback, "can not remove folder", srcPath);
    return S_OK;
}

HRESULT CFSFolder::CopyTo(Int32 moveMode, const UInt32 *indices, UInt32 numItems, Int32 /* includeAltStreams */,
                          Int32 /* replaceAltStreamCharsMode */, const wchar_t *path,
                          IFolderOperationsExtractCallback *callback) {
    if (numItems == 0) return S_OK;
    COM_TRY_BEGIN
    const UString destPath = path;
    if (destPath.IsEmpty()) return E_INVALIDARG;
    const bool toFolder = destPath.Back() == L'/';
    if (!toFolder && numItems > 1) return E_INVALIDARG;

    CFsFolderStat stat;
    stat.progress = callback;
    {
        CRecordVector<UInt32> valid;
        for (UInt32 i = 0; i < numItems; i++)
            if (indices[i] < items.Size()) valid.Add(indices[i]);
        if (!valid.IsEmpty()) RINOK(GetItemsFullSize(&valid[0], valid.Size(), stat));
    }
    RINOK(callback->SetTotal(stat.size));
    RINOK(callback->SetNumFiles(stat.numFiles));
    const UInt64 zero = 0;
    RINOK(callback->SetCompleted(&zero));

    CCopyState state;
    state.totalSize = stat.size;
    state.remainingTotal = stat.size;
    state.moveMode = moveMode != 0;
    state.callback = callback;
    state.progress = callback;

    const AString destFolderOs = toFolder ? NName::GetOsPath(destPath) : AString();
    for (UInt32 i = 0; i < numItems; i++) {
        const UInt32 index = indices[i];
        if (index >= items.Size()) continue;
        const CDirItem &fi = items[index];
        const UString srcPath = folderPath + GetRelPath(fi);
        const AString srcOs = GetExistingOsPath(srcPath);
        UString dest;
        AString destOs;
        if (toFolder) {
            dest = destPath + fi.Name;
            // The name keeps its bytes on disk, also when the locale cannot decode them.
            destOs = destFolderOs + srcOs.Ptr((unsigned)(srcOs.ReverseFind_PathSepar() + 1));
        } else {
            dest = destPath;
            destOs = NName::GetOsPath(destPath);
        }
        struct stat st;
        if (lstat(srcOs, &st) != 0) return SendLastErrorMessage(callback, srcPath);
        const HRESULT res = S_ISDIR(st.st_mode) ? CopyFolder(state, srcPath, srcOs, st, dest, destOs)
                                                : CopyFile_Ask(state, srcPath, srcOs, st, dest, destOs);
        if (res != S_OK) return res;
    }
    return S_OK;
    COM_TRY_END
}

} // namespace NFsFolder
