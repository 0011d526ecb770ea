// Times zip work of the plug-in against the system's tools, side by side in one run:
//   listing a 250,000-entry zip through the archive agent (open, every folder, name, size and time
//   of every item) against bsdtar -tf, with the memory the open archive holds per entry;
//   listing 1,000,000 empty entries: the memory the agent holds against bsdtar -tf's peak;
//   creating a zip of a 500 MiB mixed tree with 8 threads against bsdtar --format zip -cf, and the
//   sizes of both;
//   deleting one entry of a 256 MiB zip against zip -d;
//   gzip of a tar of the mixed tree with 8 threads against pigz (installed when missing), and sizes.
// Usage: zip_bench [work folder, default /tmp] [scale, default 1: 0.1 makes everything ten times smaller]
//                  [list|list-empty|create|delete|gzip: only that one]
// (Adding a file to a zip is measured as whole processes by process_bench.)
#include <ftw.h>
#include <locale.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench_support.h"
#include "archive/agent/Agent.h"
#include "archive/common/InFileStream.h"
#include "archive/common/OutFileStream.h"
#include "archive/common/StreamUtils.h"
#include "archive/ui-common/WorkDirInfo.h"
#include "common/StringConvert.h"
#include "windows/PropVariant.h"

bool NWorkDir::CInfo::Load() {
    SetDefault();
    return true;
}

namespace {

using namespace benchsupport;

double TimeShell(const std::string &cmd) {
    const double t = Now();
    if (Sh(cmd) != 0) fprintf(stderr, "failed: %s\n", cmd.c_str());
    return Now() - t;
}

// Heap bytes in use: unlike the resident size, not fooled by memory freed and taken again.
long long HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long long>(m.uordblks + m.hblkhd);
}

UString U(const std::string &s) {
    return MultiByteToUnicodeString(AString(s.c_str()));
}

// Processor time of this process, all threads.
double CpuSeconds() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

long long FileSize(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

int ZipFormat() {
    return g_CodecsObj->FindFormatForArchiveType(L"zip");
}

// The records of a new archive or an update: kept items of the old archive, then files on disk.
class CBenchUpdateCallback : public IArchiveUpdateCallback, public CMyUnknownImp {
public:
    struct CFile {
        std::string rel;
        bool dir = false;
        UInt64 size = 0;
        FILETIME mtime = {0, 0};
    };
    UInt32 numKept = 0;
    UInt32 dropped = static_cast<UInt32>(-1); // the old archive's entry left out
    std::string root;
    std::vector<CFile> files;

    COM_UNKNOWN_IMP(IArchiveUpdateCallback)
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT GetUpdateItemInfo(UInt32 index, Int32 *newData, Int32 *newProps, UInt32 *indexInArchive) override {
        const bool kept = index < numKept;
        if (newData) *newData = !kept;
        if (newProps) *newProps = !kept;
        if (indexInArchive) *indexInArchive = !kept ? static_cast<UInt32>(-1) : index >= dropped ? index + 1 : index;
        return S_OK;
    }
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        NWindows::NCOM::CPropVariant prop;
        const CFile &f = files[index - numKept];
        switch (propID) {
        case kpidPath:
            prop = U(f.rel);
            break;
        case kpidIsDir:
            prop = f.dir;
            break;
        case kpidSize:
            prop = f.size;
            break;
        case kpidMTime:
            prop = f.mtime;
            break;
        case kpidPosixAttrib:
            prop = static_cast<UInt32>(f.dir ? 040755 : 0100644);
            break;
        default:
            break;
        }
        return prop.Detach(value);
    }
    HRESULT GetStream(UInt32 index, ISequentialInStream **inStream) override {
        *inStream = nullptr;
        const CFile &f = files[index - numKept];
        if (f.dir) return S_OK;
        CInFileStream *fileStream = new CInFileStream;
        CMyComPtr<ISequentialInStream> s = fileStream;
        if (!fileStream->Open((U(root + "/" + f.rel)))) return S_FALSE;
        *inStream = s.Detach();
        return S_OK;
    }
    HRESULT SetOperationResult(Int32) override { return S_OK; }
};

