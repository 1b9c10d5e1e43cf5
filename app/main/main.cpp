// Orvex2: a batch verifier for compressed archives. Starts the main window, or checks the
// archives named on the command line without one.
#include <QApplication>
#include <QByteArray>
#include <QLocale>
#include <QStringList>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_messages.h"
#include "app/command_line.h"
#include "app/frm_orvex.h"
#include "app/program_icon.h"
#include "app/qt_translations.h"
#include "foundation/names.h"

namespace {

// Without a display the program falls back to the offscreen platform, so an automatic run works
// on a server.
void ChoosePlatform() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
  const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
  qputenv("QT_QPA_PLATFORM", display ? "xcb;offscreen" : "offscreen");
}

bool PrivateFolderOfOurs(const QByteArray& path) {
  struct stat st {};
  return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 0777) == 0700;
}

// A session without a runtime folder (a server, cron, su): the one Qt would fall back to, made as
// Qt wants it, so Qt has nothing to warn about.
void EnsureRuntimeFolder() {
  if (PrivateFolderOfOurs(qgetenv("XDG_RUNTIME_DIR"))) return;
  QByteArray tmp = qgetenv("TMPDIR");
  if (tmp.isEmpty()) tmp = "/tmp";
  const QByteArray folder = tmp + "/runtime-" + QByteArray::number(::geteuid());
  ::mkdir(folder.constData(), 0700);
  if (PrivateFolderOfOurs(folder)) qputenv("XDG_RUNTIME_DIR", folder);
}

}  // namespace

int main(int argc, char* argv[]) {
  // Names are the bytes given; NameFromBytes keeps every one of them.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << orvex2::NameFromBytes(QByteArray(argv[i]));
  const orvex2::ParsedArguments parsed = orvex2::ParseArguments(arguments, orvex2::CurrentFolderName());
  switch (parsed.action) {
    case orvex2::ParsedArguments::Action::kHelp:
      std::fputs(orvex2::UsageText().toUtf8().constData(), stdout);
      return 0;
    case orvex2::ParsedArguments::Action::kVersion:
      std::printf("orvex2 %s\n", ORVEX2_VERSION);
      return 0;
    case orvex2::ParsedArguments::Action::kError:
      std::fprintf(stderr, "%s\n%s", orvex2::TerminalText(parsed.error).toUtf8().constData(),
                   orvex2::UsageText().toUtf8().constData());
      return 2;
    case orvex2::ParsedArguments::Action::kStart:
      break;
  }

  ChoosePlatform();
  EnsureRuntimeFolder();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Orvex2"));
  QApplication::setApplicationVersion(QStringLiteral(ORVEX2_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("orvex2"));
  QApplication::setWindowIcon(orvex2::ProgramIcon());
  orvex2::InstallQtTranslations(QLocale());
  // Nobody sees the offscreen or minimal platform, whoever chose it.
  const QString platform = QGuiApplication::platformName();
  orvex2::SetHeadless(platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"));
  if (orvex2::Headless()) orvex2::InstallHeadlessDialogGuard();

  orvex2::frmOrvex window;
  const int status = window.MDIForm_Load(parsed.request);
  if (status >= 0) return status;
  if (orvex2::Headless()) {
    orvex2::PrintError(QStringLiteral("no display to show the window on; use --auto to check archives without one"));
    return 2;
  }
  window.show();
  return app.exec();
}
