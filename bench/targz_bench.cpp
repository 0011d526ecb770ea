// Extracting a tar.gz: ours against "bsdtar -xf", both as whole processes started the same way
// (fork and exec, the archive in the page cache, an empty output folder on a settled disk), in
// alternating rounds; the medians are compared. Two archives: many small files, and one large
// archive of files that pack about 2:1, whose decoded data passes what a stream keeps in memory.
//
//   targz_bench [small-files [large-MiB [rounds]]]    (defaults 20000, 1024 and 5)
//
// Our side is "extract_bench --only ARCHIVE FOLDER" from the folder of this program.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using namespace benchsupport;

// Wall time of one program run to its end; negative when it failed.
double TimeProcess(const std::vector<std::string> &argv) {
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const double start = Now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    const double seconds = Now() - start;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// A tree of `files` files of about `fileBytes` each, 100 to a folder, packed by bsdtar into archive.
// The files hold random bytes written as hexadecimal text, which gzip packs about 2:1.
bool MakeTarGz(const std::string &dir, unsigned files, unsigned long long fileBytes, const std::string &archive) {
    const std::string tree = dir + "/tree";
    const char *script = "import os, sys\n"
                         "root, files, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])\n"
                         "for i in range(files):\n"
                         "    d = '%s/d%05d' % (root, i // 100)\n"
                         "    os.makedirs(d, exist_ok=True)\n"
                         "    with open('%s/file%07d.txt' % (d, i), 'w') as f:\n"
                         "        f.write('file %d\\n' % i)\n"
                         "        left = size\n"
                         "        while left > 0:\n"
                         "            n = min(left, 1 << 20)\n"
                         "            f.write(os.urandom(n // 2).hex())\n"
                         "            left -= n\n";
    const bool ok = Sh("/usr/bin/python3 -c \"" + std::string(script) + "\" '" + tree + "' " + std::to_string(files) +
                       " " + std::to_string(fileBytes)) == 0 &&
                    Sh("cd '" + tree + "' && bsdtar -czf '" + archive + "' .") == 0;
    RemoveTree(tree);
    return ok;
}

struct CResult {
    double ours = -1, bsdtar = -1;
};

bool Compare(const std::string &dir, const std::string &archive, unsigned rounds, CResult &r) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0) return false;
    std::string extractBench(self, static_cast<size_t>(n));
    extractBench = extractBench.substr(0, extractBench.rfind('/')) + "/extract_bench";
    const std::string out = dir + "/out";
    Sh("cat '" + archive + "' > /dev/null");
    std::vector<double> ours, bsdtar;
    for (unsigned round = 0; round < rounds; round++) {
        for (int side = 0; side < 2; side++) {
            const bool oursNow = (side == 0) == (round % 2 == 0);
            RemoveTree(out);
            Sh("sync");
            if (mkdir(out.c_str(), 0755) != 0) return false;
            const double t = oursNow ? TimeProcess({extractBench, "--only", archive, out})
                                     : TimeProcess({"bsdtar", "-xf", archive, "-C", out});
            if (t < 0) return false;
            (oursNow ? ours : bsdtar).push_back(t);
        }
    }
    RemoveTree(out);
    r.ours = Median(ours);
    r.bsdtar = Median(bsdtar);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    const unsigned smallFiles = argc > 1 ? static_cast<unsigned>(atoi(argv[1])) : 20000;
    const unsigned largeMiB = argc > 2 ? static_cast<unsigned>(atoi(argv[2])) : 1024;
    const unsigned rounds = argc > 3 ? static_cast<unsigned>(atoi(argv[3])) : 5;
    char dirTemplate[] = "/tmp/tarnova-targz-XXXXXX";
    const char *dir = mkdtemp(dirTemplate);
    if (!dir) return 1;
    const std::string small = std::string(dir) + "/small.tar.gz", large = std::string(dir) + "/large.tar.gz";
    CResult s, l;
    int res = 0;
    if (!MakeTarGz(dir, smallFiles, 1500, small) || !Compare(dir, small, rounds, s)) {
        fprintf(stderr, "the small-file run failed\n");
        res = 1;
    } else {
        printf("extract %u small files from a tar.gz (median of %u): ours %.3f s, bsdtar -xf %.3f s, ratio %.2f "
               "(target at most 1.10)\n",
               smallFiles, rounds, s.ours, s.bsdtar, s.ours / s.bsdtar);
        fflush(stdout);
    }
    remove(small.c_str());
    const unsigned largeFiles = largeMiB < 16 ? 1 : largeMiB / 16;
    if (res == 0 && (!MakeTarGz(dir, largeFiles, (unsigned long long)largeMiB * 1048576 / largeFiles, large) ||
                     !Compare(dir, large, rounds, l))) {
        fprintf(stderr, "the large run failed\n");
        res = 1;
    } else if (res == 0) {
        printf("extract a %u MiB tar.gz (median of %u): ours %.3f s, bsdtar -xf %.3f s, ratio %.2f "
               "(target at most 1.10)\n",
               largeMiB, rounds, l.ours, l.bsdtar, l.ours / l.bsdtar);
    }
    remove(large.c_str());
    RemoveTree(dir);
    return res;
}
