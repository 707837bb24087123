#include "platform/Random.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// size bytes from the device, or the reason there are none.
bool ReadDevice(const char* path, unsigned char* out, size_t size, std::string* reason) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  // A file put in the device's place would give the same bytes every run.
  struct stat info {};
  bool ok = fstat(fd, &info) == 0 && S_ISCHR(info.st_mode);
  if (!ok) *reason = "not a character device";
  for (size_t done = 0; ok && done < size;) {
    const ssize_t n = read(fd, out + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      *reason = n == 0 ? "unexpected end of file" : std::strerror(errno);
      ok = false;
    }
  }
  close(fd);
  return ok;
}

}  // namespace

bool DrawRandomBytes(void* buffer, size_t size, std::string* reason) {
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  int error = 0;
  while (done < size) {
    const ssize_t n = getrandom(out + done, size - done, 0);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      error = n == 0 ? EIO : errno;
      break;
    }
  }
  if (done == size) return true;
  std::string device;
  if (ReadDevice("/dev/urandom", out, size, &device)) return true;
  *reason = std::string("getrandom: ") + std::strerror(error) + "; /dev/urandom: " + device;
  return false;
}
