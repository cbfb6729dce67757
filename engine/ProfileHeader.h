#pragma once

#include <QByteArray>
#include <QString>

// The 43 bytes that go ahead of a fixture profile:
//   0..30  "GLOW ARRANGER 2 FIXTURE PROFILE"
//   31..38 name field: the file's name up to its first '.', at most 8
//          characters, padded with spaces. Only printable ASCII goes in: a-z
//          upper-cased, a letter with marks as its base letter ("é" is 'E'),
//          anything else (other scripts, symbols, control characters) as '_'.
//   39..42 file length, unsigned 32-bit, least significant byte first
namespace ProfileHeader {
constexpr int kSize = 43;
constexpr int kNameOffset = 31;
constexpr int kNameSize = 8;
constexpr int kLengthOffset = 39;
inline constexpr char kMagic[] = "GLOW ARRANGER 2 FIXTURE PROFILE";
constexpr char kPlaceholder = '_';

// True for a path whose file name holds ".GAF" anywhere, in any case; the
// folders it lies in do not count.
bool appliesTo(const QString &path);

// The file's name starts after the last '\' or '/' of path.
QByteArray nameField(const QString &path);

QByteArray build(const QString &path, quint32 length);
} // namespace ProfileHeader
