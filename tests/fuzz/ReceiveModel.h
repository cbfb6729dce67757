#pragma once

#include <QByteArray>

#include <vector>

// A small model of how a receive ends, written apart from the engine to
// check it: the header check on the first 13 bytes, and once the line falls
// quiet (three seconds, or the device going away) the whole stream is saved
// when ':' stands seven bytes before its last byte, wherever the blocks of
// 1024 fall; otherwise the connection was lost.
struct Piece
{
    QByteArray bytes;
    bool quietAfter = false;  // the line falls silent for the inactivity time
    bool hangUpAfter = false; // the device goes away
};

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
    for (const Piece &piece : pieces) {
        stream += piece.bytes;
        if (!headerOk && stream.size() >= 13) {
            if (stream.left(13) != "GLOW ARRANGER")
                return {ModelOutcome::BadHeader, {}};
            headerOk = true;
        }
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
