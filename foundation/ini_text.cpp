// INI text: the logical lines QSettings sees, the check for INI text, and in-place edits.
#include "foundation/ini_text.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace orvex2::ini {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// One logical line: bytes [start, end) and the position of its first unquoted '=' (-1: none).
// As QSettings reads INI: leading blanks and line ends are skipped, a line ends at a line end
// outside double quotes or at an unquoted ';' (which starts a comment when it opens the line),
// and a backslash takes the next byte (also a line end) with it.
struct Line {
  qsizetype start = 0, end = 0, equals = -1;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The bytes that end or change a run of ordinary ones: line ends, '"', ';', '=', '\\'.
struct SpecialTable {
  bool special[256] = {};
  constexpr SpecialTable() {
    for (const unsigned char c : {'\n', '\r', '"', ';', '=', '\\'}) special[c] = true;
  }
};
constexpr SpecialTable kSpecial;

bool NextLine(const char* d, qsizetype n, qsizetype& pos, Line& line) {
  qsizetype start = pos;
  while (start < n && IsBlank(d[start])) ++start;
  qsizetype i = start;
  qsizetype equals = -1;
  bool quoted = false;
  while (i < n) {
    while (i < n && !kSpecial.special[static_cast<unsigned char>(d[i])]) ++i;
    if (i == n) break;
    const char c = d[i++];
    if (c == '=') {
      if (!quoted && equals < 0) equals = i - 1;
    } else if (c == '\n' || c == '\r') {
      if (!quoted) {
        --i;
        break;
      }
    } else if (c == '\\') {
      if (i < n) {
        const char next = d[i++];
        if (i < n && ((next == '\n' && d[i] == '\r') || (next == '\r' && d[i] == '\n'))) ++i;
      }
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ';') {
      if (i == start + 1) {  // a comment line: skip it and start again after it
        while (i < n && d[i] != '\n' && d[i] != '\r') ++i;
        while (i < n && IsBlank(d[i])) ++i;
        start = i;
        equals = -1;
      } else if (!quoted) {
        --i;
        break;
      }
    }
  }
  pos = i;
  line = {start, i, equals};
  return i > start;
}

// Valid UTF-8 without NUL or other control bytes but tab and line ends.
bool IsCleanUtf8(const unsigned char* p, qsizetype n) {
  for (qsizetype i = 0; i < n;) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F) return false;
      ++i;
      continue;
    }
    int more;
    unsigned min;
    unsigned cp;
    if (b >= 0xC2 && b <= 0xDF) more = 1, min = 0x80, cp = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF) more = 2, min = 0x800, cp = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4) more = 3, min = 0x10000, cp = b & 0x07;
    else return false;
    if (n - i <= more) return false;  // cut short by the end
    for (int k = 1; k <= more; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A key or section name as QSettings reads it: '\' is '/', %XX and %UXXXX are characters.
QString UnescapeKey(const char* d, qsizetype from, qsizetype to) {
  QString out;
  for (qsizetype i = from; i < to;) {
    const char c = d[i];
    if (c == '\\') {
      out += QLatin1Char('/');
      ++i;
      continue;
    }
    if (c == '%' && i + 1 < to) {
      const qsizetype first = d[i + 1] == 'U' ? i + 2 : i + 1;
      const int digits = d[i + 1] == 'U' ? 4 : 2;
      int value = 0;
      bool ok = first + digits <= to;
      for (int k = 0; ok && k < digits; ++k) {
        const int h = HexValue(d[first + k]);
        ok = h >= 0;
        value = value * 16 + h;
      }
      if (ok) {
        out += QChar(char16_t(value));
        i = first + digits;
        continue;
      }
    }
    out += QLatin1Char(c);
    ++i;
  }
  return out;
}

QByteArray Trimmed(const char* d, qsizetype from, qsizetype to) {
  while (from < to && (d[from] == ' ' || d[from] == '\t')) ++from;
  while (to > from && (d[to - 1] == ' ' || d[to - 1] == '\t')) --to;
  return QByteArray(d + from, to - from);
}

QString SectionName(const char* d, const Line& line) {
  qsizetype close = line.start + 1;
  while (close < line.end && d[close] != ']') ++close;
  const QByteArray name = Trimmed(d, line.start + 1, close);
  if (name.compare("general", Qt::CaseInsensitive) == 0) return QString();
  if (name.compare("%general", Qt::CaseInsensitive) == 0) return QString::fromLatin1(name.mid(1));
  return UnescapeKey(name.constData(), 0, name.size());
}

bool IsHexDigit(char16_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

void AppendHexEscape(QByteArray& out, unsigned value) {
  out += "\\x";
  out += QByteArray::number(value, 16);
}

// What the changes leave of one section: removed (its occurrences in the file go) and the keys
// set afterwards, in the order first set.
struct SectionEdit {
  bool removed = false;
  QStringList order;
  QHash<QString, QString> values;
};

struct Edit {
  qsizetype at = 0, remove = 0;
  QByteArray insert;
};

QByteArray KeyLines(const SectionEdit& edit, const QStringList& keys) {
  QByteArray out;
  for (const QString& key : keys) {
    if (!out.isEmpty()) out += '\n';
    out += EscapeKey(key) + '=' + EscapeValue(edit.values.value(key));
  }
  return out;
}

}  // namespace

bool IsIniText(const QByteArray& text) {
  const qsizetype bom = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  const char* d = text.constData() + bom;
  const qsizetype n = text.size() - bom;
  if (!IsCleanUtf8(reinterpret_cast<const unsigned char*>(d), n)) return false;
  qsizetype pos = 0;
  Line line;
  while (NextLine(d, n, pos, line)) {
    if (d[line.start] == '[') {
      if (QByteArray::fromRawData(d + line.start, line.end - line.start).indexOf(']') < 0) return false;
    } else if (line.equals < 0) {
      return false;
    }
  }
  return true;
}

QByteArray EscapeKey(const QString& key) {
  QByteArray out;
  for (const QChar qc : key) {
    const char16_t c = qc.unicode();
    if (c == '/') {
      out += '\\';
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-' || c == '.') {
      out += char(c);
    } else if (c <= 0xFF) {
      out += '%';
      out += kHex[c / 16];
      out += kHex[c % 16];
    } else {
      out += "%U";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
    }
  }
  return out;
}

QByteArray EscapeValue(const QString& value) {
  const QString text = value.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + value : value;
  QByteArray out;
  bool quotes = false;
  bool escapeHexNext = false;  // a hex digit right after a \x escape would join it
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text.at(i).unicode();
    if (escapeHexNext && IsHexDigit(c)) {
      AppendHexEscape(out, c);
      continue;
    }
    escapeHexNext = false;
    switch (c) {
      case '\a': out += "\\a"; continue;
      case '\b': out += "\\b"; continue;
      case '\f': out += "\\f"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      case '\v': out += "\\v"; continue;
      case '"':
      case '\\':
        out += '\\';
        out += char(c);
        continue;
      case ';':
      case ',':
      case '=':
        quotes = true;
        break;
      default:
        break;
    }
    const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode());
    if (pair) {
      out += text.mid(i, 2).toUtf8();
      ++i;
    } else if (c < 0x20 || c == 0x7F || QChar::isSurrogate(c)) {
      AppendHexEscape(out, c);
      escapeHexNext = true;
    } else if (c < 0x80) {
      out += char(c);
    } else {
      out += QString(QChar(c)).toUtf8();
    }
  }
  if (quotes || value.startsWith(QLatin1Char(' ')) || value.endsWith(QLatin1Char(' '))) out = '"' + out + '"';
  return out;
}

