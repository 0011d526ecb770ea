// Times creating a plain tar of a tree of many small files through the update engine (the "a"
// command, as the program runs it) against GNU tar -cf, side by side in one run.
// Usage: tar_bench [work folder, default /tmp] [files, default 12000] [rounds, default 9]
// TAR_BENCH_ROUNDS=1 in the environment also prints every round's times.
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/update_ui_fixture.h"
#include "archive/ui-common/CommandRunner.h"
#include "bench_support.h"
#include "common/StringConvert.h"

namespace {

using namespace benchsupport;

UString U(const std::string &s) {
    return MultiByteToUnicodeString(AString(s.c_str()));
}

class CRunUpdate : public IArcCommandCallbacks {
public:
    HRESULT result = E_FAIL;
    void ShowRunnerMessage(ERunnerMessage) override {}
    int RunExtract(CArcCommandRun &) override { return kRunnerExit_Error; }
    int RunHash(CArcCommandRun &) override { return kRunnerExit_Error; }
    int RunUpdate(CArcCommandRun &run) override {
        updatetest::CQuietUpdateUi ui;
        CUpdateErrorInfo errorInfo;
        result = UpdateArchive(run.Codecs, run.Types, run.Options.ArchiveName, run.Options.Censor,
                               run.Options.UpdateSettings, errorInfo, &ui, &ui, false);
        return result == S_OK ? kRunnerExit_Ok : kRunnerExit_Error;
    }
};

double CreateWithEngine(const std::string &dir, bool &ok) {
    unlink((dir + "/ours.tar").c_str());
    if (chdir(dir.c_str()) != 0) return 0;
    UStringVector words;
    words.Add(U("a"));
    words.Add(U("-ttar"));
    words.Add(U("ours.tar"));
    words.Add(U("tree"));
    CRunUpdate run;
    const double t = Now();
    const CArcCommandResult r = RunArchiveCommandWords(words, run);
    const double elapsed = Now() - t;
    ok = ok && r.ExitCode == kRunnerExit_Ok && run.result == S_OK;
    return elapsed;
}

} // namespace

int main(int argc, char **argv) {
    setlocale(LC_ALL, "C.UTF-8");
    UsePluginFromBinFolder();
    const std::string work = argc > 1 ? argv[1] : "/tmp";
    const int files = argc > 2 ? atoi(argv[2]) : 12000;
    const int rounds = argc > 3 ? atoi(argv[3]) : 9;
    const std::string dir = work + "/tarbench";
    RemoveTree(dir);
    mkdir(dir.c_str(), 0755);
    // 12,000 small files in 120 folders of 100, sizes 0 to 4 KiB.
    Sh("/usr/bin/python3 -c \"import os,random,sys\nr=random.Random(1); root=sys.argv[1]\n"
       "for i in range(int(sys.argv[2])):\n  d='%s/tree/d%03d'%(root,i//100); os.makedirs(d,exist_ok=True)\n"
       "  open('%s/f%05d.txt'%(d,i),'wb').write(os.urandom(r.randint(0,4096)))\" '" +
       dir + "' " + std::to_string(files));
    Sh("cat $(find '" + dir + "/tree' -type f) > /dev/null 2>&1");
    // Both tools on one processor: on a virtual machine whose processors differ in speed from
    // moment to moment, this long-lived process would otherwise measure the one it sits on while
    // each GNU tar lands on another.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof(one), &one);
    std::vector<double> ours, gnu;
    bool ok = true;
    for (int round = 0; round < rounds; round++) {
        const double t = Now();
        if (Sh("cd '" + dir + "' && rm -f gnu.tar && tar -cf gnu.tar tree") != 0) ok = false;
        gnu.push_back(Now() - t);
        ours.push_back(CreateWithEngine(dir, ok));
    }
    ok =
        ok && Sh("cd '" + dir + "' && test $(bsdtar -tf ours.tar | grep -c -v '/$') -eq " + std::to_string(files)) == 0;
    // Both median and best: a run that lands on a busy moment shifts the median, not the best.
    const double oursMin = *std::min_element(ours.begin(), ours.end());
    const double gnuMin = *std::min_element(gnu.begin(), gnu.end());
    printf("create a tar of %d small files, %d rounds: median ours %.3f s, GNU tar -cf %.3f s, ratio %.2f; best ours "
           "%.3f s, GNU tar %.3f s, ratio %.2f (goal <= 1.1)%s\n",
           files, rounds, Median(ours), Median(gnu), Median(ours) / Median(gnu), oursMin, gnuMin, oursMin / gnuMin,
           ok ? "" : "  [FAILED]");
    if (getenv("TAR_BENCH_ROUNDS")) {
        for (int round = 0; round < rounds; round++)
            printf("  round %d: ours %.3f s, GNU tar %.3f s\n", round, ours[(size_t)round], gnu[(size_t)round]);
    }
    RemoveTree(dir);
    return ok ? 0 : 1;
}
