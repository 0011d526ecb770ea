// Extracting many small files from a tar and from a tar.gz (on tmpfs, where the decoding shows):
// time against "bsdtar -xf" and peak memory per entry against bsdtar's, measured in one run. Each
// extraction runs in a child process of its own, so that its peak resident size is its own.
//
//   extract_bench [files-for-time [files-for-memory]]    (defaults 20000 and 250000)
//   extract_bench --only ARCHIVE FOLDER                  (our extraction alone, for strace -c)
//   extract_bench --deep [depth]                          (nested folder entries, default 10000)
//
// The plug-in is loaded from the folder of this program (TARNOVA_HOME_DIR overrides it).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "bench_support.h"
#include "quiet_extract_callback.h"
#include "archive/common/CreateCoder.h"
#include "archive/ui-common/Extract.h"
#include "archive/ui-common/LoadCodecs.h"
#include "common/MyCom.h"

namespace {

using namespace benchsupport;

struct CChildRun {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0; // user and system
    long peakKiB = 0;
};

// Runs the body in a child process; its exit status, wall time and peak resident size.
CChildRun InChild(const std::function<int()> &body) {
    CChildRun r;
    const double start = Now();
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    struct rusage ru;
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid) return r;
    r.seconds = Now() - start;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.peakKiB = ru.ru_maxrss;
    r.cpuSeconds = (double)ru.ru_utime.tv_sec + (double)ru.ru_utime.tv_usec / 1e6 + (double)ru.ru_stime.tv_sec +
                   (double)ru.ru_stime.tv_usec / 1e6;
    return r;
}

// Our extraction of one archive, with the registry loaded in the child.
int ExtractWithEngine(const std::string &archive, const std::string &outDir, bool loadOnly) {
    CCodecs *codecs = new CCodecs;
    CMyComPtr<ICompressCodecsInfo> holder = codecs;
    if (codecs->Load() != S_OK) return 3;
    if (loadOnly) return 0;
    UStringVector paths;
    UString path;
    path.SetFromAscii(archive.c_str());
    paths.Add(path);
    NWildcard::CCensorNode all;
    all.AddItem(true, UString(L"*"), true, true, true, true);
    CExtractOptions options;
    options.OutputDir.SetFromAscii(outDir.c_str());
    options.OverwriteMode = NExtract::NOverwriteMode::kOverwrite;
    CObjectVector<COpenType> types;
    CIntVector excluded;
    CQuietCallback *cb = new CQuietCallback;
    CMyComPtr<IExtractCallbackUI> cbHolder = cb;
    UString errorMessage;
    CDecompressStat stat;
    const HRESULT res =
        Extract(codecs, types, excluded, paths, paths, all, options, cb, cb, nullptr, errorMessage, stat);
    return (res == S_OK && cb->failures == 0) ? 0 : 4;
}

// A tar (or tar.gz) of n small files, 100 to a folder, made by bsdtar from a tree on disk.
bool MakeArchive(const std::string &dir, unsigned n, bool gzip, std::string &archive) {
    const std::string tree = dir + "/tree";
    if (mkdir(tree.c_str(), 0755) != 0) return false;
    char name[256];
    unsigned seed = 1;
    for (unsigned i = 0; i < n; i++) {
        if (i % 100 == 0) {
            snprintf(name, sizeof(name), "%s/d%05u", tree.c_str(), i / 100);
            if (mkdir(name, 0755) != 0) return false;
        }
        snprintf(name, sizeof(name), "%s/d%05u/file%07u.txt", tree.c_str(), i / 100, i);
        FILE *f = fopen(name, "w");
        if (!f) return false;
        fprintf(f, "small file %u\n", i);
        // The tar.gz gets text that packs about 2:1, so that the gzip stream holds real work.
        for (unsigned line = 0; gzip && line < 30; line++) {
            for (unsigned word = 0; word < 8; word++) {
                seed = seed * 1103515245 + 12345;
                fprintf(f, "%06x ", (seed >> 8) & 0xFFFFFF);
            }
            fputc('\n', f);
        }
        fclose(f);
    }
    archive = dir + (gzip ? "/many.tar.gz" : "/many.tar");
    return Sh("cd '" + tree + "' && bsdtar " + (gzip ? "-czf '" : "-cf '") + archive + "' . && rm -rf '" + tree +
              "'") == 0;
}