QByteArray Apply(const QByteArray& text, const std::vector<Change>& changes) {
  QHash<QString, SectionEdit> edits;
  QStringList sectionOrder;
  for (const Change& change : changes) {
    if (!edits.contains(change.section)) sectionOrder << change.section;
    SectionEdit& edit = edits[change.section];
    if (change.kind == Change::Kind::kRemoveSection) {
      edit = SectionEdit{};
      edit.removed = true;
      continue;
    }
    if (!edit.values.contains(change.key)) edit.order << change.key;
    edit.values.insert(change.key, change.value);
  }
  if (edits.isEmpty()) return text;

  // Where each edited section's lines are; what to replace in them.
  const char* d = text.constData();
  const qsizetype n = text.size();
  std::vector<Edit> out;
  QHash<QString, qsizetype> lastLineEnd;  // end of the last line of a kept section's last occurrence
  QHash<QString, QSet<QString>> written;
  QString section;
  SectionEdit* current = edits.contains(section) ? &edits[section] : nullptr;
  qsizetype removedFrom = -1;  // start of a removed section occurrence still open
  qsizetype pos = 0;
  Line line;
  while (NextLine(d, n, pos, line)) {
    if (d[line.start] == '[') {
      if (removedFrom >= 0) out.push_back({removedFrom, line.start - removedFrom, {}});
      removedFrom = -1;
      section = SectionName(d, line);
      current = edits.contains(section) ? &edits[section] : nullptr;
      if (current == nullptr) continue;
      if (current->removed) removedFrom = line.start;
      else lastLineEnd[section] = line.end;
      continue;
    }
    if (current == nullptr || current->removed) continue;
    lastLineEnd[section] = line.end;
    if (line.equals < 0) continue;
    const QByteArray rawKey = Trimmed(d, line.start, line.equals);
    const QString key = UnescapeKey(rawKey.constData(), 0, rawKey.size());
    const auto value = current->values.constFind(key);
    if (value == current->values.constEnd()) continue;
    out.push_back({line.equals + 1, line.end - line.equals - 1, EscapeValue(*value)});
    written[section].insert(key);
  }
  if (removedFrom >= 0) out.push_back({removedFrom, n - removedFrom, {}});

  QByteArray tail;
  for (const QString& name : sectionOrder) {
    const SectionEdit& edit = edits[name];
    QStringList missing;
    for (const QString& key : edit.order)
      if (!written.value(name).contains(key)) missing << key;
    if (missing.isEmpty()) continue;
    const auto last = lastLineEnd.constFind(name);
    if (last != lastLineEnd.constEnd()) {
      out.push_back({*last, 0, '\n' + KeyLines(edit, missing)});
    } else {
      tail += '[' + EscapeKey(name) + "]\n" + KeyLines(edit, missing) + '\n';
    }
  }
  std::stable_sort(out.begin(), out.end(), [](const Edit& a, const Edit& b) { return a.at < b.at; });

  QByteArray result;
  result.reserve(n + tail.size() + 1024);
  qsizetype copied = 0;
  for (const Edit& e : out) {
    if (e.at < copied) continue;  // inside a removed occurrence
    result.append(d + copied, e.at - copied);
    result += e.insert;
    copied = e.at + e.remove;
  }
  result.append(d + copied, n - copied);
  if (!tail.isEmpty()) {
    if (!result.isEmpty() && !result.endsWith('\n')) result += '\n';
    if (!result.isEmpty()) result += '\n';
    result += tail;
  }
  return result;
}

}  // namespace orvex2::ini
