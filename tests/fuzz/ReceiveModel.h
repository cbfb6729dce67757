#pragma once

#include <QByteArray>

#include <vector>

// A small model of how a receive frames the controller's stream, written
// apart from the engine to check it: blocks of 1024 counted from the first
// byte, the header check on the first 13, the marker at 1017 of a full block,
// and after three quiet seconds the tail with its marker at n - 7.
struct Piece
{
    QByteArray bytes;
    bool quietAfter = false; // the line falls silent for the inactivity time
};

struct ModelOutcome
{
    enum Kind
    {
        Saved,
        Lost,
        BadHeader,
        StillWaiting
    } kind = StillWaiting;
    QByteArray file;
};

inline ModelOutcome modelReceive(const std::vector<Piece> &pieces)
{
    QByteArray stream;
    bool headerOk = false;
    int blocks = 0;
    for (const Piece &piece : pieces) {
        stream += piece.bytes;
        if (!headerOk && stream.size() >= 13) {
            if (stream.left(13) != "GLOW ARRANGER")
                return {ModelOutcome::BadHeader, {}};
            headerOk = true;
        }
        while (headerOk && stream.size() >= 1024 * (blocks + 1)) {
            ++blocks;
            if (stream[1024 * (blocks - 1) + 1017] == ':')
                return {ModelOutcome::Saved, stream.left(1024 * blocks)};
        }
        if (piece.quietAfter && headerOk) {
            const qsizetype end = stream.size();
            const qsizetype waiting = end - (blocks == 0 ? 13 : 1024 * blocks);
            if (waiting >= 7 && stream[end - 7] == ':')
                return {ModelOutcome::Saved, stream.left(end)};
            return {ModelOutcome::Lost, {}};
        }
    }
    return {ModelOutcome::StillWaiting, {}};
}
