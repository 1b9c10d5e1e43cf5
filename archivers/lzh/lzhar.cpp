// Test, check and extract for LZH archives; the command and check entries' logic.
#include "lzhar.h"


#include <new>

#include "lzh_archive.h"
#include "lzh_decode.h"
#include "lzhuff.h"

namespace lzhar {
namespace {

// The member's compressed bytes, read through the archive's window.
class RangeSource : public ByteSource {
 public:
  RangeSource(ArchiveFile& file, uint64_t offset, uint64_t length)
      : file_(file), position_(offset), end_(offset + length) {}
  long Read(uint8_t* buffer, size_t size) override {
    if (position_ >= end_) return 0;
    if (size > end_ - position_) size = static_cast<size_t>(end_ - position_);
    const long n = file_.ReadAt(position_, buffer, size);
    if (n < 0) return -1;
    if (n == 0) return -1;  // the file shrank under us
    position_ += static_cast<uint64_t>(n);
    return n;
  }

 private:
  ArchiveFile& file_;
  uint64_t position_;
  uint64_t end_;
};

// Computes the CRC of what passes through; optionally writes it to a file.
class CrcSink : public ByteSink {
 public:
  explicit CrcSink(arc::OutputFile* out = nullptr) : out_(out) {}
  int Write(const uint8_t* data, size_t size) override {
    // Members that expand much from little input read nothing for a while: look for a cancel.
    if (arc::PollCancel()) return arc::code::kUserCancel;
    crc_ = lzhuff::Crc16(crc_, data, size);
    return out_ != nullptr ? out_->Write(data, size) : 0;
  }
  uint16_t crc() const { return crc_; }

 private:
  arc::OutputFile* out_;
  uint16_t crc_ = 0;
};

bool IsStored(const std::string& method) { return method == "-lh0-" || method == "-lz4-" || method == "-pm0-"; }

// Decodes one member into sink and checks its size and CRC.
int DecodeAndVerify(ArchiveFile& file, const MemberHeader& h, CrcSink& sink) {
  if (IsStored(h.method) && h.compressedSize != h.originalSize) return arc::code::kHeaderBroken;
  RangeSource source(file, h.dataOffset(), h.compressedSize);
  const DecodeOutcome out = DecodeMember(h.method, source, h.compressedSize, h.originalSize, sink);
  switch (out.status) {
    case DecodeStatus::kOk:
      break;
    case DecodeStatus::kUnsupported:
      return arc::code::kMethod;
    case DecodeStatus::kShortOutput:
      return arc::code::kHuffmanCode;
    case DecodeStatus::kReadError:
      return arc::code::kCannotRead;
    case DecodeStatus::kSinkError:
      return out.sinkCode;
    case DecodeStatus::kNoMemory:
      return arc::code::kMoreHeapMemory;
  }
  return sink.crc() == h.crc ? arc::code::kOk : arc::code::kFileCrc;
}

// Opens the archive and finds where its first header is.
int OpenArchive(const std::string& path, ArchiveFile& file, ArchiveStart& start) {
  if (path.empty()) return arc::code::kNoArcName;
  const int rc = file.Open(path);
  if (rc != arc::code::kOk) return rc;
  return FindArchiveStart(file, start);
}

// The stored name in the UTF-8 of our paths: names from DOS and Windows archivers are Shift-JIS,
// whose second bytes may be '\\', so they are converted before any folder split. A name that is
// neither UTF-8 nor Shift-JIS is compared as it is.
std::string RequestableName(const std::string& stored) {
  if (arc::IsUtf8(stored)) return stored;
  std::string converted = arc::Cp932ToUtf8(stored);
  return converted.empty() ? stored : converted;
}

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  std::string x = a;
  std::string y = b;
  for (char& c : x) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  for (char& c : y) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return arc::MemberNameMatches(x, y);
}

int WalkHeadersOnly(const std::string& archive) {
  ArchiveFile file;
  ArchiveStart start;
  int rc = OpenArchive(archive, file, start);
  if (rc != arc::code::kOk) return rc;
  MemberWalk walk(file, start.offset, start.damaged);
  MemberHeader h;
  while ((rc = walk.Next(h)) == arc::code::kOk) {
  }
  return rc == MemberWalk::kEnd ? arc::code::kOk : rc;
}

}  // namespace

int Test(const std::string& archive) {
  ArchiveFile file;
  ArchiveStart start;
  int rc = OpenArchive(archive, file, start);
  if (rc != arc::code::kOk) return rc;
  arc::TestResult result;
  MemberWalk walk(file, start.offset, start.damaged);
  MemberHeader h;
  while ((rc = walk.Next(h)) == arc::code::kOk) {
    if (h.isDirectory()) continue;
    if (!CanDecode(h.method)) {
      result.Skip();
      continue;
    }
    CrcSink sink;
    const int member = DecodeAndVerify(file, h, sink);
    if (member != arc::code::kOk) {
      result.Fail(member);
      break;
    }
  }
  if (rc != arc::code::kOk && rc != MemberWalk::kEnd) result.Fail(rc);
  return result.Code();
}

int CheckArchive(const std::string& archive, int mode) {
  switch (mode & 3) {
    case arc::kCheckRough: {
      ArchiveFile file;
      ArchiveStart start;
      return OpenArchive(archive, file, start) == arc::code::kOk ? 1 : 0;
    }
    case 1:
      return WalkHeadersOnly(archive) == arc::code::kOk ? 1 : 0;
    default:
      return Test(archive) > arc::code::kMaxSkipped ? 0 : 1;
  }
}

int Extract(const std::string& archive, const std::string& destination, const std::string& member) {
  const std::string leaf = arc::SafeLeafName(member);
  if (leaf.empty() || destination.empty()) return arc::code::kNotFileName;
  ArchiveFile file;
  ArchiveStart start;
  int rc = OpenArchive(archive, file, start);
  if (rc != arc::code::kOk) return rc;
  MemberWalk walk(file, start.offset, start.damaged);
  MemberHeader h;
  // Prefer an exact match; remember the first case-insensitive one.
  bool haveFallback = false;
  MemberHeader fallback;
  while ((rc = walk.Next(h)) == arc::code::kOk) {
    if (h.isDirectory()) continue;
    const std::string name = RequestableName(h.name);
    if (arc::MemberNameMatches(name, member)) break;
    if (!haveFallback && EqualsIgnoringAsciiCase(name, member)) {
      fallback = h;
      haveFallback = true;
    }
  }
  if (rc == MemberWalk::kEnd) {
    if (!haveFallback) return arc::code::kNotFindArcFile;
    h = fallback;
  } else if (rc != arc::code::kOk) {
    if (!haveFallback) return rc;
    h = fallback;  // the member was found before the damage
  }
  if (!CanDecode(h.method)) return arc::code::kMethod;
  arc::OutputFile out;
  rc = out.Open(destination, leaf);
  if (rc != arc::code::kOk) return rc;
  CrcSink sink(&out);
  rc = DecodeAndVerify(file, h, sink);
  if (rc != arc::code::kOk) {
    out.Abort();
    return rc;
  }
  return out.Commit();
}

arc::LibraryLock& Lock() {
  static arc::LibraryLock lock;
  return lock;
}

int Running() { return Lock().Running(); }

int RunCommand(const char* commandLine) { return arc::RunCommand(Lock(), commandLine, Test, Extract); }

int RunCheck(const char* archive, int mode) { return arc::RunCheck(Lock(), archive, mode, CheckArchive); }

}  // namespace lzhar
