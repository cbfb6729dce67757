#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

// A silent AVI clip decoded into pictures.
struct AviClip
{
    std::chrono::microseconds frameDuration{66'667};
    QList<QImage> frames; // all of the clip's size, Format_RGB32
};

// Reads RIFF AVI files whose first video stream holds uncompressed 8-bit
// (palette) or 24-bit frames, or RLE8-compressed frames. The input is not
// trusted: every size and offset is checked against the data, sizes are
// capped, and anything truncated, oversized or inconsistent fails with a
// reason instead of being guessed at.
class AviReader
{
  public:
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;
    static constexpr int kMaxDimension = 2048;
    static constexpr int kMaxFrames = 2000;
    static constexpr qint64 kMaxDecodedBytes = 64 * 1024 * 1024;

    static std::optional<AviClip> read(const QString &path, QString *error = nullptr);
    static std::optional<AviClip> parse(const QByteArray &data, QString *error = nullptr);
};
