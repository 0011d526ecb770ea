#pragma once

// Button skins from the four state images under ":/image/", and nine-slice painting of window
// backgrounds.
#include <QString>

class QComboBox;
class QPainter;
class QPixmap;
class QWidget;
class QPushButton;
class QToolButton;

class qt_helper {
public:
    qt_helper() = default;

    // Skin name "x" needs x_normal.png, x_hover.png, x_pressed.png and x_disabled.png.
    static bool set_btn_state_image(QPushButton *button, const QString &name);
    static bool set_btn_state_image(QToolButton *button, const QString &name);
    // The blue main action of a dialog, with white text.
    static bool set_btn_main_action(QPushButton *button);
    // A link-coloured text button on the plain toolbar background.
    static bool set_btn_blue_lnk(QPushButton *button);
    // Paints the pixmap over (0, 0, width, height): corners of mx x my unscaled, edges and centre stretched.
    static void nine_patch(QPainter &painter, QPixmap &pixmap, int mx, int my, int width, int height);

    // A long entry (a name, a path from the history) never widens the combo box and its dialog:
    // the box takes the width its layout gives, long texts lose their middle in the list, and
    // the whole text is in the tool tip of the box and of each entry.
    static void keep_combo_narrow(QComboBox *combo);
    // keep_combo_narrow for every combo box below the widget.
    static void keep_combos_narrow(QWidget *root);
};
