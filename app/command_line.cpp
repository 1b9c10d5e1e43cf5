// Command-line handling: platform arguments, switches, and the name splitter.
#include "app/command_line.h"


namespace orvex2 {

namespace {

// A name that holds a blank or a double quote goes in double quotes, each '"' in it doubled.
QString Quoted(const QString& name) {
  if (!name.contains(QLatin1Char(' ')) && !name.contains(QLatin1Char('"'))) return name;
  QString inner = name;
  inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + inner + QLatin1Char('"');
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
      "                   AutoExe option). Opens no window or box and leaves the clipboard alone;\n"
      "                   any number of names, 1000 at a time, in order\n"
      "  /U               remove all stored settings, both stores (asks first; without a display\n"
      "                   the answer is No)\n"
      "  --help           show this text\n"
      "  --version        show the version\n"
      "\n"
      "An automatic run writes the history to standard output, each archive's header line with\n"
      "its full name, and ends with a line of counts (passed, failed, not checked). Every name\n"
      "that is not checked is reported on standard error with the reason: not found, not\n"
      "readable, a folder, or not a target with the current options (naming the option).\n"
      "Control characters in names are shown escaped (\\xNN).\n"
      "\n"
      "Exit status of an automatic run:\n"
      "  0  every named archive was checked and passed\n"
      "  1  some archive failed or was not checked\n"
      "  2  the run was stopped (a library cancel, Ctrl-C, SIGTERM, SIGHUP) or nothing could be\n"
      "     checked\n");
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
    // Made absolute by the text only: "." and ".." are left for LongPathName, which resolves
    // them where the system goes.
    if (arg.startsWith(QLatin1Char('/'))) names << arg;
    else names << (currentFolder.endsWith(QLatin1Char('/')) ? currentFolder : currentFolder + QLatin1Char('/')) + arg;
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
        // Inside quotes two double quotes stand for one '"'.
        QString name;
        qsizetype j = i + 1;
        bool closed = false;
        for (; j < n; ++j) {
          if (s[j] != QLatin1Char('"')) {
            name += s[j];
          } else if (j + 1 < n && s[j + 1] == QLatin1Char('"')) {
            name += QLatin1Char('"');
            ++j;
          } else {
            closed = true;
            break;
          }
        }
        if (!closed) {
          result = false;
          break;
        }
        if (!name.isEmpty() && !add(name)) {
          result = false;
          break;
        }
        i = j + 1;
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
