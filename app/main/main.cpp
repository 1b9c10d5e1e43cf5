// Orvex2: a batch verifier for compressed archives. Starts the main window, or checks the
// archives named on the command line without one.
#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QStringList>

#include <cstdio>

#include "app/app_messages.h"
#include "app/command_line.h"
#include "app/frm_orvex.h"
#include "app/program_icon.h"
#include "app/qt_translations.h"

namespace {

// Without a display the program falls back to the offscreen platform, so an automatic run works
// on a server. Returns true when that fallback was chosen here.
bool ChoosePlatform() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return false;
  const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
  qputenv("QT_QPA_PLATFORM", display ? "xcb;offscreen" : "offscreen");
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const orvex2::ParsedArguments parsed = orvex2::ParseArguments(arguments, QDir::currentPath());
  switch (parsed.action) {
    case orvex2::ParsedArguments::Action::kHelp:
      std::fputs(orvex2::UsageText().toLocal8Bit().constData(), stdout);
      return 0;
    case orvex2::ParsedArguments::Action::kVersion:
      std::printf("orvex2 %s\n", ORVEX2_VERSION);
      return 0;
    case orvex2::ParsedArguments::Action::kError:
      std::fprintf(stderr, "%s\n%s", parsed.error.toLocal8Bit().constData(), orvex2::UsageText().toLocal8Bit().constData());
      return 2;
    case orvex2::ParsedArguments::Action::kStart:
      break;
  }

  const bool fallback = ChoosePlatform();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Orvex2"));
  QApplication::setApplicationVersion(QStringLiteral(ORVEX2_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("orvex2"));
  QApplication::setWindowIcon(orvex2::ProgramIcon());
  orvex2::InstallQtTranslations(QLocale());
  orvex2::SetHeadless(fallback && QGuiApplication::platformName() == QLatin1String("offscreen"));

  orvex2::frmOrvex window;
  const int status = window.MDIForm_Load(parsed.request);
  if (status >= 0) return status;
  if (orvex2::Headless()) {
    std::fputs("orvex2: no display to show the window on; use --auto to check archives without one\n", stderr);
    return 2;
  }
  window.show();
  return app.exec();
}
