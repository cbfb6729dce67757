// Draws the program's artwork: the transfer clip (a file travelling from a PC
// to a lighting desk) and the 32 x 32 window icon.
//
//   zo-make-artwork CLIP.avi ICON.png

#include "AviWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

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

QImage icon()
{
    QImage picture(32, 32, QImage::Format_RGB32);
    picture.fill(kPalette.at(0));
    QPainter p(&picture);
    p.setPen(colour(1));
    p.setBrush(colour(1));
    p.drawPolygon(QPolygon{QPoint(3, 20), QPoint(28, 20), QPoint(30, 30), QPoint(1, 30)});
    for (int i = 0; i < 4; ++i) {
        p.setPen(colour(5));
        p.setBrush(colour(5));
        p.drawRect(5 + i * 6, 23 + (i % 2) * 3, 3, 2);
    }
    drawPage(p, QPointF(9, 1), 1.0);
    p.end();
    return picture.convertToFormat(QImage::Format_RGB888);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CLIP.avi ICON.png\n", argv[0]);
        return 2;
    }
    QFile clip(QString::fromLocal8Bit(argv[1]));
    const QByteArray avi =
        AviWriter::write(clipFrames(), kFramesPerSecond, AviWriter::Encoding::Rle8);
    if (!clip.open(QIODevice::WriteOnly) || clip.write(avi) != avi.size() || !clip.flush()) {
        std::fprintf(stderr, "cannot write %s: %s\n", argv[1], qPrintable(clip.errorString()));
        return 1;
    }
    if (!icon().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
