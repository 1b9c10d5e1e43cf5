/* LD_PRELOAD shim for the read-error tests: pread, pread64 and read of one file (ORVEX2_EIO_FILE,
   matched by device and inode, so every name and descriptor of it counts) fail with EIO when they
   would return the byte at offset ORVEX2_EIO_AT. Each injected failure creates ORVEX2_EIO_MARK. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

static int Fails(int fd, unsigned long long offset, size_t length) {
  const char* file = getenv("ORVEX2_EIO_FILE");
  const char* at = getenv("ORVEX2_EIO_AT");
  const char* mark = getenv("ORVEX2_EIO_MARK");
  struct stat target, st;
  if (file == NULL || at == NULL || length == 0) return 0;
  const unsigned long long bad = strtoull(at, NULL, 10);
  if (bad < offset || bad - offset >= length || stat(file, &target) != 0 || fstat(fd, &st) != 0 ||
      st.st_dev != target.st_dev || st.st_ino != target.st_ino) {
    return 0;
  }
  if (mark != NULL) close(open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
  errno = EIO;
  return 1;
}

typedef ssize_t (*PreadFn)(int, void*, size_t, off_t);
typedef ssize_t (*ReadFn)(int, void*, size_t);

ssize_t pread(int fd, void* buffer, size_t length, off_t offset) {
  static PreadFn real;
  if (real == NULL) real = (PreadFn)dlsym(RTLD_NEXT, "pread");
  return Fails(fd, (unsigned long long)offset, length) ? -1 : real(fd, buffer, length, offset);
}

ssize_t pread64(int fd, void* buffer, size_t length, off_t offset) {
  static PreadFn real;
  if (real == NULL) real = (PreadFn)dlsym(RTLD_NEXT, "pread64");
  return Fails(fd, (unsigned long long)offset, length) ? -1 : real(fd, buffer, length, offset);
}

ssize_t read(int fd, void* buffer, size_t length) {
  static ReadFn real;
  if (real == NULL) real = (ReadFn)dlsym(RTLD_NEXT, "read");
  const off_t at = lseek(fd, 0, SEEK_CUR);
  return at >= 0 && Fails(fd, (unsigned long long)at, length) ? -1 : real(fd, buffer, length);
}