CBenchUpdateCallback::CFile DiskFile(const std::string &root, const std::string &rel) {
    CBenchUpdateCallback::CFile f;
    f.rel = rel;
    struct stat st;
    stat((root + "/" + rel).c_str(), &st);
    f.dir = S_ISDIR(st.st_mode);
    f.size = f.dir ? 0 : static_cast<UInt64>(st.st_size);
    const UInt64 ticks = (static_cast<UInt64>(st.st_mtime) + 11644473600ULL) * 10000000ULL;
    f.mtime.dwLowDateTime = static_cast<UInt32>(ticks);
    f.mtime.dwHighDateTime = static_cast<UInt32>(ticks >> 32);
    return f;
}

std::vector<std::string> *g_walk = nullptr;
size_t g_rootLen = 0;
int Collect(const char *path, const struct stat *, int, struct FTW *) {
    if (strlen(path) > g_rootLen) g_walk->push_back(path + g_rootLen + 1);
    return 0;
}

// Writes the archive through the plug-in into out; old (may be empty) is the archive updated.
HRESULT WriteZip(const std::string &old, CBenchUpdateCallback *cb, const std::string &out, UInt32 threads,
                 int format = ZipFormat()) {
    CMyComPtr<IOutArchive> writer;
    CMyComPtr<IInArchive> reader;
    if (!old.empty()) {
        RINOK(g_CodecsObj->CreateInArchive(static_cast<unsigned>(format), reader));
        CInFileStream *inSpec = new CInFileStream;
        CMyComPtr<IInStream> in = inSpec;
        if (!inSpec->Open((U(old)))) return E_FAIL;
        const UInt64 limit = 0;
        RINOK(reader->Open(in, &limit, nullptr));
        UInt32 n = 0;
        reader->GetNumberOfItems(&n);
        cb->numKept = n - (cb->dropped < n ? 1 : 0);
        RINOK(reader->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&writer)));
    } else {
        RINOK(g_CodecsObj->CreateOutArchive(static_cast<unsigned>(format), writer));
    }
    CMyComPtr<ISetProperties> set;
    writer->QueryInterface(IID_ISetProperties, reinterpret_cast<void **>(&set));
    if (set && threads) {
        const wchar_t *names[] = {L"mt"};
        NWindows::NCOM::CPropVariant v;
        v = threads;
        RINOK(set->SetProperties(names, &v, 1));
    }
    COutFileStream *outSpec = new COutFileStream;
    CMyComPtr<IOutStream> outStream = outSpec;
    if (!outSpec->Create((U(out)), true)) return E_FAIL;
    const HRESULT res = writer->WriteArchive(outStream, cb->numKept + static_cast<UInt32>(cb->files.size()), cb);
    outSpec->Close();
    return res;
}

// A zip of 16 stored parts of random data, mib MiB in all: quick to make, and nothing to gain from
// compressing them again.
std::string MakeBigZip(const std::string &dir, long long mib) {
    Sh("cd '" + dir + "' && for i in $(seq 1 16); do head -c " + std::to_string(mib / 16) +
       "M /dev/urandom > part$i.bin; done && zip -q -0 big.zip part*.bin && rm part*.bin");
    Sh("cat '" + dir + "/big.zip' > /dev/null");
    return dir + "/big.zip";
}

void BenchDelete(const std::string &work, double scale) {
    const std::string dir = work + "/zipbench-delete";
    RemoveTree(dir);
    mkdir(dir.c_str(), 0755);
    const long long mib = std::max(16LL, static_cast<long long>(256 * scale));
    const std::string big = MakeBigZip(dir, mib);
    std::vector<double> ours, zip;
    bool ok = true;
    for (int round = 0; round < 3; round++) {
        Sh("cp '" + big + "' '" + dir + "/z.zip' && sync -f '" + dir + "/z.zip'");
        zip.push_back(TimeShell("zip -qd '" + dir + "/z.zip' part8.bin && sync -f '" + dir + "/z.zip'"));
        CMyComPtr<CBenchUpdateCallback> cb = new CBenchUpdateCallback;
        cb->root = dir;
        cb->dropped = 14; // part8.bin: the entries lie in the order part1 part10 ... part16 part2 ... part9
        const double t = Now();
        const HRESULT res = WriteZip(big, cb, dir + "/big.zip.tmp", 0);
        Sh("sync -f '" + dir + "/big.zip.tmp'");
        ours.push_back(Now() - t);
        ok = ok && res == S_OK &&
             Sh("unzip -Z1 '" + dir + "/big.zip.tmp' > '" + dir + "/a.txt' && unzip -Z1 '" + dir + "/z.zip' > '" + dir +
                "/b.txt' && cmp -s '" + dir + "/a.txt' '" + dir + "/b.txt'") == 0;
        remove((dir + "/big.zip.tmp").c_str());
    }
    printf("delete one entry of a %lld MiB zip: plug-in %.2f s, zip -d %.2f s, ratio %.2f (goal <= 1.0)%s\n", mib,
           Median(ours), Median(zip), Median(ours) / Median(zip), ok ? "" : "  [FAILED]");
    RemoveTree(dir);
}

