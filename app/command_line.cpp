// Command-line handling: platform arguments, switches, and the name splitter.
#include "app/command_line.h"

#include <QDir>

namespace orvex2 {

namespace {

QString Quoted(const QString& name) {
  return name.contains(QLatin1Char(' ')) ? QLatin1Char('"') + name + QLatin1Char('"') : name;
}

bool ParseMode(const QString& word, int* mode) {
  if (word == QLatin1String("simple")) *mode = 0;
  else if (word == QLatin1String("normal")) *mode = 1;
  else if (word == QLatin1String("detailed")) *mode = 2;
  else return false;
  return true;
}

}  // namespace

QString UsageText() {
  return QStringLiteral(
      "Usage: orvex2 [--auto[=simple|normal|detailed]] [--] [ARCHIVE...]\n"
      "       orvex2 /U\n"
      "\n"
      "Checks LZH, ZIP, ARJ and CAB archives (also self-extracting .EXE, .LHA, X68 .X and double\n"
      "archives such as A.LZH.ZIP).\n"
      "\n"
      "  ARCHIVE...       put these archives into the target list; with the Auto option on, check\n"
      "                   them at once without a window and end\n"
      "  --auto[=MODE]    check the named archives without a window for this start, whatever the\n"
      "                   Auto option says; MODE is simple, normal or detailed (default: the\n"
      "                   AutoExe option). The history goes to standard output; the exit status\n"
      "                   is 0 when every archive passed, 1 when any did not, 2 when the run was\n"
      "                   stopped or there was nothing to check\n"
      "  /U               remove all stored settings (asks first)\n"
      "  --help           show this text\n"
      "  --version        show the version\n");
}

ParsedArguments ParseArguments(const QStringList& arguments, const QString& currentFolder) {
  ParsedArguments parsed;
  QStringList names;
  bool switches = true;
  for (const QString& arg : arguments) {
    if (switches) {
      if (arg == QLatin1String("--")) {
        switches = false;
        continue;
      }
      if (arg == QLatin1String("--help")) {
        parsed.action = ParsedArguments::Action::kHelp;
        return parsed;
      }
      if (arg == QLatin1String("--version")) {
        parsed.action = ParsedArguments::Action::kVersion;
        return parsed;
      }
      if (arg == QLatin1String("--auto")) {
        parsed.request.forceAuto = true;
        continue;
      }
      if (arg.startsWith(QLatin1String("--auto="))) {
        int mode = -1;
        if (!ParseMode(arg.mid(7), &mode)) {
          parsed.action = ParsedArguments::Action::kError;
          parsed.error = QStringLiteral("orvex2: unknown check mode '%1' (simple, normal or detailed)").arg(arg.mid(7));
          return parsed;
        }
        parsed.request.forceAuto = true;
        parsed.request.autoMode = mode;
        continue;
      }
      if (arg.startsWith(QLatin1String("--"))) {
        parsed.action = ParsedArguments::Action::kError;
        parsed.error = QStringLiteral("orvex2: unknown option '%1'").arg(arg);
        return parsed;
      }
    }
    switches = false;
    if (arg.isEmpty()) continue;
    if (arg.startsWith(QLatin1Char('/'))) names << arg;
    else names << QDir::cleanPath(QDir(currentFolder).absoluteFilePath(arg));
  }
  QStringList parts;
  for (const QString& n : names) parts << Quoted(n);
  parsed.request.commandLine = parts.join(QLatin1Char(' '));
  return parsed;
}

bool IsRemoveSwitch(const QString& commandLine) { return commandLine.toUpper() == QLatin1String("/U"); }

bool SplitCommandLine(const QString& s, const std::function<bool(const QString&)>& add,
                      const std::function<void()>& clear) {
  bool result = true;
  try {
    clear();
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
      if (s[i] == QLatin1Char('"')) {
        const qsizetype close = s.indexOf(QLatin1Char('"'), i + 1);
        if (close < 0) {
          result = false;
          break;
        }
        const QString name = s.mid(i + 1, close - i - 1);
        if (!name.isEmpty() && !add(name)) {
          result = false;
          break;
        }
        i = close + 1;
        continue;
      }
      const qsizetype blank = s.indexOf(QLatin1Char(' '), i);
      if (blank >= 0) {
        const QString name = s.mid(i, blank - i);
        if (!name.isEmpty() && !add(name)) {
          result = false;
          break;
        }
        i = blank + 1;
        continue;
      }
      const QString name = s.mid(i);
      if (!name.isEmpty() && !add(name)) result = false;
      break;
    }
    if (!result) clear();
  } catch (...) {
    result = false;
    try {
      clear();
    } catch (...) {
    }
  }
  return result;
}

}  // namespace orvex2
