// Engine ports that record what the engine told the windows.
#pragma once

#include <QStringList>

#include "engine/ports.h"

namespace orvex2::test {

struct RecordingHistory : HistoryPort {
  QStringList lines;
  void ListInAdd(const QString& line) override { lines << line; }
  void RefreshForm() override { lines.clear(); }
  void Menu_Enabled(bool) override {}
  void LogCopy() override {}
};

struct RecordingPassed : PassedPort {
  QStringList paths;
  void ListInAdd(const QString& path) override { paths << path; }
  void Menu_Enabled(bool) override {}
};

struct RecordingMessages : MessagePort {
  QStringList texts;
  void Message(const QString& text) override { texts << text; }
};

}  // namespace orvex2::test
