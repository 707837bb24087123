#include "platform/File.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace {

int Fd(intptr_t handle) { return static_cast<int>(handle); }

// Only files whose bytes a write would replace need protecting; a terminal,
// pipe or /dev/null may serve as source and target at once.
bool HoldsData(const struct stat& st) { return S_ISREG(st.st_mode) || S_ISBLK(st.st_mode); }

FileIdentity IdentityOf(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// The descriptor that a name of a standard stream stands for, or -1: `-` (the
// input or the output, as the file is read or written), /dev/stdin,
// /dev/stdout, /dev/stderr, and /dev/fd/N and /proc/self/fd/N as the system
// reads them (digits without a leading zero).
int StandardDescriptor(const std::string& name, bool writing) {
  if (name == "-") return writing ? STDOUT_FILENO : STDIN_FILENO;
  const char* const streams[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
  for (int fd = 0; fd < 3; ++fd) {
    if (name == streams[fd]) return fd;
  }
  for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!name.starts_with(prefix)) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 9 || (digits[0] == '0' && digits.size() > 1) ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      return -1;
    }
    return std::stoi(digits);
  }
  return -1;
}

// A descriptor the process was given, rather than one it opened: every
// descriptor this tool opens is closed on exec, which none that survived the
// exec into this process can be. So `--exclude=/dev/fd/3` never reads the
// source that happens to be open there.
bool GivenDescriptor(int fd) {
  const int flags = ::fcntl(fd, F_GETFD);
  return flags >= 0 && !(flags & FD_CLOEXEC);
}

// Other processes: a shared lock on a source and an exclusive one on a target,
// so that a second run can neither cut a file a first one reads nor write into
// one it writes. False only when a target is locked already: a source is read
// even when it cannot be locked, and where the file system has no locks
// nothing is locked.
bool LockAgainstOtherRuns(int fd, bool exclusive) {
  if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return true;
  return !(exclusive && errno == EWOULDBLOCK);
}

}  // namespace

bool FileNamesEqual(const std::string& a, const std::string& b) { return a == b && a != "-"; }

bool StandardStreamIdentity(StandardStream stream, FileIdentity* id) {
  struct stat st {};
  if (::fstat(stream, &st) != 0 || !HoldsData(st)) return false;
  *id = IdentityOf(st);
  return true;
}

void NoteFileOfRun(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0 && HoldsData(st)) NoteFileOfRun(IdentityOf(st));
}

CFileException::CFileException(const std::string& fileName, const std::string& action, int error, bool temporary)
    : std::runtime_error(fileName + ": " + action + " failed: " + std::strerror(error)),
      m_nError(error),
      m_strReason(std::strerror(error)),
      m_bTemporary(temporary) {}

CFile::~CFile() { ReleaseHandle(); }

