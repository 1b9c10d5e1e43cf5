// INI text as QSettings reads it (IniFormat), edited in place: the settings store reads through
// QSettings but writes its few keys into the file's own text, so every other line stays as it was
// and a file of any size is written once, quickly.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace orvex2::ini {

// One change to a file: set a key of a section, or remove every occurrence of a section.
struct Change {
  enum class Kind { kSet, kRemoveSection };
  Kind kind = Kind::kSet;
  QString section;
  QString key;    // kSet only
  QString value;  // kSet only
};

// True when `text` is INI text: no NUL or other control bytes but tab and line ends, valid UTF-8,
// and every line a section header, a comment, a blank or a "key=value".
bool IsIniText(const QByteArray& text);

// `text` with the changes applied in order: a set key's value is replaced wherever the key stands
// in its section, or the key is added at the end of the section's last occurrence (a section
// that is missing is added at the end); a removed section goes with all its lines.
QByteArray Apply(const QByteArray& text, const std::vector<Change>& changes);

// A key or section name as QSettings escapes it ("Move 0" -> "Move%200").
QByteArray EscapeKey(const QString& key);
// A text value written so that QSettings reads back exactly `value` (quoted where needed,
// control characters and lone surrogates as \x escapes, a leading '@' doubled).
QByteArray EscapeValue(const QString& value);

}  // namespace orvex2::ini
