// The program's command line: the platform arguments turned into one text, this platform's own
// switches, and the splitter that hands the names to the target list.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace orvex2 {

// What main() asks of the start-up sequence.
struct StartRequest {
  QString commandLine;     // the names as one text ("/U" alone is the removal switch)
  bool forceAuto = false;  // --auto: the automatic run for this start, whatever Auto says
  int autoMode = -1;       // --auto=MODE: 0, 1, 2; -1 takes the AutoExe option
  bool echoHistory = true; // an automatic run also writes every history line to standard output
};

struct ParsedArguments {
  enum class Action { kStart, kHelp, kVersion, kError };
  Action action = Action::kStart;
  StartRequest request;
  QString error;  // for kError: what to print on standard error
};

// Arguments after the program name (names as NameFromBytes of the bytes given). Switches of this
// platform (--help, --version, --auto[=simple|normal|detailed]) count only before the first name;
// "--" ends them. The rest is joined with single blanks, each argument holding a blank or a '"'
// wrapped in double quotes with every '"' doubled, and relative names made absolute against
// `currentFolder` by the text alone. "/U" and "/u" pass through unchanged.
ParsedArguments ParseArguments(const QStringList& arguments, const QString& currentFolder);

QString UsageText();

// The command-line splitter. Empties the list (`clear`), hands each name to `add`; true unless
// `add` refused a name or a quote was left open, in which case the list is emptied again. Inside
// quotes, two double quotes stand for one '"'.
bool SplitCommandLine(const QString& s, const std::function<bool(const QString&)>& add,
                      const std::function<void()>& clear);

// True when the text is the removal switch: "/U" in any letter case, alone.
bool IsRemoveSwitch(const QString& commandLine);

}  // namespace orvex2
