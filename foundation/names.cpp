// Lossless names: strict UTF-8 decoding with undecodable bytes kept as lone surrogates.
#include "foundation/names.h"

#include <QStringDecoder>
#include <QStringList>

#include <cstdlib>
#include <unistd.h>

namespace orvex2 {

namespace {

constexpr char16_t kRawBase = 0xDC00;

// A lone low surrogate U+DC80..U+DCFF at i (not the second half of a pair) stands for one byte.
bool IsRawAt(const QString& s, qsizetype i) {
  const char16_t u = s.at(i).unicode();
  if (u < kRawBase + 0x80 || u > kRawBase + 0xFF) return false;
  return i == 0 || !QChar::isHighSurrogate(s.at(i - 1).unicode());
}

// Length of the valid UTF-8 sequence at p (1..4), 0 when the bytes there are not one.
int Utf8Length(const unsigned char* p, qsizetype left, char32_t& cp) {
  const unsigned char b = p[0];
  if (b < 0x80) {
    cp = b;
    return 1;
  }
  int n;
  char32_t min;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2, cp = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3, cp = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4, cp = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (left < n) return 0;
  for (int i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

QString NameFromBytes(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
  const qsizetype size = bytes.size();
  for (qsizetype i = 0; i < size;) {
    char32_t cp = 0;
    const int n = Utf8Length(p + i, size - i, cp);
    if (n == 0) {
      out.append(QChar(char16_t(kRawBase + p[i])));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      out.append(QChar(QChar::highSurrogate(cp)));
      out.append(QChar(QChar::lowSurrogate(cp)));
    } else {
      out.append(QChar(char16_t(cp)));
    }
    i += n;
  }
  return out;
}

QByteArray NameToBytes(const QString& name) {
  QByteArray out;
  out.reserve(name.size() * 3);
  const qsizetype size = name.size();
  for (qsizetype i = 0; i < size; ++i) {
    const char16_t u = name.at(i).unicode();
    char32_t cp = u;
    if (IsRawAt(name, i)) {
      out.append(char(u - kRawBase));
      continue;
    }
    if (QChar::isHighSurrogate(u) && i + 1 < size && QChar::isLowSurrogate(name.at(i + 1).unicode())) {
      cp = QChar::surrogateToUcs4(u, name.at(i + 1).unicode());
      ++i;
    } else if (QChar::isSurrogate(u)) {
      cp = 0xFFFD;  // a stray surrogate that no byte made: not a name's character
    }
    if (cp < 0x80) {
      out.append(char(cp));
    } else if (cp < 0x800) {
      out.append(char(0xC0 | (cp >> 6)));
      out.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.append(char(0xE0 | (cp >> 12)));
      out.append(char(0x80 | ((cp >> 6) & 0x3F)));
      out.append(char(0x80 | (cp & 0x3F)));
    } else {
      out.append(char(0xF0 | (cp >> 18)));
      out.append(char(0x80 | ((cp >> 12) & 0x3F)));
      out.append(char(0x80 | ((cp >> 6) & 0x3F)));
      out.append(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

QString CurrentFolderName() {
  char* cwd = ::getcwd(nullptr, 0);
  if (cwd == nullptr) return QStringLiteral("/");
  const QString folder = NameFromBytes(QByteArray(cwd));
  std::free(cwd);
  return folder;
}

bool HasRawBytes(const QString& name) {
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (IsRawAt(name, i)) return true;
  }
  return false;
}

namespace {

QString DisplayPart(const QString& part) {
  if (!HasRawBytes(part)) return part;
  const QByteArray bytes = NameToBytes(part);
  QStringDecoder cp932("Shift_JIS", QStringDecoder::Flag::Stateless);
  if (cp932.isValid()) {
    const QString decoded = cp932.decode(bytes);
    if (!cp932.hasError() && !decoded.contains(QChar::ReplacementCharacter)) return decoded;
  }
  QString shown;
  for (qsizetype i = 0; i < part.size(); ++i) {
    if (IsRawAt(part, i)) {
      shown += QString::asprintf("\\x%02X", unsigned(part.at(i).unicode() - kRawBase));
    } else {
      shown += part.at(i);
    }
  }
  return shown;
}

}  // namespace

QString DisplayName(const QString& name) {
  if (!HasRawBytes(name)) return name;
  QStringList parts = name.split(QLatin1Char('/'));
  for (QString& part : parts) part = DisplayPart(part);
  return parts.join(QLatin1Char('/'));
}

QString TerminalText(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F) {
      out += QString::asprintf("\\x%02X", unsigned(u));
    } else if (u >= 0x80 && u <= 0x9F) {
      out += QString::asprintf("\\u%04X", unsigned(u));
    } else {
      out += c;
    }
  }
  return out;
}

QString TerminalName(const QString& name) { return TerminalText(DisplayName(name)); }

}  // namespace orvex2
