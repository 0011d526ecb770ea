// Times 7z creation of a generated 500 MiB tree of mixed files through the plug-in on 8 threads
// against `bsdtar --format 7zip` (libarchive, one thread) at the same level, and extraction of the
// result by the plug-in against bsdtar. Prints the ratios; the tree lives under /tmp and is removed.
#include "PluginHarness.h"

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Text of words, records of a log, random bytes and many small sources: about 500 MiB.
void MakeTree(const std::string &root) {
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
    for (int f = 0; f < 100; f++) { // 200 MiB of text
        std::string t;
        while (t.size() < 2 * kMiB) {
            // Zipf-like: low indices come often.
            const UInt64 a = r.Next() % words.size(), b = r.Next() % (a + 1);
            t += words[b];
            t += (r.Next() % 12 == 0) ? ".\n" : " ";
        }
        WriteOut(root + "/text/doc" + std::to_string(f) + ".txt", t);
    }
    for (int f = 0; f < 30; f++) { // 150 MiB of log records
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
    for (int f = 0; f < 10; f++) { // 100 MiB that does not compress
        std::string t(10 * kMiB, '\0');
        for (size_t i = 0; i + 8 <= t.size(); i += 8) {
            const UInt64 v = r.Next();
            memcpy(&t[i], &v, 8);
        }
        WriteOut(root + "/bin/blob" + std::to_string(f) + ".bin", t);
    }
    for (int d = 0; d < 50; d++) { // 50 MiB in 5000 small files
        const std::string dir = root + "/src/m" + std::to_string(d);
        Run("mkdir -p '" + dir + "'");
        for (int f = 0; f < 100; f++) {
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

// Keeps every item of the old archive and adds one small new file at the end.
class CAddOneCallback : public IArchiveUpdateCallback, public CMyUnknownImp {
    const UInt32 _numOld;
    const std::string _file;

public:
    CAddOneCallback(UInt32 numOld, const std::string &file) : _numOld(numOld), _file(file) {}
    virtual ~CAddOneCallback() {}
    COM_UNKNOWN_IMP(IArchiveUpdateCallback)
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT GetUpdateItemInfo(UInt32 index, Int32 *newData, Int32 *newProps, UInt32 *indexInArchive) override {
        const bool added = index == _numOld;
        if (newData) *newData = added;
        if (newProps) *newProps = added;
        if (indexInArchive) *indexInArchive = added ? 0xFFFFFFFF : index;
        return S_OK;
    }
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        if (index != _numOld) return S_OK;
        if (propID == kpidPath) {
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocString(L"added.txt");
        } else if (propID == kpidIsDir) {
            value->vt = VT_BOOL;
            value->boolVal = VARIANT_FALSE;
        } else if (propID == kpidSize) {
            value->vt = VT_UI8;
            value->uhVal.QuadPart = FileSizeOf(_file);
        }
        return S_OK;
    }
    HRESULT GetStream(UInt32, ISequentialInStream **in) override {
        const int fd = open(_file.c_str(), O_RDONLY);
        if (fd < 0) return E_FAIL;
        *in = CMyComPtr<ISequentialInStream>(new CFdInFile(fd)).Detach();
        return S_OK;
    }
    HRESULT SetOperationResult(Int32) override { return S_OK; }
    static UInt64 FileSizeOf(const std::string &path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? static_cast<UInt64>(st.st_size) : 0;
    }
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

} // namespace

int main() {
    setenv("TARNOVA_TEST_OUTPUT_DIR", TARNOVA_PLUGIN_DIR, 0);
    CTempDir tmp;
    const std::string tree = tmp / "tree";
    printf("making the tree in %s ...\n", tree.c_str());
    MakeTree(tree);
    std::vector<CEntry> entries;
    Walk(tree, "", entries);
    UInt64 total = 0;
    for (const CEntry &e : entries)
        total += e.size * !e.isDir;
    printf("%zu items, %.1f MiB\n", entries.size(), static_cast<double>(total) / kMiB);

    const std::string ref = tmp / "ref.7z", ours = tmp / "ours.7z";
    const double childCpu0 = CpuSeconds(RUSAGE_CHILDREN);
    auto t0 = std::chrono::steady_clock::now();
    if (Run("cd '" + tree + "' && bsdtar --format 7zip --options 7zip:compression-level=" + std::to_string(kLevel) +
            " -cf '" + ref + "' .") != 0)
        return 1;
    const double refTime = Seconds(t0);
    const double refCpu = CpuSeconds(RUSAGE_CHILDREN) - childCpu0;

    CPluginLib lib;
    if (!lib.Loaded()) {
        fprintf(stderr, "cannot load %s\n", PluginPath().c_str());
        return 1;
    }
    CMyComPtr<IInArchive> handler = lib.CreateHandler("7z");
    CMyComPtr<ISetProperties> setProps;
    handler->QueryInterface(IID_ISetProperties, reinterpret_cast<void **>(&setProps));
    const wchar_t *names[] = {L"x", L"mt"};
    PROPVARIANT values[2];
    values[0].vt = VT_UI4;
    values[0].ulVal = kLevel;
    values[1].vt = VT_UI4;
    values[1].ulVal = 8;
    if (setProps->SetProperties(names, values, 2) != S_OK) return 1;
    CMyComPtr<IOutArchive> writer;
    handler->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&writer));
    const double selfCpu0 = CpuSeconds(RUSAGE_SELF);
    t0 = std::chrono::steady_clock::now();
    {
        const int fd = open(ours.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        CMyComPtr<IOutStream> out = new CFdOutStream(fd);
        CMyComPtr<IArchiveUpdateCallback> cb = new CTreeUpdateCallback(tree, entries);
        if (writer->WriteArchive(out, static_cast<UInt32>(entries.size()), cb) != S_OK) {
            fprintf(stderr, "writing failed\n");
            return 1;
        }
    }
    const double ourTime = Seconds(t0);
    const double ourCpu = CpuSeconds(RUSAGE_SELF) - selfCpu0;
    const UInt64 refSize = FileSize(ref), ourSize = FileSize(ours);

    // Extraction of our archive: bsdtar (libarchive) against the plug-in, both onto disk.
    Run("mkdir -p '" + tmp / "x1" + "' '" + tmp / "x2" + "'");
    t0 = std::chrono::steady_clock::now();
    if (Run("bsdtar -xf '" + ours + "' -C '" + tmp / "x1" + "'") != 0) return 1;
    const double refExtract = Seconds(t0);
    t0 = std::chrono::steady_clock::now();
    int errors = 0;
    {
        CMyComPtr<IInArchive> arc = lib.CreateHandler("7z");
        CMyComPtr<IInStream> in = new CFdInFile(open(ours.c_str(), O_RDONLY));
        const UInt64 limit = 0;
        if (arc->Open(in, &limit, nullptr) != S_OK) return 1;
        CDiskExtractCallback *cbRaw = new CDiskExtractCallback(arc, tmp / "x2");
        CMyComPtr<IArchiveExtractCallback> cb = cbRaw;
        if (arc->Extract(nullptr, 0xFFFFFFFF, 0, cb) != S_OK) return 1;
        errors = cbRaw->errors;
    }
    const double ourExtract = Seconds(t0);
    const bool same = Run("diff -rq '" + tree + "' '" + tmp / "x2" + "' > /dev/null") == 0;

    // Adding one small file to a large 7z (the tree stored with level 1) against cp of the archive.
    const std::string old = tmp / "old.7z", updated = tmp / "updated.7z", small = tmp / "small.txt";
    double cpTime = 0, addTime = 0;
    UInt64 oldSize = 0;
    {
        CMyComPtr<IInArchive> h = lib.CreateHandler("7z");
        CMyComPtr<ISetProperties> sp;
        h->QueryInterface(IID_ISetProperties, reinterpret_cast<void **>(&sp));
        values[0].ulVal = 1;
        if (sp->SetProperties(names, values, 2) != S_OK) return 1;
        CMyComPtr<IOutArchive> w;
        h->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&w));
        CMyComPtr<IOutStream> out = new CFdOutStream(open(old.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644));
        CMyComPtr<IArchiveUpdateCallback> cb = new CTreeUpdateCallback(tree, entries);
        if (w->WriteArchive(out, static_cast<UInt32>(entries.size()), cb) != S_OK) return 1;
    }
    oldSize = FileSize(old);
    WriteOut(small, "one small new file\n");
    for (int round = 0; round < 3; round++) {
        t0 = std::chrono::steady_clock::now();
        if (Run("cp '" + old + "' '" + tmp / "copy.7z" + "'") != 0) return 1;
        const double c = Seconds(t0);
        Run("rm -f '" + tmp / "copy.7z" + "' '" + updated + "'");
        t0 = std::chrono::steady_clock::now();
        {
            CMyComPtr<IInArchive> arc = lib.CreateHandler("7z");
            CMyComPtr<IInStream> in = new CFdInFile(open(old.c_str(), O_RDONLY));
            const UInt64 limit = 0;
            if (arc->Open(in, &limit, nullptr) != S_OK) return 1;
            UInt32 n = 0;
            arc->GetNumberOfItems(&n);
            CMyComPtr<IOutArchive> w;
            arc->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&w));
            CMyComPtr<IOutStream> out = new CFdOutStream(open(updated.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644));
            CMyComPtr<IArchiveUpdateCallback> cb = new CAddOneCallback(n, small);
            if (w->WriteArchive(out, n + 1, cb) != S_OK) return 1;
        }
        const double a = Seconds(t0);
        // The best of three rounds each: the machine is shared.
        cpTime = round == 0 ? c : std::min(cpTime, c);
        addTime = round == 0 ? a : std::min(addTime, a);
        Run("rm -f '" + updated + "'");
    }

    printf("create  bsdtar 1 thread: %7.2f s  %10llu bytes\n", refTime, static_cast<unsigned long long>(refSize));
    printf("create  plug-in 8 threads: %5.2f s  %10llu bytes\n", ourTime, static_cast<unsigned long long>(ourSize));
    printf("create time ratio (plug-in / bsdtar): %.3f (goal <= 0.35)\n", ourTime / refTime);
    printf("create CPU seconds: bsdtar %.1f, plug-in %.1f (%.1f threads busy on average; load %s)\n", refCpu, ourCpu,
           ourCpu / ourTime, LoadAverage().c_str());
    printf("size ratio (plug-in / bsdtar): %.4f (goal within 3%%)\n",
           static_cast<double>(ourSize) / static_cast<double>(refSize));
    printf("extract bsdtar: %.2f s, plug-in: %.2f s, ratio %.3f (goal <= 1.0); %s, %d item errors\n", refExtract,
           ourExtract, ourExtract / refExtract, same ? "identical tree" : "TREE DIFFERS", errors);
    printf("add one file to a %.0f MB 7z: cp %.3f s, plug-in %.3f s, ratio %.3f (goal <= 1.3)\n",
           static_cast<double>(oldSize) / 1e6, cpTime, addTime, addTime / cpTime);
    return 0;
}