size_t ListFolder(IFolderFolder *folder, size_t &check) {
    UInt32 n = 0;
    folder->GetNumberOfItems(&n);
    size_t count = n;
    for (UInt32 i = 0; i < n; i++) {
        NWindows::NCOM::CPropVariant name, size, mtime, isDir;
        folder->GetProperty(i, kpidName, &name);
        folder->GetProperty(i, kpidSize, &size);
        folder->GetProperty(i, kpidMTime, &mtime);
        folder->GetProperty(i, kpidIsDir, &isDir);
        check += name.vt + size.vt + mtime.vt;
        if (isDir.vt == VT_BOOL && isDir.boolVal != VARIANT_FALSE) {
            CMyComPtr<IFolderFolder> sub;
            if (folder->BindToFolder(i, &sub) == S_OK && sub) count += ListFolder(sub, check);
        }
    }
    return count;
}

// The peak resident size of a shell command, in bytes.
long long PeakOfShell(const std::string &cmd) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

// empty: entries without data in one flat run of folders, to weigh the listing's memory against
// bsdtar's.
void BenchList(const std::string &work, double scale, bool empty) {
    const std::string dir = work + "/zipbench-list";
    RemoveTree(dir);
    mkdir(dir.c_str(), 0755);
    const long entries = std::max(1000L, static_cast<long>((empty ? 1000000 : 250000) * scale));
    const std::string z = dir + "/many.zip";
    Sh("/usr/bin/python3 -c \"import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
       "for i in range(int(sys.argv[2])): z.writestr('dir%03d/sub%02d/file%07d.txt' % (i // 2500, i % 100, i), "
       "'x' * (i % 50) * int(sys.argv[3]))\nz.close()\" '" +
       z + "' " + std::to_string(entries) + (empty ? " 0" : " 1"));
    Sh("cat '" + z + "' > /dev/null");
    if (empty) {
        const long long tarPeak = PeakOfShell("bsdtar -tf '" + z + "' > /dev/null");
        const long long before = HeapInUse();
        CMyComPtr<IInFolderArchive> agent = new CAgent;
        size_t check = 0, listed = 0;
        if (agent->Open(nullptr, U(z), L"", nullptr, nullptr) == S_OK) {
            CMyComPtr<IFolderFolder> root;
            agent->BindToRootFolder(&root);
            listed = ListFolder(root, check);
        }
        const long long held = HeapInUse() - before;
        printf("list %ld empty entries through the agent: %lld bytes held (%lld per entry), bsdtar -tf peak %lld "
               "bytes (%lld per entry), ratio %.2f (goal <= 1), %zu rows\n",
               entries, held, held / entries, tarPeak, tarPeak / entries, static_cast<double>(held) / tarPeak, listed);
        agent->Close();
        RemoveTree(dir);
        return;
    }
    const double tar = TimeShell("bsdtar -tf '" + z + "' > /dev/null");

    // What the zip handler alone holds, without the agent's tree.
    long long handlerHeld = 0;
    double handlerOpen = 0;
    {
        const long long start = HeapInUse();
        const double t0 = Now();
        CMyComPtr<IInArchive> reader;
        CInFileStream *inSpec = new CInFileStream;
        CMyComPtr<IInStream> in = inSpec;
        const UInt64 limit = 0;
        if (g_CodecsObj->CreateInArchive(static_cast<unsigned>(ZipFormat()), reader) == S_OK && inSpec->Open(U(z)) &&
            reader->Open(in, &limit, nullptr) == S_OK)
            handlerHeld = HeapInUse() - start;
        handlerOpen = Now() - t0;
        if (reader) reader->Close();
    }

    const long long before = HeapInUse();
    const double t = Now();
    CMyComPtr<IInFolderArchive> agent = new CAgent;
    size_t check = 0, listed = 0;
    double opened = 0;
    if (agent->Open(nullptr, U(z), L"", nullptr, nullptr) == S_OK) {
        opened = Now() - t;
        CMyComPtr<IFolderFolder> root;
        agent->BindToRootFolder(&root);
        listed = ListFolder(root, check);
    }
    const double list = Now() - t;
    const long long held = HeapInUse() - before;
    printf("list a %ld-entry zip through the agent: %.2f s (open %.2f, of the zip handler alone %.2f), bsdtar -tf %.2f "
           "s, ratio %.2f (goal <= 0.3); "
           "%lld bytes per entry (goal < 300; the zip handler alone %lld), %zu rows\n",
           entries, list, opened, handlerOpen, tar, list / tar, held / entries, handlerHeld / entries, listed);
    agent->Close();
    RemoveTree(dir);
}

