// Message boxes, or standard error where nobody can answer one.
#include "app/app_messages.h"

#include <QPushButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

#include <cstdio>
#include <cstdlib>

#include "foundation/names.h"
#include "results/window_support.h"

namespace orvex2 {

namespace {

bool g_headless = false;
bool g_toStandardError = false;

// Answers every dialog as it is shown: its text to standard error, then its default answer.
class HeadlessDialogGuard : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::Show) return false;
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (dialog == nullptr || !dialog->isWindow()) return false;
    QString text = dialog->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) text = box->text();
    else if (auto* input = qobject_cast<QInputDialog*>(dialog)) text = input->labelText();
    PrintError(text + QStringLiteral(" (no display: default answer)"));
    QPointer<QDialog> guarded(dialog);
    QMetaObject::invokeMethod(
        this,
        [guarded] {
          if (guarded.isNull() || !guarded->isVisible()) return;
          auto* box = qobject_cast<QMessageBox*>(guarded.data());
          if (box != nullptr && box->defaultButton() != nullptr) box->defaultButton()->click();
          else guarded->reject();
        },
        Qt::QueuedConnection);
    return false;
  }
};

}  // namespace

void SetHeadless(bool headless) { g_headless = headless; }
bool Headless() { return g_headless; }
void SetBoxesToStandardError(bool toStandardError) { g_toStandardError = toStandardError; }
bool BoxesToStandardError() { return g_headless || g_toStandardError; }

void PrintError(const QString& text) {
  const QByteArray line = (QStringLiteral("orvex2: ") + TerminalText(text) + QLatin1Char('\n')).toUtf8();
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
  std::fflush(stderr);
}

void ShowMessage(const QString& text) {
  if (BoxesToStandardError()) {
    PrintError(text);
    return;
  }
  QMessageBox::information(nullptr, QStringLiteral("Orvex2"), text, QMessageBox::Ok);
}

bool AskYesNo(const QString& text) {
  if (BoxesToStandardError()) {
    PrintError(text + QStringLiteral(" (no display: answered No)"));
    return false;
  }
  return QMessageBox::question(nullptr, QStringLiteral("Orvex2"), text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void InstallHeadlessDialogGuard() {
  if (qApp == nullptr) return;
  qApp->installEventFilter(new HeadlessDialogGuard(qApp));
  SetLoadFailureHandler([](const QString& text) {
    PrintError(text);
    std::exit(1);
  });
}

}  // namespace orvex2
