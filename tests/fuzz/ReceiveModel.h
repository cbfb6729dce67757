#pragma once

#include <QByteArray>

#include <vector>

// A small model of how a receive ends, written apart from the engine to
// check it: the header check on the first 13 bytes; once the line falls
// quiet for three seconds after its last byte the whole stream is saved when
// ':' stands seven bytes before its last byte, wherever the blocks of 1024
// fall, and otherwise the connection was lost. A device that goes away
// before then may have taken bytes with it: nothing is saved. Where the
// stream looks complete at a pause of a tenth of a second or more and the
// 13 bytes after it are a new header, the first backup ends there (saved,
// and the second said not to have been received).
struct Piece
{
    QByteArray bytes;
    bool quietAfter = false;  // the line falls silent for the inactivity time
    bool hangUpAfter = false; // the device goes away
    int gapAfterMs = 0;       // a pause shorter than the inactivity time
};

constexpr int kModelInactivityMs = 3000;
constexpr int kModelPauseMs = 100;

struct ModelOutcome
{
    enum Kind
    {
        Saved,
        SavedBeforeAnother, // a second backup began after a pause
        Lost,
        DeviceLost,
        BadHeader,
        StillWaiting
    } kind = StillWaiting;
    QByteArray file;
};

inline ModelOutcome modelReceive(const std::vector<Piece> &pieces)
{
    QByteArray stream;
    bool headerOk = false;
    qsizetype lookalikeEnd = -1; // where the stream looked complete at a pause
    const auto looksComplete = [&] {
        return stream.size() >= 7 && stream[stream.size() - 7] == ':';
    };
    for (const Piece &piece : pieces) {
        stream += piece.bytes;
        if (!headerOk && stream.size() >= 13) {
            if (stream.left(13) != "GLOW ARRANGER")
                return {ModelOutcome::BadHeader, {}};
            headerOk = true;
        }
        if (lookalikeEnd >= 0 && stream.size() >= lookalikeEnd + 13) {
            if (stream.mid(lookalikeEnd, 13) == "GLOW ARRANGER")
                return {ModelOutcome::SavedBeforeAnother, stream.left(lookalikeEnd)};
            lookalikeEnd = -1;
        }
        if (piece.hangUpAfter)
            return {ModelOutcome::DeviceLost, {}};
        if (piece.quietAfter && headerOk) {
            if (looksComplete())
                return {ModelOutcome::Saved, stream};
            return {ModelOutcome::Lost, {}};
        }
        // Pieces with bytes are followed by their pause; one without is a
        // pause that goes on from the last.
        if (headerOk && lookalikeEnd < 0 && piece.gapAfterMs >= kModelPauseMs &&
            stream.size() > 13 && looksComplete())
            lookalikeEnd = stream.size();
    }
    return {ModelOutcome::StillWaiting, {}};
}
