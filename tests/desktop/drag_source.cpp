// A drag source for the cross-process drag test: the passed-files window listing the paths given
// on the command line, with the entries named by --select=I,J selected. Prints the global
// position of the last selected entry ("press X Y") once the window is on screen.
#include <QApplication>
#include <QListWidget>
#include <QTimer>

#include <cstdio>

#include "results/mdi_out_file.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QStringList paths;
  QList<int> selected;
  for (const QString& a : app.arguments().mid(1)) {
    if (a.startsWith(QLatin1String("--select="))) {
      for (const QString& i : a.mid(9).split(QLatin1Char(','))) selected << i.toInt();
    } else {
      paths << a;
    }
  }
  orvex2::mdiOutFile w;
  w.setWindowTitle(QStringLiteral("drag source"));
  for (const QString& p : paths) w.ListInAdd(p);
  for (int i : selected) w.lstOutFile->item(i)->setSelected(true);
  w.setGeometry(0, 0, 400, 300);
  w.show();
  QTimer::singleShot(300, &w, [&] {
    const QListWidgetItem* item = w.lstOutFile->item(selected.isEmpty() ? 0 : selected.last());
    const QPoint p = w.lstOutFile->viewport()->mapToGlobal(w.lstOutFile->visualItemRect(item).center());
    std::printf("press %d %d\n", p.x(), p.y());
    std::fflush(stdout);
  });
  return app.exec();
}
