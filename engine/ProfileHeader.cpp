#include "ProfileHeader.h"

namespace ProfileHeader {

bool appliesTo(const QString &path)
{
    return path.contains(QLatin1String(".GAF"), Qt::CaseInsensitive);
}

QByteArray nameField(const QString &path)
{
    // Both separators end a folder name here: the program runs where '/' is
    // the separator, and a path typed with '\' still names its file last.
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    const QString base = path.mid(slash + 1);

    QByteArray field(kNameSize, ' ');
    for (int i = 0; i < kNameSize && i < base.size(); ++i) {
        char byte = char(base.at(i).unicode() & 0xFF);
        if (byte >= 'a' && byte <= 'z')
            byte = char(byte - 0x20);
        if (byte == '.')
            break; // the rest of the field stays blank
        field[i] = byte;
    }
    return field;
}

QByteArray build(const QString &path, quint32 length)
{
    QByteArray header(kMagic, kNameOffset);
    header += nameField(path);
    for (int shift = 0; shift < 32; shift += 8)
        header += char((length >> shift) & 0xFF);
    return header;
}

} // namespace ProfileHeader
