// Shared by the four archiver libraries: return codes, the command-line grammar, the busy flag,
// the first-fault/skip accumulator and the safe output file used by extraction.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace arc {

// Return codes of the command entry (0 passed, 1..0x7FFF skipped members, 0x8000+ errors).
namespace code {
constexpr int kOk = 0;
constexpr int kMaxSkipped = 0x7FFF;
constexpr int kDiskSpace = 0x8005;        // disk full while extracting
constexpr int kReadOnly = 0x8006;         // destination not writable
constexpr int kUserSkip = 0x8007;
constexpr int kUnknownType = 0x8008;
constexpr int kMethod = 0x8009;           // storage method not supported
constexpr int kPassword = 0x800A;
constexpr int kVersion = 0x800B;
constexpr int kFileCrc = 0x800C;          // member checksum mismatch
constexpr int kFileOpen = 0x800D;         // cannot create an output file
constexpr int kMore = 0x800E;
constexpr int kNotMore = 0x800F;
constexpr int kOverwrite = 0x8010;
constexpr int kTooManyFiles = 0x8011;
constexpr int kMakeDirectory = 0x8012;
constexpr int kCannotWrite = 0x8013;      // write error while extracting
constexpr int kHuffmanCode = 0x8014;      // broken compressed data
constexpr int kCommentHeader = 0x8015;
constexpr int kHeaderCrc = 0x8016;        // header checksum mismatch
constexpr int kHeaderBroken = 0x8017;     // broken or truncated header
constexpr int kArchiveOpen = 0x8018;      // archive cannot be opened
constexpr int kNoArcName = 0x8019;        // no archive name given
constexpr int kCannotRead = 0x801A;       // read error
constexpr int kFileStyle = 0x801B;        // not an archive of this format
constexpr int kCommandName = 0x801C;      // unknown command
constexpr int kMoreHeapMemory = 0x801D;
constexpr int kEnoughMemory = 0x801E;
constexpr int kAlreadyRunning = 0x801F;
constexpr int kUserCancel = 0x8020;
constexpr int kHarcIsNotOpened = 0x8021;
constexpr int kNotSearchMode = 0x8022;
constexpr int kNotSupport = 0x8023;
constexpr int kTimeStamp = 0x8024;
constexpr int kTmpOpen = 0x8025;
constexpr int kLongFileName = 0x8026;
constexpr int kArcReadOnly = 0x8027;
constexpr int kSameName = 0x8028;
constexpr int kNotFindArcFile = 0x8029;   // member not found
constexpr int kResponseRead = 0x802A;
constexpr int kNotFileName = 0x802B;      // a member or destination name is required
}  // namespace code

// Check-entry modes.
constexpr int kCheckRough = 0;  // is this file an archive of this family?
constexpr int kCheckFull = 2;   // full test; 0 = failed

struct Command {
  enum class Kind { None, Test, Extract };
  Kind kind = Kind::None;
  std::string archive;
  std::string destination;           // with its closing '/'
  std::vector<std::string> members;  // names to extract
};

// Splits a command line into blank-separated words. Double quotes group words with blanks; inside
// a quoted part, two double quotes stand for one literal '"' (so every byte but NUL round-trips).
std::vector<std::string> SplitWords(const char* line);

// The archive name as a quoted word of a command line: '"' + name with each '"' doubled + '"'.
std::string QuoteWord(const std::string& word);

// Parses "t -+ -y1 \"a.lzh\"", "-t \"a.zip\"", "x -+ \"a.lzh\" \"dir/\" \"m.zip\"", "-x ...".
// Unknown switches are ignored. Returns 0, kCommandName (no test or extract command),
// kNoArcName (no archive) or kNotFileName (extraction without destination or member).
int ParseCommandLine(const char* line, Command& out);

// Keeps the first real fault and counts members that could not be tested.
class TestResult {
 public:
  void Fail(int errorCode) {
    if (error_ == 0) error_ = errorCode;
  }
  void Skip() {
    if (skipped_ < code::kMaxSkipped) ++skipped_;
  }
  bool failed() const { return error_ != 0; }
  int error() const { return error_; }
  int skipped() const { return skipped_; }
  // The command entry's return value: the fault, else the skip count, else 0.
  int Code() const { return error_ != 0 ? error_ : skipped_; }

 private:
  int error_ = 0;
  int skipped_ = 0;
};

// Progress and cancel of the call in progress, set through each library's progress entry
// (UnlhaSetProgress, UnZipSetProgress, UnarjSetProgress, CabSetProgress). The callback gets the
// bytes of the archive read so far and the archive's size; a non-zero answer cancels the call.
using ProgressFn = int (*)(void* user, unsigned long long done, unsigned long long total);

