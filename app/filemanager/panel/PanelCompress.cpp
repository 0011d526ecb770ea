// Compression from the panel and from the start-up switches through the archive command runner.
// It runs on the GUI thread: the compress dialog and the progress window have their own loops.
#include <QCoreApplication>
#include <QEvent>

#include "ErrorText.h"
#include "Panel.h"
#include "PanelRunner.h"
#include "archive/ui-common/ArchiveName.h"
#include "dialogcodes.h"
#include "UpdateGUI.h"
#include "PanelHost.h"
#include "module.h"

int CPanelCommands::RunUpdate(CArcCommandRun &run) {
    return UpdateCommandGUI(run);
}

UStringVector CompressCommandWords(const UString &arcPath, const UString &arcType, bool addExtension,
                                   const UStringVector &names, bool email, bool showDialog) {
    UStringVector words;
    words.Add(UString(L"a"));
    if (!arcType.IsEmpty()) words.Add(UString(L"-t") + arcType);
    if (email) words.Add(UString(L"-seml."));
    if (showDialog) words.Add(UString(L"-ad"));
    if (arcPath.IsEmpty()) words.Add(UString(L"-an"));
    words.Add(UString(addExtension ? L"-saa" : L"-sae"));
    // '*' and '?' are plain characters, and after "--" no name reads as a switch.
    words.Add(UString(L"-spd"));
    words.Add(UString(L"--"));
    if (!arcPath.IsEmpty()) words.Add(arcPath);
    FOR_VECTOR(i, names)
    words.Add(names[i]);
    return words;
}

HRESULT CPanel::CompressFiles(const UString &arcPathPrefix, const UString &arcName, const UString &arcType,
                              bool addExtension, const UStringVector &names, bool email, bool showDialog,
                              bool /* waitFinish */) {
    try {
        const UString arcPath = arcName.IsEmpty() ? UString() : arcPathPrefix + arcName;
        const int status =
            RunCommandWords(CompressCommandWords(arcPath, arcType, addExtension, names, email, showDialog));
        if (mainWin && mainWin->get_msg_mode()) _module.set_start_status(status);
        return S_OK;
    } catch (...) {
        MessageBoxError(E_FAIL);
        return E_FAIL;
    }
}

void CPanel::AddToArchive(int state) {
    // Every way out ends a start-up operation (or refreshes the list), so no invisible process
    // is left behind.
    struct CEndGuard {
        CPanelHost *main;
        ~CEndGuard() {
            if (main) QCoreApplication::postEvent(main->host_widget(), new QEvent(custom_event::operation_ended));
        }
    } endGuard{mainWin};

    UStringVector names;
    UString folder;
    if (startState != kStart_ShowHome && !startFullPaths.IsEmpty()) {
        names = startFullPaths;
        startFullPaths.Clear();
        const UString &first = names[0];
        folder = first.Left((unsigned)(first.ReverseFind(L'/') + 1));
    } else {
        CRecordVector<UInt32> indices;
        GetOperatedItemIndices(indices);
        if (!IsFSFolder() && !IsFSDrivesFolder() && !IsAltStreamsFolder()) {
            MessageBoxErrorLang(L"不支持当前操作");
            return;
        }
        if (indices.IsEmpty()) {
            MessageBoxErrorLang(L"您至少要选择一个文件");
            return;
        }
        folder = IsFSDrivesFolder() ? UString(L"/") : GetFsPath();
        const UString prefix = GetFsPath();
        FOR_VECTOR(i, indices)
        names.Add(prefix + GetItemRelPath2((int)indices[i]));
    }
    if (names.IsEmpty()) {
        MessageBoxErrorLang(L"您至少要选择一个文件");
        return;
    }
    const UString arcName = CreateArchiveName(names[0], names.Size() > 1, false);
    UString type;
    bool dialog = true;
    if (state == kStart_AddZip) {
        type = L"zip";
        dialog = false;
    } else if (state == kStart_Add7z) {
        type = L"7z";
        dialog = false;
    }
    const HRESULT res = CompressFiles(folder, arcName, type, true, names, false, dialog, false);
    if (res != S_OK && folder.Len() > 4095) MessageBoxErrorLang(L"无法为过长的路径完成该操作。");
}
