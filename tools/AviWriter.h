#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

// Writes a silent AVI clip of 8-bit palette frames, uncompressed or RLE8.
namespace AviWriter {
enum class Encoding
{
    Uncompressed8,
    Rle8,
    Rgb24
};

// Frames must all be of one size: Format_Indexed8 with one colour table for
// the 8-bit encodings, any RGB format for Rgb24.
QByteArray write(const QList<QImage> &frames, int framesPerSecond, Encoding encoding);

// One picture as RLE8 (bottom-up rows), ending with the end-of-picture code.
QByteArray encodeRle8(const QImage &indexed);
} // namespace AviWriter
