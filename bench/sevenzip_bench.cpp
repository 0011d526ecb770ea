// Times 7z creation of a generated tree of mixed files through the plug-in on 8 threads and prints
// how many cores it kept busy and extraction by the plug-in against bsdtar (adding a file to a 7z
// is measured as whole processes by process_bench). bsdtar's own 7z writer (one thread, slow) is timed on a smaller
// tree beside the plug-in. Sizes in MiB: `bench_sevenzip [tree [peer tree]]`, or TARNOVA_BENCH_MIB
// and TARNOVA_BENCH_PEER_MIB; the trees live under TARNOVA_BENCH_DIR (default /dev/shm, a tmpfs).
#include "PluginHarness.h"
#include "archive/common/FileStreams.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace NPluginTest;

namespace {

const int kLevel = 5;
const UInt64 kMiB = 1 << 20;

struct CRandom {
    UInt64 s;
    UInt64 Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
};

void WriteOut(const std::string &path, const std::string &data) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(data.data(), 1, data.size(), f) != data.size()) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(1);
    }
    fclose(f);
}

// Text of words (40 %), records of a log (30 %), random bytes (20 %) and many small sources (10 %).
void MakeTree(const std::string &root, UInt64 mib) {
    const auto count = [mib](double share, double each) {
        return std::max(1, static_cast<int>(static_cast<double>(mib) * share / each + 0.5));
    };
    CRandom r{0x9E3779B97F4A7C15ULL};
    std::vector<std::string> words;
    for (int i = 0; i < 5000; i++) {
        std::string w;
        const int len = 2 + static_cast<int>(r.Next() % 9);
        for (int k = 0; k < len; k++)
            w += static_cast<char>('a' + r.Next() % 26);
        words.push_back(w);
    }
    Run("mkdir -p '" + root + "/text' '" + root + "/logs' '" + root + "/bin' '" + root + "/src'");
    for (int f = 0, n = count(0.4, 2); f < n; f++) {
        std::string t;
        while (t.size() < 2 * kMiB) {
            // Zipf-like: low indices come often.
            const UInt64 a = r.Next() % words.size(), b = r.Next() % (a + 1);
            t += words[b];
            t += (r.Next() % 12 == 0) ? ".\n" : " ";
        }
        WriteOut(root + "/text/doc" + std::to_string(f) + ".txt", t);
    }
    for (int f = 0, n = count(0.3, 5); f < n; f++) {
        std::string t;
        UInt64 clock = 1600000000;
        while (t.size() < 5 * kMiB) {
            clock += r.Next() % 5;
            t += std::to_string(clock) + " host" + std::to_string(r.Next() % 40) + " service[" +
                 std::to_string(r.Next() % 30000) + "]: " + words[r.Next() % 300] + " " + words[r.Next() % 300] +
                 " status=" + std::to_string(r.Next() % 600) + "\n";
        }
        WriteOut(root + "/logs/log" + std::to_string(f) + ".log", t);
    }
    for (int f = 0, n = count(0.2, 10); f < n; f++) {
        std::string t(10 * kMiB, '\0');
        for (size_t i = 0; i + 8 <= t.size(); i += 8) {
            const UInt64 v = r.Next();
            memcpy(&t[i], &v, 8);
        }
        WriteOut(root + "/bin/blob" + std::to_string(f) + ".bin", t);
    }
    const int sources = count(0.1, 0.01);
    for (int d = 0; d * 100 < sources; d++) { // files of 10 KiB, 100 a folder
        const std::string dir = root + "/src/m" + std::to_string(d);
        Run("mkdir -p '" + dir + "'");
        for (int f = 0; f < 100 && d * 100 + f < sources; f++) {
            std::string t;
            while (t.size() < 10 * 1024)
                t += "int " + words[r.Next() % 800] + " = " + words[r.Next() % 800] + "(" +
                     std::to_string(r.Next() % 100) + ");\n";
            WriteOut(dir + "/f" + std::to_string(f) + ".c", t);
        }
    }
}

struct CEntry {
    std::string rel;
    bool isDir;
    UInt64 size;
};

void Walk(const std::string &root, const std::string &rel, std::vector<CEntry> &out) {
    DIR *d = opendir((root + "/" + rel).c_str());
    if (!d) return;
    while (dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string r = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        lstat((root + "/" + r).c_str(), &st);
        out.push_back(CEntry{r, S_ISDIR(st.st_mode), static_cast<UInt64>(st.st_size)});
        if (S_ISDIR(st.st_mode)) Walk(root, r, out);
    }
    closedir(d);
}

