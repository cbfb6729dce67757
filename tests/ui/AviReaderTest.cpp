// The clip reader on the shipped clip, on clips of each supported kind, and on
// damaged copies: it must fail cleanly, never crash or hang.
#include "AviReader.h"
#include "AviWriter.h"
#include "Rows.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

QByteArray shippedClip()
{
    QFile file(QStringLiteral(ZO_SOURCE_DATA_DIR "/filemove.avi"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QImage> testFrames(int count, int width, int height)
{
    const QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    QList<QImage> frames;
    for (int f = 0; f < count; ++f) {
        QImage image(width, height, QImage::Format_Indexed8);
        image.setColorTable(palette);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, uint((x / 3 + y + f) % 4));
        frames.append(image);
    }
    return frames;
}

// Offsets of every chunk header in a RIFF file, walking into lists.
void chunkOffsets(const QByteArray &data, qsizetype begin, qsizetype end, QList<qsizetype> &out)
{
    qsizetype pos = begin;
    while (pos + 8 <= end) {
        out.append(pos);
        const quint32 size = qFromLittleEndian<quint32>(data.constData() + pos + 4);
        if (data.mid(pos, 4) == "LIST")
            chunkOffsets(data, pos + 12, std::min<qsizetype>(pos + 8 + size, end), out);
        pos += 8 + size + (size & 1);
    }
}

void setRiffSize(QByteArray &data)
{
    qToLittleEndian<quint32>(quint32(data.size() - 8), data.data() + 4);
}

TEST(AviReader, ReadsTheShippedClip)
{
    QString error;
    const auto clip = AviReader::parse(shippedClip(), &error);
    ASSERT_TRUE(clip) << error.toStdString();
    EXPECT_GE(clip->frames.size(), 10);
    EXPECT_EQ(clip->frames[0].size(), QSize(273, 73));
    EXPECT_NEAR(double(clip->frameDuration.count()) * clip->frames.size(), 1e6, 0.2e6)
        << "about one second";
    EXPECT_NE(clip->frames.first(), clip->frames.at(clip->frames.size() / 2)) << "it moves";
}

using EncodingTest = ::testing::TestWithParam<AviWriter::Encoding>;

TEST_P(EncodingTest, DecodesToTheSamePictures)
{
    const QList<QImage> frames = testFrames(3, 13, 5); // odd width: rows are padded
    QString error;
    const auto clip = AviReader::parse(AviWriter::write(frames, 10, GetParam()), &error);
    ASSERT_TRUE(clip) << error.toStdString();
    ASSERT_EQ(clip->frames.size(), 3);
    EXPECT_EQ(clip->frameDuration.count(), 100000);
    for (int f = 0; f < 3; ++f)
        EXPECT_EQ(clip->frames[f], frames[f].convertToFormat(QImage::Format_RGB32)) << f;
}

INSTANTIATE_TEST_SUITE_P(AviReader, EncodingTest,
                         ::testing::Values(AviWriter::Encoding::Uncompressed8,
                                           AviWriter::Encoding::Rle8, AviWriter::Encoding::Rgb24));

TEST(AviReader, TruncatedAtEveryChunkBoundaryFailsCleanly)
{
    const QByteArray good = shippedClip();
    QList<qsizetype> offsets;
    chunkOffsets(good, 12, good.size(), offsets);
    ASSERT_GT(offsets.size(), 10);
    for (qsizetype cut : offsets) {
        for (qsizetype extra : {0, 4, 9}) {
            QByteArray damaged = good.left(cut + extra);
            EXPECT_FALSE(AviReader::parse(damaged)) << "cut at " << cut + extra;
            setRiffSize(damaged); // claims to be whole: the parser must find the damage itself
            QString error;
            const auto clip = AviReader::parse(damaged, &error);
            if (clip) { // a cut between whole frames leaves a shorter, valid clip
                EXPECT_FALSE(clip->frames.isEmpty());
            } else {
                EXPECT_FALSE(error.isEmpty());
            }
        }
    }
}

TEST(AviReader, NonsenseSizesAreRejected)
{
    const QByteArray good = AviWriter::write(testFrames(2, 8, 4), 10, AviWriter::Encoding::Rle8);
    auto patched = [&](const QByteArray &id, int offset, quint32 value) {
        QByteArray data = good;
        const qsizetype at = data.indexOf(id);
        EXPECT_GE(at, 0);
        qToLittleEndian<quint32>(value, data.data() + at + offset);
        return data;
    };
    const std::vector<std::pair<const char *, QByteArray>> cases = {
        {"riff size beyond the file", patched("RIFF", 4, 0xFFFFFFF0)},
        {"chunk size past its list", patched("avih", 4, 0x7FFFFFFF)},
        {"frame size past the file", patched("00dc", 4, 0xFFFFFFFF)},
        {"huge width", patched("strf", 12, 100000)},
        {"negative width", patched("strf", 12, 0xFFFFFFFF)},
        {"zero height", patched("strf", 16, 0)},
        {"bigger palette than it holds", patched("strf", 40, 100000)},
        {"unknown compression", patched("strf", 24, 0x34363248)},
        {"format header larger than the chunk", patched("strf", 8, 4096)},
    };
    for (const auto &[label, data] : cases) {
        QString error;
        EXPECT_FALSE(AviReader::parse(data, &error)) << label;
        EXPECT_FALSE(error.isEmpty()) << label;
    }
}

TEST(AviReader, ClipWithoutFramesOrVideoIsRejected)
{
    QByteArray noFrames = AviWriter::write(testFrames(1, 8, 4), 10, AviWriter::Encoding::Rle8);
    const qsizetype frame = noFrames.indexOf("00dc");
    noFrames[frame] = 'J'; // the only frame becomes an unknown chunk
    EXPECT_FALSE(AviReader::parse(noFrames));

    QByteArray audioOnly = AviWriter::write(testFrames(1, 8, 4), 10, AviWriter::Encoding::Rle8);
    audioOnly.replace(audioOnly.indexOf("vids"), 4, "auds");
    EXPECT_FALSE(AviReader::parse(audioOnly));

    for (const QByteArray &junk : {QByteArray(), QByteArray("RIFF"), QByteArray(100, '\xFF'),
                                   QByteArray("RIFF\x04\0\0\0AVI ", 12)})
        EXPECT_FALSE(AviReader::parse(junk));
}

TEST(AviReader, RunsThatOverflowThePictureAreContained)
{
    // Runs far past the right edge and deltas below the last row.
    QByteArray frame;
    for (int i = 0; i < 50; ++i)
        frame += QByteArray("\xFF\x01", 2);
    frame += QByteArray("\0\x02\xFF\xFF", 4);
    frame += QByteArray("\0\x05\x01\x02\x03\x04\x05\0", 8);
    QByteArray data = AviWriter::write(testFrames(1, 8, 4), 10, AviWriter::Encoding::Rle8);
    const qsizetype at = data.indexOf("00dc");
    const quint32 oldSize = qFromLittleEndian<quint32>(data.constData() + at + 4);
    data.replace(at + 8, oldSize + (oldSize & 1), frame);
    qToLittleEndian<quint32>(quint32(frame.size()), data.data() + at + 4);
    // The surrounding list sizes no longer match; fix the RIFF and movi sizes.
    const qsizetype movi = data.indexOf("movi") - 8;
    qToLittleEndian<quint32>(quint32(data.indexOf("idx1") - movi - 8), data.data() + movi + 4);
    setRiffSize(data);
    EXPECT_FALSE(AviReader::parse(data)) << "a delta beyond the picture is damage";
}

TEST(AviReader, RefusesFilesLargerThanAClipCanBe)
{
    EXPECT_FALSE(AviReader::read(QStringLiteral("/nonexistent/filemove.avi")));
    QByteArray huge = shippedClip();
    huge.resize(AviReader::kMaxFileSize + 1);
    QString error;
    EXPECT_FALSE(AviReader::parse(huge, &error));
    EXPECT_EQ(error, QString("the clip is too large"));
}

} // namespace
