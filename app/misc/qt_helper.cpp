#include "qt_helper.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>

namespace {

QString StateSheet(const char *selector, const QString &name) {
    return QString("%1{border-image: url(:/image/%2_normal.png);}"
                   "%1:hover{border-image: url(:/image/%2_hover.png);}"
                   "%1:pressed{border-image: url(:/image/%2_pressed.png);}"
                   "%1:disabled{border-image: url(:/image/%2_disabled.png);}"
                   "%1{outline: none}")
        .arg(selector, name);
}

// Keeps a combo box's tool tip on its whole current text while that does not fit the box.
class CComboToolTip : public QObject {
public:
    explicit CComboToolTip(QComboBox *combo) : QObject(combo), combo(combo) {
        combo->installEventFilter(this);
        QObject::connect(combo, &QComboBox::currentTextChanged, this, [this] { Update(); });
    }

    void Update() {
        const QString text = combo->currentText();
        // The arrow and the frame take about two lines' height of the box's width.
        const int room = combo->width() - 2 * combo->height();
        combo->setToolTip(combo->fontMetrics().horizontalAdvance(text) > room ? text : QString());
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) Update();
        return false;
    }

private:
    QComboBox *combo;
};

} // namespace

bool qt_helper::set_btn_state_image(QPushButton *button, const QString &name) {
    if (!button || name.isEmpty()) return false;
    button->setStyleSheet(StateSheet("QPushButton", name));
    return true;
}

bool qt_helper::set_btn_state_image(QToolButton *button, const QString &name) {
    if (!button || name.isEmpty()) return false;
    button->setStyleSheet(StateSheet("QToolButton", name));
    return true;
}

bool qt_helper::set_btn_main_action(QPushButton *button) {
    if (!set_btn_state_image(button, "btn_compress")) return false;
    button->setStyleSheet(button->styleSheet() +
                          "QPushButton{color:white;} QPushButton:disabled{color:rgb(188,188,188);}");
    return true;
}

bool qt_helper::set_btn_blue_lnk(QPushButton *button) {
    if (!button) return false;
    button->setStyleSheet("QPushButton{border-image:url(:/image/toolbar_normal.png);color:rgb(0,138,255);}"
                          "QPushButton:hover{border-image:url(:/image/toolbar_normal.png);color:rgb(0,180,255);}"
                          "QPushButton:pressed{border-image:url(:/image/toolbar_normal.png);color:rgb(38,138,219);}"
                          "QPushButton:disabled{border-image:url(:/image/toolbar_normal.png);color:rgb(188,188,188);}"
                          "QPushButton{outline: none}");
    return true;
}

void qt_helper::nine_patch(QPainter &painter, QPixmap &pixmap, int mx, int my, int width, int height) {
    const int pw = pixmap.width(), ph = pixmap.height();
    if (pw < 2 * mx || ph < 2 * my || width <= 0 || height <= 0) return;
    const int innerW = pw - 2 * mx, innerH = ph - 2 * my;
    const int targetW = qMax(0, width - 2 * mx), targetH = qMax(0, height - 2 * my);
    auto scaled = [&](int x, int y, int w, int h, int sw, int sh) {
        return pixmap.copy(x, y, w, h).scaled(sw, sh, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    };

    painter.drawPixmap(0, 0, pixmap.copy(0, 0, mx, my));
    painter.drawPixmap(mx, 0, scaled(mx, 0, innerW, my, targetW, my));
    painter.drawPixmap(width - mx, 0, pixmap.copy(pw - mx, 0, mx, my));
    painter.drawPixmap(0, my, scaled(0, my, mx, innerH, mx, targetH));
    painter.drawPixmap(mx, my, scaled(mx, my, innerW, innerH, targetW, targetH));
    painter.drawPixmap(width - mx, my, scaled(pw - mx, my, mx, innerH, mx, targetH));
    painter.drawPixmap(0, height - my, pixmap.copy(0, ph - my, mx, my));
    painter.drawPixmap(mx, height - my, scaled(mx, ph - my, innerW, my, targetW, my));
    painter.drawPixmap(width - mx, height - my, pixmap.copy(pw - mx, ph - my, mx, my));
}

void qt_helper::keep_combo_narrow(QComboBox *combo) {
    if (!combo || combo->property("tarnova_narrow").toBool()) return;
    combo->setProperty("tarnova_narrow", true);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(8);
    combo->view()->setTextElideMode(Qt::ElideMiddle);
    QAbstractItemModel *model = combo->model();
    const auto tipItems = [combo](int first, int last) {
        // Short option names need no tip; names and paths do.
        for (int i = first; i <= last; i++)
            if (combo->isEditable() || combo->itemText(i).size() > 24)
                combo->setItemData(i, combo->itemText(i), Qt::ToolTipRole);
    };
    tipItems(0, combo->count() - 1);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, combo,
                     [tipItems](const QModelIndex &, int first, int last) { tipItems(first, last); });
    (new CComboToolTip(combo))->Update();
}

void qt_helper::keep_combos_narrow(QWidget *root) {
    if (!root) return;
    for (QComboBox *combo : root->findChildren<QComboBox *>())
        keep_combo_narrow(combo);
}
