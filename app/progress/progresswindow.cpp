#include "progresswindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QPointer>
#include <QUrl>

#include <pthread.h>
#include <time.h>

#include "CellText.h"
#include "ErrorText.h"
#include "ProgressFormat.h"
#include "dialogcodes.h"
#include "messagebox.h"
#include "module.h"
#include "qt_helper.h"
#include "ui_progresswindow.h"
#include "waitdialog.h"
#include "common/IntToString.h"
#include "windows/WinTime.h"

namespace {

QString ToQ(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

const wchar_t *const kErrorKindTexts[] = {
    L"不支持的压缩算法",       L"数据错误", L"校验失败", L"数据不可用", L"文件末端错误",
    L"有效数据外包含额外数据", L"非压缩包", L"头部错误", L"密码错误",
};

UString SpeedCaption(progresswindow::work_kind work) {
    switch (work) {
    case progresswindow::work_kind::extract:
        return UString(L"解压速度：");
    case progresswindow::work_kind::test:
        return UString(L"测试速度：");
    case progresswindow::work_kind::copy:
        return UString(L"复制速度：");
    case progresswindow::work_kind::checksum:
        return UString(L"校验速度：");
    default:
        return UString(L"压缩速度：");
    }
}

void PostToMainWindow(QEvent::Type type) {
    if (QWidget *main = _module.get_mainwindow()) QCoreApplication::postEvent(main, new QEvent(type));
}

// Joins on the GUI thread while its events keep running: the worker may need the GUI thread
// (a prompt, a message box) before it can end.
void JoinServingEvents(NWindows::CThread &thread) {
    if (!thread.IsCreated()) return;
    for (;;) {
        // A short wait first: a worker that needs nothing more ends within a moment.
        timespec until;
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_nsec += 2 * 1000 * 1000;
        if (until.tv_nsec >= 1000 * 1000 * 1000) {
            until.tv_sec++;
            until.tv_nsec -= 1000 * 1000 * 1000;
        }
        if (pthread_timedjoin_np(thread._tid, nullptr, &until) == 0) break;
        // Not a nested QEventLoop: once the application is quitting those return at once without
        // serving anything, and a worker waiting in a dialog call would never be answered.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    thread._created = 0;
}

} // namespace

progresswindow::progresswindow(QWidget *parent) : basewindow(parent), ui(new Ui_progresswindow) {
    ui->setupUi(this);
    ui->widget_error->hide();
    setFixedSize(396, 306);
    prev_tick = GetTickCount();
}

progresswindow::~progresswindow() {
    if (timer_id) killTimer(timer_id);
    delete ui;
}

void progresswindow::release(progresswindow *window) {
    if (window) window->deleteLater();
}

progresswindow *get_progresswindow() {
    progresswindow *window = nullptr;
    _module.call_slot("get_progresswindow", Q_RETURN_ARG(progresswindow *, window));
    return window;
}

int progresswindow::Create(const UString &title, NWindows::CThread &thread, QWidget *) {
    operation_title = title;
    int result = dialog_result::cancel;
    try {
        result = _module.call_dialog("modol_progresswindow", Q_ARG(progresswindow *, this));
    } catch (...) {
        result = 0;
    }
    // The window never ran (no main window, or the program is ending): nobody can follow or stop
    // the worker any more, so stop it here.
    if (!loop_ran) sync.Set_Stopped();
    if (_module.is_main_thread())
        JoinServingEvents(thread);
    else
        thread.Wait();
    return result;
}

void progresswindow::ProcessWasFinished() {
    // Exactly one of this and CheckNeedClose posts the event, whichever sees both flags set.
    close_requested.store(true);
    if (created.load() && close_requested.exchange(false))
        QCoreApplication::postEvent(this, new QEvent(custom_event::operation_done));
}

void progresswindow::CheckNeedClose() {
    if (created.load() && close_requested.exchange(false))
        QCoreApplication::postEvent(this, new QEvent(custom_event::operation_done));
}

void progresswindow::show_error(int kind) {
    if (kind < 1 || kind > 9) return;
    // The run goes on: one failed item must not cost the user the items after it.
    // The box runs on the GUI thread; a window deleted meanwhile drops the call.
    QMetaObject::invokeMethod(
        this, [this, kind] { ShowErrorKind(kind); }, Qt::QueuedConnection);
}

void progresswindow::ShowErrorKind(int kind) {
    try {
        // One box per run: the error list names every failed item.
        if (run_ended || error_box_shown) return;
        error_box_shown = true;
        in_error_box = true;
        // The worker may end and its starter release the window while the box runs.
        QPointer<progresswindow> self(this);
        ShowErrorMessageHwndRes(this, kErrorKindTexts[kind - 1]);
        if (!self) return;
        in_error_box = false;
        // The run ended while the box was open: its end was held back until now.
        if (close_deferred) {
            close_deferred = false;
            OnExternalCloseMessage();
        }
    } catch (...) {
        in_error_box = false;
        qWarning("progress window: %ls", CurrentExceptionText().Ptr());
    }
}

int progresswindow::do_special_modol() {
    loop_ran = true;
    if (run_ended) return result_code;
    try {
        init_window();
        show();
    } catch (...) {
        FailRun();
        return result_code;
    }
    waitdialog wait;
    wait_dialog = &wait;
    wait.run();
    wait_dialog = nullptr;
    return result_code;
}

void progresswindow::init_window() {
    basewindow::init_window();
    setWindowTitle(tr("Tarnova-进度"));
    setWindowIcon(QIcon(":/image/tarnova.ico"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    qt_helper::set_btn_state_image(ui->btn_min, "sys_button_min");
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    qt_helper::set_btn_state_image(ui->pushButton_ok, "button_mid_size");
    qt_helper::set_btn_state_image(ui->pushButton_cancle, "button_mid_size");
    ui->btn_min->hide();
    OnInit();
}

void progresswindow::OnInit() {
    bar_range = kProgressUnknown;
    bar_pos = kProgressUnknown;
    prev_percent = prev_elapsed_sec = prev_remaining_sec = kProgressUnknown;
    prev_total = prev_processed = prev_packed = prev_ratio = prev_speed = kProgressUnknown;
    prev_speed_shift = 0;
    prev_files_text.Empty();
    elapsed_ms = 0;
    prev_tick = GetTickCount();
    created.store(true);

    paused_text = L"已暂停";
    pause_text = L"暂停";
    continue_text = L"继续";
    ui->label_title->setText(ToQ(operation_title));
    // The form's sample texts are not the run's: nothing is shown until the worker says.
    ui->label_status->clear();
    ui->label_filename->clear();
    ui->label_speed->setText(ToQ(SpeedCaption(work)));
    SetPauseText();

    QTableWidget *table = ui->tableWidget_error;
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setColumnCount(2);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    EnableErrorsControls(false);
    reduce_limit = 82;
    if (!show_packed_info) {
        ui->label_packed->hide();
        ui->label_packed_value->hide();
        ui->label_ratio->hide();
        ui->label_ratio_value->hide();
    }
    timer_id = startTimer(200, Qt::CoarseTimer);
    CheckNeedClose();
}

bool progresswindow::event(QEvent *e) {
    try {
        if (e->type() == custom_event::operation_done) {
            if (timer_id) {
                killTimer(timer_id);
                timer_id = 0;
            }
            if (in_cancel_question || in_error_box) {
                close_deferred = true;
                return basewindow::event(e);
            }
            OnExternalCloseMessage();
            return true;
        }
        if (e->type() == custom_event::close_dialog) {
            closed_from_outside = true;
            OnCancel(false);
            // The prompts of the run have their Cancel by now; only dialogs still open get the
            // close, so that no prompt's answer turns into "closed".
            QList<QPointer<basewindow>> open;
            for (basewindow *child : findChildren<basewindow *>())
                if (child->isVisible()) open.append(child);
            for (const QPointer<basewindow> &child : open) {
                if (!child) continue;
                QEvent close(custom_event::close_dialog);
                QCoreApplication::sendEvent(child, &close);
            }
            exit(dialog_result::closed);
            return framelesswindow::event(e);
        }
    } catch (...) {
        // Left as it is, the window would stay open and its loop would never end.
        FailRun();
        return true;
    }
    return basewindow::event(e);
}

void progresswindow::timerEvent(QTimerEvent *e) {
    if (e->timerId() != timer_id) return;
    try {
        if (sync.Get_Paused()) return;
        UpdateStatInfo(false);
        CheckNeedClose();
    } catch (...) {
        qWarning("progress window: %ls", CurrentExceptionText().Ptr());
    }
}

void progresswindow::ShowSize(QLabel *label, UInt64 value, UInt64 &prev) {
    if (value == prev) return;
    prev = value;
    label->setText(ToQ(GetSizeText(value)));
}

void progresswindow::UpdateStatInfo(bool showAll) {
    UInt64 total, completed, totalFiles, completedFiles, inSize, outSize;
    bool bytesMode;
    unsigned numMessages, numFailures;
    bool titleFileNameChanged = false, pathChanged = false, statusChanged = false;
    {
        std::lock_guard<std::mutex> lock(sync.mutex);
        total = sync.numBytesTotal;
        completed = sync.numBytesCur;
        bytesMode = sync.bytesProgressMode;
        totalFiles = sync.numFilesTotal;
        completedFiles = sync.numFilesCur;
        inSize = sync.inSize;
        outSize = sync.outSize;
        numMessages = sync.messages.Size();
        numFailures = sync.numFailures;
        if (!(sync.titleFileName == shown_title_file_name)) {
            shown_title_file_name = sync.titleFileName;
            titleFileNameChanged = true;
        }
        if (!(sync.filePath == shown_file_path) || sync.isDir != shown_is_dir) {
            shown_file_path = sync.filePath;
            shown_is_dir = sync.isDir;
            pathChanged = true;
        }
        if (!(sync.status == shown_status)) {
            shown_status = sync.status;
            statusChanged = true;
        }
    }

    const UInt32 now = GetTickCount();
    const UInt64 progressTotal = bytesMode ? total : totalFiles;
    const UInt64 progressDone = bytesMode ? completed : completedFiles;

    if (progressTotal != kProgressUnknown &&
        (progressDone != 0 || bar_pos != 0 || (bar_range == 0 && progressTotal != 0))) {
        SetProgressRange(progressTotal);
        SetProgressPos(progressDone);
    }
    ShowSize(ui->label_total_value, total, prev_total);

    elapsed_ms += (UInt32)(now - prev_tick);
    prev_tick = now;
    const UInt64 elapsedSec = elapsed_ms / 1000;
    bool needTitle = false;
    bool secondsChanged = elapsedSec != prev_elapsed_sec;
    if (secondsChanged) {
        prev_elapsed_sec = elapsedSec;
        ui->label_elapse_value->setText(ToQ(GetTimeString(elapsedSec)));
    }
    if (secondsChanged || showAll) {
        if (numMessages > num_posted) {
            UpdateMessagesDialog();
            // Failed items, not lines: one failure may bring its archive's name and a summary.
            ui->label_error_value->setText(QString::number(numFailures));
            if (!errors_shown) EnableErrorsControls(true);
        }

        if (progressDone != 0) {
            // Once the run has ended no time is left, even when failed items kept the count
            // below the total.
            if (progressTotal == kProgressUnknown || run_ended) {
                if (prev_remaining_sec != kProgressUnknown) {
                    prev_remaining_sec = kProgressUnknown;
                    ui->label_remaining_value->clear();
                }
            } else {
                UInt64 remainingMs = 0;
                if (progressDone < progressTotal)
                    remainingMs = MulDivNoOverflow(elapsed_ms, progressTotal - progressDone, progressDone);
                const UInt64 remainingSec = remainingMs / 1000;
                if (remainingSec != prev_remaining_sec) {
                    prev_remaining_sec = remainingSec;
                    ui->label_remaining_value->setText(ToQ(GetTimeString(remainingSec)));
                }
            }
            const UInt64 speed = MulDivNoOverflow(progressDone, 1000, elapsed_ms == 0 ? 1 : elapsed_ms);
            if (speed != prev_speed) {
                prev_speed = speed;
                ui->label_speed_value->setText(ToQ(GetSpeedText(speed)));
            }
        }
    }

    // The title, the counts and the sizes follow every tick, as the bar does; only the times and
    // the speed wait for the next second.
    const UInt64 percent = ProgressPercent(progressDone, progressTotal);
    if (percent != prev_percent) {
        prev_percent = percent;
        needTitle = true;
    }

    wchar_t digits[32];
    ConvertUInt64ToString(completedFiles, digits);
    UString filesText(digits);
    if (totalFiles != kProgressUnknown) {
        ConvertUInt64ToString(totalFiles, digits);
        filesText += L" / ";
        filesText += digits;
    }
    if (!(filesText == prev_files_text)) {
        prev_files_text = filesText;
        ui->label_files_value->setText(ToQ(filesText));
    }

    const UInt64 processed = compress_mode ? inSize : outSize;
    const UInt64 packed = compress_mode ? outSize : inSize;
    if (processed == kProgressUnknown && packed == kProgressUnknown) {
        ShowSize(ui->label_processed_value, completed, prev_processed);
        ShowSize(ui->label_packed_value, kProgressUnknown, prev_packed);
    } else {
        ShowSize(ui->label_processed_value, processed, prev_processed);
        ShowSize(ui->label_packed_value, packed, prev_packed);
        if (processed != 0 && processed != kProgressUnknown && packed != kProgressUnknown) {
            const UInt64 ratio = MulDivNoOverflow(packed, 100, processed);
            if (ratio != prev_ratio) {
                prev_ratio = ratio;
                ui->label_ratio_value->setText(QString::number(ratio) + "%");
            }
        }
    }

    if (needTitle || titleFileNameChanged) SetTitleText();
    if (statusChanged) ui->label_status->setText(ToQ(shown_status));
    if (pathChanged) {
        const UString path = MaskedItemName(shown_file_path);
        UString folder, name;
        if (shown_is_dir) {
            folder = path;
        } else {
            const int slash = path.ReverseFind_PathSepar();
            folder = path.Left((unsigned)(slash + 1));
            name = path.Ptr((unsigned)(slash + 1));
        }
        const QString joined = ToQ(ReduceString(folder, reduce_limit) + ReduceString(name, reduce_limit));
        QLabel *label = ui->label_filename;
        label->setText(label->fontMetrics().elidedText(joined, Qt::ElideRight, label->width()));
        label->setToolTip(ToQ(path));
    }
}

void progresswindow::SetProgressRange(UInt64 range) {
    if (range == bar_range) return;
    bar_range = range;
    bar_conv_range = range;
    bar_pos = kProgressUnknown;
    bar_shift = 0;
    while ((range >> bar_shift) > 0x7FFF)
        bar_shift++;
    ui->progressBar->setRange(0, (int)(range >> bar_shift) + 1);
}

void progresswindow::SetProgressPos(UInt64 pos) {
    // Never past the end: a worker that reports more than its total shows a full bar.
    if (pos > bar_range) pos = bar_range;
    if (bar_pos != kProgressUnknown && pos < bar_range && pos > bar_pos && pos - bar_pos < bar_range / 1024) return;
    int value = (int)(pos >> bar_shift);
    if (pos == bar_conv_range) value++;
    ui->progressBar->setValue(value);
    bar_pos = pos;
}

void progresswindow::SetTitleText() {
    UString s;
    if (sync.Get_Paused()) {
        s += paused_text;
        s.Add_Space();
    }
    if (prev_percent != kProgressUnknown) {
        wchar_t digits[32];
        ConvertUInt64ToString(prev_percent, digits);
        s += digits;
        s += L'%';
    }
    s.Add_Space();
    s += operation_title;
    if (!shown_title_file_name.IsEmpty()) {
        s.Add_Space();
        s += ReduceString(MaskedItemName(shown_title_file_name), 36);
    }
    QLabel *label = ui->label_title;
    label->setText(label->fontMetrics().elidedText(ToQ(s), Qt::ElideRight, label->width()));
    label->setToolTip(ToQ(MaskedItemName(shown_title_file_name)));
}

void progresswindow::SetPauseText() {
    ui->pushButton_ok->setText(ToQ(sync.Get_Paused() ? continue_text : pause_text));
    SetTitleText();
}

void progresswindow::OnPauseButton() {
    const bool paused = !sync.Get_Paused();
    sync.Set_Paused(paused);
    const UInt32 now = GetTickCount();
    // Paused time never counts as elapsed.
    if (paused) elapsed_ms += (UInt32)(now - prev_tick);
    prev_tick = now;
    SetPauseText();
}

void progresswindow::EnableErrorsControls(bool enable) {
    // The panel's height with the spacing above it, measured once for the whole process.
    static int panelHeight = -1;
    if (panelHeight < 0) panelHeight = ui->widget_error->minimumHeight() + layout()->spacing();
    const bool visible = !ui->widget_error->isHidden();
    ui->widget_error->setVisible(enable);
    if (enable != visible) setFixedHeight(height() + (enable ? panelHeight : -panelHeight));
    if (enable) errors_shown = true;
}

void progresswindow::UpdateMessagesDialog() {
    UStringVector messages;
    std::vector<bool> notes;
    {
        std::lock_guard<std::mutex> lock(sync.mutex);
        for (unsigned i = num_posted; i < sync.messages.Size(); i++) {
            messages.Add(sync.messages[i]);
            notes.push_back(i < sync.isNote.size() && sync.isNote[i]);
        }
        num_posted = sync.messages.Size();
    }
    for (unsigned i = 0; i < messages.Size(); i++)
        AddMessage(messages[i], !notes[i]);
}

// Failures are numbered; a note that goes with them (the archive's name, a summary) is not, so the
// numbers agree with the count above the list.
void progresswindow::AddMessage(const UString &message, bool numbered) {
    QTableWidget *table = ui->tableWidget_error;
    const QStringList lines = ToQ(message).split('\n');
    bool first = true;
    for (const QString &line : lines) {
        const int row = table->rowCount();
        table->insertRow(row);
        table->setRowHeight(row, 15);
        table->setItem(row, 0, new QTableWidgetItem(first && numbered ? QString::number(num_messages + 1) : QString()));
        QTableWidgetItem *text = new QTableWidgetItem(line);
        text->setToolTip(line);
        table->setItem(row, 1, text);
        first = false;
    }
    if (numbered) num_messages++;
}

void progresswindow::on_btn_min_clicked() {
    showMinimized();
}

void progresswindow::on_pushButton_ok_clicked() {
    try {
        OnPauseButton();
    } catch (...) {
        qWarning("progress window: %ls", CurrentExceptionText().Ptr());
    }
}

void progresswindow::on_pushButton_cancle_clicked() {
    try {
        OnCancel(true);
    } catch (...) {
        qWarning("progress window: %ls", CurrentExceptionText().Ptr());
    }
}

void progresswindow::on_btn_close_clicked() {
    on_pushButton_cancle_clicked();
}

void progresswindow::reject() {
    on_pushButton_cancle_clicked();
}

void progresswindow::closeEvent(QCloseEvent *e) {
    // The window system's close is the close button; our own close() comes once the run's end
    // has been handled. QDialog's own handler would turn either into reject().
    if (e->spontaneous() && created.load()) {
        e->ignore();
        on_pushButton_cancle_clicked();
        return;
    }
    e->accept();
}

void progresswindow::OnCancel(bool ask) {
    if (wait_for_close) {
        wait_for_close = false;
        messages_shown = true;
        if (wait_dialog) {
            QEvent done(custom_event::operation_done);
            QCoreApplication::sendEvent(wait_dialog, &done);
        }
        PostToMainWindow(custom_event::operation_ended);
        close();
        created.store(false);
        return;
    }
    if (run_ended || cancel_pressed) return;
    if (ask) {
        const bool pausedHere = !sync.Get_Paused();
        if (pausedHere) OnPauseButton();
        in_cancel_question = true;
        const int answer = MessageBoxW(this, L"您真的要取消吗？", operation_title, 26);
        in_cancel_question = false;
        if (pausedHere && sync.Get_Paused()) OnPauseButton();
        // Only Yes stops; No, Cancel and the box's own close button go on.
        if (answer != dialog_result::ok || cancel_pressed) {
            if (close_deferred) {
                close_deferred = false;
                OnExternalCloseMessage();
            }
            return;
        }
    }
    StopRun();
}

void progresswindow::StopRun() {
    sync.Set_Stopped();
    cancel_pressed = true;
    messages_shown = true;
    AnswerPromptsWithCancel();
    QEvent done(custom_event::operation_done);
    QCoreApplication::sendEvent(this, &done);
}

void progresswindow::AnswerPromptsWithCancel() {
    // A worker waiting in a prompt of this run gets Cancel, so that it can end.
    QList<QPointer<basewindow>> prompts;
    for (basewindow *child : findChildren<basewindow *>())
        prompts.append(child);
    for (const QPointer<basewindow> &prompt : prompts)
        if (prompt && prompt->isVisible()) prompt->exit(dialog_result::cancel);
}

void progresswindow::OnExternalCloseMessage() {
    if (run_ended) return;
    run_ended = true;
    if (timer_id) {
        killTimer(timer_id);
        timer_id = 0;
    }
    UpdateStatInfo(true);
    ui->pushButton_cancle->setText(tr("关闭"));
    ui->pushButton_ok->hide();

    unsigned numMessages;
    CProgressMessageBoxPair finalError, finalOk;
    {
        std::lock_guard<std::mutex> lock(sync.mutex);
        numMessages = sync.messages.Size();
        finalError = sync.finalError;
        finalOk = sync.finalOk;
    }
    const bool waitForUser = numMessages != 0 && !cancel_pressed;
    if (finalError.IsSet()) {
        messages_shown = true;
        if (finalError.title.IsEmpty()) finalError.title = L"Tarnova";
        MessageBoxW(this, finalError.message, finalError.title, 512);
    } else if (!waitForUser) {
        messages_shown = true;
        if (finalOk.IsSet()) {
            if (finalOk.title.IsEmpty()) finalOk.title = L"Tarnova";
            MessageBoxW(this, finalOk.message, finalOk.title, 4);
        }
    }
    if (waitForUser) messages_shown = true;
    // Closed from outside while the box was open: nobody is left to press Close.
    if (waitForUser && !closed_from_outside) {
        // The error list stays open until the user presses Close.
        wait_for_close = true;
        UpdateMessagesDialog();
        return;
    }

    if (!compress_mode && open_output_folder && !output_folder.IsEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(ToQ(output_folder)));
    CloseAndEndLoop();
}

void progresswindow::FailRun() {
    const UString text = CurrentExceptionText();
    sync.Set_Stopped();
    if (run_failed) return;
    run_failed = run_ended = true;
    if (timer_id) {
        killTimer(timer_id);
        timer_id = 0;
    }
    messages_shown = true;
    try {
        MessageBoxW(this, text, L"Tarnova", 512);
    } catch (...) {
    }
    CloseAndEndLoop();
}

void progresswindow::CloseAndEndLoop() {
    close();
    if (wait_dialog) {
        QEvent done(custom_event::operation_done);
        QCoreApplication::sendEvent(wait_dialog, &done);
    }
    PostToMainWindow(custom_event::operation_ended);
    created.store(false);
}

bool RunIsStopping(QWidget *window) {
    progresswindow *progress = dynamic_cast<progresswindow *>(window);
    return progress && progress->sync.Get_Stopped();
}