HRESULT FdSeek(int fd, Int64 offset, UInt32 origin, UInt64 *newPosition) {
    const off_t p = lseek(fd, offset, static_cast<int>(origin));
    if (p < 0) return E_FAIL;
    if (newPosition) *newPosition = static_cast<UInt64>(p);
    return S_OK;
}

class CFdOutStream : public IOutStream, public CMyUnknownImp {
    int _fd;

public:
    explicit CFdOutStream(int fd) : _fd(fd) {}
    virtual ~CFdOutStream() { close(_fd); }
    COM_UNKNOWN_IMP(IOutStream)
    HRESULT Write(const void *data, UInt32 size, UInt32 *processed) override {
        const ssize_t n = write(_fd, data, size);
        if (processed) *processed = n > 0 ? static_cast<UInt32>(n) : 0;
        return n < 0 ? E_FAIL : S_OK;
    }
    HRESULT Seek(Int64 offset, UInt32 origin, UInt64 *newPosition) override {
        return FdSeek(_fd, offset, origin, newPosition);
    }
    HRESULT SetSize(UInt64 size) override { return ftruncate(_fd, static_cast<off_t>(size)) == 0 ? S_OK : E_FAIL; }
};

class CFdInFile : public IInStream, public CMyUnknownImp {
    int _fd;

public:
    explicit CFdInFile(int fd) : _fd(fd) {}
    virtual ~CFdInFile() { close(_fd); }
    COM_UNKNOWN_IMP(IInStream)
    HRESULT Read(void *data, UInt32 size, UInt32 *processed) override {
        const ssize_t n = read(_fd, data, size);
        if (processed) *processed = n > 0 ? static_cast<UInt32>(n) : 0;
        return n < 0 ? E_FAIL : S_OK;
    }
    HRESULT Seek(Int64 offset, UInt32 origin, UInt64 *newPosition) override {
        return FdSeek(_fd, offset, origin, newPosition);
    }
};

class CTreeUpdateCallback : public IArchiveUpdateCallback, public CMyUnknownImp {
    const std::string _root;
    const std::vector<CEntry> &_entries;

public:
    CTreeUpdateCallback(const std::string &root, const std::vector<CEntry> &entries) : _root(root), _entries(entries) {}
    virtual ~CTreeUpdateCallback() {}
    COM_UNKNOWN_IMP(IArchiveUpdateCallback)
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT GetUpdateItemInfo(UInt32, Int32 *newData, Int32 *newProps, UInt32 *indexInArchive) override {
        *newData = 1;
        *newProps = 1;
        *indexInArchive = 0xFFFFFFFF;
        return S_OK;
    }
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        const CEntry &e = _entries[index];
        if (propID == kpidPath) {
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocString(Wide(e.rel).c_str());
        } else if (propID == kpidIsDir) {
            value->vt = VT_BOOL;
            value->boolVal = e.isDir ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (propID == kpidSize && !e.isDir) {
            value->vt = VT_UI8;
            value->uhVal.QuadPart = e.size;
        }
        return S_OK;
    }
    HRESULT GetStream(UInt32 index, ISequentialInStream **in) override {
        *in = nullptr;
        if (_entries[index].isDir) return S_OK;
        const int fd = open((_root + "/" + _entries[index].rel).c_str(), O_RDONLY);
        if (fd < 0) return E_FAIL;
        *in = CMyComPtr<ISequentialInStream>(new CFdInFile(fd)).Detach();
        return S_OK;
    }
    HRESULT SetOperationResult(Int32) override { return S_OK; }
};

// mkdir -p, without a shell.
void MakeDirs(const std::string &path) {
    for (size_t p = path.find('/', 1); p != std::string::npos; p = path.find('/', p + 1))
        mkdir(path.substr(0, p).c_str(), 0755);
    mkdir(path.c_str(), 0755);
}

