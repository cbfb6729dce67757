#include "ProfileHeader.h"

#include <QList>

#include <algorithm>

namespace ProfileHeader {

namespace {
// The file's own name: after the last '\' or '/'. Both separators end a
// folder name here: the program runs where '/' is the separator, and a path
// typed with '\' still names its file last.
QString fileName(const QString &path)
{
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    return path.mid(slash + 1);
}

// What the desk shows for one character of a name: printable ASCII as it
// is, a-z upper-cased, a letter with marks as its ASCII base letter
// ("é" is 'E'), anything else as the placeholder.
char deskCharacter(char32_t character)
{
    if (character >= 0x80) {
        const QString decomposed =
            QString::fromUcs4(&character, 1).normalized(QString::NormalizationForm_KD);
        const char16_t base = decomposed.isEmpty() ? 0 : decomposed.at(0).unicode();
        const bool asciiLetter = (base >= 'a' && base <= 'z') || (base >= 'A' && base <= 'Z');
        character = asciiLetter ? base : char32_t(kPlaceholder);
    }
    if (character < 0x20 || character == 0x7F)
        return kPlaceholder;
    if (character >= 'a' && character <= 'z')
        return char(character - 0x20);
    return char(character);
}
} // namespace

bool appliesTo(const QString &path)
{
    return fileName(path).contains(QLatin1String(".GAF"), Qt::CaseInsensitive);
}

QByteArray nameField(const QString &path)
{
    QByteArray field(kNameSize, ' ');
    int at = 0;
    for (const uint character : fileName(path).toUcs4()) {
        if (character == '.' || at == kNameSize)
            break; // the rest of the field stays blank
        field[at++] = deskCharacter(character);
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
