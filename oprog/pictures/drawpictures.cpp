// Draws the About window's three pictures and writes them as JPEG files:
//   qldixw-draw-about-pictures <folder>
// The pictures are this project's own, drawn from shapes; the files it writes are kept
// in the source tree, so the program itself never runs this.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QDir>
#include <cstdio>
#include <functional>

namespace {

// Each picture is drawn four times larger and scaled down: small JPEGs of hard
// edges look clean only when the edges are already smooth.
constexpr int kOversample = 4;

QImage draw(QSize size, const std::function<void(QPainter&, QSizeF)>& paint)
{
    const QSize big = size * kOversample;
    QImage image(big, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, QSizeF(big));
    painter.end();
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The program's icon: a console screen with frames going out and replies coming back,
// over the line that connects it to the devices.
void programIcon(QPainter& p, QSizeF s)
{
    const double w = s.width(), h = s.height();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x4e, 0x8c));
    p.drawRoundedRect(QRectF(w * 0.04, h * 0.04, w * 0.92, h * 0.70), w * 0.08, w * 0.08);
    p.setBrush(QColor(0x0c, 0x1c, 0x2c));
    const QRectF screen(w * 0.12, h * 0.12, w * 0.76, h * 0.52);
    p.drawRect(screen);
    // Log lines: sent frames in green, replies in amber.
    const double row = screen.height() / 6;
    for (int i = 0; i < 5; ++i) {
        p.setBrush(i % 2 ? QColor(0xf2, 0xb1, 0x34) : QColor(0x5c, 0xd6, 0x6e));
        const double length = screen.width() * (0.45 + 0.1 * ((i * 3) % 5));
        p.drawRect(QRectF(screen.left() + w * 0.04, screen.top() + row * (i + 0.5), length * 0.8, row * 0.45));
    }
    // Stand and the line to the devices.
    p.setBrush(QColor(0x60, 0x6a, 0x74));
    p.drawRect(QRectF(w * 0.42, h * 0.74, w * 0.16, h * 0.08));
    p.drawRect(QRectF(w * 0.28, h * 0.82, w * 0.44, h * 0.05));
    QPen cable(QColor(0x30, 0x30, 0x30), w * 0.035, Qt::SolidLine, Qt::RoundCap);
    p.setPen(cable);
    p.setBrush(Qt::NoBrush);
    QPainterPath line;
    line.moveTo(w * 0.72, h * 0.845);
    line.cubicTo(w * 0.86, h * 0.845, w * 0.80, h * 0.95, w * 0.95, h * 0.95);
    p.drawPath(line);
}

// A nine-pin serial plug seen from the front: shell, two rows of pins, two screws.
void serialPlug(QPainter& p, QSizeF s)
{
    const double w = s.width(), h = s.height();
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), w * 0.015));
    p.setBrush(QColor(0xc8, 0xcc, 0xd0));
    p.drawRoundedRect(QRectF(w * 0.02, h * 0.10, w * 0.96, h * 0.80), w * 0.04, w * 0.04);
    for (double x : {w * 0.10, w * 0.90}) {
        p.setBrush(QColor(0x90, 0x94, 0x98));
        p.drawEllipse(QPointF(x, h * 0.5), w * 0.05, w * 0.05);
    }
    QPainterPath shell;
    shell.moveTo(w * 0.20, h * 0.22);
    shell.lineTo(w * 0.80, h * 0.22);
    shell.lineTo(w * 0.74, h * 0.78);
    shell.lineTo(w * 0.26, h * 0.78);
    shell.closeSubpath();
    p.setBrush(QColor(0x2a, 0x2e, 0x34));
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe0, 0xb8, 0x4a));
    const double pin = w * 0.025;
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(w * (0.30 + 0.10 * i), h * 0.38), pin, pin);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(w * (0.35 + 0.10 * i), h * 0.62), pin, pin);
}

// A small panel meter: a dial with its scale and the needle past the middle.
void meterDial(QPainter& p, QSizeF s)
{
    const double w = s.width(), h = s.height();
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), w * 0.04));
    p.setBrush(QColor(0x3a, 0x3f, 0x46));
    p.drawRoundedRect(QRectF(w * 0.04, h * 0.03, w * 0.92, h * 0.94), w * 0.1, w * 0.1);
    const QRectF face(w * 0.14, h * 0.10, w * 0.72, w * 0.72);
    p.setBrush(QColor(0xf6, 0xf2, 0xe4));
    p.drawEllipse(face);
    const QPointF centre = face.center();
    const double radius = face.width() / 2;
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), w * 0.025));
    for (int i = 0; i <= 6; ++i) {
        const QLineF tick = QLineF::fromPolar(radius * 0.85, 210 - 40 * i).translated(centre);
        p.drawLine(QLineF(centre + (tick.p2() - centre) * 0.75, tick.p2()));
    }
    p.setPen(QPen(QColor(0xd0, 0x20, 0x20), w * 0.05, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QLineF::fromPolar(radius * 0.8, 60).translated(centre));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawEllipse(centre, w * 0.06, w * 0.06);
    // Terminals below the dial.
    p.setBrush(QColor(0xb0, 0x8a, 0x3c));
    p.drawEllipse(QPointF(w * 0.32, h * 0.84), w * 0.08, w * 0.08);
    p.drawEllipse(QPointF(w * 0.68, h * 0.84), w * 0.08, w * 0.08);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    // Sizes are those of the frames on the About window.
    const struct {
        const char* file;
        QSize size;
        void (*paint)(QPainter&, QSizeF);
    } pictures[] = {
        {"programicon.jpg", {105, 97}, programIcon},
        {"serialplug.jpg", {65, 33}, serialPlug},
        {"meterdial.jpg", {25, 33}, meterDial},
    };
    for (const auto& picture : pictures) {
        const QImage image = draw(picture.size, picture.paint);
        const QString path = folder.filePath(QString::fromLatin1(picture.file));
        // The PNG beside each JPEG is for Windows, whose Qt is built without a JPEG reader.
        QString png = path;
        png.replace(QLatin1String(".jpg"), QLatin1String(".png"));
        if (!image.save(path, "JPEG", 92) || !QImage(path).save(png, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
