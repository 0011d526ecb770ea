#pragma once

// The window of one running operation: it owns the operation's progress state, polls it every
// 200 ms, pauses and cancels the worker, and shows the final box or the error list.
//
// Threads: everything of the window runs on the GUI thread. A worker touches only `sync`
// (under its mutex), Create, ProcessWasFinished and show_error. The window is not deleted when
// it closes: the code that took it from get_progresswindow() releases it with release() after
// the worker has been joined (CProgressThreadVirt does this itself), so a late
// ProcessWasFinished or a read of messages_shown never meets a deleted window.
#include <atomic>

#include "ProgressSync.h"
#include "basewindow.h"
#include "windows/Thread.h"

class Ui_progresswindow;
class waitdialog;

class progresswindow : public basewindow {
    Q_OBJECT

public:
    explicit progresswindow(QWidget *parent = nullptr);
    ~progresswindow() override;

    CProgressSync sync;
    UString operation_title;
    // Set by the front-end before the run.
    bool compress_mode = true; // processed = inSize, packed = outSize; false: the reverse
    // What the run does, named in the speed row.
    enum class work_kind { compress, extract, test, copy, checksum };
    work_kind work = work_kind::compress;
    bool show_packed_info = true;
    bool open_output_folder = false;
    UString output_folder;
    // Read by the front-end after the run: the final box or the error list was shown, or the user cancelled.
    bool messages_shown = false;

    // Worker side (the thread that started the worker): runs the window on the GUI thread until
    // the operation ends, then joins the worker. Returns the window's result code.
    int Create(const UString &title, NWindows::CThread &thread, QWidget *parent);
    // Worker side, once, when the work is over.
    void ProcessWasFinished();
    // Any thread: a failed item of kind 1..9 shows that kind's error box (once per run); the run goes on.
    void show_error(int kind);
    // Any thread, once the worker is joined (or never ran): the window goes on the GUI thread.
    static void release(progresswindow *window);

    // GUI thread: the loop of the main window's slot modol_progresswindow.
    int do_special_modol();
    void init_window() override;

protected:
    bool event(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    // Escape and a close from the window system do what the close button does: a running
    // window is never hidden under the user.
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_btn_min_clicked();
    void on_pushButton_ok_clicked();
    void on_pushButton_cancle_clicked();
    void on_btn_close_clicked();

private:
    void OnInit();
    void CheckNeedClose();
    void UpdateStatInfo(bool showAll);
    void UpdateMessagesDialog();
    void AddMessage(const UString &message, bool numbered = true);
    void EnableErrorsControls(bool enable);
    void SetProgressRange(UInt64 range);
    void SetProgressPos(UInt64 pos);
    void SetTitleText();
    void SetPauseText();
    void OnPauseButton();
    void OnCancel(bool ask);
    void StopRun();
    void AnswerPromptsWithCancel();
    void OnExternalCloseMessage();
    void ShowErrorKind(int kind);
    // Inside a catch: something failed after the window exists. Stops the run, shows the error,
    // closes the window and ends its loop.
    void FailRun();
    // Closes the window, ends the wait dialog's loop and tells the main window the run ended.
    void CloseAndEndLoop();
    void ShowSize(class QLabel *label, UInt64 value, UInt64 &prev);

    Ui_progresswindow *ui;

    // Shared with the worker.
    std::atomic<bool> created{false};
    std::atomic<bool> close_requested{false};

    bool errors_shown = false;
    bool wait_for_close = false;
    bool cancel_pressed = false;
    bool in_cancel_question = false;
    bool in_error_box = false;
    bool error_box_shown = false;
    bool close_deferred = false;
    // Event 1035 came: the window must end without waiting for the user.
    bool closed_from_outside = false;
    // The end of the run has been handled (final box, close): later 1033 events do nothing.
    bool run_ended = false;
    bool run_failed = false;
    // do_special_modol ran: read by Create after the call, which orders it.
    bool loop_ran = false;
    waitdialog *wait_dialog = nullptr;
    int timer_id = 0;

    UString shown_title_file_name;
    UString shown_file_path;
    UString shown_status;
    bool shown_is_dir = false;

    UString paused_text;
    UString pause_text;
    UString continue_text;

    UInt64 bar_range = (UInt64)(Int64)-1;
    UInt64 bar_pos = (UInt64)(Int64)-1;
    unsigned bar_shift = 0;
    UInt64 bar_conv_range = 1;

    UInt64 elapsed_ms = 0;
    UInt32 prev_tick = 0;

    UInt64 prev_percent = (UInt64)(Int64)-1;
    UInt64 prev_elapsed_sec = (UInt64)(Int64)-1;
    UInt64 prev_remaining_sec = (UInt64)(Int64)-1;
    UInt64 prev_total = (UInt64)(Int64)-1;
    UInt64 prev_processed = (UInt64)(Int64)-1;
    UInt64 prev_packed = (UInt64)(Int64)-1;
    UInt64 prev_ratio = (UInt64)(Int64)-1;
    UInt64 prev_speed = (UInt64)(Int64)-1;
    unsigned prev_speed_shift = 0;
    UString prev_files_text;

    unsigned reduce_limit = 82;
    unsigned num_messages = 0;
    unsigned num_posted = 0;
};

// Asks the GUI thread for a new progress window (the main window's slot get_progresswindow);
// null when the call cannot run.
progresswindow *get_progresswindow();

// True when the widget is a progress window whose run is being stopped: the prompts of that run
// answer Cancel at once instead of opening. Any thread.
bool RunIsStopping(QWidget *window);
