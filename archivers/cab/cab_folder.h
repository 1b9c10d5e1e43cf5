// Folders across the cabinets of a set: finding the neighbouring cabinets, walking a folder's
// data blocks through them, and decoding a folder (stored and MSZIP here, MSZIP on ISA-L; LZX and
// Quantum on libmspack).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "cab_file.h"
#include "cab_format.h"

namespace cabar {

// Walk and span states besides 0 (go on) and a fault code.
constexpr int kEnd = -1;      // the folder's data ends here
constexpr int kMissing = -2;  // it goes on in (or began in) a cabinet that is not there
constexpr int kEnough = -3;   // decoded as far as the tested cabinet's members reach

// The tested cabinet (node 0) and the neighbours loaded for it. A neighbour is looked for by the
// name its predecessor or successor stores, in the tested cabinet's folder, letter case
// ignored; it counts only when it is a cabinet at offset 0 with the same set id, the index next
// to it and the matching continuation flag, and is not a file already in the set. A file of that
// name that is none of this is a broken set (0x8017), not a missing cabinet; so is a missing name
// while the folder holds the neighbour under another name (see Renamed).
class CabinetSet {
 public:
  CabinetSet(CabFile& main, Cabinet cab, Meter& meter);
  const Cabinet& cab(int node) const { return nodes_[static_cast<size_t>(node)].cab; }
  const std::string& path(int node) const { return nodes_[static_cast<size_t>(node)].path; }
  CabFile& mainFile() { return main_; }
  // The node before or after `node`; kMissing, or a fault code of a damaged neighbour (or of
  // one whose continued members disagree with the tested cabinet's).
  int Neighbour(int node, bool next);

 private:
  struct Node {
    std::string path;
    Cabinet cab;
    dev_t device = 0;
    ino_t inode = 0;
    int prev = 0, next = 0;  // 0: not looked for yet (node 0 is never a neighbour)
  };
  int Load(int node, bool next);
  // kMissing, or 0x8017 when another file of the folder is the neighbour: it names `node`'s file
  // back and fits as the neighbour by set id and index or by its continued members (0x801A when
  // cancelled).
  int Renamed(int node, bool next);
  bool Known(dev_t device, ino_t inode) const;
  std::vector<std::string> Candidates(const std::string& stored) const;

  CabFile& main_;
  Meter& meter_;
  std::string folder_;  // of the tested cabinet, with its closing '/'
  std::deque<Node> nodes_;
};

// One folder of a set: its parts in the cabinets, in order.
struct Span {
  struct Part {
    int node;
    size_t folder;
  };
  std::vector<Part> parts;
  size_t main = 0;  // the tested cabinet's part
  int head = 0;     // 0: the folder begins in parts[0]; kMissing; or a fault code
  int tail = kEnd;  // kEnd: it ends in parts.back(); kMissing; or a fault code
};
Span SpanOf(CabinetSet& set, size_t folder);

// What decoding one folder of the tested cabinet showed.
struct FolderResult {
  bool startMissing = false;  // the folder began in a missing cabinet: nothing could be decoded
  uint64_t okEnd = 0;         // decoded and verified from the folder's start
  int stop = kEnd;            // why decoding stopped: kEnd, kMissing, kEnough or a fault code
  bool faultHere = false;     // the fault lies in the tested cabinet's own data
  bool walked = false;        // every block of the tested cabinet's part was read
  int64_t dataStart = 0, dataEnd = 0;  // that part's file range
};

// Decodes folder `folder` of the tested cabinet from its beginning, through the set, at least up
// to `target` bytes and at least through the tested cabinet's own blocks.
FolderResult DecodeFolder(CabinetSet& set, size_t folder, uint64_t target, Meter& meter);

}  // namespace cabar
