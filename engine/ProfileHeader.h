#pragma once

#include <QByteArray>
#include <QString>

// The 43 bytes that go ahead of a fixture profile:
//   0..30  "GLOW ARRANGER 2 FIXTURE PROFILE"
//   31..38 name field: base name up to its first '.', at most 8 characters,
//          a-z upper-cased, padded with spaces
//   39..42 file length, unsigned 32-bit, least significant byte first
namespace ProfileHeader {
constexpr int kSize = 43;
constexpr int kNameOffset = 31;
constexpr int kNameSize = 8;
constexpr int kLengthOffset = 39;
inline constexpr char kMagic[] = "GLOW ARRANGER 2 FIXTURE PROFILE";

// True for a path that takes the header: ".GAF" anywhere in it, in any case.
bool appliesTo(const QString &path);

// The base name starts after the last '\' or '/' of path.
QByteArray nameField(const QString &path);

QByteArray build(const QString &path, quint32 length);
} // namespace ProfileHeader
