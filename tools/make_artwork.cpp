// Draws the program's artwork: the transfer clip (a file travelling from a PC
// to a lighting desk), the 32 x 32 window icon, and the icon theme's files
// (scalable SVG and PNGs from 16 to 256 pixels).
//
//   zo-make-artwork CLIP.avi ICON.png THEME_DIR

#include "AviWriter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kClipWidth = 273; // the animation control, 4095 x 1095 twips at 96 dpi
constexpr int kClipHeight = 73;
constexpr int kFrames = 15;
constexpr int kFramesPerSecond = 15;

// Every colour drawn; pictures are painted without antialiasing so that they
// convert to this palette exactly.
const QList<QRgb> kPalette = {
    qRgb(0xF0, 0xF0, 0xF0), // background (button face)
    qRgb(0x30, 0x30, 0x30), // outlines, desk body
    qRgb(0x80, 0x80, 0x80), // metal
    qRgb(0x20, 0x60, 0xC0), // PC screen, text lines
    qRgb(0xFF, 0xFF, 0xFF), // paper
    qRgb(0xFF, 0xB0, 0x20), // amber: desk display, fader caps
    qRgb(0x60, 0x60, 0x60), // fader slots
    qRgb(0xC0, 0xC0, 0xC0), // keyboard, page fold
    qRgb(0x40, 0xA0, 0x40), // desk display when the file has arrived
};

QColor colour(int index)
{
    return QColor(kPalette.at(index));
}

void drawPage(QPainter &p, QPointF at, qreal scale)
{
    const qreal w = 14 * scale, h = 18 * scale, fold = 5 * scale;
    QPainterPath page;
    page.moveTo(at);
    page.lineTo(at + QPointF(w - fold, 0));
    page.lineTo(at + QPointF(w, fold));
    page.lineTo(at + QPointF(w, h));
    page.lineTo(at + QPointF(0, h));
    page.closeSubpath();
    p.setPen(colour(1));
    p.setBrush(colour(4));
    p.drawPath(page);
    p.setBrush(colour(7));
    p.drawPolygon(
        QPolygonF{at + QPointF(w - fold, 0), at + QPointF(w - fold, fold), at + QPointF(w, fold)});
    p.setPen(colour(3));
    for (int line = 0; line < 3; ++line) {
        const qreal y = at.y() + (8 + 3 * line) * scale;
        p.drawLine(QPointF(at.x() + 3 * scale, y), QPointF(at.x() + w - 3 * scale, y));
    }
}

void drawPc(QPainter &p)
{
    p.setPen(colour(1));
    p.setBrush(colour(2));
    p.drawRect(8, 6, 52, 38);
    p.setBrush(colour(3));
    p.drawRect(12, 10, 44, 30);
    p.setBrush(colour(2));
    p.drawRect(30, 44, 8, 6);
    p.drawRect(20, 50, 28, 5);
    p.setBrush(colour(7));
    p.drawRect(10, 58, 48, 8);
}

void drawDesk(QPainter &p, bool arrived)
{
    p.setPen(colour(1));
    p.setBrush(colour(1));
    p.drawPolygon(QPolygon{QPoint(200, 34), QPoint(266, 34), QPoint(270, 66), QPoint(196, 66)});
    p.setBrush(colour(2));
    p.drawRect(216, 12, 36, 20);
    p.setBrush(colour(arrived ? 8 : 5));
    p.drawRect(219, 15, 30, 14);
    for (int i = 0; i < 8; ++i) {
        const int x = 204 + i * 8;
        p.setPen(colour(6));
        p.setBrush(colour(6));
        p.drawRect(x + 2, 40, 2, 20);
        p.setPen(colour(1));
        p.setBrush(colour(5));
        const int level = 42 + ((i * 5) % 14);
        p.drawRect(x, level, 6, 4);
    }
}

QImage toPalette(const QImage &picture)
{
    return picture.convertToFormat(QImage::Format_Indexed8, kPalette,
                                   Qt::ThresholdDither | Qt::AvoidDither);
}

QList<QImage> clipFrames()
{
    QList<QImage> frames;
    for (int i = 0; i < kFrames; ++i) {
        QImage picture(kClipWidth, kClipHeight, QImage::Format_RGB32);
        picture.fill(kPalette.at(0));
        QPainter p(&picture);
        drawPc(p);
        const bool arrived = i >= kFrames - 3;
        drawDesk(p, arrived);
        if (!arrived) {
            const qreal t = qreal(i) / (kFrames - 4);
            const qreal x = 62 + t * (190 - 62 - 14);
            const qreal y = 30 - std::sin(t * M_PI) * 24;
            drawPage(p, QPointF(x, y), 1.0);
        }
        p.end();
        frames.append(toPalette(picture));
    }
    return frames;
}