class CDiskExtractCallback : public IArchiveExtractCallback, public CMyUnknownImp {
    IInArchive *_arc;
    std::string _dir;

public:
    int errors = 0;
    CDiskExtractCallback(IInArchive *arc, const std::string &dir) : _arc(arc), _dir(dir) {}
    virtual ~CDiskExtractCallback() {}
    COM_UNKNOWN_IMP(IArchiveExtractCallback)
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT GetStream(UInt32 index, ISequentialOutStream **out, Int32) override {
        *out = nullptr;
        const std::string path = _dir + "/" + Utf8(ItemPath(_arc, index));
        if (ItemIsDir(_arc, index)) {
            MakeDirs(path);
            return S_OK;
        }
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            MakeDirs(path.substr(0, path.rfind('/')));
            fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (fd < 0) return E_FAIL;
        *out = CMyComPtr<ISequentialOutStream>(new CFdOutStream(fd)).Detach();
        return S_OK;
    }
    HRESULT PrepareOperation(Int32) override { return S_OK; }
    HRESULT SetOperationResult(Int32 r) override {
        if (r != 0) errors++;
        return S_OK;
    }
};

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// CPU seconds used so far by this process (self) or by its finished children: on a busy machine
// the wall-clock ratio says as much about the other load as about the coder.
double CpuSeconds(int who) {
    struct rusage u;
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string LoadAverage() {
    char text[64] = {};
    FILE *f = fopen("/proc/loadavg", "r");
    if (f) {
        if (!fgets(text, sizeof(text), f)) text[0] = 0;
        fclose(f);
    }
    std::string s(text);
    return s.substr(0, s.find(' ', s.find(' ', s.find(' ') + 1) + 1));
}

UInt64 FileSize(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<UInt64>(st.st_size) : 0;
}

// Threads of this process that run or wait for a processor (state R), not counting the caller.
int RunnableThreads() {
    int n = 0;
    DIR *d = opendir("/proc/self/task");
    if (!d) return 0;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        char text[512] = {};
        FILE *f = fopen((std::string("/proc/self/task/") + e->d_name + "/stat").c_str(), "r");
        if (!f) continue;
        const size_t got = fread(text, 1, sizeof(text) - 1, f);
        fclose(f);
        const char *close = strrchr(text, ')');
        if (got && close && close[1] == ' ' && close[2] == 'R') n++;
    }
    closedir(d);
    return n > 0 ? n - 1 : 0;
}

// Samples RunnableThreads while work runs: unlike CPU time over wall time, the figure does not
// drop when other programs take the processors, so it shows whether the coder keeps its threads fed.
class CRunnableSampler {
    std::atomic<bool> _stop{false};
    double _sum = 0;
    int _samples = 0;
    std::thread _thread;

public:
    CRunnableSampler()
        : _thread([this] {
              while (!_stop) {
                  _sum += RunnableThreads();
                  _samples++;
                  usleep(20000);
              }
          }) {}
    ~CRunnableSampler() { Stop(); }
    double Stop() {
        if (_thread.joinable()) {
            _stop = true;
            _thread.join();
        }
        return _samples ? _sum / _samples : 0;
    }
};

UInt64 SizeArg(int argc, char **argv, int index, const char *env, UInt64 fallback) {
    const char *text = argc > index ? argv[index] : getenv(env);
    const UInt64 v = text ? strtoull(text, nullptr, 10) : 0;
    return v ? v : fallback;
}

// Writes the tree as a 7z at the level on 8 threads; the seconds it took, or a negative value.
double WriteTree(const CPluginLib &lib, int level, const std::string &tree, const std::vector<CEntry> &entries,
                 const std::string &path) {
    CMyComPtr<IInArchive> handler = lib.CreateHandler("7z");
    CMyComPtr<ISetProperties> setProps;
    handler->QueryInterface(IID_ISetProperties, reinterpret_cast<void **>(&setProps));
    const wchar_t *names[] = {L"x", L"mt"};
    PROPVARIANT values[2];
    values[0].vt = VT_UI4;
    values[0].ulVal = static_cast<ULONG>(level);
    values[1].vt = VT_UI4;
    values[1].ulVal = 8;
    if (setProps->SetProperties(names, values, 2) != S_OK) return -1;
    CMyComPtr<IOutArchive> writer;
    handler->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&writer));
    const auto t0 = std::chrono::steady_clock::now();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    CMyComPtr<IOutStream> out = new CFdOutStream(fd);
    CMyComPtr<IArchiveUpdateCallback> cb = new CTreeUpdateCallback(tree, entries);
    if (writer->WriteArchive(out, static_cast<UInt32>(entries.size()), cb) != S_OK) return -1;
    out.Release();
    return Seconds(t0);
}

} // namespace

