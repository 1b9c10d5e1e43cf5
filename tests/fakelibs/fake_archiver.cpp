// Scripted stand-in for one archiver library (built once per family): the real file name and
// entries, answers read from $ORVEX2_FAKE_SCRIPT on every call, every call logged to $ORVEX2_FAKE_LOG.
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifndef FAKE_PREFIX
#error "FAKE_PREFIX (Unlha, UnZip, Unarj, Cab), FAKE_DLL and FAKE_TAG must be defined"
#endif

#define FAKE_CAT2(a, b) a##b
#define FAKE_CAT(a, b) FAKE_CAT2(a, b)
#define FAKE_ENTRY(suffix) FAKE_CAT(FAKE_PREFIX, suffix)
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kDefaultVersion = 540;
constexpr int kAlreadyRunning = 0x801F;
constexpr int kApiMisuse = 0x8021;
constexpr int kCannotWrite = 0x8013;
constexpr int kNotFileName = 0x802B;
constexpr int kUserCancel = 0x8020;

std::atomic<int> g_inProgress{0};

using ProgressFn = int (*)(void* user, unsigned long long done, unsigned long long total);
std::mutex g_progressMutex;
ProgressFn g_progress = nullptr;
void* g_progressUser = nullptr;

struct Word {
  std::string text;
  bool quoted = false;
};

// Blank-separated words; double quotes group blanks into a word, and inside them two double
// quotes stand for one literal '"'; '#' outside quotes ends the line when `comments` is set.
std::vector<Word> SplitWords(const std::string& line, bool comments) {
  std::vector<Word> words;
  Word cur;
  bool inWord = false, inQuote = false;
  for (std::string::size_type i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (inQuote) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cur.text += c;
        ++i;
      } else if (c == '"') {
        inQuote = false;
      } else {
        cur.text += c;
      }
      continue;
    }
    if (c == '#' && comments) break;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(cur);
      cur = Word{};
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '"') {
      inQuote = true;
      cur.quoted = true;
    } else {
      cur.text += c;
    }
  }
  if (inWord) words.push_back(cur);
  return words;
}

bool ParseNumber(const std::string& s, long& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (errno != 0 || *end != '\0') return false;
  out = v;
  return true;
}

// The script's lines that apply to this family, family prefix removed.
std::vector<std::vector<std::string>> LoadScript() {
  std::vector<std::vector<std::string>> rules;
  const char* path = std::getenv("ORVEX2_FAKE_SCRIPT");
  if (!path || !*path) return rules;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<Word> words = SplitWords(line, true);
    if (words.empty()) continue;
    const std::string& first = words.front().text;
    if (first == "lzh" || first == "zip" || first == "arj" || first == "cab") {
      if (first != FAKE_TAG) continue;
      words.erase(words.begin());
      if (words.empty()) continue;
    }
    std::vector<std::string> rule;
    for (const Word& w : words) rule.push_back(w.text);
    rules.push_back(std::move(rule));
  }
  return rules;
}

void Log(const std::string& text) {
  const char* path = std::getenv("ORVEX2_FAKE_LOG");
  if (!path || !*path) return;
  std::string line = std::string(FAKE_DLL) + " " + text + "\n";
  int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // One write per line keeps lines whole when several threads or processes log at once.
  ssize_t n = ::write(fd, line.data(), line.size());
  (void)n;
  ::close(fd);
}

bool NameMatches(const std::string& glob, const std::string& archive) {
  if (glob.find('/') != std::string::npos) return fnmatch(glob.c_str(), archive.c_str(), 0) == 0;
  std::string::size_type slash = archive.rfind('/');
  std::string name = slash == std::string::npos ? archive : archive.substr(slash + 1);
  return fnmatch(glob.c_str(), name.c_str(), 0) == 0;
}

// First rule "<key> <value>"; false when there is none with a valid number.
bool FindValue(const std::vector<std::vector<std::string>>& rules, const std::string& key, long& out) {
  for (const auto& r : rules)
    if (r.size() >= 2 && r[0] == key && ParseNumber(r[1], out)) return true;
  return false;
}

// The action of the first rule "<key> <glob> <action...>" whose glob matches the archive.
const std::vector<std::string>* FindGlobRule(const std::vector<std::vector<std::string>>& rules,
                                             const std::string& key, const std::string& archive) {
  for (const auto& r : rules)
    if (r.size() >= 3 && r[0] == key && NameMatches(r[1], archive)) return &r;
  return nullptr;
}

bool CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return false;
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << in.rdbuf();
  return static_cast<bool>(out.flush());
}

