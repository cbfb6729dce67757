#include "AviWriter.h"

#include <QtEndian>

namespace AviWriter {
namespace {

void put32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void put16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

QByteArray chunk(const char *id, const QByteArray &payload)
{
    QByteArray out(id, 4);
    put32(out, quint32(payload.size()));
    out += payload;
    if (payload.size() & 1)
        out += '\0';
    return out;
}

QByteArray list(const char *type, const QByteArray &children)
{
    return chunk("LIST", QByteArray(type, 4) + children);
}

QByteArray uncompressed24(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    const int stride = (image.width() * 3 + 3) & ~3;
    QByteArray out;
    for (int y = image.height() - 1; y >= 0; --y) {
        const uchar *src = image.constScanLine(y);
        QByteArray row(stride, '\0');
        for (int x = 0; x < image.width(); ++x) {
            row[x * 3] = char(src[x * 3 + 2]);
            row[x * 3 + 1] = char(src[x * 3 + 1]);
            row[x * 3 + 2] = char(src[x * 3]);
        }
        out += row;
    }
    return out;
}

QByteArray uncompressed(const QImage &image)
{
    const int stride = (image.width() + 3) & ~3;
    QByteArray out;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(reinterpret_cast<const char *>(image.constScanLine(y)), image.width());
        row.resize(stride, '\0');
        out += row;
    }
    return out;
}

} // namespace

QByteArray encodeRle8(const QImage &image)
{
    QByteArray out;
    for (int y = image.height() - 1; y >= 0; --y) {
        const uchar *row = image.constScanLine(y);
        int x = 0;
        while (x < image.width()) {
            int run = 1;
            while (x + run < image.width() && run < 255 && row[x + run] == row[x])
                ++run;
            out += char(run);
            out += char(row[x]);
            x += run;
        }
        out += '\0';
        out += '\0'; // end of line
    }
    out += '\0';
    out += '\1'; // end of picture
    return out;
}

QByteArray write(const QList<QImage> &frames, int framesPerSecond, Encoding encoding)
{
    const QImage &first = frames.constFirst();
    const int width = first.width(), height = first.height();
    const bool rgb = encoding == Encoding::Rgb24;
    const QList<QRgb> palette = rgb ? QList<QRgb>() : first.colorTable();
    const bool rle = encoding == Encoding::Rle8;

    QByteArray movi;
    QByteArray index;
    quint32 largest = 0;
    for (const QImage &frame : frames) {
        const QByteArray data =
            rle ? encodeRle8(frame) : (rgb ? uncompressed24(frame) : uncompressed(frame));
        largest = std::max(largest, quint32(data.size()));
        index += QByteArray(rle ? "00dc" : "00db", 4);
        put32(index, 0x10); // key frame
        put32(index, quint32(4 + movi.size()));
        put32(index, quint32(data.size()));
        movi += chunk(rle ? "00dc" : "00db", data);
    }

    QByteArray avih;
    put32(avih, quint32(1'000'000 / framesPerSecond));
    put32(avih, largest * quint32(framesPerSecond)); // max bytes per second
    put32(avih, 0);                                  // padding granularity
    put32(avih, 0x10);                               // has index
    put32(avih, quint32(frames.size()));
    put32(avih, 0); // initial frames
    put32(avih, 1); // streams
    put32(avih, largest);
    put32(avih, quint32(width));
    put32(avih, quint32(height));
    for (int i = 0; i < 4; ++i)
        put32(avih, 0);

    QByteArray strh("vids", 4);
    strh += rle ? QByteArray("mrle", 4) : QByteArray("\0\0\0\0", 4);
    put32(strh, 0); // flags
    put16(strh, 0); // priority
    put16(strh, 0); // language
    put32(strh, 0); // initial frames
    put32(strh, 1); // scale
    put32(strh, quint32(framesPerSecond));
    put32(strh, 0); // start
    put32(strh, quint32(frames.size()));
    put32(strh, largest);
    put32(strh, 0xFFFFFFFF); // quality
    put32(strh, 0);          // sample size
    put16(strh, 0);
    put16(strh, 0);
    put16(strh, quint16(width));
    put16(strh, quint16(height));

    QByteArray strf;
    put32(strf, 40);
    put32(strf, quint32(width));
    put32(strf, quint32(height));
    put16(strf, 1);
    put16(strf, rgb ? 24 : 8);
    put32(strf, rle ? 1 : 0);
    put32(strf, quint32(((width * (rgb ? 3 : 1) + 3) & ~3) * height));
    put32(strf, 0);
    put32(strf, 0);
    put32(strf, quint32(palette.size()));
    put32(strf, 0);
    for (QRgb c : palette) {
        strf += char(qBlue(c));
        strf += char(qGreen(c));
        strf += char(qRed(c));
        strf += '\0';
    }

    const QByteArray hdrl =
        list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));
    const QByteArray body =
        QByteArray("AVI ", 4) + hdrl + list("movi", movi) + chunk("idx1", index);
    QByteArray file("RIFF", 4);
    put32(file, quint32(body.size()));
    return file + body;
}

} // namespace AviWriter
