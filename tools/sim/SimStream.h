#pragma once

#include <QByteArray>

struct ProfileReport
{
    bool hasHeader = false;
    QByteArray name; // the 8-byte name field
    quint32 declaredLength = 0;
    QByteArray payload; // what follows the header, or everything
};

namespace SimStream {
// A backup stream of length bytes: "GLOW ARRANGER", data without ':', the end
// marker ':' at length - 7 and six trailing bytes. With markerAt, the one ':'
// stands there instead, or nowhere when markerAt lies outside the data. The
// one generator of the simulator, the tests and the benchmarks.
QByteArray generate(qint64 length, qint64 markerAt = -1);
// What the program sent: a fixture profile header, if there is one, and the rest.
ProfileReport inspect(const QByteArray &data);
} // namespace SimStream
