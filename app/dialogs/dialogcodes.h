#pragma once

// Result codes that every dialog's domodol() returns, and the custom event numbers the windows
// exchange. Callers test results by these names; the numbers are what callers across the whole
// program already agree on.
#include <QEvent>

namespace dialog_result {
constexpr int ok = 5100;         // OK / Yes: the only answer that lets an operation go on
constexpr int cancel = 5101;     // Cancel, Escape, and every dialog call that could not run
constexpr int closed = 5001;     // the title-bar close button, or closed from outside (event 1035)
constexpr int yes = 5103;        // Yes for this item (overwrite prompt)
constexpr int no = 5104;         // No
constexpr int yes_to_all = 800;  // overwrite prompt
constexpr int no_to_all = 801;   // overwrite prompt
constexpr int auto_rename = 802; // overwrite prompt: rename automatically
} // namespace dialog_result

namespace custom_event {
// The operation behind a progress window is over: end its wait.
constexpr QEvent::Type operation_done = static_cast<QEvent::Type>(1033);
// An operation or its dialog has ended: the main window refreshes, or closes in single-operation mode.
constexpr QEvent::Type operation_ended = static_cast<QEvent::Type>(1034);
// Close this dialog (and the dialogs it opened) from outside.
constexpr QEvent::Type close_dialog = static_cast<QEvent::Type>(1035);
// Refresh the main window's address box and view-mode button.
constexpr QEvent::Type refresh_address = static_cast<QEvent::Type>(1128);
} // namespace custom_event
