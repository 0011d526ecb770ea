// Whole processes side by side: the engine's command line (engine_command, beside this program)
// against GNU tar and cp, each started the same way (fork and exec from here, no shell), in the
// same rounds with the order alternating, medians. Scratch work between runs (removing outputs,
// restoring the archive to add to, sync) is not timed.
//   tar: create a tar of 12,000 small files, against tar -cf;
//   zip: add one small file to a 256 MiB zip, against cp of the archive;
//   7z:  add one small file to a 291 MB 7z (stored), against cp of the archive;
// the adds also against cp over an existing copy of the archive, and against cp to a new name and
// mv over an existing copy (both sides through sh -c there).
// Usage: process_bench [work folder, default /tmp] [tar|zip|7z: only that one] [rounds, default 7]
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using namespace benchsupport;

struct CProcessRun {
    double wall = 0, user = 0, sys = 0;
    bool ok = false;
};

double Seconds(const timeval &tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// One program run in cwd, its output thrown away; wall, user and system time.
CProcessRun Spawn(const std::vector<std::string> &args, const std::string &cwd) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    CProcessRun r;
    const double start = Now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        if (!freopen("/dev/null", "w", stdout)) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru;
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid) return r;
    r.wall = Now() - start;
    r.user = Seconds(ru.ru_utime);
    r.sys = Seconds(ru.ru_stime);
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!r.ok) fprintf(stderr, "failed: %s\n", args[0].c_str());
    return r;
}

std::string EngineCommand() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./");
    return path.substr(0, path.rfind('/') + 1) + "engine_command";
}

struct CSide {
    std::vector<double> wall, cpu;
    void Add(const CProcessRun &r) {
        wall.push_back(r.wall);
        cpu.push_back(r.user + r.sys);
    }
};

// Rounds of (prepare, ours) and (prepare, peer), the order swapped every round.
template <class TPrepare>
bool Alternate(int rounds, TPrepare prepare, const std::vector<std::string> &ours, const std::vector<std::string> &peer,
               const std::string &cwd, CSide &o, CSide &p) {
    bool ok = true;
    for (int round = 0; round < rounds; round++) {
        for (int turn = 0; turn < 2; turn++) {
            const bool oursNow = (turn == 0) == (round % 2 == 0);
            prepare(oursNow);
            Sh("sync");
            const CProcessRun r = Spawn(oursNow ? ours : peer, cwd);
            ok = ok && r.ok;
            (oursNow ? o : p).Add(r);
        }
    }
    return ok;
}

void Print(const char *what, const char *peerName, const CSide &o, const CSide &p, double goal, bool ok) {
    printf("%s: median ours %.3f s (cpu %.3f s), %s %.3f s (cpu %.3f s), ratio %.2f (goal <= %.1f)%s\n", what,
           Median(o.wall), Median(o.cpu), peerName, Median(p.wall), Median(p.cpu), Median(o.wall) / Median(p.wall),
           goal, ok ? "" : "  [FAILED]");
    if (getenv("PROCESS_BENCH_ROUNDS"))
        for (size_t i = 0; i < o.wall.size(); i++)
            printf("  round %zu: ours %.3f s, %s %.3f s\n", i, o.wall[i], peerName, p.wall[i]);
    fflush(stdout);
}

void BenchTar(const std::string &work, int rounds) {
    const int files = 12000;
    const std::string dir = work + "/procbench-tar";
    RemoveTree(dir);
    mkdir(dir.c_str(), 0755);
    // 12,000 small files in 120 folders of 100, sizes 0 to 4 KiB.
    Sh("/usr/bin/python3 -c \"import os,random,sys\nr=random.Random(1); root=sys.argv[1]\n"
       "for i in range(int(sys.argv[2])):\n  d='%s/tree/d%03d'%(root,i//100); os.makedirs(d,exist_ok=True)\n"
       "  open('%s/f%05d.txt'%(d,i),'wb').write(os.urandom(r.randint(0,4096)))\" '" +
       dir + "' " + std::to_string(files));
    Sh("cat $(find '" + dir + "/tree' -type f) > /dev/null 2>&1");
    CSide o, p;
    bool ok = Alternate(
        rounds, [&](bool oursNow) { Sh("rm -f '" + dir + (oursNow ? "/ours.tar'" : "/gnu.tar'")); },
        {EngineCommand(), "a", "-ttar", "ours.tar", "tree"}, {"tar", "-cf", "gnu.tar", "tree"}, dir, o, p);
    ok =
        ok && Sh("cd '" + dir + "' && test $(bsdtar -tf ours.tar | grep -c -v '/$') -eq " + std::to_string(files)) == 0;
    Print("create a tar of 12000 small files", "GNU tar -cf", o, p, 1.1, ok);
    RemoveTree(dir);
}

