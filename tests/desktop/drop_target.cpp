// A drop target in a process of its own: accepts a file list and prints the text/uri-list bytes
// it was given, then ends. Prints "ready" once its window is on screen.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

class Target : public QWidget {
 public:
  Target() { setAcceptDrops(true); }

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override {
    if (e->mimeData()->hasFormat(QStringLiteral("text/uri-list"))) e->acceptProposedAction();
  }
  void dragMoveEvent(QDragMoveEvent* e) override { e->acceptProposedAction(); }
  void dropEvent(QDropEvent* e) override {
    const QByteArray bytes = e->mimeData()->data(QStringLiteral("text/uri-list"));
    e->acceptProposedAction();
    std::printf("dropped %lld\n%s", static_cast<long long>(bytes.size()), bytes.constData());
    std::fflush(stdout);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Target w;
  w.setWindowTitle(QStringLiteral("drop target"));
  w.setGeometry(500, 0, 300, 300);
  w.show();
  QTimer::singleShot(300, &w, [] {
    std::printf("ready\n");
    std::fflush(stdout);
  });
  return app.exec();
}
