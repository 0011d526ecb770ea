// Times the file-system folder against the system's tools, side by side in one run:
//   listing a folder of 100,000 files (load, every column, sort by name) against
//   find DIR -maxdepth 1 -printf '%f %s %T@\n' | sort
//   copying a 1 GiB file against cp.
// Usage: folders_bench [work folder, default /tmp] [number of files] [copy size in MiB]
#include <fcntl.h>
#include <ftw.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench_support.h"
#include "FSFolder.h"
#include "common/StringConvert.h"
#include "windows/PropVariant.h"

namespace {

using namespace benchsupport;

UString ToU(const std::string &s) {
    return MultiByteToUnicodeString(AString(s.c_str()));
}

// What the panel does to show a folder: load, read every column of every row, sort by name.
size_t ListLikeThePanel(const std::string &dir) {
    NFsFolder::CFSFolder *folderImpl = new NFsFolder::CFSFolder;
    CMyComPtr<IFolderFolder> folder = folderImpl;
    folderImpl->Init(ToU(dir + "/"));
    folder->LoadItems();
    UInt32 numItems = 0, numProps = 0;
    folder->GetNumberOfItems(&numItems);
    folder->GetNumberOfProperties(&numProps);
    std::vector<PROPID> ids;
    for (UInt32 i = 0; i < numProps; i++) {
        BSTR name;
        PROPID id;
        VARTYPE type;
        folder->GetPropertyInfo(i, &name, &id, &type);
        ids.push_back(id);
    }
    size_t check = 0;
    for (UInt32 i = 0; i < numItems; i++)
        for (PROPID id : ids) {
            NWindows::NCOM::CPropVariant prop;
            folder->GetProperty(i, id, &prop);
            check += prop.vt;
        }
    std::vector<UInt32> order(numItems);
    for (UInt32 i = 0; i < numItems; i++)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](UInt32 a, UInt32 b) { return folderImpl->CompareItems(a, b, kpidName, 0) < 0; });
    return check + order.size();
}

class CQuietCopyCallback : public IFolderOperationsExtractCallback, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderOperationsExtractCallback)
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT AskWrite(const wchar_t *, Int32, const FILETIME *, const UInt64 *, const wchar_t *request, BSTR *result,
                     Int32 *answer) override {
        *result = SysAllocString(request);
        *answer = 1;
        return S_OK;
    }
    HRESULT ShowMessage(const wchar_t *message) override {
        fprintf(stderr, "copy: %ls\n", message);
        return S_OK;
    }
    HRESULT SetCurrentFilePath(const wchar_t *) override { return S_OK; }
    HRESULT SetNumFiles(UInt64) override { return S_OK; }
};

bool CopyWithFolder(const std::string &srcDir, const std::string &destDir) {
    NFsFolder::CFSFolder *folderImpl = new NFsFolder::CFSFolder;
    CMyComPtr<IFolderFolder> folder = folderImpl;
    folderImpl->Init(ToU(srcDir + "/"));
    folder->LoadItems();
    CQuietCopyCallback *callbackImpl = new CQuietCopyCallback;
    CMyComPtr<IFolderOperationsExtractCallback> callback = callbackImpl;
    const UInt32 index = 0;
    return folderImpl->CopyTo(0, &index, 1, 0, 0, ToU(destDir + "/"), callback) == S_OK;
}

bool Run(const std::string &cmd) {
    return system(cmd.c_str()) == 0;
}

} // namespace

int main(int argc, char **argv) {
    setlocale(LC_ALL, "C.UTF-8");
    global_use_utf16_conversion = 1;
    const std::string base = argc > 1 ? argv[1] : "/tmp";
    const unsigned numFiles = argc > 2 ? (unsigned)atoi(argv[2]) : 100000;
    const unsigned copyMiB = argc > 3 ? (unsigned)atoi(argv[3]) : 1024;
    const int rounds = 5;

    std::string work = base + "/tarnova-bench-XXXXXX";
    if (!mkdtemp(&work[0])) {
        perror("mkdtemp");
        return 1;
    }
    const std::string listDir = work + "/list";
    mkdir(listDir.c_str(), 0755);
    printf("making %u files in %s\n", numFiles, listDir.c_str());
    for (unsigned i = 0; i < numFiles; i++) {
        char name[64];
        snprintf(name, sizeof(name), "/file %u 文件_%x.dat", (i * 7919u) % numFiles, i);
        const int fd = open((listDir + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            perror("open");
            return 1;
        }
        if (ftruncate(fd, (off_t)(i % 5000)) != 0) perror("ftruncate");
        close(fd);
    }

    const std::string findCmd = "find '" + listDir + "' -maxdepth 1 -printf '%f %s %T@\\n' | sort > /dev/null";
    ListLikeThePanel(listDir); // warm the caches for both sides
    Run(findCmd);
    std::vector<double> ours, theirs;
    for (int r = 0; r < rounds; r++) {
        double t = Now();
        ListLikeThePanel(listDir);
        ours.push_back(Now() - t);
        t = Now();
        Run(findCmd);
        theirs.push_back(Now() - t);
    }
    const double listOurs = Median(ours), listTheirs = Median(theirs);
    printf("list %u files: folder %.3f s, find | sort %.3f s, ratio %.2f (target <= 1.5)\n", numFiles, listOurs,
           listTheirs, listOurs / listTheirs);
    RemoveTree(listDir);

    const std::string copySrc = work + "/src", copyOurs = work + "/ours", copyCp = work + "/cp";
    mkdir(copySrc.c_str(), 0755);
    mkdir(copyOurs.c_str(), 0755);
    mkdir(copyCp.c_str(), 0755);
    const std::string bigFile = copySrc + "/big.bin";
    printf("making a %u MiB file\n", copyMiB);
    if (!Run("head -c " + std::to_string((unsigned long long)copyMiB << 20) + " /dev/urandom > '" + bigFile + "'"))
        return 1;
    ours.clear();
    theirs.clear();
    for (int r = 0; r < 3; r++) {
        unlink((copyOurs + "/big.bin").c_str());
        unlink((copyCp + "/big.bin").c_str());
        double t = Now();
        if (!CopyWithFolder(copySrc, copyOurs)) return 1;
        ours.push_back(Now() - t);
        t = Now();
        if (!Run("cp '" + bigFile + "' '" + copyCp + "/'")) return 1;
        theirs.push_back(Now() - t);
    }
    const double copyTimeOurs = Median(ours), copyTimeCp = Median(theirs);
    printf("copy %u MiB: folder %.3f s, cp %.3f s, ratio %.2f (target <= 1.2)\n", copyMiB, copyTimeOurs, copyTimeCp,
           copyTimeOurs / copyTimeCp);
    RemoveTree(work);
    return 0;
}
