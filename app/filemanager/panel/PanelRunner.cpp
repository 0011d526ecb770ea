// Extraction from the panel and from the start-up switches through the archive command runner,
// on a worker thread the program waits for before it ends.
#include <QCoreApplication>
#include <QEvent>

#include "ErrorText.h"
#include "PanelRunner.h"
#include "Panel.h"
#include "dialogcodes.h"
#include "ExtractGUI.h"
#include "HashGUI.h"
#include "PanelHost.h"
#include "messagebox.h"
#include "module.h"
#include "windows/FileFind.h"
#include "windows/Thread.h"

void CPanelCommands::ShowRunnerMessage(ERunnerMessage message) {
    ::MessageBoxW(nullptr, GetRunnerMessageText(message), L"Tarnova", (int)GetRunnerMessageBoxFlags(message));
}

int CPanelCommands::RunExtract(CArcCommandRun &run) {
    return ExtractCommandGUI(run);
}

int CPanelCommands::RunHash(CArcCommandRun &run) {
    return HashCommandGUI(run);
}

int RunCommandWords(const UStringVector &words) {
    try {
        CPanelCommands commands;
        const CArcCommandResult result = RunArchiveCommandWords(words, commands);
        if (result.Failed) {
            UString text = result.ErrorText;
            if (text.IsEmpty()) text = HResultToMessage(result.ErrorCode != S_OK ? result.ErrorCode : E_FAIL);
            ::MessageBoxW(nullptr, text, L"Tarnova", 516);
        }
        return result.ExitCode;
    } catch (...) {
        try {
            ::MessageBoxW(nullptr, CurrentExceptionText(), L"Tarnova", 516);
        } catch (...) {
        }
        return kRunnerExit_Error;
    }
}

UStringVector ExtractCommandWords(const UStringVector &archivePaths, const UString &outputFolder, bool showDialog) {
    UStringVector words;
    words.Add(UString(L"x"));
    if (!outputFolder.IsEmpty()) words.Add(UString(L"-o") + outputFolder);
    if (showDialog) words.Add(UString(L"-ad"));
    // '*' and '?' in names are plain characters; each archive is one word of its own, named by
    // its absolute path, so nothing in a name can read as a switch or a list file.
    words.Add(UString(L"-spd"));
    words.Add(UString(L"-an"));
    FOR_VECTOR(i, archivePaths)
    words.Add(UString(L"-ai!") + archivePaths[i]);
    return words;
}

UString ExtractFolderName(const UString &name) {
    const int slash = name.ReverseFind(L'/');
    const int dot = name.ReverseFind(L'.');
    if (dot > slash + 1) {
        UString s = name.Left((unsigned)dot);
        while (!s.IsEmpty() && s.Back() == L' ')
            s.DeleteBack();
        if (!s.IsEmpty()) return s;
    }
    return name + L"~";
}

namespace {

struct CExtractJob {
    UStringVector words;
    CPanelHost *main = nullptr;
};

THREAD_FUNC_DECL ExtractThread(void *param) {
    CExtractJob *job = static_cast<CExtractJob *>(param);
    const int status = RunCommandWords(job->words);
    if (job->main && job->main->get_msg_mode()) _module.set_start_status(status);
    // Ends a start-up operation (the window closes) or refreshes the panel.
    if (job->main && !_module.is_shutting_down())
        QCoreApplication::postEvent(job->main->host_widget(), new QEvent(custom_event::operation_ended));
    delete job;
    return 0;
}

} // namespace

bool StartRunnerThread(const UStringVector &words, CPanelHost *main) {
    CExtractJob *job = new CExtractJob;
    job->words = words;
    job->main = main;
    CThreadRecord thread;
    Thread_Construct(&thread);
    if (_module.start_thread(&thread, ExtractThread, job) != 0) {
        delete job;
        return false;
    }
    Thread_Close(&thread);
    return true;
}

void CPanel::ExtractArchives(bool showDialog) {
    // Every way out ends a start-up operation, so no invisible process is left behind.
    bool started = false;
    struct CEndGuard {
        CPanelHost *main;
        bool &started;
        ~CEndGuard() {
            if (!started && main)
                QCoreApplication::postEvent(main->host_widget(), new QEvent(custom_event::operation_ended));
        }
    } endGuard{mainWin, started};

    if (!parentFolders.IsEmpty()) {
        OnCopy(false, false);
        return;
    }
    UStringVector paths;
    CRecordVector<UInt32> indices;
    if (startState != kStart_ShowHome && !startFullPaths.IsEmpty()) {
        paths = startFullPaths;
        startFullPaths.Clear();
        FOR_VECTOR(i, paths)
        if (NWindows::NFile::NFind::DoesDirExist(paths[i])) {
            MessageBoxErrorLang(L"您至少要选择一个文件");
            return;
        }
    } else {
        GetOperatedItemIndices(indices);
        GetFilePaths(indices, paths, false);
    }
    if (paths.IsEmpty()) return;

    UString folder;
    if (paths.Size() == 1) {
        const UString &path = paths[0];
        const int slash = path.ReverseFind(L'/');
        folder = path.Left((unsigned)(slash + 1)) + ExtractFolderName(path.Ptr(slash + 1)) + L"/";
    } else {
        const UString &path = paths[0];
        folder = path.Left((unsigned)(path.ReverseFind(L'/') + 1)) + L"*/";
    }
    if (!StartRunnerThread(ExtractCommandWords(paths, folder, showDialog), mainWin)) {
        MessageBoxError(E_FAIL);
        return;
    }
    started = true;
}
