// The engine's archive command line as a program of its own, without windows: the words after the
// program name are one command ("a -ttar out.tar tree", "x -oout in.tar"). Its exit status is the
// run's. Benchmarks start it as a whole process beside the reference tools, so that both sides
// pay the same start-up: loading the plug-in, the registry and the process itself.
#include <locale.h>
#include <stdio.h>

#include "archive/ui-common/CommandRunner.h"
#include "archive/update_ui_fixture.h"
#include "bench_support.h"
#include "common/StringConvert.h"
#include "quiet_extract_callback.h"

namespace {

class CQuietCommands : public IArcCommandCallbacks {
public:
    void ShowRunnerMessage(ERunnerMessage message) override {
        fprintf(stderr, "%s\n", UnicodeStringToMultiByte(UString(GetRunnerMessageText(message))).Ptr());
    }
    int RunExtract(CArcCommandRun &run) override {
        benchsupport::CQuietCallback *cb = new benchsupport::CQuietCallback;
        CMyComPtr<IExtractCallbackUI> holder = cb;
        NWildcard::CCensorNode all;
        all.AddItem(true, UString(L"*"), true, true, true, true);
        const NWildcard::CCensorNode &censor =
            run.Options.Censor.Pairs.IsEmpty() ? all : run.Options.Censor.Pairs.Front().Head;
        UString errorMessage;
        CDecompressStat stat;
        const HRESULT res = Extract(run.Codecs, run.Types, run.ExcludedFormats, run.ArchivePaths, run.ArchivePathsFull,
                                    censor, run.ExtractOptions, cb, cb, nullptr, errorMessage, stat);
        return res == S_OK && cb->failures == 0 ? kRunnerExit_Ok : kRunnerExit_Error;
    }
    int RunUpdate(CArcCommandRun &run) override {
        updatetest::CQuietUpdateUi ui;
        CUpdateErrorInfo errorInfo;
        const HRESULT res = UpdateArchive(run.Codecs, run.Types, run.Options.ArchiveName, run.Options.Censor,
                                          run.Options.UpdateSettings, errorInfo, &ui, &ui, false);
        return res == S_OK ? kRunnerExit_Ok : kRunnerExit_Error;
    }
    int RunHash(CArcCommandRun &) override { return kRunnerExit_Error; }
};

} // namespace

int main(int argc, char **argv) {
    setlocale(LC_ALL, "C.UTF-8");
    benchsupport::UsePluginFromBinFolder();
    UStringVector words;
    for (int i = 1; i < argc; i++)
        words.Add(MultiByteToUnicodeString(AString(argv[i])));
    CQuietCommands commands;
    const CArcCommandResult result = RunArchiveCommandWords(words, commands);
    if (result.Failed)
        fprintf(stderr, "error %#x %s\n", static_cast<unsigned>(result.ErrorCode),
                UnicodeStringToMultiByte(result.ErrorText).Ptr());
    return result.ExitCode;
}