struct CSideBySide {
    CChildRun ours, reference, baseline;
};

bool Measure(const std::string &dir, unsigned n, unsigned rounds, CSideBySide &m, bool gzip = false) {
    std::string archive;
    if (!MakeArchive(dir, n, gzip, archive)) return false;
    const std::string outOurs = dir + "/ours", outRef = dir + "/ref";
    // Warm the page cache with the archive, then take turns.
    Sh("cat '" + archive + "' > /dev/null");
    m.baseline = InChild([&] { return ExtractWithEngine(archive, outOurs, true); });
    // The machine may be busy: the best of a few alternating rounds counts.
    for (unsigned round = 0; round < rounds; round++) {
        // Each runs on a quiet disk: the other's files are gone and written back first.
        const auto runRef = [&] {
            return InChild([&] {
                mkdir(outRef.c_str(), 0755);
                execlp("bsdtar", "bsdtar", "-xf", archive.c_str(), "-C", outRef.c_str(), (char *)nullptr);
                return 127;
            });
        };
        const auto runOurs = [&] { return InChild([&] { return ExtractWithEngine(archive, outOurs, false); }); };
        const auto settle = [&] { Sh("rm -rf '" + outOurs + "' '" + outRef + "'; sync"); };
        CChildRun ref, ours;
        if (round % 2 == 0) {
            ref = runRef();
            settle();
            ours = runOurs();
        } else {
            ours = runOurs();
            settle();
            ref = runRef();
        }
        settle();
        if (!ref.ok || !ours.ok) return false;
        if (round == 0 || ref.seconds < m.reference.seconds) m.reference = ref;
        if (round == 0 || ours.seconds < m.ours.seconds) m.ours = ours;
    }
    Sh("rm -f '" + archive + "'");
    return m.baseline.ok;
}

// A tar of nested folder entries only, one per level, made by python's tarfile (a tree that deep
// cannot be made on disk by path).
bool MakeDeepArchive(const std::string &dir, unsigned depth, std::string &archive) {
    archive = dir + "/deep.tar";
    const std::string script = dir + "/deep.py";
    FILE *f = fopen(script.c_str(), "w");
    if (!f) return false;
    fprintf(f,
            "import tarfile\n"
            "with tarfile.open('%s', 'w', format=tarfile.GNU_FORMAT) as t:\n"
            "    name = ''\n"
            "    for i in range(%u):\n"
            "        name = name + ('/' if name else '') + 'd'\n"
            "        ti = tarfile.TarInfo(name)\n"
            "        ti.type = tarfile.DIRTYPE\n"
            "        ti.mode = 0o755\n"
            "        t.addfile(ti)\n",
            archive.c_str(), depth);
    fclose(f);
    return Sh("/usr/bin/python3 '" + script + "'") == 0;
}

