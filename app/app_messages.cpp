// Message boxes, or standard error when there is no display.
#include "app/app_messages.h"

#include <QMessageBox>

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace orvex2 {

namespace {
bool g_headless = false;
}

void SetHeadless(bool headless) { g_headless = headless; }
bool Headless() { return g_headless; }

void ShowMessage(const QString& text) {
  if (g_headless) {
    std::fprintf(stderr, "orvex2: %s\n", text.toLocal8Bit().constData());
    return;
  }
  QMessageBox::information(nullptr, QStringLiteral("Orvex2"), text, QMessageBox::Ok);
}

bool AskYesNo(const QString& text) {
  if (g_headless) {
    std::fprintf(stderr, "orvex2: %s [y/N] ", text.toLocal8Bit().constData());
    std::fflush(stderr);
    if (!::isatty(STDIN_FILENO)) {
      std::fprintf(stderr, "n\n");
      return false;
    }
    std::string answer;
    std::getline(std::cin, answer);
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
  }
  return QMessageBox::question(nullptr, QStringLiteral("Orvex2"), text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace orvex2
