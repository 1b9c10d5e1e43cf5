// Orvex2: a batch verifier for compressed archives.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral("Orvex2"));
  label.show();
  return app.exec();
}
