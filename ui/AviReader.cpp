#include "AviReader.h"

#include <QFile>

#include <algorithm>

namespace {

constexpr quint32 kBiRgb = 0;
constexpr quint32 kBiRle8 = 1;
constexpr int kMaxListDepth = 4;

quint32 le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

quint16 le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16(u[0] | u[1] << 8);
}

// A view into the file's bytes; every access stays inside it.
struct Span
{
    const char *data = nullptr;
    qint64 size = 0;
};

struct Parsed
{
    bool haveAvih = false;
    quint32 microSecPerFrame = 0;
    bool haveVideo = false;    // the first video stream's header was seen
    bool inFirstVideo = false; // the stream list being read is that stream
    quint32 scale = 0, rate = 0;
    bool haveFormat = false;
    qint32 width = 0, height = 0;
    quint16 bitCount = 0;
    quint32 compression = 0;
    QList<QRgb> palette;
    QList<Span> frames;
    int streamIndex = 0;
};

class Parser
{
  public:
    QString error;

    bool walk(Span span, int depth, Parsed &out)
    {
        if (depth > kMaxListDepth)
            return fail(QStringLiteral("lists nested too deeply"));
        qint64 pos = 0;
        while (pos + 8 <= span.size) {
            const char *head = span.data + pos;
            const QByteArray id(head, 4);
            const qint64 size = le32(head + 4);
            if (size > span.size - pos - 8)
                return fail(QStringLiteral("chunk '%1' runs past the end of its list")
                                .arg(QString::fromLatin1(id.toHex())));
            const Span payload{head + 8, size};
            if (id == "LIST") {
                if (size < 4)
                    return fail(QStringLiteral("list without a type"));
                const QByteArray type(payload.data, 4);
                const Span inner{payload.data + 4, size - 4};
                if (type == "strl") {
                    out.inFirstVideo = false;
                    if (!walk(inner, depth + 1, out))
                        return false;
                    out.inFirstVideo = false;
                    ++out.streamIndex;
                } else if (!walk(inner, depth + 1, out)) {
                    return false;
                }
            } else if (!chunk(id, payload, out)) {
                return false;
            }
            pos += 8 + size + (size & 1);
        }
        return true;
    }

  private:
    bool fail(const QString &why)
    {
        error = why;
        return false;
    }

    bool chunk(const QByteArray &id, Span p, Parsed &out)
    {
        if (id == "avih") {
            if (p.size < 40)
                return fail(QStringLiteral("main header too short"));
            out.haveAvih = true;
            out.microSecPerFrame = le32(p.data);
        } else if (id == "strh") {
            if (p.size < 32)
                return fail(QStringLiteral("stream header too short"));
            if (!out.haveVideo && QByteArray(p.data, 4) == "vids") {
                out.haveVideo = true;
                out.inFirstVideo = true;
                out.scale = le32(p.data + 20);
                out.rate = le32(p.data + 24);
            }
        } else if (id == "strf" && out.inFirstVideo && !out.haveFormat) {
            return format(p, out);
        } else if ((id.endsWith("db") || id.endsWith("dc")) && isDigit(id[0]) && isDigit(id[1])) {
            const int stream = (id[0] - '0') * 10 + (id[1] - '0');
            if (out.haveVideo && stream == 0) { // the files we read put the video stream first
                if (out.frames.size() >= AviReader::kMaxFrames)
                    return fail(QStringLiteral("too many frames"));
                out.frames.append(p);
            }
        }
        return true;
    }

    bool format(Span p, Parsed &out)
    {
        if (p.size < 40)
            return fail(QStringLiteral("picture format too short"));
        const quint32 headerSize = le32(p.data);
        if (headerSize < 40 || headerSize > p.size)
            return fail(QStringLiteral("picture format size is wrong"));
        out.width = qint32(le32(p.data + 4));
        out.height = qint32(le32(p.data + 8));
        out.bitCount = le16(p.data + 14);
        out.compression = le32(p.data + 16);
        const quint32 colorsUsed = le32(p.data + 32);
        if (out.width <= 0 || out.width > AviReader::kMaxDimension || out.height == 0 ||
            out.height < -AviReader::kMaxDimension || out.height > AviReader::kMaxDimension)
            return fail(QStringLiteral("picture size out of range"));
        const bool rgb8 = out.compression == kBiRgb && out.bitCount == 8;
        const bool rgb24 = out.compression == kBiRgb && out.bitCount == 24;
        const bool rle8 = out.compression == kBiRle8 && out.bitCount == 8;
        if (!rgb8 && !rgb24 && !rle8)
            return fail(QStringLiteral("unsupported picture format"));
        if (rle8 && out.height < 0)
            return fail(QStringLiteral("compressed pictures must be stored bottom-up"));
        if (out.bitCount == 8) {
            const qint64 colors = colorsUsed == 0 ? 256 : colorsUsed;
            if (colors > 256 || headerSize + colors * 4 > p.size)
                return fail(QStringLiteral("palette out of range"));
            for (qint64 i = 0; i < colors; ++i) {
                const auto *c =
                    reinterpret_cast<const unsigned char *>(p.data + headerSize + i * 4);
                out.palette.append(qRgb(c[2], c[1], c[0]));
            }
            while (out.palette.size() < 256)
                out.palette.append(qRgb(0, 0, 0));
        }
        out.haveFormat = true;
        return true;
    }
};