// A mixed tree: text and source-like files of many sizes, a few large logs, random data, many
// small files.
void MakeMixedTree(const std::string &tree, double scale) {
    Sh("/usr/bin/python3 -c \"import os,random,sys\nroot=sys.argv[1]; scale=float(sys.argv[2]); r=random.Random(1)\n"
       "words=[''.join(r.choice('abcdefghijklmnopqrstuvwxyz_') for _ in range(r.randint(2,12))) for _ in "
       "range(5000)]\n"
       "def text(n):\n  out=[]; size=0\n  while size<n:\n"
       "    line=' '.join(r.choice(words) for _ in range(r.randint(3,14)))+'\\\\n'; out.append(line); size+=len(line)\n"
       "  return ''.join(out)[:n].encode()\n"
       "block=text(1<<20)\n"
       "def put(p,data):\n  os.makedirs(os.path.dirname(p),exist_ok=True); open(p,'wb').write(data)\n"
       "for i in range(int(4000*scale)): put('%s/src/m%02d/f%05d.c'%(root,i%40,i), text(r.randint(200,40000)))\n"
       "for i in range(max(1,int(12*scale))): put('%s/logs/log%d.txt'%(root,i), "
       "b''.join(block[r.randint(0,1000):]+text(4096) for _ in range(24)))\n"
       "for i in range(max(1,int(8*scale))): put('%s/bin/blob%d.bin'%(root,i), os.urandom(16<<20))\n"
       "for i in range(int(3000*scale)): put('%s/small/s%03d/x%05d.txt'%(root,i%30,i), text(r.randint(10,900)))\n"
       "\" '" +
       tree + "' " + std::to_string(scale));
}

void BenchCreate(const std::string &work, double scale) {
    const std::string dir = work + "/zipbench-create";
    RemoveTree(dir);
    mkdir(dir.c_str(), 0755);
    const std::string tree = dir + "/tree";
    MakeMixedTree(tree, scale);
    Sh("cat $(find '" + tree + "' -type f) > /dev/null 2>&1");
    const long long treeBytes = std::atoll([&] {
        const std::string f = dir + "/du.txt";
        Sh("du -sb '" + tree + "' | cut -f1 > '" + f + "'");
        FILE *p = fopen(f.c_str(), "r");
        static char buf[64] = "0";
        if (p) {
            if (!fgets(buf, sizeof(buf), p)) buf[0] = 0;
            fclose(p);
        }
        return buf;
    }());
    const double tar = TimeShell("cd '" + tree + "' && bsdtar --format zip -cf ../tar.zip .");

    std::vector<std::string> rels;
    g_walk = &rels;
    g_rootLen = tree.size();
    nftw(tree.c_str(), Collect, 64, FTW_PHYS);
    std::sort(rels.begin(), rels.end());
    CMyComPtr<CBenchUpdateCallback> cb = new CBenchUpdateCallback;
    cb->root = tree;
    for (const std::string &r : rels)
        cb->files.push_back(DiskFile(tree, r));
    const double cpu0 = CpuSeconds();
    const double t = Now();
    const HRESULT res = WriteZip("", cb, dir + "/ours.zip", 8);
    const double ours = Now() - t;
    const double cores = (CpuSeconds() - cpu0) / ours;
    const long long ourSize = FileSize(dir + "/ours.zip"), tarSize = FileSize(dir + "/tar.zip");
    const bool ok = res == S_OK && Sh("unzip -tq '" + dir + "/ours.zip' > /dev/null") == 0;
    printf(
        "create a zip of a %lld MiB tree (%zu entries), 8 threads: %.2f s (%.1f cores busy), bsdtar %.2f s, ratio %.2f "
        "(goal <= 0.15); size %lld vs %lld (%+.2f%%, goal within 1%%)%s\n",
        treeBytes >> 20, rels.size(), ours, cores, tar, ours / tar, ourSize, tarSize,
        100.0 * static_cast<double>(ourSize - tarSize) / static_cast<double>(tarSize), ok ? "" : "  [FAILED]");
    RemoveTree(dir);
}

