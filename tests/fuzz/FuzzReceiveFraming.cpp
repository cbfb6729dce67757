// Random streams cut into random pieces, with random quiet spells, fed to the
// real receive through the fake port and the manual clock; the ending must
// be the one the model predicts, and a failed receive must leave the earlier
// file untouched.
#include "DiskTarget.h"
#include "FakeCommPort.h"
#include "FakeFileDialog.h"
#include "FakeWindow.h"
#include "ManualTimer.h"
#include "ReceiveModel.h"
#include "TestFiles.h"
#include "TransferEngine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // Byte 0: whether the stream starts with a good header, and whether the
    // device goes away at the end instead of the line falling quiet; bytes
    // 1-2 seed the cutting and the pauses; the rest is the stream.
    QByteArray stream = (data[0] & 1) ? QByteArray("GLOW ARRANGER") : QByteArray();
    stream += QByteArray(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));
    quint32 seed = data[1] | data[2] << 8 | 0x10000u;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return seed;
    };
    std::vector<Piece> pieces;
    for (qsizetype at = 0; at < stream.size();) {
        qsizetype length = std::min<qsizetype>(1 + next() % 2100, stream.size() - at);
        // Now and then a piece ends where the stream looks complete, so that
        // the pause after it may be taken for an end.
        const bool atALookalikeEnd = next() % 3 == 0;
        for (qsizetype end = at + 1; atALookalikeEnd && end <= at + length; ++end) {
            if (end >= 7 && stream[end - 7] == ':') {
                length = end - at;
                break;
            }
        }
        Piece piece{stream.mid(at, length), next() % 8 == 0};
        if (!piece.quietAfter && next() % 4 == 0)
            piece.gapAfterMs = int(next() % kModelInactivityMs);
        pieces.push_back(piece);
        at += length;
    }
    if (data[0] & 2) {
        // In the end the device goes away, a while after the last byte, but
        // before the line has been quiet for the inactivity time.
        const int gap = pieces.empty() ? 0 : pieces.back().gapAfterMs;
        const int room = std::min(300, kModelInactivityMs - gap);
        pieces.push_back({{}, false, true, room > 1 ? int(next() % room) : 0});
    } else if (pieces.empty() || !pieces.back().quietAfter)
        pieces.push_back({{}, true}); // in the end the line falls quiet

    static QTemporaryDir dir;
    const QString target = QDir(dir.path()).filePath("backup.txt");
    check(!TestFiles::write(target, "earlier").isEmpty());

    ManualClock clock;
    FakeCommPort port(clock);
    FakeWindow window;
    ManualTimer timer1(clock), timer2(clock);
    FakeFileDialog dialog;
    FileSource source;
    DiskTarget disk;
    TransferEngine engine(port, window, timer1, timer2, dialog, source, disk);
    dialog.choose = target;
    engine.cmdReceive_Click();

    for (const Piece &piece : pieces) {
        port.arrive(piece.bytes);
        // A hang-up's pause comes before it; any other pause after the bytes.
        if (!piece.hangUpAfter)
            clock.advance(std::chrono::milliseconds(piece.gapAfterMs));
        if (piece.quietAfter)
            clock.advance(std::chrono::milliseconds(kModelInactivityMs));
        if (piece.hangUpAfter && port.PortOpen()) {
            clock.advance(std::chrono::milliseconds(piece.gapAfterMs));
            port.raise(CommEvents::comEventPortLost);
        }
        if (!port.PortOpen())
            break;
    }

    const ModelOutcome expected = modelReceive(pieces);
    switch (expected.kind) {
    case ModelOutcome::Saved:
        check(window.status == "File has been saved." && window.messages.isEmpty());
        check(TestFiles::read(target) == expected.file);
        break;
    case ModelOutcome::SavedBeforeAnother:
        check(window.status == "File has been saved." && window.messages.size() == 1 &&
              window.messages[0].startsWith("Another backup began"));
        check(TestFiles::read(target) == expected.file);
        break;
    case ModelOutcome::Lost:
        check(window.messages == QStringList{"Connection was lost."});
        check(TestFiles::read(target) == "earlier");
        break;
    case ModelOutcome::DeviceLost:
        check(
            window.messages.size() == 1 &&
            window.messages[0].startsWith("port disconnected error on com port, reset and retry"));
        check(TestFiles::read(target) == "earlier");
        break;
    case ModelOutcome::BadHeader:
        check(window.messages == QStringList{"header data error, reset and retry"});
        check(TestFiles::read(target) == "earlier");
        break;
    case ModelOutcome::StillWaiting:
        check(port.PortOpen() && engine.state().RxState == 1);
        engine.cmdCancel_Click();
        check(TestFiles::read(target) == "earlier");
        break;
    }
    check(!port.PortOpen() && !engine.state().FileOpen);
    check(QDir(dir.path()).entryList(QDir::Files) == QStringList{"backup.txt"});
    return 0;
}
