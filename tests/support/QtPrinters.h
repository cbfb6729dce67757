#pragma once

#include <QByteArray>
#include <QString>

#include <ostream>

// Failures show Qt's texts as text, not as arrays of 2-byte objects.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
