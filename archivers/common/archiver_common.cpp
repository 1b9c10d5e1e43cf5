// Command-line grammar and output files shared by the archiver libraries.
#include "archiver_common.h"

#include <cerrno>
#include <new>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace arc {

std::vector<std::string> SplitWords(const char* line) {
  std::vector<std::string> words;
  if (line == nullptr) return words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (const char* p = line; *p != '\0'; ++p) {
    const char c = *p;
    if (c == '"') {
      if (quoted && p[1] == '"') {  // "" inside quotes: one literal quote
        word.push_back('"');
        ++p;
        continue;
      }
      quoted = !quoted;
      inWord = true;  // "" is an (empty) word of its own
      continue;
    }
    if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      continue;
    }
    word.push_back(c);
    inWord = true;
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string QuoteWord(const std::string& word) {
  std::string out;
  out.reserve(word.size() + 2);
  out.push_back('"');
  for (const char c : word) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

namespace {

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

constexpr int64_t kProgressPeriodNs = 50'000'000;

thread_local Progress* t_current = nullptr;

// Makes `lock`'s progress the current one of this thread for the length of a call.
class ProgressScope {
 public:
  explicit ProgressScope(Progress& p) : previous_(t_current) {
    p.Begin();
    t_current = &p;
  }
  ~ProgressScope() { t_current = previous_; }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  Progress* previous_;
};

}  // namespace

void Progress::Begin() {
  std::lock_guard<std::mutex> guard(mutex_);
  done_ = total_ = 0;
  lastCallNs_ = 0;
  polls_ = 0;
  cancelled_ = false;
}

bool Progress::Report(uint64_t done, uint64_t total) {
  if (cancelled_) return true;
  ProgressFn fn;
  void* user;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    done_ = done;
    total_ = total;
    fn = fn_;
    user = user_;
    if (fn == nullptr) return false;
    const int64_t now = MonotonicNs();
    if (lastCallNs_ != 0 && now - lastCallNs_ < kProgressPeriodNs) return false;
    lastCallNs_ = now;
  }
  if (fn(user, done, total) != 0) cancelled_ = true;
  return cancelled_;
}

bool Progress::Poll() {
  if (cancelled_) return true;
  if (!set_.load(std::memory_order_relaxed) || (++polls_ & 15) != 0) return false;  // the clock is read every 16th poll
  return Report(done_, total_);
}

Progress& CurrentProgress() {
  static thread_local Progress idle;
  return t_current != nullptr ? *t_current : idle;
}

namespace {

bool IsSwitch(const std::string& w) { return w.size() >= 2 && w[0] == '-'; }

bool EqualsNoCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (x != b[i]) return false;
  }
  return true;
}

}  // namespace

int ParseCommandLine(const char* line, Command& out) {
  out = Command{};
  std::vector<std::string> args;
  bool first = true;
  for (const std::string& w : SplitWords(line)) {
    if (IsSwitch(w)) {
      // "-t" / "-x" are the ZIP and CAB style commands; other switches are accepted and ignored.
      if (out.kind == Command::Kind::None && EqualsNoCase(w, "-t")) out.kind = Command::Kind::Test;
      else if (out.kind == Command::Kind::None && EqualsNoCase(w, "-x")) out.kind = Command::Kind::Extract;
      first = false;
      continue;
    }
    if (first && out.kind == Command::Kind::None && (EqualsNoCase(w, "t") || EqualsNoCase(w, "x"))) {
      out.kind = EqualsNoCase(w, "t") ? Command::Kind::Test : Command::Kind::Extract;
      first = false;
      continue;
    }
    first = false;
    args.push_back(w);
  }
  if (out.kind == Command::Kind::None) return code::kCommandName;
  if (args.empty() || args[0].empty()) return code::kNoArcName;
  out.archive = args[0];
  if (out.kind == Command::Kind::Test) return code::kOk;
  if (args.size() < 3) return code::kNotFileName;
  out.destination = args[1];
  if (out.destination.empty()) return code::kNotFileName;
  if (out.destination.back() != '/') out.destination.push_back('/');
  for (size_t i = 2; i < args.size(); ++i) {
    if (!args[i].empty()) out.members.push_back(args[i]);
  }
  return out.members.empty() ? code::kNotFileName : code::kOk;
}

