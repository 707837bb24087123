/* An LD_PRELOAD shim that makes the system calls on one chosen file fail or
 * misbehave at a chosen point, so that tests can see how rowsift copes with
 * a failing disk, a full disk, interrupted and short transfers.
 *
 * Settings (environment):
 *   FAULT_PATH         the file whose descriptors are watched (matched by
 *                      device and inode once open, so any spelling counts);
 *                      for a folder, also the unnamed temporary files made
 *                      in it (O_TMPFILE, the folder spelt as here), all
 *                      counted together as one file
 *   FAULT_OP           read (also at an offset) | write | close | lseek | open
 *   FAULT_MODE         fail    the transfer that would pass FAULT_AFTER_BYTES
 *                              fails whole, and so does every later one
 *                      partial the transfer that would pass the mark moves the
 *                              bytes up to it and returns a short count; every
 *                              later one fails
 *                      eintr   past the mark, every other call fails with EINTR
 *                              before doing anything (close: the descriptor is
 *                              closed all the same, as Linux does)
 *                      short   past the mark, every call moves 1 to
 *                              FAULT_SHORT_MAX bytes only (default 7)
 *   FAULT_AFTER_BYTES  bytes of FAULT_OP that succeed first (default 0)
 *   FAULT_ERRNO        EIO | ENOSPC | EDQUOT | EBADF | ESPIPE | a number
 *                      (default EIO)
 *   FAULT_GETRANDOM    an errno that every getrandom() fails with (ENOSYS:
 *                      a kernel without the call)
 *   FAULT_LOG          a file that gets one line per watched call:
 *                      "<op> fd=<n> asked=<n> result=<n> errno=<n>[ FAULT]"
 *
 * Only watched descriptors are touched; everything else passes straight on.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum { OP_NONE, OP_READ, OP_WRITE, OP_CLOSE, OP_LSEEK, OP_OPEN };
enum { MODE_FAIL, MODE_PARTIAL, MODE_EINTR, MODE_SHORT };
enum { MAX_FDS = 4096 };

static int g_ready;
static const char* g_path;
static int g_op = OP_NONE;
static int g_mode = MODE_FAIL;
static unsigned long long g_after;
static int g_errno = EIO;
static unsigned g_short_max = 7;
static int g_log = -1;

static unsigned long long g_done; /* bytes of the chosen op moved so far */
static unsigned long g_calls;     /* calls of the chosen op past the mark */
static unsigned char g_watched[MAX_FDS];

static ssize_t (*real_read)(int, void*, size_t);
static ssize_t (*real_pread)(int, void*, size_t, off_t);
static ssize_t (*real_write)(int, const void*, size_t);
static int (*real_close)(int);
static off_t (*real_lseek)(int, off_t, int);
static int (*real_open)(const char*, int, ...);
static int (*real_openat)(int, const char*, int, ...);

static void* next_symbol(const char* name) {
  void* p = dlsym(RTLD_NEXT, name);
  if (!p) {
    fprintf(stderr, "fault_shim: no next %s\n", name);
    abort();
  }
  return p;
}

static int parse_errno(const char* s) {
  if (!s || !*s) return EIO;
  if (!strcmp(s, "EIO")) return EIO;
  if (!strcmp(s, "ENOSPC")) return ENOSPC;
  if (!strcmp(s, "EDQUOT")) return EDQUOT;
  if (!strcmp(s, "EBADF")) return EBADF;
  if (!strcmp(s, "ESPIPE")) return ESPIPE;
  if (!strcmp(s, "EINTR")) return EINTR;
  if (!strcmp(s, "ENOENT")) return ENOENT;
  if (!strcmp(s, "ENOSYS")) return ENOSYS;
  return atoi(s);
}