// The icon's shapes on a 32 x 32 grid: a lighting desk with amber fader
// caps, and above it a page with a folded corner (the file). The dark desk
// has a metal edge, so that it stands out on dark panels as on light ones.
struct IconShapes
{
    QPolygonF desk{QVector<QPointF>{{3, 20}, {28, 20}, {30, 30}, {1, 30}}};
    QList<QRectF> caps{{5, 23, 3, 2}, {11, 26, 3, 2}, {17, 23, 3, 2}, {23, 26, 3, 2}};
    QPointF page{9, 1};
};

// edge: the desk's edge in grid units, a whole device pixel at least.
void drawIcon(QPainter &p, qreal edge = 1.0)
{
    const IconShapes shapes;
    p.setPen(QPen(colour(2), edge));
    p.setBrush(colour(1));
    p.drawPolygon(shapes.desk);
    p.setPen(colour(5));
    p.setBrush(colour(5));
    for (const QRectF &cap : shapes.caps)
        p.drawRect(cap);
    drawPage(p, shapes.page, 1.0);
}

// The window's own 32 x 32 icon, drawn pixel for pixel on a transparent
// ground, as the theme's are.
QImage icon()
{
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    drawIcon(p);
    p.end();
    return picture;
}

// The theme's icons: the same drawing on a transparent ground, smoothed, at
// any size.
QImage themeIcon(int size)
{
    QImage picture(size, size, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    drawIcon(p, std::max(1.0, 32.0 / size));
    return picture;
}

QString svgColour(int index)
{
    return colour(index).name();
}

// The same drawing as scalable vector graphics.
QByteArray svgIcon()
{
    const IconShapes shapes;
    QString svg =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" "
                       "viewBox=\"0 0 32 32\">\n");
    QString points;
    for (const QPointF &pt : shapes.desk)
        points += QStringLiteral("%1,%2 ").arg(pt.x()).arg(pt.y());
    svg += QStringLiteral("  <polygon points=\"%1\" fill=\"%2\" stroke=\"%3\"/>\n")
               .arg(points.trimmed(), svgColour(1), svgColour(2));
    for (const QRectF &cap : shapes.caps)
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                              "fill=\"%5\" stroke=\"%5\"/>\n")
                   .arg(cap.x())
                   .arg(cap.y())
                   .arg(cap.width())
                   .arg(cap.height())
                   .arg(svgColour(5));
    const qreal x = shapes.page.x(), y = shapes.page.y(), w = 14, h = 18, fold = 5;
    svg += QStringLiteral("  <path d=\"M%1 %2 H%3 L%4 %5 V%6 H%1 Z\" fill=\"%7\" stroke=\"%8\"/>\n")
               .arg(x)
               .arg(y)
               .arg(x + w - fold)
               .arg(x + w)
               .arg(y + fold)
               .arg(y + h)
               .arg(svgColour(4), svgColour(1));
    svg += QStringLiteral("  <path d=\"M%1 %2 V%3 H%4 Z\" fill=\"%5\" stroke=\"%6\"/>\n")
               .arg(x + w - fold)
               .arg(y)
               .arg(y + fold)
               .arg(x + w)
               .arg(svgColour(7), svgColour(1));
    for (int line = 0; line < 3; ++line)
        svg += QStringLiteral("  <line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"%4\"/>\n")
                   .arg(x + 3)
                   .arg(y + 8 + 3 * line)
                   .arg(x + w - 3)
                   .arg(svgColour(3));
    svg += QStringLiteral("</svg>\n");
    return svg.toUtf8();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

// The icon theme's files under dir: scalable/apps/zo-vovere.svg and
// NxN/apps/zo-vovere.png for the usual sizes. The 32 x 32 one is the
// window's own icon, installed from ICON.png.
bool writeTheme(const QString &dir)
{
    if (!QDir().mkpath(dir + "/scalable/apps") ||
        !writeFile(dir + "/scalable/apps/zo-vovere.svg", svgIcon()))
        return false;
    for (int size : {16, 22, 24, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        if (!QDir().mkpath(folder) || !themeIcon(size).save(folder + "/zo-vovere.png", "PNG")) {
            std::fprintf(stderr, "cannot write the %d x %d icon\n", size, size);
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s CLIP.avi ICON.png THEME_DIR\n", argv[0]);
        return 2;
    }
    const QByteArray avi =
        AviWriter::write(clipFrames(), kFramesPerSecond, AviWriter::Encoding::Rle8);
    if (!writeFile(QString::fromLocal8Bit(argv[1]), avi))
        return 1;
    if (!icon().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return writeTheme(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
}
