#pragma once

// What the panel needs from the window it shows in. The window implements it and hands itself to
// CPanel::init_panel, so the panel depends on this class only, never on the window's own.
#include "common/MyString.h"

class CPanel;
class QString;
class QWidget;
class mainiconview;
class mainlistview;

class CPanelHost {
public:
    // The window as a widget: the parent of the panel's boxes and dialogs, the context of its
    // timers and the receiver of the events it posts (custom_event). Any thread.
    virtual QWidget *host_widget() = 0;
    // The panel the window shows now (none while it is made or taken down).
    virtual CPanel *get_panel() const = 0;

    // The two item views; one of them is shown.
    virtual mainlistview *get_list_view() const = 0;
    virtual mainiconview *get_icon_view() const = 0;
    virtual bool is_icon_mode() const = 0;
    virtual QWidget *get_view_widget() const = 0;

    // The shown folder's path in the title, and whether there is a folder above it.
    virtual void set_title_text(const QString &text) = 0;
    virtual void set_up_enabled(bool enabled) = 0;

    // A start-up operation runs without the browser window: it shrinks to nothing and closes when
    // the operation ends. get_msg_mode may be asked from any thread.
    virtual void init_msg_mode() = 0;
    virtual bool get_msg_mode() const = 0;
    virtual void run_start_operation() = 0;

    // Files dropped on a view (local paths), and a drag started from one.
    virtual void on_drop_files(const UStringVector &paths, bool moveMode = false) = 0;
    virtual void on_drag_files() = 0;

protected:
    ~CPanelHost() = default;
};