qint64 strideFor(int width, int bits)
{
    return ((qint64(width) * bits + 31) / 32) * 4;
}

bool decodeRgb(const Parsed &f, Span p, QImage &image)
{
    const int w = f.width, h = std::abs(f.height);
    const qint64 stride = strideFor(w, f.bitCount);
    if (p.size < stride * h)
        return false;
    for (int row = 0; row < h; ++row) {
        const int y = f.height > 0 ? h - 1 - row : row;
        const auto *src = reinterpret_cast<const unsigned char *>(p.data + stride * row);
        auto *dst = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (f.bitCount == 8)
                dst[x] = f.palette[src[x]];
            else
                dst[x] = qRgb(src[x * 3 + 2], src[x * 3 + 1], src[x * 3]);
        }
    }
    return true;
}

// RLE8 draws onto the previous picture's palette indices (bottom-up rows).
bool decodeRle8(const Parsed &f, Span p, QByteArray &indices)
{
    const int w = f.width, h = f.height;
    const auto *src = reinterpret_cast<const unsigned char *>(p.data);
    qint64 i = 0;
    int x = 0, row = 0;
    auto put = [&](unsigned char value) {
        if (x < w && row < h)
            indices[qsizetype(row) * w + x] = char(value);
        ++x;
    };
    while (i + 2 <= p.size) {
        const unsigned char count = src[i], value = src[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k)
                put(value);
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++row;
            break;
        case 1: // end of picture
            return true;
        case 2: // move right and up
            if (i + 2 > p.size)
                return false;
            x += src[i];
            row += src[i + 1];
            i += 2;
            break;
        default: { // a run of literal bytes, padded to a 16-bit boundary
            const int n = value;
            if (i + n > p.size)
                return false;
            for (int k = 0; k < n; ++k)
                put(src[i + k]);
            i += n + (n & 1);
        }
        }
        if (row > h)
            return false;
    }
    return true; // a picture may end without its end marker
}

} // namespace

std::optional<AviClip> AviReader::read(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > kMaxFileSize) {
        if (error)
            *error = QStringLiteral("the clip is too large");
        return std::nullopt;
    }
    return parse(file.readAll(), error);
}

std::optional<AviClip> AviReader::parse(const QByteArray &data, QString *error)
{
    auto failed = [error](const QString &why) -> std::optional<AviClip> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (data.size() > kMaxFileSize)
        return failed(QStringLiteral("the clip is too large"));
    if (data.size() < 12 || !data.startsWith("RIFF") || data.mid(8, 4) != "AVI ")
        return failed(QStringLiteral("not an AVI file"));
    const qint64 riffSize = le32(data.constData() + 4);
    if (riffSize < 4 || riffSize > data.size() - 8)
        return failed(QStringLiteral("the file is truncated"));

    Parsed parsed;
    Parser parser;
    if (!parser.walk(Span{data.constData() + 12, riffSize - 4}, 0, parsed))
        return failed(parser.error);
    if (!parsed.haveAvih || !parsed.haveVideo || !parsed.haveFormat)
        return failed(QStringLiteral("no video stream"));
    if (parsed.frames.isEmpty())
        return failed(QStringLiteral("the clip has no frames"));
    const int w = parsed.width, h = std::abs(parsed.height);
    if (qint64(w) * h * 4 * parsed.frames.size() > kMaxDecodedBytes)
        return failed(QStringLiteral("the clip is too large"));

    AviClip clip;
    qint64 micros = parsed.microSecPerFrame;
    if (micros == 0 && parsed.rate != 0 && parsed.scale != 0)
        micros = qint64(parsed.scale) * 1'000'000 / parsed.rate;
    clip.frameDuration =
        std::chrono::microseconds(std::clamp<qint64>(micros ? micros : 66'667, 10'000, 10'000'000));

    QByteArray indices(qsizetype(w) * h, '\0');
    for (const Span &frame : std::as_const(parsed.frames)) {
        QImage image(w, h, QImage::Format_RGB32);
        if (parsed.compression == kBiRle8) {
            if (!decodeRle8(parsed, frame, indices))
                return failed(QStringLiteral("a compressed frame is damaged"));
            for (int row = 0; row < h; ++row) {
                auto *dst = reinterpret_cast<QRgb *>(image.scanLine(h - 1 - row));
                const auto *src = reinterpret_cast<const unsigned char *>(indices.constData()) +
                                  qsizetype(row) * w;
                for (int x = 0; x < w; ++x)
                    dst[x] = parsed.palette[src[x]];
            }
        } else if (frame.size == 0 && !clip.frames.isEmpty()) {
            image = clip.frames.constLast(); // an empty chunk repeats the picture before it
        } else if (!decodeRgb(parsed, frame, image)) {
            return failed(QStringLiteral("a frame is shorter than its picture"));
        }
        clip.frames.append(image);
    }
    return clip;
}
