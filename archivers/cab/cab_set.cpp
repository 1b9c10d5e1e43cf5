// The cabinets of a set around the tested one, and the parts of a folder that spans them.
#include "cab_folder.h"

#include "archiver_common.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace cabar {
namespace {

namespace code = arc::code;

constexpr size_t kMaxChain = 1024;  // cabinets one folder may pass through

bool SameNoCase(const char* a, const std::string& b) {
  size_t i = 0;
  for (; a[i] != '\0' && i < b.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return a[i] == '\0' && i == b.size();
}

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Whether a cabinet of these header fields can follow (`next`) or precede `from` in its set.
bool Fits(const Cabinet& from, uint16_t flags, uint16_t setId, uint16_t index, bool next) {
  if (setId != from.setId) return false;
  if (next) return (flags & kFlagPrev) != 0 && index == static_cast<uint16_t>(from.index + 1);
  return (flags & kFlagNext) != 0 && static_cast<uint16_t>(index + 1) == from.index;
}

// Members continued across the boundary must be listed on both sides alike.
bool ContinuedAlike(const Cabinet& before, const Cabinet& after) {
  using Range = std::pair<uint32_t, uint32_t>;  // offset, size
  const auto ranges = [](const Cabinet& cab, bool (Member::*continued)() const) {
    std::vector<Range> out;
    for (const Member& m : cab.members) {
      if ((m.*continued)()) out.emplace_back(m.offset, m.size);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  };
  return ranges(before, &Member::ToNext) == ranges(after, &Member::FromPrev);
}

}  // namespace

CabinetSet::CabinetSet(CabFile& main, Cabinet cab, Meter& meter) : main_(main), meter_(meter) {
  const std::string& path = main.path();
  const size_t slash = path.rfind('/');
  folder_ = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
  Node& n = nodes_.emplace_back();
  n.path = path;
  n.cab = std::move(cab);
  n.device = main.device();
  n.inode = main.inode();
}

std::vector<std::string> CabinetSet::Candidates(const std::string& stored) const {
  std::vector<std::string> out;
  const std::string leaf = LeafName(stored);  // a plausible name: ReadCabinet checked it
  out.push_back(folder_ + leaf);
  std::vector<std::string> others;
  if (DIR* dir = ::opendir(folder_.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      if (leaf != e->d_name && SameNoCase(e->d_name, leaf)) others.push_back(folder_ + e->d_name);
    }
    ::closedir(dir);
  }
  std::sort(others.begin(), others.end());
  out.insert(out.end(), others.begin(), others.end());
  return out;
}

bool CabinetSet::Known(dev_t device, ino_t inode) const {
  return std::any_of(nodes_.begin(), nodes_.end(),
                     [&](const Node& n) { return n.device == device && n.inode == inode; });
}

int CabinetSet::Load(int node, bool next) {
  if (nodes_.size() >= kMaxChain) return kMissing;
  const Cabinet& from = nodes_[static_cast<size_t>(node)].cab;
  bool named = false;  // a file of the stored name is there
  for (const std::string& path : Candidates(next ? from.nextName : from.prevName)) {
    CabFile file(meter_);
    if (file.Open(path) != code::kOk) continue;  // a folder of that name, say: no file is there
    named = true;
    if (Known(file.device(), file.inode()) || file.size() < 4) continue;
    unsigned char sig[4];
    if (const int rc = file.Read(0, sig, 4); rc != code::kOk) return rc;
    if (std::memcmp(sig, "MSCF", 4) != 0) continue;
    Cabinet cab;
    if (const int rc = ReadCabinet(file, 0, cab); rc != code::kOk) return rc;
    if (!Fits(from, cab.flags, cab.setId, cab.index, next)) continue;
    if (node == 0 && !(next ? ContinuedAlike(from, cab) : ContinuedAlike(cab, from))) return code::kHeaderBroken;
    cab.members.clear();  // only the tested cabinet's members are needed beyond this point
    cab.members.shrink_to_fit();
    Node& n = nodes_.emplace_back();
    n.path = path;
    n.cab = std::move(cab);
    n.device = file.device();
    n.inode = file.inode();
    return static_cast<int>(nodes_.size() - 1);
  }
  // The file of that name is no cabinet, or not this one's neighbour: the set is broken there.
  return named ? code::kHeaderBroken : Renamed(node, next);
}

int CabinetSet::Renamed(int node, bool next) {
  const Node& at = nodes_[static_cast<size_t>(node)];
  const std::string own = LeafName(at.path);
  DIR* dir = ::opendir(folder_.c_str());
  if (dir == nullptr) return kMissing;
  int result = kMissing;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_type != DT_REG && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
    if (arc::PollCancel()) {
      result = code::kCannotRead;
      break;
    }
    const std::string path = folder_ + e->d_name;
    struct stat st {};
    // A link or an unknown type is looked at first: no device is opened.
    if (e->d_type != DT_REG && (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) continue;
    // The signature and flag alone sort out nearly every file; only a cabinet with the matching
    // continuation is read further.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) continue;
    unsigned char h[36];
    const bool flagged = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !Known(st.st_dev, st.st_ino) &&
                         ::pread(fd, h, sizeof h, 0) == static_cast<ssize_t>(sizeof h) &&
                         std::memcmp(h, "MSCF", 4) == 0 && (Le16(h + 30) & (next ? kFlagPrev : kFlagNext)) != 0;
    ::close(fd);
    if (!flagged) continue;
    CabFile file(meter_);
    Cabinet cab;
    if (file.Open(path) != code::kOk || ReadCabinet(file, 0, cab) != code::kOk) continue;
    if (!SameNoCase(LeafName(next ? cab.prevName : cab.nextName).c_str(), own)) continue;
    // It names this file back: it is the neighbour when the set fields fit, or, should those be
    // damaged too, when it lists the members continued across the boundary alike.
    if (Fits(at.cab, cab.flags, cab.setId, cab.index, next) ||
        (node == 0 && (next ? ContinuedAlike(at.cab, cab) : ContinuedAlike(cab, at.cab)))) {
      result = code::kHeaderBroken;
      break;
    }
  }
  ::closedir(dir);
  return result;
}

int CabinetSet::Neighbour(int node, bool next) {
  Node& n = nodes_[static_cast<size_t>(node)];
  int& link = next ? n.next : n.prev;
  if (link == 0) link = Load(node, next);  // a deque keeps `n` valid while nodes are added
  return link;
}

Span SpanOf(CabinetSet& set, size_t folder) {
  Span span;
  span.parts.push_back({0, folder});
  // Back to the cabinet where the folder begins.
  for (int node = 0; span.parts.front().folder == 0 && set.cab(node).continuedFromPrev;) {
    const int prev = set.Neighbour(node, false);
    if (prev < 0 || prev >= 0x8000) {
      span.head = prev;
      break;
    }
    const Cabinet& before = set.cab(prev);
    if (!before.continuedToNext || before.folders.back().type != set.cab(node).folders.front().type) {
      span.head = code::kHeaderBroken;
      break;
    }
    span.parts.insert(span.parts.begin(), {prev, before.folders.size() - 1});
    ++span.main;
    node = prev;
  }
  // On to the cabinet where it ends.
  for (int node = 0; span.parts.back().folder + 1 == set.cab(node).folders.size() && set.cab(node).continuedToNext;) {
    const int next = set.Neighbour(node, true);
    if (next < 0 || next >= 0x8000) {
      span.tail = next;
      break;
    }
    const Cabinet& after = set.cab(next);
    if (!after.continuedFromPrev || after.folders.front().type != set.cab(node).folders.back().type) {
      span.tail = code::kHeaderBroken;
      break;
    }
    span.parts.push_back({next, 0});
    node = next;
  }
  return span;
}

}  // namespace cabar
