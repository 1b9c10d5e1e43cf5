// A fixed table of paths that a signal handler can remove with plain system calls.
#include "foundation/debris.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orvex2 {

namespace {

constexpr int kSlots = 16;
constexpr std::size_t kMaxPath = 4096;

enum SlotState : int { kFree = 0, kFilling = 1, kLive = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  Debris::Kind kind = Debris::Kind::kFile;
  char path[kMaxPath] = {};
};

Slot g_slots[kSlots];

struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes the entries of a folder (files, and folders that are empty) and then the folder.
void RemoveFolder(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    alignas(LinuxDirent64) char buffer[4096];
    for (;;) {
      const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
        if (!IsDotOrDotDot(entry->d_name) && ::unlinkat(fd, entry->d_name, 0) != 0 && errno == EISDIR)
          ::unlinkat(fd, entry->d_name, AT_REMOVEDIR);
        at += entry->d_reclen;
      }
    }
    ::close(fd);
  }
  ::rmdir(path);
}

void RemovePath(const char* path, Debris::Kind kind) {
  if (kind == Debris::Kind::kFolder) {
    RemoveFolder(path);
  } else {
    ::unlink(path);
  }
}

}  // namespace

Debris::Debris(const QByteArray& path, Kind kind) : path_(path), kind_(kind) {
  if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= kMaxPath) return;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(g_slots[i].path, path.constData(), static_cast<std::size_t>(path.size()));
    g_slots[i].path[path.size()] = '\0';
    g_slots[i].kind = kind;
    g_slots[i].state.store(kLive);
    slot_ = i;
    return;
  }
}

Debris::~Debris() {
  if (slot_ >= 0) g_slots[slot_].state.store(kFree);
}

void Debris::Remove() {
  if (!path_.isEmpty()) RemovePath(path_.constData(), kind_);
}

void RemoveDebrisNow() {
  for (Slot& slot : g_slots) {
    if (slot.state.load() == kLive) RemovePath(slot.path, slot.kind);
  }
}

}  // namespace orvex2
