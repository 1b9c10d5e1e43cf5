// ZIP test, recognition and single-member extraction over libzip. We locate the end record
// ourselves so that archives behind a plain prepended stub open through a windowed source, and
// so that a truncated archive is told apart from a file that is no ZIP at all.
#include "zip_archive.h"

#include "archiver_common.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace zipar {
namespace {

namespace code = arc::code;

constexpr size_t kIoBuffer = 256 * 1024;
constexpr int64_t kEndRecordSize = 22;
constexpr int64_t kMaxComment = 65535;
constexpr int64_t kZip64LocatorSize = 20;
constexpr int64_t kZip64EndSize = 56;

arc::LibraryLock g_lock;
std::atomic<void (*)(void*)> g_hook{nullptr};
std::atomic<void*> g_hookContext{nullptr};

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Le64(const unsigned char* p) { return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

// A read-only descriptor of a regular file.
class InputFile {
 public:
  ~InputFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  // 0, kArchiveOpen (missing, unreadable, not a regular file) or kCannotRead.
  int Open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return code::kArchiveOpen;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return code::kCannotRead;
    if (!S_ISREG(st.st_mode)) return code::kArchiveOpen;
    size_ = st.st_size;
    return code::kOk;
  }
  int64_t size() const { return size_; }
  // Reads exactly n bytes at offset; false on a short read or an I/O error (errno kept).
  bool ReadAt(int64_t offset, void* buffer, size_t n) const {
    auto* p = static_cast<unsigned char*>(buffer);
    errno = 0;
    while (n > 0) {
      const ssize_t got = ::pread(fd_, p, n, offset);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      p += got;
      n -= static_cast<size_t>(got);
      offset += got;
    }
    return true;
  }

 private:
  int fd_ = -1;
  int64_t size_ = 0;
};

// Where the archive lies in the file, from its end record.
struct Layout {
  bool found = false;     // an end record whose directory lies inside the file
  int64_t delta = 0;      // bytes before the archive (a prepended stub)
  uint64_t entries = 0;   // members named by the end record
  uint64_t dirSize = 0;   // central directory size
  bool dirSigned = false; // the central directory starts with its signature
};

// Looks for the end record in the last 64 KiB + 22 bytes, the last one first. A record
// counts only when its directory fits in front of it, so a stray "PK\5\6" in a stub or a
// comment is passed over.
int Locate(const InputFile& in, Layout& out) {
  out = Layout{};
  const int64_t size = in.size();
  if (size < kEndRecordSize) return code::kOk;
  const int64_t tailLen = std::min<int64_t>(size, kEndRecordSize + kMaxComment + kZip64LocatorSize + kZip64EndSize);
  const int64_t tailStart = size - tailLen;
  std::vector<unsigned char> tail(static_cast<size_t>(tailLen));
  if (!in.ReadAt(tailStart, tail.data(), tail.size())) return errno != 0 ? code::kCannotRead : code::kHeaderBroken;

  for (int64_t i = tailLen - kEndRecordSize; i >= 0; --i) {
    const unsigned char* e = tail.data() + i;
    if (e[0] != 'P' || e[1] != 'K' || e[2] != 5 || e[3] != 6) continue;
    if (i + kEndRecordSize + Le16(e + 20) > tailLen) continue;
    const int64_t eocdPos = tailStart + i;
    uint64_t entries = Le16(e + 10);
    uint64_t dirSize = Le32(e + 12);
    uint64_t dirOffset = Le32(e + 16);
    int64_t dirEnd = eocdPos;  // the directory ends where the (zip64) end records begin
    // A zip64 locator right before the end record: the zip64 record in front of it holds
    // the real values (also written by streaming zip when the plain fields would do).
    if (i >= kZip64LocatorSize) {
      const unsigned char* loc = e - kZip64LocatorSize;
      if (loc[0] == 'P' && loc[1] == 'K' && loc[2] == 6 && loc[3] == 7) {
        dirEnd = eocdPos - kZip64LocatorSize;
        const int64_t recPos = dirEnd - kZip64EndSize;
        unsigned char rec[kZip64EndSize];
        if (recPos >= 0 && in.ReadAt(recPos, rec, sizeof rec) && rec[0] == 'P' && rec[1] == 'K' &&
            rec[2] == 6 && rec[3] == 6) {
          entries = Le64(rec + 32);
          dirSize = Le64(rec + 40);
          dirOffset = Le64(rec + 48);
          dirEnd = recPos;
        }
      }
    }
    if (dirSize > static_cast<uint64_t>(dirEnd) || dirOffset > static_cast<uint64_t>(dirEnd) - dirSize) continue;
    out.found = true;
    out.delta = dirEnd - static_cast<int64_t>(dirOffset + dirSize);
    out.entries = entries;
    out.dirSize = dirSize;
    if (dirSize >= 4) {
      unsigned char sig[4];
      out.dirSigned = in.ReadAt(out.delta + static_cast<int64_t>(dirOffset), sig, 4) && sig[0] == 'P' &&
                      sig[1] == 'K' && sig[2] == 1 && sig[3] == 2;
    }
    return code::kOk;
  }
  return code::kOk;
}

// A file without an end record that holds a plausible local header is a truncated archive.
bool HasLocalHeader(const InputFile& in) {
  constexpr size_t kChunk = 1 << 20;
  constexpr size_t kHeader = 30;
  const int64_t size = in.size();
  std::vector<unsigned char> buf(static_cast<size_t>(std::min<int64_t>(size, kChunk + kHeader)) + 4);
  if (size >= 4 && in.ReadAt(0, buf.data(), 4) && std::memcmp(buf.data(), "PK\3\4", 4) == 0) return true;
  for (int64_t pos = 0; pos < size; pos += kChunk) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(size - pos, kChunk + kHeader));
    if (!in.ReadAt(pos, buf.data(), n)) return false;
    for (size_t i = 0; i + kHeader <= n && i < kChunk; ++i) {
      const unsigned char* h = buf.data() + i;
      if (h[0] != 'P' || h[1] != 'K' || h[2] != 3 || h[3] != 4) continue;
      const unsigned version = Le16(h + 4) & 0xFF;
      const unsigned method = Le16(h + 8);
      const unsigned nameLen = Le16(h + 26);
      const bool knownMethod = method <= 20 || method == 93 || method == 95 || method == 96 ||
                               method == 97 || method == 98 || method == 99;
      if (version <= 63 && knownMethod && nameLen > 0 &&
          pos + static_cast<int64_t>(i + kHeader + nameLen) <= size) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

int MapLibzipError(int zipError) {
  switch (zipError) {
    case ZIP_ER_OK:
      return code::kOk;
    case ZIP_ER_CRC:
      return code::kFileCrc;
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
      return code::kHuffmanCode;
    case ZIP_ER_OPEN:
    case ZIP_ER_NOENT:
      return code::kArchiveOpen;
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL:
      return code::kCannotRead;
    case ZIP_ER_MEMORY:
      return code::kMoreHeapMemory;
    case ZIP_ER_NOZIP:
      return code::kFileStyle;
    case ZIP_ER_COMPNOTSUPP:
      return code::kMethod;
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_ENCRNOTSUPP:
      return code::kPassword;
    default:  // INCONS, EOF, MULTIDISK and anything else about the archive's structure
      return code::kHeaderBroken;
  }
}

namespace {

int MapZipError(int zipError) { return MapLibzipError(zipError); }

struct ZipCloser {
  void operator()(zip_t* za) const { zip_discard(za); }
};
struct FileCloser {
  void operator()(zip_file_t* zf) const { zip_fclose(zf); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using ZipFilePtr = std::unique_ptr<zip_file_t, FileCloser>;

// Opens the archive with consistency checks, through a window when a stub precedes it.
int OpenArchive(const std::string& path, ZipPtr& out) {
  InputFile in;
  if (const int rc = in.Open(path); rc != code::kOk) return rc;
  Layout layout;
  if (const int rc = Locate(in, layout); rc != code::kOk) return rc;
  if (!layout.found) {
    if (in.size() == 0) return code::kFileStyle;
    return HasLocalHeader(in) ? code::kHeaderBroken : code::kFileStyle;
  }
  if (layout.entries > kMaxMembers) return code::kTooManyFiles;
  if (layout.dirSize > kMaxDirectoryBytes) return code::kTooManyFiles;

  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_file_create(path.c_str(), static_cast<zip_uint64_t>(layout.delta), -1, &error);
  if (src == nullptr) {
    const int rc = MapZipError(zip_error_code_zip(&error));
    zip_error_fini(&error);
    return rc;
  }
  zip_t* za = zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (za == nullptr) {
    zip_source_free(src);
    int rc = MapZipError(zip_error_code_zip(&error));
    zip_error_fini(&error);
    // We found an end record, so libzip's "not a zip" means a damaged one.
    if (rc == code::kFileStyle) rc = code::kHeaderBroken;
    return rc;
  }
  zip_error_fini(&error);
  out.reset(za);
  return code::kOk;
}

bool Encrypted(const zip_stat_t& st) {
  return (st.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && st.encryption_method != ZIP_EM_NONE;
}

bool Decodable(const zip_stat_t& st) {
  return (st.valid & ZIP_STAT_COMP_METHOD) == 0 || zip_compression_method_supported(st.comp_method, 0) != 0;
}

// Decompresses one member, handing each block to sink; the member may not produce more or
// fewer bytes than its declared size. 0 or an error code (from sink or the data).
template <typename Sink>
int ReadMember(zip_t* za, zip_uint64_t index, const zip_stat_t& st, unsigned char* buffer, Sink&& sink) {
  ZipFilePtr zf(zip_fopen_index(za, index, 0));
  if (!zf) return MapZipError(zip_error_code_zip(zip_get_error(za)));
  const bool sized = (st.valid & ZIP_STAT_SIZE) != 0;
  uint64_t total = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(zf.get(), buffer, kIoBuffer);
    if (n < 0) return MapZipError(zip_error_code_zip(zip_file_get_error(zf.get())));
    if (n == 0) break;
    total += static_cast<uint64_t>(n);
    if (sized && total > st.size) return code::kHuffmanCode;
    if (const int rc = sink(buffer, static_cast<size_t>(n)); rc != code::kOk) return rc;
  }
  if (sized && total != st.size) return code::kHuffmanCode;
  return code::kOk;
}

}  // namespace

int Test(const std::string& path) {
  ZipPtr za;
  if (const int rc = OpenArchive(path, za); rc != code::kOk) return rc;
  const zip_int64_t count = zip_get_num_entries(za.get(), 0);
  if (count < 0) return code::kHeaderBroken;
  if (static_cast<uint64_t>(count) > kMaxMembers) return code::kTooManyFiles;

  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kIoBuffer]);
  arc::TestResult result;
  for (zip_int64_t i = 0; i < count && !result.failed(); ++i) {
    if (auto hook = g_hook.load()) hook(g_hookContext.load());
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0) {
      result.Fail(MapZipError(zip_error_code_zip(zip_get_error(za.get()))));
      break;
    }
    if (Encrypted(st) || !Decodable(st)) {
      result.Skip();
      continue;
    }
    const int rc = ReadMember(za.get(), static_cast<zip_uint64_t>(i), st, buffer.get(),
                              [](const unsigned char*, size_t) { return code::kOk; });
    if (rc == code::kMethod || rc == code::kPassword) {
      result.Skip();
    } else if (rc != code::kOk) {
      result.Fail(rc);
    }
  }
  return result.Code();
}

bool IsArchive(const std::string& path) {
  InputFile in;
  if (in.Open(path) != code::kOk) return false;
  Layout layout;
  if (Locate(in, layout) != code::kOk || !layout.found) return false;
  return layout.entries == 0 ? layout.dirSize == 0 : layout.dirSigned;
}

int Extract(const std::string& archive, const std::string& destination, const std::string& member) {
  ZipPtr za;
  if (const int rc = OpenArchive(archive, za); rc != code::kOk) return rc;
  const zip_int64_t count = zip_get_num_entries(za.get(), 0);
  if (count < 0) return code::kHeaderBroken;

  zip_stat_t st;
  zip_int64_t found = -1;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_init(&st);
    if (zip_stat_index(za.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    if ((st.valid & ZIP_STAT_NAME) == 0 || st.name == nullptr) continue;
    const std::string name = st.name;
    if (name.empty() || name.back() == '/' || name.back() == '\\') continue;  // folders
    if (arc::MemberNameMatches(name, member) && !arc::SafeLeafName(name).empty()) {
      found = i;
      break;
    }
  }
  if (found < 0) return code::kNotFindArcFile;
  if (Encrypted(st)) return code::kPassword;
  if (!Decodable(st)) return code::kMethod;

  arc::OutputFile out;
  if (const int rc = out.Open(destination, arc::SafeLeafName(st.name)); rc != code::kOk) return rc;
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kIoBuffer]);
  const int rc = ReadMember(za.get(), static_cast<zip_uint64_t>(found), st, buffer.get(),
                            [&out](const unsigned char* data, size_t n) { return out.Write(data, n); });
  if (rc != code::kOk) {
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
