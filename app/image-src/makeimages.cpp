// Draws the program's image set into a folder (by default app/image of the source tree) and lists
// every file of that folder in the resource file beside it (app/tarnova.qrc):
//   makeimages [output folder [--no-qrc]]
// Run with QT_QPA_PLATFORM=offscreen. Every image of the set comes from here, so one palette and
// one line weight hold across icons, skins and backgrounds. After a change, run it again and
// commit the PNGs; the build itself only packs the committed files.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <functional>

namespace {

// The palette.
const QColor kBrand(0x1e, 0x78, 0xd2);      // product blue
const QColor kBrandDark(0x15, 0x5a, 0xa6);  // pressed, outlines on blue
const QColor kBrandLight(0xe3, 0xef, 0xfb); // hover wash
const QColor kAccent(0xf2, 0xa6, 0x2b);     // the archive band on the logo
const QColor kInk(0x4a, 0x55, 0x63);        // glyphs on light ground
const QColor kInkFaint(0xb5, 0xbd, 0xc7);   // disabled glyphs
const QColor kBorder(0xc3, 0xcc, 0xd6);     // window and button borders
const QColor kPaper(0xff, 0xff, 0xff);
const QColor kError(0xe0, 0x45, 0x3a);
const QColor kQuestion(0x2a, 0x9d, 0x8f);

QString g_out;
int g_count = 0;

QImage Blank(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void Save(const QImage &img, const QString &name) {
    const QString path = g_out + "/" + name;
    if (!img.save(path)) {
        QTextStream(stderr) << "cannot write " << path << "\n";
        ::exit(1);
    }
    g_count++;
}

void Draw(int w, int h, const QString &name, const std::function<void(QPainter &)> &paint) {
    QImage img = Blank(w, h);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    p.end();
    Save(img, name);
}

// The product mark: a blue rounded square holding a white archive box with an amber band.
void Logo(QPainter &p, const QRectF &r) {
    const qreal s = r.width();
    p.setPen(Qt::NoPen);
    p.setBrush(kBrand);
    p.drawRoundedRect(r, s * 0.2, s * 0.2);
    const QRectF box(r.x() + s * 0.2, r.y() + s * 0.26, s * 0.6, s * 0.52);
    p.setBrush(kPaper);
    p.drawRoundedRect(box, s * 0.05, s * 0.05);
    // lid line
    p.setBrush(kBrand);
    p.drawRect(QRectF(box.x(), box.y() + box.height() * 0.28, box.width(), qMax<qreal>(1.0, s * 0.06)));
    // the band down the middle, like a strap with a zip
    p.setBrush(kAccent);
    p.drawRect(QRectF(r.center().x() - s * 0.07, box.y(), s * 0.14, box.height()));
}

// Background of a frameless window as a nine-slice source: a 1-pixel border, white inside.
void Background(const QString &name, int w, int h) {
    QImage img = Blank(w, h);
    QPainter p(&img);
    p.fillRect(img.rect(), kBorder);
    p.fillRect(QRect(1, 1, w - 2, h - 2), kPaper);
    p.end();
    Save(img, name);
}

// Four states of a skin: normal, hover, pressed, disabled.
void Skin(const QString &name, int w, int h, const std::function<void(QPainter &, int state)> &paint) {
    const char *states[4] = {"normal", "hover", "pressed", "disabled"};
    for (int i = 0; i < 4; i++)
        Draw(w, h, name + "_" + states[i] + ".png", [&](QPainter &p) { paint(p, i); });
}

// A push button with its text on top: light face, border that turns blue under the cursor.
void ButtonFace(QPainter &p, const QRectF &r, int state) {
    const QColor face[4] = {QColor(0xf6, 0xf8, 0xfa), kBrandLight, QColor(0xc9, 0xde, 0xf5), QColor(0xf1, 0xf1, 0xf1)};
    const QColor edge[4] = {kBorder, kBrand, kBrandDark, QColor(0xdc, 0xdc, 0xdc)};
    p.setPen(QPen(edge[state], 1));
    p.setBrush(face[state]);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
}

// Title-bar buttons: a flat field that shows only under the cursor, and a glyph.
void TitleButton(const QString &name, int w, int h, bool danger, const std::function<void(QPainter &)> &glyph) {
    Skin(name, w, h, [&](QPainter &p, int state) {
        QColor field = Qt::transparent, ink = kInk;
        if (state == 1) field = danger ? kError : QColor(0xe6, 0xea, 0xef);
        if (state == 2) field = danger ? kError.darker(120) : QColor(0xd3, 0xd9, 0xe1);
        if (danger && (state == 1 || state == 2)) ink = kPaper;
        if (state == 3) ink = kInkFaint;
        p.setPen(Qt::NoPen);
        p.setBrush(field);
        p.drawRect(QRectF(0, 0, w, h));
        QPen pen(ink, 1.3);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.translate(w / 2.0, h / 2.0);
        glyph(p);
    });
}

// A round notice icon with a glyph drawn in white.
void NoticeIcon(const QString &name, const QColor &colour, const std::function<void(QPainter &, qreal)> &glyph) {
    const int size = 36;
    Draw(size, size, name, [&](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
        p.translate(size / 2.0, size / 2.0);
        glyph(p, size);
    });
}

void Text(QPainter &p, const QRectF &r, const QString &text, int pixelSize, bool bold, const QColor &colour,
          int flags = Qt::AlignCenter) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(r, flags, text);
}

} // namespace

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    g_out = QDir::cleanPath(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(SOURCE_IMAGE_DIR));
    QDir().mkpath(g_out);

    // Product icon: the window icon and the small title-bar picture.
    {
        QImage icon = Blank(64, 64);
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        Logo(p, QRectF(2, 2, 60, 60));
        p.end();
        Save(icon, "tarnova.ico");
        Draw(16, 16, "appicon.png", [](QPainter &p) { Logo(p, QRectF(0, 0, 16, 16)); });
        // The desktop's icon (menus, the desktop entry and the file manager's context menu).
        Draw(128, 128, "tarnova.png", [](QPainter &p) { Logo(p, QRectF(4, 4, 120, 120)); });
    }

    Background("dialog_background.png", 18, 18);
    Background("main_background.png", 18, 18);

    Skin("button_mid_size", 56, 28, [](QPainter &p, int state) { ButtonFace(p, QRectF(0, 0, 56, 28), state); });

    // The browse button beside a path field: the button face with a folder.
    Skin("browse", 28, 24, [](QPainter &p, int state) {
        ButtonFace(p, QRectF(0, 0, 28, 24), state);
        QPen pen(state == 3 ? kInkFaint : kInk, 1.2);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(QPolygonF({QPointF(7.5, 7.5), QPointF(11.5, 7.5), QPointF(13, 9), QPointF(20.5, 9),
                                 QPointF(20.5, 17.5), QPointF(7.5, 17.5)}));
    });

    // Tool buttons: no face at rest, a blue wash under the cursor.
    Skin("toolbar", 70, 65, [](QPainter &p, int state) {
        if (state != 1 && state != 2) return;
        p.setPen(QPen(state == 1 ? QColor(0xb7, 0xd4, 0xf3) : kBrand, 1));
        p.setBrush(state == 1 ? kBrandLight : QColor(0xc9, 0xde, 0xf5));
        p.drawRoundedRect(QRectF(0.5, 0.5, 69, 64), 4, 4);
    });

    TitleButton("sys_button_close", 42, 20, true, [](QPainter &p) {
        p.drawLine(QPointF(-4, -4), QPointF(4, 4));
        p.drawLine(QPointF(-4, 4), QPointF(4, -4));
    });
    TitleButton("sys_button_min", 28, 20, false,
                [](QPainter &p) { p.drawLine(QPointF(-4.5, 0.5), QPointF(4.5, 0.5)); });
    TitleButton("sys_button_max", 28, 20, false, [](QPainter &p) { p.drawRect(QRectF(-4.5, -4.5, 9, 9)); });
    TitleButton("sys_button_restore", 28, 20, false, [](QPainter &p) {
        p.drawRect(QRectF(-4.5, -2.5, 7, 7));
        p.drawPolyline(QPolygonF(
            {QPointF(-2.5, -2.5), QPointF(-2.5, -4.5), QPointF(4.5, -4.5), QPointF(4.5, 2.5), QPointF(2.5, 2.5)}));
    });

    // Notice icons of the message box.
    NoticeIcon("msg_icon_info.png", kBrand, [](QPainter &p, qreal) {
        p.setPen(Qt::NoPen);
        p.setBrush(kPaper);
        p.drawEllipse(QPointF(0, -8), 2.4, 2.4);
        p.drawRoundedRect(QRectF(-2.2, -3, 4.4, 13), 1.5, 1.5);
    });
    NoticeIcon("msg_icon_question.png", kQuestion, [](QPainter &p, qreal) {
        QPen pen(kPaper, 3.6);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        QPainterPath path;
        path.moveTo(-5.5, -4.5);
        path.cubicTo(-5.5, -11.5, 6, -11.5, 6, -4.5);
        path.cubicTo(6, -0.5, 0, 0, 0, 4);
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(kPaper);
        p.drawEllipse(QPointF(0, 9.5), 2.3, 2.3);
    });
    NoticeIcon("msg_icon_error.png", kError, [](QPainter &p, qreal) {
        QPen pen(kPaper, 3.6);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.drawLine(QPointF(-6, -6), QPointF(6, 6));
        p.drawLine(QPointF(-6, 6), QPointF(6, -6));
    });

    // Banner of the about box: the mark and the name on a blue band, stacked boxes as a quiet
    // pattern on the right.
    Draw(420, 89, "about.png", [](QPainter &p) {
        p.fillRect(QRect(0, 0, 420, 89), kBrand);
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 4; i++) {
            p.setBrush(QColor(255, 255, 255, 22 + i * 8));
            p.drawRoundedRect(QRectF(300 + i * 26, 56 - i * 14, 44, 30), 4, 4);
        }
        p.setBrush(kPaper);
        p.drawRoundedRect(QRectF(24, 16, 57, 57), 12, 12);
        Logo(p, QRectF(28, 20, 49, 49));
        Text(p, QRectF(100, 16, 220, 57), "Tarnova", 30, true, kPaper, Qt::AlignLeft | Qt::AlignVCenter);
    });

    // The answer buttons of the overwrite prompt: the button face, wide enough for five characters.
    Skin("btn_bk_4122", 82, 28, [](QPainter &p, int state) { ButtonFace(p, QRectF(0, 0, 82, 28), state); });

    // The main action of the extract dialog: a blue face that carries white text.
    Skin("btn_compress", 100, 32, [](QPainter &p, int state) {
        const QColor face[4] = {kBrand, QColor(0x2b, 0x86, 0xe0), kBrandDark, QColor(0xc9, 0xd3, 0xdd)};
        p.setPen(Qt::NoPen);
        p.setBrush(face[state]);
        p.drawRoundedRect(QRectF(0, 0, 100, 32), 4, 4);
    });

    // The show-more and show-less switch of a dialog: no face, a chevron at the right end; the
    // image has the button's size, so nothing is stretched.
    for (int up = 0; up < 2; up++) {
        Skin(up ? "up" : "down", 96, 26, [up](QPainter &p, int state) {
            if (state == 1 || state == 2) {
                p.setPen(Qt::NoPen);
                p.setBrush(state == 1 ? kBrandLight : QColor(0xc9, 0xde, 0xf5));
                p.drawRoundedRect(QRectF(0, 0, 96, 26), 3, 3);
            }
            QPen pen(state == 3 ? kInkFaint : kBrand, 1.4);
            pen.setCapStyle(Qt::RoundCap);
            pen.setJoinStyle(Qt::RoundJoin);
            p.setPen(pen);
            const qreal y = up ? 15 : 11;
            const qreal d = up ? -3.5 : 3.5;
            p.drawPolyline(QPolygonF({QPointF(80, y), QPointF(84, y + d), QPointF(88, y)}));
        });
    }

    // Main window: menu buttons of the title bar, navigation buttons, view-mode buttons.
    Skin("menubar_bk", 52, 18, [](QPainter &p, int state) {
        if (state != 1 && state != 2) return;
        p.setPen(Qt::NoPen);
        p.setBrush(state == 1 ? QColor(0xe6, 0xea, 0xef) : QColor(0xd3, 0xd9, 0xe1));
        p.drawRoundedRect(QRectF(0, 0, 52, 18), 3, 3);
    });
    auto navButton = [](const QString &name, int w, int h, const std::function<void(QPainter &)> &glyph) {
        Skin(name, w, h, [=](QPainter &p, int state) {
            ButtonFace(p, QRectF(0, 0, w, h), state);
            QPen pen(state == 3 ? kInkFaint : kInk, 1.4);
            pen.setCapStyle(Qt::RoundCap);
            pen.setJoinStyle(Qt::RoundJoin);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.translate(w / 2.0, h / 2.0);
            glyph(p);
        });
    };
    navButton("UpBtn", 25, 22, [](QPainter &p) {
        p.drawLine(QPointF(0, 5), QPointF(0, -5));
        p.drawPolyline(QPolygonF({QPointF(-4, -1), QPointF(0, -5), QPointF(4, -1)}));
    });
    navButton("desktopBtn", 25, 22, [](QPainter &p) {
        p.drawPolyline(QPolygonF({QPointF(-6, 0), QPointF(0, -6), QPointF(6, 0)}));
        p.drawPolyline(QPolygonF({QPointF(-4, -1), QPointF(-4, 5.5), QPointF(4, 5.5), QPointF(4, -1)}));
    });
    navButton("listview_report", 25, 22, [](QPainter &p) {
        for (int i = -1; i <= 1; i++) {
            p.drawLine(QPointF(-6, i * 4), QPointF(-4.5, i * 4));
            p.drawLine(QPointF(-2, i * 4), QPointF(6, i * 4));
        }
    });
    navButton("listview_thumb", 25, 22, [](QPainter &p) {
        p.drawRect(QRectF(-6, -6, 5, 5));
        p.drawRect(QRectF(1, -6, 5, 5));
        p.drawRect(QRectF(-6, 1, 5, 5));
        p.drawRect(QRectF(1, 1, 5, 5));
    });
    TitleButton("Report", 20, 19, false, [](QPainter &p) {
        p.drawRoundedRect(QRectF(-5.5, -4.5, 11, 8), 1.5, 1.5);
        p.drawPolyline(QPolygonF({QPointF(-2, 3.5), QPointF(-3, 6), QPointF(1, 3.5)}));
    });

    // Toolbar icons: add, extract to, one-click extract, delete.
    auto toolIcon = [](const QString &name, const std::function<void(QPainter &)> &glyph) {
        Draw(40, 40, name, [&](QPainter &p) {
            // An archive box: blue body, amber band.
            p.setPen(Qt::NoPen);
            p.setBrush(kBrand);
            p.drawRoundedRect(QRectF(6, 10, 28, 26), 4, 4);
            p.setBrush(kAccent);
            p.drawRect(QRectF(17, 10, 6, 26));
            glyph(p);
        });
    };
    auto badge = [](QPainter &p, const QColor &colour) {
        p.setPen(QPen(kPaper, 2));
        p.setBrush(colour);
        p.drawEllipse(QRectF(22, 1, 17, 17));
        QPen pen(kPaper, 2.2);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.translate(30.5, 9.5);
    };
    toolIcon("zip.png", [&](QPainter &p) {
        badge(p, kQuestion);
        p.drawLine(QPointF(-4, 0), QPointF(4, 0));
        p.drawLine(QPointF(0, -4), QPointF(0, 4));
    });
    toolIcon("unzip.png", [&](QPainter &p) {
        badge(p, kBrandDark);
        p.drawLine(QPointF(0, -4), QPointF(0, 4));
        p.drawPolyline(QPolygonF({QPointF(-3.5, 0.5), QPointF(0, 4), QPointF(3.5, 0.5)}));
    });
    toolIcon("quick_upzip.png", [&](QPainter &p) {
        badge(p, kAccent.darker(115));
        p.drawPolyline(QPolygonF({QPointF(1, -5), QPointF(-3, 1), QPointF(2, 0), QPointF(-1, 5)}));
    });
    toolIcon("delete.png", [&](QPainter &p) {
        badge(p, kError);
        p.drawLine(QPointF(-3.5, -3.5), QPointF(3.5, 3.5));
        p.drawLine(QPointF(-3.5, 3.5), QPointF(3.5, -3.5));
    });

    // The resource list: every file of the image folder, in name order.
    if (argc <= 2 || QString(argv[2]) != "--no-qrc") {
        QFile qrc(g_out + "/../tarnova.qrc");
        if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            QTextStream(stderr) << "cannot write " << qrc.fileName() << "\n";
            return 1;
        }
        QTextStream s(&qrc);
        s << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
        for (const QString &name : QDir(g_out).entryList(QDir::Files, QDir::Name))
            s << "    <file>image/" << name << "</file>\n";
        s << "</qresource>\n</RCC>\n";
    }

    QTextStream(stdout) << g_count << " images written to " << g_out << "\n";
    return 0;
}