bool CFile::Open(const std::string& fileName, unsigned flags, std::string* reason, const char* role) {
  ReleaseHandle();
  auto fail = [&](int fd, const std::string& why) {
    if (fd >= 0) ::close(fd);
    if (reason) *reason = why;
    return false;
  };

  const bool writing = (flags & 3) == modeWrite;
  const bool exclusive = (flags & 0x70) == 0;
  const int standard = StandardDescriptor(fileName, writing);
  int fd;
  if (standard >= 0) {
    // Reopening the name would start a regular file at offset 0, without its
    // append mode, and cut it; a duplicate shares the original's offset and mode.
    if (!GivenDescriptor(standard)) return fail(-1, std::strerror(EBADF));
    fd = ::fcntl(standard, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return fail(-1, std::strerror(errno));
    if ((::fcntl(fd, F_GETFL) & O_ACCMODE) == (writing ? O_RDONLY : O_WRONLY)) return fail(fd, std::strerror(EBADF));
  } else {
    // The target is created without being cut: it is cut only once it is known
    // not to be a file that is open already.
    int mode = writing ? O_WRONLY : O_RDONLY;
    if (flags & modeCreate) mode |= O_CREAT;
    do {
      fd = ::open(fileName.c_str(), mode | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return fail(-1, std::strerror(errno));
  }

  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(fd, std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return fail(fd, std::strerror(EISDIR));
  if (HoldsData(st)) {
    NoteFileOfRun(IdentityOf(st));
    if (const char* other = FindConflictingFile(IdentityOf(st), exclusive)) return fail(fd, std::string("is ") + other);
  }
  // The standard descriptors are the caller's and are not locked.
  if (standard < 0 && S_ISREG(st.st_mode) && !LockAgainstOtherRuns(fd, exclusive)) {
    return fail(fd, "is locked by another process");
  }
  // An empty file is not cut: on ext4 a file cut to nothing is written back
  // in full when it is closed (lest a crash leave it empty), which makes
  // every new target cost its whole size in disk writes before the run ends.
  const bool cut = (flags & modeCreate) && writing && standard < 0 && S_ISREG(st.st_mode) && st.st_size > 0;
  if (cut && !(flags & modeNoTruncate) && ::ftruncate(fd, 0) != 0) return fail(fd, std::strerror(errno));

  // A standard descriptor that is a regular file may stand anywhere in it;
  // where that cannot be told, the file is read once only, like a stream.
  off_t start = 0;
  if (standard >= 0 && HoldsData(st)) start = ::lseek(fd, 0, SEEK_CUR);

  const bool stream = !HoldsData(st);
  if (stream && !writing) {
    // Lets CancelRead wake a read that waits for the stream.
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) return fail(fd, std::strerror(errno));
    m_hWake = wake;
  }
  Attach(fd, fileName, stream);
  if (HoldsData(st)) Register(IdentityOf(st), exclusive, role);
  m_bStandard = standard >= 0;
  m_nOpenFlags = flags;
  m_role = role;
  m_bCutPending = cut && (flags & modeNoTruncate);
  m_bRereadable = !stream && start >= 0;
  m_nStartOffset = start >= 0 ? static_cast<uint64_t>(start) : 0;
  return true;
}

void CFile::Attach(int fd, const std::string& fileName, bool stream) {
  m_hFile = fd;
  m_bStream = stream;
  m_bEnded = false;
  m_bCutPending = false;
  m_bTemporary = false;
  m_bStandard = false;
  m_bRereadable = !stream;
  m_nStartOffset = 0;
  m_strFileName = fileName;
}

void CFile::Cut() {
  if (!m_bCutPending) return;
  m_bCutPending = false;
  if (::ftruncate(Fd(m_hFile), 0) != 0) throw CFileException(m_strFileName, "cut", errno, m_bTemporary);
}

void CFile::CreateTemporary(const std::string& dir) {
  ReleaseHandle();
  int fd;
  do {
    fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  // A file system without unnamed files: a named one, unlinked at once.
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
    std::string name = dir + "/rowsift-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0 && ::unlink(name.c_str()) != 0) {
      const int error = errno;
      ::close(fd);
      fd = -1;
      errno = error;
    }
  }
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw CFileException(dir, "create", error, true);
  }
  Attach(fd, dir, false);
  Register(IdentityOf(st), true, "a temporary file");
  m_bTemporary = true;
}

void CFile::OpenAgain(const CFile& other) {
  ReleaseHandle();
  if (!other.CanReadAgain()) throw CFileException(other.m_strFileName, "open", ESPIPE);
  const int fd = ::fcntl(Fd(other.m_hFile), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) throw CFileException(other.m_strFileName, "open", errno);
  Attach(fd, other.m_strFileName, false);
  if (other.m_bRegistered) Register(other.m_identity, false, other.m_role);
  m_nStartOffset = other.m_nStartOffset;
  SeekToStart();
}

void CFile::Seek(uint64_t offset) {
  if (::lseek(Fd(m_hFile), static_cast<off_t>(m_nStartOffset + offset), SEEK_SET) < 0) {
    throw CFileException(m_strFileName, "seek", errno, m_bTemporary);
  }
  m_bEnded = false;
}

void CFile::SetLength(uint64_t length) {
  if (::ftruncate(Fd(m_hFile), static_cast<off_t>(length)) != 0)
    throw CFileException(m_strFileName, "cut", errno, m_bTemporary);
}

uint32_t CFile::Read(void* buffer, uint32_t count) {
  auto* out = static_cast<char*>(buffer);
  uint32_t total = 0;
  // A disk file is read until the buffer is full or the file ends. A stream
  // is read while bytes are ready, so that what has arrived goes on at once;
  // short reads of either are continued.
  while (total < count && !m_bEnded) {
    if (m_bStream && !WaitForInput(total == 0)) break;
    ssize_t n = ::read(Fd(m_hFile), out + total, count - total);
    if (n < 0) {
      // EAGAIN: a stream shared with a process that made it non-blocking.
      if (errno == EINTR || (errno == EAGAIN && m_bStream)) continue;
      throw CFileException(m_strFileName, "read", errno, m_bTemporary);
    }
    if (n == 0) m_bEnded = true;
    total += static_cast<uint32_t>(n);
  }
  return total;
}

uint32_t CFile::ReadAt(uint64_t offset, void* buffer, uint32_t count) const {
  auto* out = static_cast<char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    const ssize_t n = ::pread(Fd(m_hFile), out + total, count - total, static_cast<off_t>(offset + total));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw CFileException(m_strFileName, "read", errno, m_bTemporary);
    }
    if (n == 0) break;
    total += static_cast<uint32_t>(n);
  }
  return total;
}