// "copy:PATH [CODE]" copies PATH to dest+member, then answers CODE (default 0); a number is the
// answer without writing anything.
int Extract(const std::vector<std::string>* rule, const std::string& dest, const std::string& member) {
  if (!rule) return 0;
  const std::string& action = (*rule)[2];
  long code = 0;
  if (action.rfind("copy:", 0) == 0) {
    std::string target = dest;
    if (!target.empty() && target.back() != '/') target += '/';
    target += member;
    if (!CopyFile(action.substr(5), target)) return kCannotWrite;
    if (rule->size() >= 4 && !ParseNumber((*rule)[3], code)) code = 0;
    return static_cast<int>(code);
  }
  return ParseNumber(action, code) ? static_cast<int>(code) : 0;
}

// Reports progress as the real libraries do: at the start of a call, then, for an archive the
// script names with "slow GLOB MS", every 10 ms for MS milliseconds. False when the callback
// cancelled the call.
bool Progress(const std::vector<std::vector<std::string>>& rules, const std::string& archive) {
  ProgressFn fn;
  void* user;
  {
    std::lock_guard<std::mutex> guard(g_progressMutex);
    fn = g_progress;
    user = g_progressUser;
  }
  long ms = 0;
  const auto* rule = FindGlobRule(rules, "slow", archive);
  if (rule == nullptr || !ParseNumber((*rule)[2], ms) || ms < 0) ms = 0;
  struct stat st {};
  const unsigned long long total = ::stat(archive.c_str(), &st) == 0 && st.st_size > 0 ? st.st_size : 1000000;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const long elapsed = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    const unsigned long long done = ms > 0 ? total * std::min(elapsed, ms) / ms : 0;
    if (fn != nullptr && fn(user, done, total) != 0) return false;
    if (elapsed >= ms) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int RunCommand(const std::string& line) {
  const auto rules = LoadScript();
  long delayMs = 0;
  if (FindValue(rules, "delay", delayMs) && delayMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));

  bool extract = false;
  std::vector<std::string> args;
  for (const Word& w : SplitWords(line, false)) {
    if (!w.quoted && (w.text == "x" || w.text == "-x" || w.text == "e" || w.text == "-e")) extract = true;
    if (w.quoted) args.push_back(w.text);
  }
  if (args.empty()) return 0x8019;  // no archive name
  if (!Progress(rules, args[0])) return kUserCancel;
  if (extract) {
    if (args.size() < 3) return kNotFileName;
    return Extract(FindGlobRule(rules, "extract", args[0]), args[1], args[2]);
  }
  long code = 0;
  const auto* rule = FindGlobRule(rules, "test", args[0]);
  if (rule && ParseNumber((*rule)[2], code)) return static_cast<int>(code);
  return 0;
}

}  // namespace

FAKE_EXPORT int FAKE_ENTRY()(void* window, const char* commandLine, char* output, unsigned long outputSize) {
  (void)window;
  if (output && outputSize > 0) output[0] = '\0';
  if (!commandLine) {
    Log("command (null)");
    return kApiMisuse;
  }
  Log(std::string("command ") + commandLine);
  // Like the real libraries: a second call while one is in progress is refused.
  if (g_inProgress.fetch_add(1) > 0) {
    g_inProgress.fetch_sub(1);
    return kAlreadyRunning;
  }
  int result = RunCommand(commandLine);
  g_inProgress.fetch_sub(1);
  return result;
}

FAKE_EXPORT int FAKE_ENTRY(CheckArchive)(const char* archivePath, int mode) {
  std::string path = archivePath ? archivePath : "(null)";
  Log("check " + path + " " + std::to_string(mode));
  if (!archivePath) return 0;
  long value = 1;
  const auto rules = LoadScript();
  if (!Progress(rules, path)) return 0;  // a cancelled check answers 0
  const auto* rule = FindGlobRule(rules, "check" + std::to_string(mode), path);
  if (rule && ParseNumber((*rule)[2], value)) return static_cast<int>(value);
  return 1;
}

FAKE_EXPORT unsigned short FAKE_ENTRY(GetVersion)(void) {
  Log("version");
  long v = kDefaultVersion;
  FindValue(LoadScript(), "version", v);
  return static_cast<unsigned short>(v);
}

#ifndef FAKE_OMIT_RUNNING
FAKE_EXPORT int FAKE_ENTRY(GetRunning)(void) {
  Log("running");
  long v = 0;
  if (FindValue(LoadScript(), "running", v)) return static_cast<int>(v);
  return g_inProgress.load() > 0 ? 1 : 0;
}
#endif

#ifndef FAKE_OMIT_PROGRESS
FAKE_EXPORT void FAKE_ENTRY(SetProgress)(ProgressFn callback, void* user) {
  std::lock_guard<std::mutex> guard(g_progressMutex);
  g_progress = callback;
  g_progressUser = user;
}
#endif
