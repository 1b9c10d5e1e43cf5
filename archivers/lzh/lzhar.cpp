// Test, check and extract for LZH archives; the command and check entries' logic.
#include "lzhar.h"

#include <iconv.h>

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

bool IsUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t more = 0;
    if (c < 0x80) more = 0;
    else if (c >= 0xC2 && c <= 0xDF) more = 1;
    else if (c >= 0xE0 && c <= 0xEF) more = 2;
    else if (c >= 0xF0 && c <= 0xF4) more = 3;
    else return false;
    if (s.size() - i - 1 < more) return false;
    for (size_t k = 1; k <= more; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += more + 1;
  }
  return true;
}

// Shift-JIS (code page 932) to UTF-8; empty when the bytes are not valid CP932.
std::string Cp932ToUtf8(const std::string& s) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string out(s.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(s.data());
  size_t inLeft = s.size();
  char* to = out.data();
  size_t outLeft = out.size();
  const size_t rc = iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::string();
  out.resize(out.size() - outLeft);
  return out;
}

// The stored name in the UTF-8 of our paths: names from DOS and Windows archivers are Shift-JIS,
// whose second bytes may be '\\', so they are converted before any folder split. A name that is
// neither UTF-8 nor Shift-JIS is compared as it is.
std::string RequestableName(const std::string& stored) {
  if (IsUtf8(stored)) return stored;
  std::string converted = Cp932ToUtf8(stored);
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