// Adding small.txt to a copy of the archive made before each run, against three peers:
//   cp of the archive into a new file;
//   cp over an existing copy: replacing a file frees the old one's blocks, which an update pays
//   for and a copy into a new name does not;
//   cp into a new name and mv over an existing copy, which is what a safe replace does; both sides
//   started through sh -c, so that they start the same way.
void BenchAdd(const std::string &dir, const std::string &type, const std::string &ext, int rounds, const char *what) {
    Sh("echo 'one small new file' > '" + dir + "/small.txt' && cat '" + dir + "/pristine." + ext + "' > /dev/null");
    const std::string work = "work." + ext;
    const std::string pristine = "pristine." + ext, copy = "copy." + ext;
    const std::vector<std::string> ours = {EngineCommand(), "a", "-t" + type, work, "small.txt"};
    enum EPeer { kCp, kCpOver, kCpMvOver };
    for (const EPeer peerKind : {kCp, kCpOver, kCpMvOver}) {
        std::vector<std::string> oursArgs = ours, peer = {"cp", pristine, copy};
        const char *peerName = "cp";
        if (peerKind == kCpOver) peerName = "cp over an existing copy";
        if (peerKind == kCpMvOver) {
            peerName = "sh: cp to a new name + mv over an existing copy";
            peer = {"sh", "-c", "cp " + pristine + " copy.tmp && mv copy.tmp " + copy};
            std::string line;
            for (const std::string &a : ours)
                line += (line.empty() ? "'" : " '") + a + "'";
            oursArgs = {"sh", "-c", line};
        }
        CSide o, p;
        bool ok = Alternate(
            rounds,
            [&](bool oursNow) {
                Sh("cd '" + dir + "' && " +
                   (oursNow ? "rm -f " + work + " && cp " + pristine + " " + work
                            : "rm -f " + copy + " copy.tmp" +
                                  (peerKind != kCp ? " && cp " + pristine + " " + copy : std::string())));
            },
            oursArgs, peer, dir, o, p);
        ok = ok && Sh("cd '" + dir + "' && test \"$(bsdtar -xOf " + work + " small.txt)\" = 'one small new file' && " +
                      "test $(bsdtar -tf " + work + " | wc -l) -eq $(( $(bsdtar -tf " + pristine +
                      " | wc -l) + 1 )) && cmp -s " + pristine + " " + copy) == 0;
        Print(what, peerName, o, p, 1.3, ok);
    }
}

void BenchZip(const std::string &work, int rounds) {
    const std::string dir = work + "/procbench-zip";
    RemoveTree(dir);
    mkdir(dir.c_str(), 0755);
    // 16 stored parts of random data, 256 MiB in all.
    Sh("cd '" + dir +
       "' && for i in $(seq 1 16); do head -c 16M /dev/urandom > part$i.bin; done && "
       "zip -q -0 pristine.zip part*.bin && rm part*.bin");
    BenchAdd(dir, "zip", "zip", rounds, "add one file to a 256 MiB zip");
    RemoveTree(dir);
}

void BenchSevenZip(const std::string &work, int rounds) {
    const std::string dir = work + "/procbench-7z";
    RemoveTree(dir);
    mkdir(dir.c_str(), 0755);
    // 2,000 small files and 17 large ones of random data, stored: about 291 MB.
    Sh("/usr/bin/python3 -c \"import os,sys\nroot=sys.argv[1]\n"
       "for i in range(2000):\n  d='%s/tree/s%02d'%(root,i//100); os.makedirs(d,exist_ok=True)\n"
       "  open('%s/f%04d.txt'%(d,i),'wb').write(os.urandom(i%3000))\n"
       "os.makedirs(root+'/tree/big',exist_ok=True)\n"
       "for i in range(17): open('%s/tree/big/b%02d.bin'%(root,i),'wb').write(os.urandom(16<<20))\" '" +
       dir + "'");
    const CProcessRun made = Spawn({EngineCommand(), "a", "-t7z", "-mx0", "pristine.7z", "tree"}, dir);
    RemoveTree(dir + "/tree");
    struct stat st;
    char what[96];
    snprintf(what, sizeof(what), "add one file to a %.0f MB 7z",
             stat((dir + "/pristine.7z").c_str(), &st) == 0 ? static_cast<double>(st.st_size) / 1e6 : 0.0);
    if (made.ok) BenchAdd(dir, "7z", "7z", rounds, what);
    RemoveTree(dir);
}

} // namespace

int main(int argc, char **argv) {
    const std::string work = argc > 1 ? argv[1] : "/tmp";
    const std::string only = argc > 2 ? argv[2] : "";
    const int rounds = argc > 3 ? atoi(argv[3]) : 7;
    UsePluginFromBinFolder();
    // Every process on one processor: on a virtual machine whose processors differ in speed from
    // moment to moment, the two sides would otherwise each measure wherever they landed.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof(one), &one);
    if (only.empty() || only == "tar") BenchTar(work, rounds);
    if (only.empty() || only == "zip") BenchZip(work, rounds);
    if (only.empty() || only == "7z") BenchSevenZip(work, rounds);
    return 0;
}