static void set_up(void) {
  if (g_ready) return;
  g_ready = 1;
  real_read = next_symbol("read");
  real_pread = next_symbol("pread64");
  real_write = next_symbol("write");
  real_close = next_symbol("close");
  real_lseek = next_symbol("lseek");
  real_open = next_symbol("open");
  real_openat = next_symbol("openat");

  g_path = getenv("FAULT_PATH");
  const char* op = getenv("FAULT_OP");
  if (op) {
    if (!strcmp(op, "read"))
      g_op = OP_READ;
    else if (!strcmp(op, "write"))
      g_op = OP_WRITE;
    else if (!strcmp(op, "close"))
      g_op = OP_CLOSE;
    else if (!strcmp(op, "lseek"))
      g_op = OP_LSEEK;
    else if (!strcmp(op, "open"))
      g_op = OP_OPEN;
  }
  const char* mode = getenv("FAULT_MODE");
  if (mode) {
    if (!strcmp(mode, "partial"))
      g_mode = MODE_PARTIAL;
    else if (!strcmp(mode, "eintr"))
      g_mode = MODE_EINTR;
    else if (!strcmp(mode, "short"))
      g_mode = MODE_SHORT;
  }
  const char* after = getenv("FAULT_AFTER_BYTES");
  if (after) g_after = strtoull(after, NULL, 10);
  g_errno = parse_errno(getenv("FAULT_ERRNO"));
  const char* short_max = getenv("FAULT_SHORT_MAX");
  if (short_max && atoi(short_max) > 0) g_short_max = (unsigned)atoi(short_max);
  const char* log = getenv("FAULT_LOG");
  if (log && *log) g_log = real_open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

__attribute__((constructor)) static void fault_shim_init(void) { set_up(); }

static void log_call(const char* op, int fd, long long asked, long long result, int err, int fault) {
  if (g_log < 0) return;
  char line[160];
  int n = snprintf(line, sizeof line, "%s fd=%d asked=%lld result=%lld errno=%d%s\n", op, fd, asked, result,
                   result < 0 ? err : 0, fault ? " FAULT" : "");
  if (n > 0) real_write(g_log, line, (size_t)n);
}

static int is_watched(int fd) { return fd >= 0 && fd < MAX_FDS && g_watched[fd]; }

static int names_chosen(const char* path);

/* A descriptor just opened is watched when it is the chosen file, or an
 * unnamed file made in the chosen folder. */
static void watch_if_chosen(int fd, const char* path, int flags) {
  if (fd < 0 || fd >= MAX_FDS || !g_path) return;
  if ((flags & O_TMPFILE) == O_TMPFILE && names_chosen(path)) {
    g_watched[fd] = 1;
    log_call("open", fd, 0, fd, 0, 0);
    return;
  }
  struct stat mine, chosen;
  if (fstat(fd, &mine) != 0 || stat(g_path, &chosen) != 0) return;
  if (mine.st_dev == chosen.st_dev && mine.st_ino == chosen.st_ino) {
    g_watched[fd] = 1;
    log_call("open", fd, 0, fd, 0, 0);
  }
}

/* Decides how a transfer of n bytes goes: returns -1 to fail it with *err,
 * otherwise the number of bytes to pass on (0 < result <= n, or n itself). */
static long long plan_transfer(size_t n, int* err, int* fault) {
  *fault = 0;
  if (n == 0) return 0;
  switch (g_mode) {
    case MODE_FAIL:
      if (g_done + n > g_after) {
        *fault = 1;
        *err = g_errno;
        return -1;
      }
      return (long long)n;
    case MODE_PARTIAL:
      if (g_done >= g_after) {
        *fault = 1;
        *err = g_errno;
        return -1;
      }
      if (g_done + n > g_after) {
        *fault = 1;
        return (long long)(g_after - g_done);
      }
      return (long long)n;
    case MODE_EINTR:
      if (g_done < g_after) return (long long)n;
      if (g_calls++ % 2 == 0) {
        *fault = 1;
        *err = EINTR;
        return -1;
      }
      return (long long)n;
    case MODE_SHORT: {
      if (g_done < g_after) return (long long)n;
      size_t most = 1 + (size_t)((g_calls++ * 7919u) % g_short_max);
      if (most < n) {
        *fault = 1;
        return (long long)most;
      }
      return (long long)n;
    }
  }
  return (long long)n;
}

ssize_t read(int fd, void* buf, size_t n) {
  set_up();
  if (!is_watched(fd)) return real_read(fd, buf, n);
  int err = 0, fault = 0;
  long long plan = g_op == OP_READ ? plan_transfer(n, &err, &fault) : (long long)n;
  ssize_t r;
  if (plan < 0) {
    r = -1;
  } else {
    r = real_read(fd, buf, (size_t)plan);
    err = errno;
    if (r > 0 && g_op == OP_READ) g_done += (unsigned long long)r;
  }
  log_call("read", fd, (long long)n, r, err, fault);
  errno = err;
  return r;
}

/* Reads at an offset count as reads; several threads may make them at once. */
ssize_t pread64(int fd, void* buf, size_t n, off_t offset) {
  static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  set_up();
  if (!is_watched(fd)) return real_pread(fd, buf, n, offset);
  int err = 0, fault = 0;
  pthread_mutex_lock(&lock);
  long long plan = g_op == OP_READ ? plan_transfer(n, &err, &fault) : (long long)n;
  ssize_t r;
  if (plan < 0) {
    r = -1;
  } else {
    r = real_pread(fd, buf, (size_t)plan, offset);
    err = errno;
    if (r > 0 && g_op == OP_READ) g_done += (unsigned long long)r;
  }
  log_call("pread", fd, (long long)n, r, err, fault);
  pthread_mutex_unlock(&lock);
  errno = err;
  return r;
}

ssize_t pread(int fd, void* buf, size_t n, off_t offset) { return pread64(fd, buf, n, offset); }

ssize_t write(int fd, const void* buf, size_t n) {
  set_up();
  if (!is_watched(fd)) return real_write(fd, buf, n);
  int err = 0, fault = 0;
  long long plan = g_op == OP_WRITE ? plan_transfer(n, &err, &fault) : (long long)n;
  ssize_t r;
  if (plan < 0) {
    r = -1;
  } else {
    r = real_write(fd, buf, (size_t)plan);
    err = errno;
    if (r > 0 && g_op == OP_WRITE) g_done += (unsigned long long)r;
  }
  log_call("write", fd, (long long)n, r, err, fault);
  errno = err;
  return r;
}

int close(int fd) {
  set_up();
  if (!is_watched(fd)) return real_close(fd);
  g_watched[fd] = 0;
  int r = real_close(fd);
  int err = errno;
  int fault = 0;
  if (r == 0 && g_op == OP_CLOSE && (g_mode == MODE_FAIL || g_mode == MODE_EINTR)) {
    /* The descriptor is gone either way, as after a real failed close. */
    r = -1;
    err = g_mode == MODE_EINTR ? EINTR : g_errno;
    fault = 1;
  }
  log_call("close", fd, 0, r, err, fault);
  errno = err;
  return r;
}

off_t lseek(int fd, off_t offset, int whence) {
  set_up();
  if (!is_watched(fd)) return real_lseek(fd, offset, whence);
  if (g_op == OP_LSEEK) {
    log_call("lseek", fd, (long long)offset, -1, g_errno, 1);
    errno = g_errno;
    return -1;
  }
  off_t r = real_lseek(fd, offset, whence);
  int err = errno;
  log_call("lseek", fd, (long long)offset, (long long)r, err, 0);
  errno = err;
  return r;
}

/* True when path, taken from the working folder when relative, is spelt
 * as FAULT_PATH. */
static int names_chosen(const char* path) {
  if (!g_path) return 0;
  if (path[0] == '/' || g_path[0] != '/') return strcmp(path, g_path) == 0;
  char full[4096];
  if (!getcwd(full, sizeof full)) return 0;
  size_t used = strlen(full);
  if (snprintf(full + used, sizeof full - used, "/%s", path) >= (int)(sizeof full - used)) return 0;
  return strcmp(full, g_path) == 0;
}

/* An open of the chosen file (FAULT_OP=open) is interrupted once (eintr), or
 * fails (fail). */
static int g_open_interrupted;

static int open_fault(const char* path) {
  if (g_op != OP_OPEN || g_open_interrupted || !names_chosen(path)) return 0;
  if (g_mode != MODE_EINTR && g_mode != MODE_FAIL) return 0;
  g_open_interrupted = g_mode == MODE_EINTR;
  log_call("open", -1, 0, -1, g_mode == MODE_EINTR ? EINTR : g_errno, 1);
  errno = g_mode == MODE_EINTR ? EINTR : g_errno;
  return 1;
}

int open(const char* path, int flags, ...) {
  set_up();
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, flags);
    mode = (mode_t)va_arg(ap, int);
    va_end(ap);
  }
  if (open_fault(path)) return -1;
  int fd = real_open(path, flags, mode);
  int err = errno;
  watch_if_chosen(fd, path, flags);
  errno = err;
  return fd;
}

int open64(const char* path, int flags, ...) __attribute__((alias("open")));

int openat(int dirfd, const char* path, int flags, ...) {
  set_up();
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, flags);
    mode = (mode_t)va_arg(ap, int);
    va_end(ap);
  }
  if (open_fault(path)) return -1;
  int fd = real_openat(dirfd, path, flags, mode);
  int err = errno;
  watch_if_chosen(fd, path, flags);
  errno = err;
  return fd;
}

int openat64(int dirfd, const char* path, int flags, ...) __attribute__((alias("openat")));

off_t lseek64(int fd, off_t offset, int whence) __attribute__((alias("lseek")));

ssize_t getrandom(void* buf, size_t n, unsigned int flags) {
  static ssize_t (*real_getrandom)(void*, size_t, unsigned int);
  const char* fail = getenv("FAULT_GETRANDOM");
  if (fail && *fail) {
    errno = parse_errno(fail);
    return -1;
  }
  if (!real_getrandom) real_getrandom = next_symbol("getrandom");
  return real_getrandom(buf, n, flags);
}
