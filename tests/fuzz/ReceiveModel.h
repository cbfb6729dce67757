#pragma once

#include <QByteArray>

#include <vector>

// A small model of how a receive ends, written apart from the engine to
// check it: the header check on the first 13 bytes, and once the line falls
// quiet (three seconds after its last byte, or the device going away after
// at least a tenth of a second without a byte) the whole stream is saved
// when ':' stands seven bytes before its last byte, wherever the blocks of
// 1024 fall; otherwise the connection was lost. A device that goes away
// sooner after a byte may have taken more with it: it is lost.
struct Piece
{
    QByteArray bytes;
    bool quietAfter = false;  // the line falls silent for the inactivity time
    bool hangUpAfter = false; // the device goes away
    int gapAfterMs = 0;       // a pause shorter than the inactivity time
};

constexpr int kModelInactivityMs = 3000;
constexpr int kModelQuietBeforeLossMs = 100;

struct ModelOutcome
{
    enum Kind
    {
        Saved,
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
    int quietMs = 0; // since the last byte
    for (const Piece &piece : pieces) {
        quietMs = piece.bytes.isEmpty() ? quietMs + piece.gapAfterMs : piece.gapAfterMs;
        stream += piece.bytes;
        if (!headerOk && stream.size() >= 13) {
            if (stream.left(13) != "GLOW ARRANGER")
                return {ModelOutcome::BadHeader, {}};
            headerOk = true;
        }
        if (piece.hangUpAfter && quietMs < kModelQuietBeforeLossMs)
            return {ModelOutcome::DeviceLost, {}};
        if ((piece.quietAfter || piece.hangUpAfter) && headerOk) {
            const qsizetype end = stream.size();
            if (stream[end - 7] == ':')
                return {ModelOutcome::Saved, stream};
            return {piece.hangUpAfter ? ModelOutcome::DeviceLost : ModelOutcome::Lost, {}};
        }
        if (piece.hangUpAfter)
            return {ModelOutcome::DeviceLost, {}};
    }
    return {ModelOutcome::StillWaiting, {}};
}
