/* LD_PRELOAD shim for the read-error tests: pread, pread64 and read of one file (ORVEX2_EIO_FILE,
   matched by device and inode, so every name and descriptor of it counts) fail with EIO when they
   would return the byte at offset ORVEX2_EIO_AT. Each injected failure creates ORVEX2_EIO_MARK. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static int g_state; /* 0 not read yet, 1 off, 2 armed */
static dev_t g_dev;
static ino_t g_ino;
static unsigned long long g_at;

static void Configure(void) {
  const char* file = getenv("ORVEX2_EIO_FILE");
  const char* at = getenv("ORVEX2_EIO_AT");
  struct stat st;
  g_state = 1;
  if (file == NULL || at == NULL || stat(file, &st) != 0) return;
  g_dev = st.st_dev;
  g_ino = st.st_ino;
  g_at = strtoull(at, NULL, 10);
  g_state = 2;
}

static int Fails(int fd, unsigned long long offset, size_t length) {
  struct stat st;
  if (g_state == 0) Configure();
  if (g_state != 2 || length == 0 || g_at < offset || g_at - offset >= length) return 0;
  if (fstat(fd, &st) != 0 || st.st_dev != g_dev || st.st_ino != g_ino) return 0;
  const char* mark = getenv("ORVEX2_EIO_MARK");
  if (mark != NULL) {
    const int m = open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (m >= 0) close(m);
  }
  errno = EIO;
  return 1;
}

ssize_t pread(int fd, void* buffer, size_t length, off_t offset) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (real == NULL) real = (ssize_t (*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread");
  if (Fails(fd, (unsigned long long)offset, length)) return -1;
  return real(fd, buffer, length, offset);
}

ssize_t pread64(int fd, void* buffer, size_t length, off_t offset) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (real == NULL) real = (ssize_t (*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread64");
  if (Fails(fd, (unsigned long long)offset, length)) return -1;
  return real(fd, buffer, length, offset);
}

ssize_t read(int fd, void* buffer, size_t length) {
  static ssize_t (*real)(int, void*, size_t);
  if (real == NULL) real = (ssize_t (*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  const off_t at = lseek(fd, 0, SEEK_CUR);
  if (at >= 0 && Fails(fd, (unsigned long long)at, length)) return -1;
  return real(fd, buffer, length);
}