int main(int argc, char **argv) {
    setenv("TARNOVA_TEST_OUTPUT_DIR", TARNOVA_PLUGIN_DIR, 0);
    const UInt64 treeMiB = SizeArg(argc, argv, 1, "TARNOVA_BENCH_MIB", 300);
    const UInt64 peerMiB = SizeArg(argc, argv, 2, "TARNOVA_BENCH_PEER_MIB", 48);
    const char *base = getenv("TARNOVA_BENCH_DIR") ? getenv("TARNOVA_BENCH_DIR") : "/dev/shm";
    std::string scratch = std::string(base) + "/tarnova-7z-bench-XXXXXX";
    if (!mkdtemp(&scratch[0])) {
        fprintf(stderr, "cannot make a folder in %s\n", base);
        return 1;
    }
    struct CRemove {
        std::string path;
        ~CRemove() { Run("rm -rf '" + path + "'"); }
    } removeScratch{scratch};
    const auto at = [&scratch](const char *name) { return scratch + "/" + name; };
    CPluginLib lib;
    if (!lib.Loaded()) {
        fprintf(stderr, "cannot load %s\n", PluginPath().c_str());
        return 1;
    }

    // bsdtar's writer against the plug-in on the small tree: time and size.
    const std::string peerTree = at("peer");
    MakeTree(peerTree, peerMiB);
    std::vector<CEntry> peerEntries;
    Walk(peerTree, "", peerEntries);
    const double childCpu0 = CpuSeconds(RUSAGE_CHILDREN);
    auto t0 = std::chrono::steady_clock::now();
    if (Run("cd '" + peerTree + "' && bsdtar --format 7zip --options 7zip:compression-level=" + std::to_string(kLevel) +
            " -cf '" + at("ref.7z") + "' .") != 0)
        return 1;
    const double refTime = Seconds(t0);
    const double refCpu = CpuSeconds(RUSAGE_CHILDREN) - childCpu0;
    const double peerTime = WriteTree(lib, kLevel, peerTree, peerEntries, at("peer.7z"));
    if (peerTime < 0) return 1;
    printf("%llu MiB tree: bsdtar 1 thread %.2f s (%.1f CPU s), plug-in 8 threads %.2f s; time ratio %.3f, size "
           "ratio %.4f\n",
           static_cast<unsigned long long>(peerMiB), refTime, refCpu, peerTime, peerTime / refTime,
           static_cast<double>(FileSize(at("peer.7z"))) / static_cast<double>(FileSize(at("ref.7z"))));
    Run("rm -rf '" + peerTree + "' '" + at("ref.7z") + "' '" + at("peer.7z") + "'");

    const std::string tree = at("tree");
    MakeTree(tree, treeMiB);
    std::vector<CEntry> entries;
    Walk(tree, "", entries);
    UInt64 total = 0;
    for (const CEntry &e : entries)
        total += e.size * !e.isDir;
    printf("%zu items, %.1f MiB in %s\n", entries.size(), static_cast<double>(total) / kMiB, scratch.c_str());

    // Cores busy: CPU time of this process over wall time, the best of two rounds.
    const std::string ours = at("ours.7z");
    double ourTime = 0, busy = 0, runnable = 0;
    for (int round = 0; round < 2; round++) {
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        CRunnableSampler sampler;
        const double t = WriteTree(lib, kLevel, tree, entries, ours);
        const double r = sampler.Stop();
        if (t < 0) {
            fprintf(stderr, "writing failed\n");
            return 1;
        }
        const double b = (CpuSeconds(RUSAGE_SELF) - cpu0) / t;
        if (round == 0 || b > busy) {
            busy = b;
            ourTime = t;
            runnable = r;
        }
    }
    printf("create level %d, 8 threads: %.2f s, %llu bytes, %.2f cores busy on average (goal >= 6), %.2f threads "
           "ready to run on average (load %s)\n",
           kLevel, ourTime, static_cast<unsigned long long>(FileSize(ours)), busy, runnable, LoadAverage().c_str());

    // Extraction of our archive: bsdtar (libarchive) against the plug-in, both onto disk.
    Run("mkdir -p '" + at("x1") + "' '" + at("x2") + "'");
    t0 = std::chrono::steady_clock::now();
    if (Run("bsdtar -xf '" + ours + "' -C '" + at("x1") + "'") != 0) return 1;
    const double refExtract = Seconds(t0);
    Run("rm -rf '" + at("x1") + "'");
    t0 = std::chrono::steady_clock::now();
    int errors = 0;
    {
        CMyComPtr<IInArchive> arc = lib.CreateHandler("7z");
        CMyComPtr<IInStream> in = new CFdInFile(open(ours.c_str(), O_RDONLY));
        const UInt64 limit = 0;
        if (arc->Open(in, &limit, nullptr) != S_OK) return 1;
        CDiskExtractCallback *cbRaw = new CDiskExtractCallback(arc, at("x2"));
        CMyComPtr<IArchiveExtractCallback> cb = cbRaw;
        if (arc->Extract(nullptr, 0xFFFFFFFF, 0, cb) != S_OK) return 1;
        errors = cbRaw->errors;
    }
    const double ourExtract = Seconds(t0);
    const bool same = Run("diff -rq '" + tree + "' '" + at("x2") + "' > /dev/null") == 0;
    Run("rm -rf '" + at("x2") + "' '" + ours + "'");
    printf("extract bsdtar: %.2f s, plug-in: %.2f s, ratio %.3f (goal <= 1.0); %s, %d item errors\n", refExtract,
           ourExtract, ourExtract / refExtract, same ? "identical tree" : "TREE DIFFERS", errors);

    Run("rm -rf '" + tree + "'");
    return 0;
}