class Progress {
 public:
  void Set(ProgressFn fn, void* user) {
    std::lock_guard<std::mutex> guard(mutex_);
    fn_ = fn;
    user_ = user;
    set_.store(fn != nullptr);
  }
  // Starts a call: clears the cancel mark and the pacing.
  void Begin();
  // The reader reached `done` of `total` bytes. Calls the callback at most every 50 ms (and at the
  // first report). True when the call is to be cancelled; it stays cancelled until Begin().
  bool Report(uint64_t done, uint64_t total);
  // From decoding loops that read nothing for a while: the last position reported again, paced.
  bool Poll();
  bool cancelled() const { return cancelled_; }

 private:
  std::mutex mutex_;
  ProgressFn fn_ = nullptr;
  void* user_ = nullptr;
  uint64_t done_ = 0, total_ = 0;
  int64_t lastCallNs_ = 0;
  unsigned polls_ = 0;
  bool cancelled_ = false;
  std::atomic<bool> set_{false};
};

// The progress of the call running on this thread (a harmless idle object outside any call).
// Readers report through these; when they answer true the reader fails as if reading failed, and
// the command entry returns kUserCancel (the check entry 0).
Progress& CurrentProgress();
inline bool ReportProgress(uint64_t done, uint64_t total) { return CurrentProgress().Report(done, total); }
inline bool PollCancel() { return CurrentProgress().Poll(); }
inline bool Cancelled() { return CurrentProgress().cancelled(); }

// One per library. The command entry refuses to run while another call is in progress
// (kAlreadyRunning); the check entry waits its turn. Running() backs the busy entry.
class LibraryLock {
 public:
  bool TryEnter() {
    if (!mutex_.try_lock()) return false;
    running_.store(1);
    return true;
  }
  void Enter() {
    mutex_.lock();
    running_.store(1);
  }
  void Leave() {
    running_.store(0);
    mutex_.unlock();
  }
  int Running() const { return running_.load(); }
  Progress& progress() { return progress_; }

 private:
  std::mutex mutex_;
  std::atomic<int> running_{0};
  Progress progress_;
};

class LibraryScope {
 public:
  explicit LibraryScope(LibraryLock& lock, bool wait) : lock_(lock) {
    if (wait) {
      lock_.Enter();
      entered_ = true;
    } else {
      entered_ = lock_.TryEnter();
    }
  }
  ~LibraryScope() {
    if (entered_) lock_.Leave();
  }
  LibraryScope(const LibraryScope&) = delete;
  LibraryScope& operator=(const LibraryScope&) = delete;
  bool entered() const { return entered_; }

 private:
  LibraryLock& lock_;
  bool entered_ = false;
};

using TestFn = std::function<int(const std::string& archive)>;
using ExtractFn =
    std::function<int(const std::string& archive, const std::string& destination, const std::string& member)>;
using CheckFn = std::function<int(const std::string& archive, int mode)>;

// The command entry of every library: refuses with kAlreadyRunning while another call runs, parses
// the line, then runs `test` or `extract` for each member in turn (the first failure ends it). An
// empty `extract` means the library only tests: an extraction is kNotSupport. A failed allocation
// is kMoreHeapMemory; a call cancelled through the progress entry is kUserCancel whatever the
// reader made of it; nothing escapes as an exception.
int RunCommand(LibraryLock& lock, const char* line, const TestFn& test, const ExtractFn& extract);

// The check entry: waits its turn, answers 0 for a missing name, any failure or a cancel.
int RunCheck(LibraryLock& lock, const char* archivePath, int mode, const CheckFn& check);

// Mode 2's answer from a test result: 1 unless the test found a fault (skipped members pass).
inline int FullCheckAnswer(int testCode) { return testCode >= 0 && testCode <= code::kMaxSkipped ? 1 : 0; }

// The last component of a stored member name, with '\' and '/' both taken as separators.
// Empty when nothing safe remains ("", ".", "..").
std::string SafeLeafName(const std::string& storedName);

// True when a stored member name matches the requested one: exactly, or by its last component
// when the request has no folder part. '\' and '/' compare equal.
bool MemberNameMatches(const std::string& storedName, const std::string& requested);

// A regular file opened for reading, without blocking and without opening anything else: a
// folder, FIFO or device is refused by its type before any open. The descriptor, or -1; `info`
// gets the file's status.
int OpenRegularFile(const char* path, struct stat& info);

// Stored names: whether the bytes are valid UTF-8, and Shift-JIS (code page 932) as UTF-8
// (empty when the bytes are not valid CP932).
bool IsUtf8(const std::string& s);
std::string Cp932ToUtf8(const std::string& s);

// An output file inside the destination folder. Never follows a link at the target, removes
// itself unless Commit() succeeds, and maps errno to the library codes.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // destination: folder with or without closing '/'; leaf: a SafeLeafName(). 0 or an error code.
  int Open(const std::string& destination, const std::string& leaf);
  int Write(const void* data, size_t size);
  int Commit();  // flush and close; 0 or an error code (the file is removed on error)
  void Abort();  // remove the partial file
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// errno after a failed write or create, as a library code.
int WriteErrorCode(int err);

}  // namespace arc
