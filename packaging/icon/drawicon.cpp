// Draws the program's icon: a serial connector under a square-wave signal on a dark
// tile. One list of shapes gives both the scalable SVG and the PNG sizes of the
// hicolor theme, so they cannot drift apart.
//   qldixw-drawicon <output directory> <size>...

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextStream>

#include <cstdio>
#include <vector>

namespace {

// The icon is drawn on a 64 × 64 grid.
constexpr double kGrid = 64;

struct Shape {
    enum Kind { RoundedRect, Polygon, Polyline, Circle } kind;
    std::vector<QPointF> points; // RoundedRect: corner and size; Circle: centre
    double radius = 0;           // corner or circle radius
    QColor fill;                 // invalid: not filled
    QColor stroke;               // invalid: no outline
    double strokeWidth = 0;
};

std::vector<Shape> iconShapes()
{
    const QColor tile(0x1F, 0x4E, 0x79);
    const QColor tileEdge(0x12, 0x30, 0x4C);
    const QColor signal(0x7C, 0xF0, 0x9A);
    const QColor shell(0xE6, 0xE9, 0xED);
    const QColor pin(0x12, 0x30, 0x4C);

    std::vector<Shape> shapes;
    shapes.push_back({Shape::RoundedRect, {{4, 4}, {56, 56}}, 10, tile, tileEdge, 2});
    // The bits on the line: a start bit low, then data.
    shapes.push_back({Shape::Polyline,
                      {{9, 15}, {16, 15}, {16, 23}, {23, 23}, {23, 15}, {30, 15}, {30, 23}, {44, 23}, {44, 15},
                       {55, 15}},
                      0, QColor(), signal, 3.5});
    // A nine-pin connector: a trapezoid shell with five pins over four.
    shapes.push_back({Shape::Polygon, {{11, 31}, {53, 31}, {48, 53}, {16, 53}}, 0, shell, tileEdge, 2});
    for (int i = 0; i < 5; ++i)
        shapes.push_back({Shape::Circle, {{19.6 + 6.2 * i, 38}}, 2.6, pin, QColor(), 0});
    for (int i = 0; i < 4; ++i)
        shapes.push_back({Shape::Circle, {{22.7 + 6.2 * i, 46}}, 2.6, pin, QColor(), 0});
    return shapes;
}

QString svgColor(const QColor& c)
{
    return c.isValid() ? c.name() : QStringLiteral("none");
}

QString svgPoints(const std::vector<QPointF>& points)
{
    QStringList pairs;
    for (const QPointF& p : points)
        pairs << QStringLiteral("%1,%2").arg(p.x()).arg(p.y());
    return pairs.join(u' ');
}

QString svgOf(const std::vector<Shape>& shapes)
{
    QString svg;
    QTextStream out(&svg);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kGrid << "\" height=\"" << kGrid
        << "\" viewBox=\"0 0 " << kGrid << ' ' << kGrid << "\">\n";
    for (const Shape& s : shapes) {
        const QString paint = QStringLiteral(" fill=\"%1\" stroke=\"%2\" stroke-width=\"%3\" stroke-linejoin=\"round\"")
                                  .arg(svgColor(s.fill), svgColor(s.stroke))
                                  .arg(s.strokeWidth);
        switch (s.kind) {
        case Shape::RoundedRect:
            out << QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\"")
                       .arg(s.points[0].x()).arg(s.points[0].y()).arg(s.points[1].x()).arg(s.points[1].y())
                       .arg(s.radius)
                << paint << "/>\n";
            break;
        case Shape::Polygon:
            out << "  <polygon points=\"" << svgPoints(s.points) << '"' << paint << "/>\n";
            break;
        case Shape::Polyline:
            out << "  <polyline points=\"" << svgPoints(s.points) << '"' << paint << " stroke-linecap=\"round\"/>\n";
            break;
        case Shape::Circle:
            out << QStringLiteral("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\"")
                       .arg(s.points[0].x()).arg(s.points[0].y()).arg(s.radius)
                << paint << "/>\n";
            break;
        }
    }
    out << "</svg>\n";
    return svg;
}

QImage imageOf(const std::vector<Shape>& shapes, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    for (const Shape& s : shapes) {
        painter.setBrush(s.fill.isValid() ? QBrush(s.fill) : QBrush(Qt::NoBrush));
        QPen pen = s.stroke.isValid() ? QPen(s.stroke, s.strokeWidth) : QPen(Qt::NoPen);
        pen.setJoinStyle(Qt::RoundJoin);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        switch (s.kind) {
        case Shape::RoundedRect:
            painter.drawRoundedRect(QRectF(s.points[0], QSizeF(s.points[1].x(), s.points[1].y())), s.radius, s.radius);
            break;
        case Shape::Polygon:
            painter.drawPolygon(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
            break;
        case Shape::Polyline:
            painter.drawPolyline(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
            break;
        case Shape::Circle:
            painter.drawEllipse(s.points[0], s.radius, s.radius);
            break;
        }
    }
    painter.end();
    return image;
}

// A Windows icon file of PNG images (each at most 256 pixels): a header, one directory
// entry each, then the images as they are.
QByteArray icoOf(const QList<QByteArray>& pngs)
{
    QByteArray ico;
    const auto word = [&ico](quint16 v) { ico.append(char(v & 0xff)).append(char(v >> 8)); };
    const auto dword = [&word](quint32 v) { word(quint16(v & 0xffff)); word(quint16(v >> 16)); };
    word(0);
    word(1); // an icon
    word(quint16(pngs.size()));
    quint32 offset = 6 + 16 * quint32(pngs.size());
    for (const QByteArray& png : pngs) {
        const QImage image = QImage::fromData(png, "PNG");
        // 256 is written as 0.
        ico.append(char(image.width() & 0xff)).append(char(image.height() & 0xff));
        ico.append(char(0)).append(char(0));
        word(1);  // colour planes
        word(32); // bits per pixel
        dword(quint32(png.size()));
        dword(offset);
        offset += quint32(png.size());
    }
    for (const QByteArray& png : pngs)
        ico.append(png);
    return ico;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output directory> <size>...\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        return 1;
    const std::vector<Shape> shapes = iconShapes();

    QFile svg(out.filePath(QStringLiteral("qldixw.svg")));
    if (!svg.open(QIODevice::WriteOnly) || svg.write(svgOf(shapes).toUtf8()) < 0)
        return 1;
    QList<QByteArray> pngs;
    for (int i = 2; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        const QString path = out.filePath(QStringLiteral("qldixw-%1.png").arg(size));
        if (size <= 0 || !imageOf(shapes, size).save(path))
            return 1;
        QFile png(path);
        if (size <= 256 && png.open(QIODevice::ReadOnly))
            pngs << png.readAll();
    }
    QFile ico(out.filePath(QStringLiteral("qldixw.ico")));
    if (!ico.open(QIODevice::WriteOnly) || ico.write(icoOf(pngs)) < 0)
        return 1;
    return 0;
}
