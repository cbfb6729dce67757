#include "SimStream.h"

#include <QtEndian>

namespace SimStream {

QByteArray generate(qint64 length, qint64 markerAt)
{
    QByteArray stream = QByteArray("GLOW ARRANGER").left(length);
    stream.reserve(length);
    quint32 state = 0x2545F491;
    while (stream.size() < length) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        char byte = char(state & 0xFF);
        if (byte == ':')
            byte = ';';
        stream += byte;
    }
    if (markerAt < 0)
        markerAt = length - 7;
    if (markerAt >= 13 && markerAt < length)
        stream[markerAt] = ':';
    return stream;
}

ProfileReport inspect(const QByteArray &data)
{
    ProfileReport report;
    static const QByteArray magic("GLOW ARRANGER 2 FIXTURE PROFILE");
    if (data.size() >= 43 && data.startsWith(magic)) {
        report.hasHeader = true;
        report.name = data.mid(31, 8);
        report.declaredLength = qFromLittleEndian<quint32>(data.constData() + 39);
        report.payload = data.mid(43);
    } else {
        report.payload = data;
    }
    return report;
}

} // namespace SimStream
