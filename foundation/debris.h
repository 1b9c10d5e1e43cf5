// Files and folders the program makes for a moment (a quarantine copy in progress, the private
// folder of a double check) and that must not outlive a run ended by a signal. While a Debris
// object lives, RemoveDebrisNow() removes its path; the signal handler of the automatic run calls
// it, so an interrupted run leaves nothing behind.
#pragma once

#include <QByteArray>

namespace orvex2 {

class Debris {
 public:
  enum class Kind { kFile, kFolder };  // a folder is emptied (one level) and removed
  Debris(const QByteArray& path, Kind kind);
  ~Debris();
  Debris(const Debris&) = delete;
  Debris& operator=(const Debris&) = delete;

  // Removes the path now, as RemoveDebrisNow() would.
  void Remove();

 private:
  QByteArray path_;
  Kind kind_;
  int slot_ = -1;  // -1: more paths than slots at once; not registered
};

// Removes every registered path. Async-signal-safe: only system calls, no allocation, no locks.
void RemoveDebrisNow();

}  // namespace orvex2
