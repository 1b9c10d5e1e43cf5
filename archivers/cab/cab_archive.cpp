// Cabinet test and recognition: the cabinet located in the file, its header tables checked,
// each folder decoded once from its beginning (through the other cabinets of a set where it
// spans them), and every member judged by how far its folder decoded.
#include "cab_archive.h"

#include "archiver_common.h"
#include "cab_folder.h"
#include "cab_format.h"
#include "foreign.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <utility>
#include <vector>

namespace cabar {
namespace {

namespace code = arc::code;

constexpr int kSkipped = -1;

arc::LibraryLock g_lock;
std::atomic<void (*)(void*)> g_hook{nullptr};
std::atomic<void*> g_hookContext{nullptr};

// The member's verdict: 0, kSkipped, or a fault code.
int Verdict(const FolderResult& r, const Member& m) {
  if (r.startMissing) return r.stop > 0 ? r.stop : kSkipped;
  if (static_cast<uint64_t>(m.offset) + m.size <= r.okEnd) return code::kOk;
  if (r.stop > 0) return r.stop;
  // Only a member marked as continued may need the next cabinet.
  if (r.stop == kMissing && m.ToNext()) return kSkipped;
  return code::kHuffmanCode;  // the member reaches past its folder's data
}

// The folders' data in the tested cabinet: one run from the end of the file table to the
// cabinet's end, without gaps or overlaps.
bool DataContiguous(const Cabinet& cab, const std::vector<std::optional<FolderResult>>& results) {
  std::vector<std::pair<int64_t, int64_t>> ranges;
  for (size_t f = 0; f < cab.folders.size(); ++f) {
    if (cab.folders[f].blocks == 0) continue;
    if (!results[f] || !results[f]->walked) return true;  // not known: nothing to say
    ranges.emplace_back(results[f]->dataStart, results[f]->dataEnd);
  }
  std::sort(ranges.begin(), ranges.end());
  int64_t at = cab.base + cab.filesEnd;
  for (const auto& [start, end] : ranges) {
    if (start != at) return false;
    at = end;
  }
  return ranges.empty() || at == cab.base + cab.length;
}

// Where a cabinet was found behind leading data: 0 when it is the file's own, 0x801B when it is
// only stored in a member of another family's archive (a .cab in a ZIP or ARJ self-extractor),
// 0x801A when the file could not be read.
int OwnCabinet(CabFile& file, int64_t base) {
  if (base == 0) return code::kOk;  // nothing in front of it can carry it
  const auto begin = static_cast<uint64_t>(base);
  uint64_t end = begin + 1;
  unsigned char size[4];
  if (file.Read(base + 8, size, sizeof size) == code::kOk) {
    const uint64_t length = size[0] | size[1] << 8 | size[2] << 16 | static_cast<uint64_t>(size[3]) << 24;
    end = std::max(end, std::min(begin + length, static_cast<uint64_t>(file.size())));
  }
  return arc::OwnArchiveCode(file.fd(), static_cast<uint64_t>(file.size()), arc::Family::kCab, begin, end);
}

}  // namespace

int Test(const std::string& path) {
  Meter meter;
  CabFile file(meter);
  if (const int rc = file.Open(path); rc != code::kOk) return rc;
  if (file.size() == 0) return code::kFileStyle;
  const Located at = LocateCabinet(file);
  if (at.code != code::kOk) return at.code;
  if (const int rc = OwnCabinet(file, at.base); rc != code::kOk) return rc;
  Cabinet parsed;
  if (const int rc = ReadCabinet(file, at.base, parsed); rc != code::kOk) return rc;

  const size_t folders = parsed.folders.size();
  std::vector<uint64_t> target(folders, 0);  // how far each folder must decode for the members
  for (const Member& m : parsed.members) {
    uint64_t& t = target[m.FolderIndex(folders)];
    t = std::max<uint64_t>(t, static_cast<uint64_t>(m.offset) + m.size);
  }
  CabinetSet set(file, std::move(parsed), meter);
  const Cabinet& cab = set.cab(0);
  std::vector<std::optional<FolderResult>> results(folders);
  const auto folder = [&](size_t f) -> const FolderResult& {
    if (!results[f]) results[f] = DecodeFolder(set, f, target[f], meter);
    return *results[f];
  };

  arc::TestResult result;
  for (const Member& m : cab.members) {
    if (auto hook = g_hook.load()) hook(g_hookContext.load());
    const int verdict = Verdict(folder(m.FolderIndex(folders)), m);
    if (verdict == kSkipped) {
      result.Skip();
    } else if (verdict != code::kOk) {
      result.Fail(verdict);
      return result.Code();
    }
  }
  // Faults in blocks no member reaches, and the layout of the data, count as well.
  for (size_t f = 0; f < folders; ++f) {
    const FolderResult& r = folder(f);
    if (r.stop > 0 && r.faultHere) return r.stop;
  }
  if (!DataContiguous(cab, results)) return code::kHeaderBroken;
  return result.Code();
}

bool IsArchive(const std::string& path) {
  Meter meter;
  CabFile file(meter);
  if (file.Open(path) != code::kOk || file.size() == 0) return false;
  const Located at = LocateCabinet(file);
  return at.code == code::kOk && OwnCabinet(file, at.base) == code::kOk;
}

int Command(const char* commandLine) { return arc::RunCommand(g_lock, commandLine, Test, nullptr); }

int Check(const char* archivePath, int mode) {
  return arc::RunCheck(g_lock, archivePath, mode, [](const std::string& path, int m) {
    return m == arc::kCheckFull ? arc::FullCheckAnswer(Test(path)) : (IsArchive(path) ? 1 : 0);
  });
}

int Running() { return g_lock.Running(); }

void SetProgress(arc::ProgressFn fn, void* user) { g_lock.progress().Set(fn, user); }

void SetMemberHook(void (*hook)(void*), void* context) {
  g_hookContext.store(context);
  g_hook.store(hook);
}

}  // namespace cabar