void BenchGzip(const std::string &work, double scale) {
    if (Sh("command -v pigz > /dev/null || (apt-get install -y -qq pigz > /dev/null 2>&1)") != 0) {
        printf("gzip: pigz is missing and could not be installed; skipped\n");
        return;
    }
    const std::string dir = work + "/zipbench-gzip";
    RemoveTree(dir);
    mkdir(dir.c_str(), 0755);
    MakeMixedTree(dir + "/tree", scale);
    Sh("cd '" + dir + "' && tar -cf t.tar tree && rm -rf tree && cat t.tar > /dev/null");
    std::vector<double> ours, pigz;
    bool ok = true;
    for (int round = 0; round < 3; round++) {
        pigz.push_back(TimeShell("pigz -6 -p 8 -c '" + dir + "/t.tar' > '" + dir + "/pigz.gz'"));
        CMyComPtr<CBenchUpdateCallback> cb = new CBenchUpdateCallback;
        cb->root = dir;
        cb->files.push_back(DiskFile(dir, "t.tar"));
        const double t = Now();
        ok = ok && WriteZip("", cb, dir + "/ours.gz", 8, g_CodecsObj->FindFormatForArchiveType(L"gzip")) == S_OK;
        ours.push_back(Now() - t);
    }
    ok = ok && Sh("gzip -dc '" + dir + "/ours.gz' | cmp -s - '" + dir + "/t.tar'") == 0;
    const long long ourSize = FileSize(dir + "/ours.gz"), pigzSize = FileSize(dir + "/pigz.gz");
    printf("gzip a %lld MiB tar, 8 threads: plug-in %.2f s, pigz %.2f s, ratio %.2f (goal <= 1.2); size %lld vs %lld "
           "(%+.2f%%)%s\n",
           FileSize(dir + "/t.tar") >> 20, Median(ours), Median(pigz), Median(ours) / Median(pigz), ourSize, pigzSize,
           100.0 * static_cast<double>(ourSize - pigzSize) / static_cast<double>(pigzSize), ok ? "" : "  [FAILED]");
    RemoveTree(dir);
}

} // namespace

int main(int argc, char **argv) {
    setlocale(LC_ALL, "C.UTF-8");
    const std::string work = argc > 1 ? argv[1] : "/tmp";
    const double scale = argc > 2 ? atof(argv[2]) : 1.0;
    UsePluginFromBinFolder();
    if (LoadGlobalCodecs() != S_OK || ZipFormat() < 0) {
        fprintf(stderr, "the plug-in could not be loaded (set TARNOVA_HOME_DIR to its folder)\n");
        return 1;
    }
    const std::string only = argc > 3 ? argv[3] : "";
    if (only.empty() || only == "list") BenchList(work, scale, false);
    if (only.empty() || only == "list-empty") BenchList(work, scale, true);
    if (only.empty() || only == "create") BenchCreate(work, scale);
    if (only.empty() || only == "delete") BenchDelete(work, scale);
    if (only.empty() || only == "gzip") BenchGzip(work, scale);
    return 0;
}