// The walk down and back up (folder times) of a very deep tree, against bsdtar.
int MeasureDeep(const std::string &dir, unsigned depth) {
    std::string archive;
    if (!MakeDeepArchive(dir, depth, archive)) {
        fprintf(stderr, "the deep archive could not be made\n");
        return 1;
    }
    const std::string outOurs = dir + "/ours", outRef = dir + "/ref";
    const CChildRun ref = InChild([&] {
        mkdir(outRef.c_str(), 0755);
        execlp("bsdtar", "bsdtar", "-xf", archive.c_str(), "-C", outRef.c_str(), (char *)nullptr);
        return 127;
    });
    const CChildRun ours = InChild([&] { return ExtractWithEngine(archive, outOurs, false); });
    // GNU rm walks by descriptor, so depth is no problem for it.
    Sh("rm -rf '" + outOurs + "' '" + outRef + "' '" + archive + "' '" + dir + "/deep.py'");
    if (!ours.ok) {
        fprintf(stderr, "our extraction failed\n");
        return 1;
    }
    printf("extract %u nested folders: ours %.3f s, bsdtar -xf %.3f s%s, ratio %.2f; peak memory ours %ld KiB, bsdtar "
           "%ld KiB, ratio %.2f (goal: a few times at most)\n",
           depth, ours.seconds, ref.seconds, ref.ok ? "" : " (failed)", ours.seconds / ref.seconds, ours.peakKiB,
           ref.peakKiB, (double)ours.peakKiB / (double)ref.peakKiB);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (!getenv("TARNOVA_HOME_DIR")) {
        char self[4096];
        const ssize_t len = readlink("/proc/self/exe", self, sizeof(self) - 1);
        if (len > 0) {
            std::string dir(self, (size_t)len);
            dir.resize(dir.rfind('/') + 1);
            setenv("TARNOVA_HOME_DIR", dir.c_str(), 1);
        }
    }
    if (argc == 4 && strcmp(argv[1], "--only") == 0) return ExtractWithEngine(argv[2], argv[3], false);
    if (argc >= 2 && strcmp(argv[1], "--deep") == 0) {
        char deepTemplate[] = "/tmp/tarnova-bench-XXXXXX";
        const char *deepDir = mkdtemp(deepTemplate);
        if (!deepDir) return 1;
        const int res = MeasureDeep(deepDir, argc > 2 ? (unsigned)atoi(argv[2]) : 10000);
        rmdir(deepDir);
        return res;
    }
    const unsigned timeFiles = argc > 1 ? (unsigned)atoi(argv[1]) : 20000;
    const unsigned memoryFiles = argc > 2 ? (unsigned)atoi(argv[2]) : 250000;
    char dirTemplate[] = "/tmp/tarnova-bench-XXXXXX";
    const char *dir = mkdtemp(dirTemplate);
    if (!dir) return 1;

    CSideBySide t;
    if (!Measure(dir, timeFiles, 5, t)) {
        fprintf(stderr, "the time run failed\n");
        return 1;
    }
    printf("extract %u small files (best of 5): ours %.3f s, bsdtar -xf %.3f s, ratio %.2f (target at most 1.10); "
           "processor time ours %.3f s, bsdtar %.3f s, ratio %.2f\n",
           timeFiles, t.ours.seconds, t.reference.seconds, t.ours.seconds / t.reference.seconds, t.ours.cpuSeconds,
           t.reference.cpuSeconds, t.ours.cpuSeconds / t.reference.cpuSeconds);

    // The gzip stream on tmpfs: the disk no longer hides the time spent decoding.
    struct stat st;
    char shmTemplate[] = "/dev/shm/tarnova-bench-XXXXXX";
    const char *shm = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? mkdtemp(shmTemplate) : nullptr;
    CSideBySide g;
    if (!Measure(shm ? shm : dir, timeFiles, 5, g, true)) {
        fprintf(stderr, "the tar.gz run failed\n");
        return 1;
    }
    printf("extract %u small files from a tar.gz on %s (best of 5): ours %.3f s, bsdtar -xf %.3f s, ratio %.2f "
           "(target at most 1.10); processor time ours %.3f s, bsdtar %.3f s, ratio %.2f\n",
           timeFiles, shm ? "tmpfs" : dir, g.ours.seconds, g.reference.seconds, g.ours.seconds / g.reference.seconds,
           g.ours.cpuSeconds, g.reference.cpuSeconds, g.ours.cpuSeconds / g.reference.cpuSeconds);
    if (shm) rmdir(shm);
    fflush(stdout);

    CSideBySide m;
    if (!Measure(dir, memoryFiles, 1, m)) {
        fprintf(stderr, "the memory run failed\n");
        return 1;
    }
    const double perEntry = (double)m.ours.peakKiB * 1024.0 / memoryFiles;
    const double perEntryAboveLoad = (double)(m.ours.peakKiB - m.baseline.peakKiB) * 1024.0 / memoryFiles;
    printf("extract %u small files: peak memory ours %ld KiB (%.0f bytes per entry; %.0f above the %ld KiB of a "
           "loaded plug-in), bsdtar %ld KiB (%.0f bytes per entry); target under 300 bytes per entry\n",
           memoryFiles, m.ours.peakKiB, perEntry, perEntryAboveLoad, m.baseline.peakKiB, m.reference.peakKiB,
           (double)m.reference.peakKiB * 1024.0 / memoryFiles);
    printf("time of the memory run: ours %.3f s, bsdtar %.3f s, ratio %.2f\n", m.ours.seconds, m.reference.seconds,
           m.ours.seconds / m.reference.seconds);
    rmdir(dir);
    return 0;
}
