// The library's operations over the reader: test every member, recognise, extract one.
#include "zip_archive.h"

#include "zip_decode.h"
#include "zip_file.h"
#include "zip_format.h"

#include <atomic>

namespace zipar {
namespace {

namespace code = arc::code;

arc::LibraryLock g_lock;
std::atomic<void (*)(void*)> g_hook{nullptr};
std::atomic<void*> g_hookContext{nullptr};

bool Unreadable(const CentralEntry& e) {
  return (e.flags & (flag::kEncrypted | flag::kStrongEncryption)) != 0;
}

// A stored name as our paths spell it: the Unicode path field where it still belongs to the
// name, UTF-8 as it is, and otherwise Shift-JIS (DOS and Japanese Windows writers) converted,
// so that a '\' second byte is not taken for a folder separator.
std::string RequestableName(const CentralEntry& e) {
  if (!e.unicodeName.empty()) return e.unicodeName;
  if ((e.flags & flag::kUtf8) != 0 || arc::IsUtf8(e.name)) return e.name;
  std::string converted = arc::Cp932ToUtf8(e.name);
  return converted.empty() ? e.name : converted;
}

std::string AsciiLower(std::string s) {
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return s;
}

bool IsFolder(const std::string& name) { return name.empty() || name.back() == '/' || name.back() == '\\'; }

// How well a stored name answers the request: 3 the same name, 2 the same last component
// (a request without folders), 1 either ignoring ASCII case, 0 not at all.
int MatchRank(const std::string& stored, const std::string& requested) {
  const bool hasFolder = requested.find_first_of("/\\") != std::string::npos;
  if (arc::MemberNameMatches(stored, requested)) {
    return stored == requested || hasFolder ? 3 : 2;
  }
  return arc::MemberNameMatches(AsciiLower(stored), AsciiLower(requested)) ? 1 : 0;
}

}  // namespace

int Test(const std::string& path) {
  ArchiveFile file;
  if (const int rc = file.Open(path); rc != code::kOk) return rc;
  Archive archive;
  if (const int rc = archive.Open(file, false); rc != code::kOk) return rc;
  if (const int rc = archive.Own(); rc != code::kOk) return rc;
  arc::TestResult result;
  CentralEntry entry;
  MemberData data;
  for (size_t i = 0; i < archive.count() && !result.failed(); ++i) {
    if (auto hook = g_hook.load()) hook(g_hookContext.load());
    if (const int rc = archive.Member(i, entry, data); rc != code::kOk) {
      result.Fail(rc);
      break;
    }
    if (Unreadable(entry) || !CanDecode(entry.method)) {
      result.Skip();
      continue;
    }
    if (const int rc = DecodeMember(file, entry, data, nullptr); rc != code::kOk) result.Fail(rc);
  }
  return result.Code();
}

bool IsArchive(const std::string& path) {
  ArchiveFile file;
  return file.Open(path) == code::kOk && CarriesArchive(file);
}

int Extract(const std::string& archive, const std::string& destination, const std::string& member) {
  const std::string leaf = arc::SafeLeafName(member);
  if (leaf.empty() || destination.empty()) return code::kNotFileName;
  ArchiveFile file;
  if (const int rc = file.Open(archive); rc != code::kOk) return rc;
  Archive zip;
  if (const int rc = zip.Open(file, true); rc != code::kOk) return rc;
  CentralEntry entry;
  MemberData data;
  size_t best = 0;
  int bestRank = 0;
  for (size_t i = 0; i < zip.count() && bestRank < 3; ++i) {
    if (const int rc = zip.Member(i, entry, data); rc != code::kOk) return rc;
    const std::string name = RequestableName(entry);
    if (IsFolder(name)) continue;
    const int rank = MatchRank(name, member);
    if (rank > bestRank) {
      bestRank = rank;
      best = i;
    }
  }
  if (bestRank == 0) return code::kNotFindArcFile;
  if (const int rc = zip.Member(best, entry, data); rc != code::kOk) return rc;
  if (Unreadable(entry)) return code::kPassword;
  if (!CanDecode(entry.method)) return code::kMethod;
  arc::OutputFile out;
  if (const int rc = out.Open(destination, leaf); rc != code::kOk) return rc;
  if (const int rc = DecodeMember(file, entry, data, &out); rc != code::kOk) {
    out.Abort();
    return rc;
  }
  return out.Commit();
}

int Command(const char* commandLine) { return arc::RunCommand(g_lock, commandLine, Test, Extract); }

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

}  // namespace zipar