// True when the stream has bytes (or its end, or an error) for a read. Without
// mayWait it answers at once; with it, it waits, running the hook first.
bool CFile::WaitForInput(bool mayWait) {
  struct pollfd fds[2] = {{Fd(m_hFile), POLLIN, 0}, {Fd(m_hWake), POLLIN, 0}};
  for (int timeout = 0;; timeout = -1) {
    int n;
    do {
      n = ::poll(fds, 2, timeout);
    } while (n < 0 && errno == EINTR);
    if (n < 0) throw CFileException(m_strFileName, "read", errno, m_bTemporary);
    if (fds[1].revents != 0) throw CFileException(m_strFileName, "read", ECANCELED, m_bTemporary);
    if (fds[0].revents != 0) return true;
    if (!mayWait) return false;
    if (timeout == 0 && m_beforeWait) m_beforeWait();
  }
}

void CFile::CancelRead() {
  if (m_hWake == kNoHandle) return;
  // Fails only when the counter is full, that is when it was signalled already.
  const uint64_t one = 1;
  const ssize_t ignored = ::write(Fd(m_hWake), &one, sizeof one);
  (void)ignored;
}

void CFile::Write(const void* buffer, uint32_t count) {
  const auto* in = static_cast<const char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    ssize_t n = ::write(Fd(m_hFile), in + total, count - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw CFileException(m_strFileName, "write", errno, m_bTemporary);
    }
    if (n == 0) throw CFileException(m_strFileName, "write", ENOSPC, m_bTemporary);
    total += static_cast<uint32_t>(n);
  }
}

void CFile::WriteAt(uint64_t offset, const void* buffer, uint32_t count) {
  const auto* in = static_cast<const char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    ssize_t n = ::pwrite(Fd(m_hFile), in + total, count - total, static_cast<off_t>(offset + total));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw CFileException(m_strFileName, "write", errno, m_bTemporary);
    }
    if (n == 0) throw CFileException(m_strFileName, "write", ENOSPC, m_bTemporary);
    total += static_cast<uint32_t>(n);
  }
}

void CFile::Close() {
  if (m_hFile == kNoHandle) return;
  // A failed close can mean that written bytes never reached the disk (NFS,
  // quotas), so it is reported. EINTR is not retried: the descriptor is gone.
  if (!ReleaseHandle() && errno != EINTR) throw CFileException(m_strFileName, "close", errno, m_bTemporary);
}

bool CFile::IsTerminal() const { return m_hFile != kNoHandle && ::isatty(Fd(m_hFile)) == 1; }

uint64_t CFile::GetLength() const {
  struct stat st {};
  if (::fstat(Fd(m_hFile), &st) != 0) throw CFileException(m_strFileName, "stat", errno, m_bTemporary);
  return static_cast<uint64_t>(st.st_size);
}

bool CFile::ReleaseHandle(bool keepRegistered) {
  if (m_bRegistered && !keepRegistered) UnregisterFile(m_identity, m_bExclusive);
  m_bRegistered = m_bRegistered && keepRegistered;
  m_bSuspended = false;
  if (m_hFile == kNoHandle) return true;
  if (m_hWake != kNoHandle) ::close(Fd(m_hWake));
  m_hWake = kNoHandle;
  const int result = ::close(Fd(m_hFile));
  m_hFile = kNoHandle;
  return result == 0;
}
