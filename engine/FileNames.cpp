#include "FileNames.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileNames {

namespace {
constexpr char16_t kKeptByte = 0xDC00;

bool isKeptByte(QChar c)
{
    return c.unicode() >= kKeptByte + 0x80 && c.unicode() <= kKeptByte + 0xFF;
}

// The length of the well-formed UTF-8 sequence at data[at], 0 for none
// (overlong forms, encoded surrogates and code points past U+10FFFF are not).
int sequenceAt(const QByteArray &data, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return quint8(data[i]); };
    const quint8 lead = byte(at);
    const qsizetype left = data.size() - at;
    const auto next = [&](qsizetype i, quint8 low, quint8 high) {
        return i < left && byte(at + i) >= low && byte(at + i) <= high;
    };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return next(1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const quint8 low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        return next(1, low, high) && next(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const quint8 low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        return next(1, low, high) && next(2, 0x80, 0xBF) && next(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

bool exists(const QString &path)
{
    struct stat info;
    return ::lstat(toNative(path).constData(), &info) == 0;
}

// The entries of folder whose name Qt shows as shown.
QStringList entriesShownAs(const QString &folder, const QString &shown)
{
    QStringList found;
    DIR *dir = ::opendir(toNative(folder.isEmpty() ? QStringLiteral("/") : folder).constData());
    if (!dir)
        return found;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (QFile::decodeName(name) == shown)
            found << fromNative(name);
    }
    ::closedir(dir);
    return found;
}
} // namespace

QString fromNative(const QByteArray &name)
{
    QString text;
    text.reserve(name.size());
    for (qsizetype at = 0; at < name.size();) {
        const int length = sequenceAt(name, at);
        if (length == 0) {
            text += QChar(char16_t(kKeptByte + quint8(name[at])));
            ++at;
            continue;
        }
        text += QString::fromUtf8(name.constData() + at, length);
        at += length;
    }
    return text;
}

QByteArray toNative(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype from = 0; // the start of the text not yet encoded
    for (qsizetype at = 0; at <= name.size(); ++at) {
        if (at < name.size() && !isKeptByte(name[at]))
            continue;
        bytes += QStringView(name).mid(from, at - from).toUtf8();
        if (at < name.size())
            bytes += char(name[at].unicode() - kKeptByte);
        from = at + 1;
    }
    return bytes;
}

QString printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    const auto escaped = [](int byte) {
        return QStringLiteral("\\x") +
               QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    };
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (isKeptByte(c))
            shown += escaped(u - kKeptByte);
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            shown += escaped(u);
        else
            shown += c;
    }
    return shown;
}

QString absolute(const QString &path)
{
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    QByteArray here(4096, '\0');
    while (!::getcwd(here.data(), size_t(here.size())) && errno == ERANGE)
        here.resize(here.size() * 2);
    return QDir::cleanPath(fromNative(here.constData()) + QLatin1Char('/') + path);
}

QString fileName(const QString &path)
{
    return path.section(QLatin1Char('/'), -1);
}

QString fromDialog(const QString &path)
{
    if (!path.contains(QChar::ReplacementCharacter) || exists(path))
        return path;
    const QStringList parts = path.split(QLatin1Char('/'));
    QString resolved = parts.first();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        QString next = resolved + QLatin1Char('/') + parts[i];
        if (parts[i].contains(QChar::ReplacementCharacter) && !exists(next)) {
            const QStringList found = entriesShownAs(resolved, parts[i]);
            if (found.size() != 1)
                return path;
            next = resolved + QLatin1Char('/') + found.first();
        }
        resolved = next;
    }
    return resolved;
}

} // namespace FileNames