int RunCommand(LibraryLock& lock, const char* line, const TestFn& test, const ExtractFn& extract) {
  LibraryScope scope(lock, false);
  if (!scope.entered()) return code::kAlreadyRunning;
  ProgressScope progress(lock.progress());
  const auto cancelled = [&lock](int rc) { return lock.progress().cancelled() ? code::kUserCancel : rc; };
  try {
    Command cmd;
    if (const int rc = ParseCommandLine(line, cmd); rc != code::kOk) return rc;
    if (cmd.kind == Command::Kind::Test) return cancelled(test(cmd.archive));
    if (!extract) return code::kNotSupport;
    for (const std::string& member : cmd.members) {
      if (const int rc = extract(cmd.archive, cmd.destination, member); rc != code::kOk) return cancelled(rc);
    }
    return cancelled(code::kOk);
  } catch (const std::bad_alloc&) {
    return cancelled(code::kMoreHeapMemory);
  } catch (...) {
    return cancelled(code::kNotSupport);
  }
}

int RunCheck(LibraryLock& lock, const char* archivePath, int mode, const CheckFn& check) {
  if (archivePath == nullptr || *archivePath == '\0') return 0;
  LibraryScope scope(lock, true);
  ProgressScope progress(lock.progress());
  try {
    const int answer = check(archivePath, mode);
    return lock.progress().cancelled() ? 0 : answer;
  } catch (...) {
    return 0;
  }
}

std::string SafeLeafName(const std::string& storedName) {
  size_t start = 0;
  for (size_t i = 0; i < storedName.size(); ++i) {
    if (storedName[i] == '/' || storedName[i] == '\\') start = i + 1;
  }
  std::string leaf = storedName.substr(start);
  if (leaf.empty() || leaf == "." || leaf == "..") return std::string();
  if (leaf.find('\0') != std::string::npos) return std::string();
  return leaf;
}

namespace {
std::string Slashed(std::string s) {
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}
}  // namespace

int OpenRegularFile(const char* path, struct stat& info) {
  if (path == nullptr || ::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {  // replaced since the first look
    ::close(fd);
    return -1;
  }
  return fd;
}

bool IsUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
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

bool MemberNameMatches(const std::string& storedName, const std::string& requested) {
  const std::string stored = Slashed(storedName);
  const std::string wanted = Slashed(requested);
  if (stored == wanted) return true;
  if (wanted.find('/') != std::string::npos) return false;
  return !wanted.empty() && SafeLeafName(stored) == wanted;
}

int WriteErrorCode(int err) {
  switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return code::kDiskSpace;
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case EISDIR:
      return code::kReadOnly;
    default:
      return code::kCannotWrite;
  }
}

OutputFile::~OutputFile() { Abort(); }

int OutputFile::Open(const std::string& destination, const std::string& leaf) {
  Abort();
  if (leaf.empty() || leaf.find('/') != std::string::npos) return code::kNotFileName;
  path_ = destination;
  if (!path_.empty() && path_.back() != '/') path_.push_back('/');
  path_ += leaf;
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    const int err = errno;
    path_.clear();
    return WriteErrorCode(err);
  }
  return code::kOk;
}

int OutputFile::Write(const void* data, size_t size) {
  if (fd_ < 0) return code::kCannotWrite;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return WriteErrorCode(errno);
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return code::kOk;
}

int OutputFile::Commit() {
  if (fd_ < 0) return code::kCannotWrite;
  int rc = code::kOk;
  if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) rc = WriteErrorCode(errno);
  if (::close(fd_) != 0 && rc == code::kOk) rc = WriteErrorCode(errno);
  fd_ = -1;
  if (rc != code::kOk) {
    ::unlink(path_.c_str());
    path_.clear();
    return rc;
  }
  path_.clear();
  return code::kOk;
}

void OutputFile::Abort() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  path_.clear();
}

}  // namespace arc
