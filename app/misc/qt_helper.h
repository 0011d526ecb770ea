#pragma once

// Button skins from the four state images under ":/image/", and nine-slice painting of window
// backgrounds.
#include <QString>

class QPainter;
class QPixmap;
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
};
