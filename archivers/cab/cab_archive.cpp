// Cabinet test and recognition over libmspack, through our own mspack_system: buffered
// reads of the archive (optionally from an offset, for a cabinet inside a program) and a
// discard sink that counts what each member decodes to.
#include "cab_archive.h"

#include "archiver_common.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace cabar {
namespace {

namespace code = arc::code;

constexpr size_t kReadBuffer = 64 * 1024;
constexpr size_t kMaxAllocation = 48u << 20;  // far above any real window or buffer
constexpr int kDecompressBuffer = 64 * 1024;
constexpr int kCompTypeMask = 0x000F;
constexpr size_t kHeaderSize = 36;

arc::LibraryLock g_lock;
std::atomic<void (*)(void*)> g_hook{nullptr};
std::atomic<void*> g_hookContext{nullptr};

const char kSinkName[] = "\x01orvex2-discard";

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct System;

// Both kinds of handle libmspack sees: the archive (read) and the sink (write).
struct Handle {
  System* sys = nullptr;
  bool sink = false;
  int fd = -1;
  int64_t base = 0;  // file offset of the cabinet
  int64_t size = 0;  // bytes from base to the end of the file
  int64_t pos = 0;   // relative to base
  std::unique_ptr<unsigned char[]> buffer;
  int64_t bufferPos = 0;  // relative position of buffer[0]
  size_t bufferLen = 0;
};

// Our mspack_system: the struct libmspack calls through comes first.
struct System {
  mspack_system ops{};
  std::string path;
  int64_t base = 0;       // applied to the next archive handle opened
  int readErrno = 0;      // an I/O error seen by a read
  bool shortRead = false; // a read met the end of the file
  uint64_t sinkWritten = 0;  // bytes the current member decoded to
};

System* Owner(mspack_system* self) { return reinterpret_cast<System*>(self); }
Handle* AsHandle(mspack_file* f) { return reinterpret_cast<Handle*>(f); }

mspack_file* SysOpen(mspack_system* self, const char* filename, int mode) {
  System* sys = Owner(self);
  auto h = std::make_unique<Handle>();
  h->sys = sys;
  if (filename == kSinkName && mode == MSPACK_SYS_OPEN_WRITE) {
    h->sink = true;
    sys->sinkWritten = 0;
    return reinterpret_cast<mspack_file*>(h.release());
  }
  if (mode != MSPACK_SYS_OPEN_READ || filename == nullptr || sys->path != filename) return nullptr;
  h->fd = ::open(filename, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (h->fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(h->fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < sys->base) {
    ::close(h->fd);
    return nullptr;
  }
  h->base = sys->base;
  h->size = st.st_size - sys->base;
  h->buffer.reset(new unsigned char[kReadBuffer]);
  return reinterpret_cast<mspack_file*>(h.release());
}

void SysClose(mspack_file* file) {
  Handle* h = AsHandle(file);
  if (h == nullptr) return;
  if (h->fd >= 0) ::close(h->fd);
  delete h;
}

// pread of up to n bytes at a relative position; -1 on an I/O error (errno kept in sys).
int64_t ReadRaw(Handle* h, int64_t pos, unsigned char* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(h->fd, out + done, n - done, h->base + pos + static_cast<int64_t>(done));
    if (got < 0) {
      if (errno == EINTR) continue;
      h->sys->readErrno = errno;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

int SysRead(mspack_file* file, void* buffer, int bytes) {
  Handle* h = AsHandle(file);
  if (h == nullptr || h->sink || bytes < 0) return -1;
  auto* out = static_cast<unsigned char*>(buffer);
  size_t want = static_cast<size_t>(bytes);
  size_t done = 0;
  while (done < want) {
    if (h->pos >= h->bufferPos && h->pos < h->bufferPos + static_cast<int64_t>(h->bufferLen)) {
      const size_t at = static_cast<size_t>(h->pos - h->bufferPos);
      const size_t n = std::min(want - done, h->bufferLen - at);
      std::memcpy(out + done, h->buffer.get() + at, n);
      done += n;
      h->pos += static_cast<int64_t>(n);
      continue;
    }
    if (h->pos >= h->size) break;
    if (want - done >= kReadBuffer) {  // large reads go straight to the caller's buffer
      const size_t need = want - done;
      const int64_t got = ReadRaw(h, h->pos, out + done, need);
      if (got < 0) return -1;
      done += static_cast<size_t>(got);
      h->pos += got;
      if (static_cast<size_t>(got) < need) break;
      continue;
    }
    const int64_t got = ReadRaw(h, h->pos, h->buffer.get(), kReadBuffer);
    if (got < 0) return -1;
    h->bufferPos = h->pos;
    h->bufferLen = static_cast<size_t>(got);
    if (got == 0) break;
  }
  if (done < want) h->sys->shortRead = true;
  return static_cast<int>(done);
}

int SysWrite(mspack_file* file, void* /*buffer*/, int bytes) {
  Handle* h = AsHandle(file);
  if (h == nullptr || !h->sink || bytes < 0) return -1;
  h->sys->sinkWritten += static_cast<uint64_t>(bytes);
  return bytes;
}

int SysSeek(mspack_file* file, off_t offset, int mode) {
  Handle* h = AsHandle(file);
  if (h == nullptr || h->sink) return -1;
  int64_t target = 0;
  switch (mode) {
    case MSPACK_SYS_SEEK_START:
      target = offset;
      break;
    case MSPACK_SYS_SEEK_CUR:
      target = h->pos + offset;
      break;
    case MSPACK_SYS_SEEK_END:
      target = h->size + offset;
      break;
    default:
      return -1;
  }
  if (target < 0) return -1;
  h->pos = target;
  return 0;
}

off_t SysTell(mspack_file* file) {
  Handle* h = AsHandle(file);
  return h == nullptr ? -1 : static_cast<off_t>(h->pos);
}

void SysMessage(mspack_file*, const char*, ...) {}

void* SysAlloc(mspack_system*, size_t bytes) { return bytes > kMaxAllocation ? nullptr : std::malloc(bytes); }
void SysFree(void* p) { std::free(p); }
void SysCopy(void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); }

// One decompressor over one file, opened at offset 0 or where a cabinet was found inside.
class Session {
 public:
  explicit Session(const std::string& path) {
    sys_.path = path;
    sys_.ops.open = SysOpen;
    sys_.ops.close = SysClose;
    sys_.ops.read = SysRead;
    sys_.ops.write = SysWrite;
    sys_.ops.seek = SysSeek;
    sys_.ops.tell = SysTell;
    sys_.ops.message = SysMessage;
    sys_.ops.alloc = SysAlloc;
    sys_.ops.free = SysFree;
    sys_.ops.copy = SysCopy;
    sys_.ops.null_ptr = nullptr;
    cabd_ = mspack_create_cab_decompressor(&sys_.ops);
    if (cabd_ != nullptr) cabd_->set_param(cabd_, MSCABD_PARAM_DECOMPBUF, kDecompressBuffer);
  }
  ~Session() {
    if (cabd_ != nullptr) {
      if (cab_ != nullptr) cabd_->close(cabd_, cab_);
      mspack_destroy_cab_decompressor(cabd_);
    }
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // 0 or an error code; afterwards cabinet() is the cabinet found.
  int Open() {
    if (cabd_ == nullptr) return code::kMoreHeapMemory;
    struct stat st {};
    const int fd = ::open(sys_.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return code::kArchiveOpen;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) return code::kArchiveOpen;
    if (st.st_size == 0) return code::kFileStyle;
    fileSize_ = st.st_size;

    const int err = OpenAt(0);
    if (err == MSPACK_ERR_OK) return code::kOk;
    if (err == MSPACK_ERR_SIGNATURE) return FindEmbedded();
    // libmspack reads only headers while opening: what it rejects there is a broken header.
    if (err == MSPACK_ERR_DATAFORMAT) return code::kHeaderBroken;
    return MapMspackError(err, Truncated());
  }

  mscabd_cabinet* cabinet() const { return cab_; }

  // TestMember's answer for a member that is partly in another cabinet of a set.
  static constexpr int kContinued = -1;

  // Decodes one member into the sink; 0 or an error code.
  int TestMember(mscabd_file* file) {
    sys_.readErrno = 0;
    sys_.shortRead = false;
    if (file->folder == nullptr) return code::kHeaderBroken;
    const int type = file->folder->comp_type & kCompTypeMask;
    if (type > MSCAB_COMP_LZX) return code::kMethod;
    if (EndsInNextCabinet(file)) return kContinued;
    int err = MSPACK_ERR_OK;
    bool truncated = false;
    bool shortOutput = false;
    if (file->length == 0) {
      // Nothing to decode: libmspack only checks where the member lies.
      err = cabd_->extract(cabd_, file, kSinkName);
      truncated = Truncated();
    } else {
      const FolderRun& run = RunFolder(file->folder);
      if (static_cast<uint64_t>(file->offset) + file->length <= run.okEnd) return code::kOk;
      err = run.error;
      truncated = run.truncated;
      shortOutput = run.shortOutput;
    }
    if ((err == MSPACK_ERR_DATAFORMAT || err == MSPACK_ERR_DECRUNCH) && BeginsInPreviousCabinet(file)) {
      return kContinued;
    }
    if (err != MSPACK_ERR_OK) return MapMspackError(err, truncated);
    if (shortOutput) return code::kHuffmanCode;
    return code::kOk;
  }

 private:
  // One pass over a folder's data, from its start to the end of its last member. libmspack
  // starts a folder over whenever a member lies before the one decoded last, so members listed
  // out of order or overlapping (a few hundred entries naming one large member) would decode the
  // folder once per member. A member decodes from a fresh start exactly when the folder's data
  // decodes up to the member's end, so one pass answers for all of them.
  struct FolderRun {
    uint64_t okEnd = 0;         // members ending here or before decode
    int error = MSPACK_ERR_OK;  // what members ending later meet
    bool truncated = false;
    bool shortOutput = false;   // or: the data ended early without an error
  };

  const FolderRun& RunFolder(const mscabd_folder* folder) {
    if (auto done = runs_.find(folder); done != runs_.end()) return done->second;
    if (!endsCollected_) {
      endsCollected_ = true;
      for (const mscabd_file* f = cab_->files; f != nullptr; f = f->next) {
        if (f->folder != nullptr && f->length > 0 && !EndsInNextCabinet(f)) {
          memberEnds_[f->folder].push_back(static_cast<uint64_t>(f->offset) + f->length);
        }
      }
    }
    std::vector<uint64_t> ends = std::move(memberEnds_[folder]);
    memberEnds_.erase(folder);
    std::sort(ends.begin(), ends.end());
    ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
    FolderRun run;
    // Each step decodes on from where the last one stopped, as one stand-in member.
    mscabd_file step{};
    step.filename = const_cast<char*>("");
    step.folder = const_cast<mscabd_folder*>(folder);
    for (const uint64_t end : ends) {
      // Ends past 4 GiB are refused by libmspack's own range checks.
      step.offset = static_cast<unsigned int>(run.okEnd);
      step.length = static_cast<unsigned int>(std::min<uint64_t>(end - run.okEnd, 0xFFFFFFFFu));
      sys_.readErrno = 0;
      sys_.shortRead = false;
      const int err = cabd_->extract(cabd_, &step, kSinkName);
      if (err != MSPACK_ERR_OK) {
        run.error = err;
        run.truncated = Truncated();
        break;
      }
      if (sys_.sinkWritten != step.length || run.okEnd + step.length != end) {
        run.shortOutput = true;
        break;
      }
      run.okEnd = end;
    }
    return runs_.emplace(folder, run).first->second;
  }

  // In a cabinet of a set, members of the first folder may begin in the previous cabinet and
  // members of the last folder may end in the next one; libmspack cannot decode them alone.
  bool BeginsInPreviousCabinet(const mscabd_file* file) const {
    return (cab_->flags & MSCAB_HDR_PREVCAB) != 0 && file->folder == cab_->folders;
  }
  bool EndsInNextCabinet(const mscabd_file* file) {
    if ((cab_->flags & MSCAB_HDR_NEXTCAB) == 0) return false;
    if (lastFolder_ == nullptr) {
      lastFolder_ = cab_->folders;
      while (lastFolder_ != nullptr && lastFolder_->next != nullptr) lastFolder_ = lastFolder_->next;
    }
    const mscabd_folder* last = lastFolder_;
    constexpr uint64_t kBlock = 32768;  // uncompressed bytes per data block
    return file->folder == last &&
           (static_cast<uint64_t>(file->offset) + file->length) / kBlock > last->num_blocks;
  }

  // A short read, with no I/O error, of a cabinet that claims more bytes than the file holds.
  bool Truncated() const {
    if (sys_.readErrno != 0) return false;
    if (sys_.shortRead) return true;
    return cab_ != nullptr && sys_.base + static_cast<int64_t>(cab_->length) > fileSize_;
  }

  int OpenAt(int64_t base) {
    runs_.clear();
    memberEnds_.clear();
    endsCollected_ = false;
    lastFolder_ = nullptr;
    if (cab_ != nullptr) {
      cabd_->close(cabd_, cab_);
      cab_ = nullptr;
    }
    sys_.base = base;
    sys_.readErrno = 0;
    sys_.shortRead = false;
    cab_ = cabd_->open(cabd_, sys_.path.c_str());
    return cab_ != nullptr ? MSPACK_ERR_OK : cabd_->last_error(cabd_);
  }

  // Scans for "MSCF" headers that could start a cabinet and opens the first one libmspack
  // accepts. A bounded number of candidates is tried, so a file full of false signatures
  // cannot make this slow.
  int FindEmbedded() {
    const int fd = ::open(sys_.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return code::kArchiveOpen;
    std::vector<unsigned char> buf(static_cast<size_t>(std::min<int64_t>(fileSize_, kReadBuffer * 16 + kHeaderSize)));
    int tries = 0;
    int firstError = MSPACK_ERR_OK;
    bool truncated = false;
    int result = code::kFileStyle;
    for (int64_t pos = 0; pos < fileSize_ && tries < kMaxEmbeddedTries && result == code::kFileStyle;) {
      const size_t chunk = kReadBuffer * 16;
      const ssize_t got = ::pread(fd, buf.data(), std::min<int64_t>(fileSize_ - pos, buf.size()), pos);
      if (got <= 0) {
        if (got < 0) result = code::kCannotRead;
        break;
      }
      const size_t n = static_cast<size_t>(got);
      for (size_t i = 0; i + kHeaderSize <= n && i < chunk; ++i) {
        const unsigned char* h = buf.data() + i;
        if (h[0] != 'M' || h[1] != 'S' || h[2] != 'C' || h[3] != 'F') continue;
        if (pos + static_cast<int64_t>(i) == 0) continue;  // already tried at offset 0
        // Plausible header: reserved field 0, version 1.3, some folders and files.
        if (Le32(h + 4) != 0 || h[24] != 3 || h[25] != 1 || Le16(h + 26) == 0 || Le16(h + 28) == 0) continue;
        if (Le32(h + 16) >= Le32(h + 8)) continue;
        if (++tries > kMaxEmbeddedTries) break;
        const int err = OpenAt(pos + static_cast<int64_t>(i));
        if (err == MSPACK_ERR_OK) {
          result = code::kOk;
          break;
        }
        if (firstError == MSPACK_ERR_OK) {
          firstError = err;
          truncated = Truncated();
        }
      }
      pos += static_cast<int64_t>(chunk);
    }
    ::close(fd);
    if (result == code::kFileStyle && firstError == MSPACK_ERR_READ && truncated) {
      return code::kHeaderBroken;  // a cabinet header whose rest is cut off
    }
    return result;
  }

  System sys_;
  mscab_decompressor* cabd_ = nullptr;
  mscabd_cabinet* cab_ = nullptr;
  int64_t fileSize_ = 0;
  std::unordered_map<const mscabd_folder*, FolderRun> runs_;
  std::unordered_map<const mscabd_folder*, std::vector<uint64_t>> memberEnds_;
  bool endsCollected_ = false;
  const mscabd_folder* lastFolder_ = nullptr;  // of cab_, found on first use
};

}  // namespace

int MapMspackError(int error, bool truncated) {
  switch (error) {
    case MSPACK_ERR_OK:
      return code::kOk;
    case MSPACK_ERR_CHECKSUM:
      return code::kFileCrc;
    case MSPACK_ERR_DATAFORMAT:
    case MSPACK_ERR_DECRUNCH:
      return code::kHuffmanCode;
    case MSPACK_ERR_SIGNATURE:
      return code::kFileStyle;
    case MSPACK_ERR_OPEN:
      return code::kArchiveOpen;
    case MSPACK_ERR_READ:
    case MSPACK_ERR_SEEK:
      return truncated ? code::kHeaderBroken : code::kCannotRead;
    case MSPACK_ERR_NOMEMORY:
      return code::kMoreHeapMemory;
    default:
      return code::kHeaderBroken;
  }
}

int Test(const std::string& path) {
  Session session(path);
  if (const int rc = session.Open(); rc != code::kOk) return rc;
  arc::TestResult result;
  for (mscabd_file* f = session.cabinet()->files; f != nullptr && !result.failed(); f = f->next) {
    if (auto hook = g_hook.load()) hook(g_hookContext.load());
    const int rc = session.TestMember(f);
    if (rc == Session::kContinued) {
      result.Skip();
    } else if (rc != code::kOk) {
      result.Fail(rc);
    }
  }
  return result.Code();
}

bool IsArchive(const std::string& path) {
  Session session(path);
  return session.Open() == code::kOk;
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
