// Recognition across families: whether the archive one library found in a file is only carried
// as stored bytes by an archive of another family in the same file (a .lzh stored in a ZIP
// self-extractor, a ZIP inside a cabinet's folder), so that only the carrying family claims it.
#pragma once

#include <cstdint>

namespace arc {

enum class Family { kLzh, kZip, kArj, kCab };

enum class Framing {
  kNone,       // no archive of another family carries the range
  kFramed,     // the range lies inside a member (CAB: a folder) of another family's archive
  kReadError,  // the file could not be read (or the call was cancelled)
};

// Tells whether [begin, end) of the file, where the `self` family found the start of its own
// archive (begin: its first header; end: as far as it is known to reach, at least begin + 1),
// lies inside a member's stored bytes of an archive of another family that frames it:
//   ZIP  end record and central directory (local header offsets, members laid end to end; a
//        ZIP whose end record lies before `end` is inside the range, not around it), or local
//        headers before `begin` when the directory is unreadable;
//   ARJ  a verified main header before `begin` and its chain of member headers (a chain that
//        breaks before `begin` frames it);
//   CAB  a cabinet header before `begin` whose declared size fits the file and reaches past
//        `begin` (one signature byte may be damaged), else the data areas of its stored folders;
//   LZH  a verified header before `begin` and its chain of headers.
// A member whose data starts exactly at `begin` frames it even when its sizes are damaged. Only
// header walks: at most one pass over [0, begin), a few reads near the end, no decoding; hostile
// sizes and loops end the walk. Reads report progress, so a cancelled call reads as kReadError.
// Every library's recognition (check mode 0) calls this after finding its archive and answers 0
// when the result is kFramed.
Framing FramedByOtherFamily(int fd, uint64_t fileSize, Family self, uint64_t begin, uint64_t end);

// The same as a library code: 0 for an archive of the file's own, 0x801B (not this format) when
// another family's member carries it, 0x801A when the file could not be read.
int OwnArchiveCode(int fd, uint64_t fileSize, Family self, uint64_t begin, uint64_t end);

// The same for a path (kReadError when it cannot be opened as a regular file).
Framing FramedByOtherFamily(const char* path, Family self, uint64_t begin, uint64_t end);

}  // namespace arc
