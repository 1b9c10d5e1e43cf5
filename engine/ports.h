// The few window operations the engine calls. Windows implement them; the engine holds only
// these interfaces, so checking runs headless and in tests without widgets.
#pragma once

#include <QString>

namespace orvex2 {

// The history window (mdiStatus).
class HistoryPort {
 public:
  virtual ~HistoryPort() = default;
  virtual void ListInAdd(const QString& line) = 0;
  // The header line of an archive's block ("[ " shortened name " ]"); `path` is the archive's
  // exact full name, for a port that shows the header its own way.
  virtual void AddHeader(const QString& line, const QString& path) {
    (void)path;
    ListInAdd(line);
  }
  virtual void RefreshForm() = 0;
  virtual void Menu_Enabled(bool enabled) = 0;
  virtual void LogCopy() = 0;
};

// The passed-files window (mdiOutFile).
class PassedPort {
 public:
  virtual ~PassedPort() = default;
  virtual void ListInAdd(const QString& path) = 0;
  virtual void Menu_Enabled(bool enabled) = 0;
};

// The target list window (mdiFile): entries with a selected flag.
class TargetListPort {
 public:
  virtual ~TargetListPort() = default;
  virtual int Count() const = 0;
  virtual QString Text(int i) const = 0;
  virtual bool Selected(int i) const = 0;
  virtual void SetSelected(int i, bool selected) = 0;
  virtual void Remove(int i) = 0;
  virtual void SetTopIndex(int i) = 0;  // make entry i the first visible row
  virtual void Repaint() = 0;
  virtual void SelectAll() = 0;
  virtual void SelectClear() = 0;
  virtual void Menu_Enabled(bool enabled) = 0;
};

// Message boxes with one OK button and the default title.
class MessagePort {
 public:
  virtual ~MessagePort() = default;
  virtual void Message(const QString& text) = 0;
};

// The windows the engine talks to. Null members are skipped.
struct EnginePorts {
  HistoryPort* history = nullptr;
  PassedPort* passed = nullptr;
  TargetListPort* targets = nullptr;
  MessagePort* message = nullptr;
};

EnginePorts& Ports();

}  // namespace orvex2
