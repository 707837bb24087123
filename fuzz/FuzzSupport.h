// Helpers shared by the fuzz targets: plain reference versions of the
// fingerprints, a scratch folder for files, and a way to stop with a message.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dedup/Fingerprints.h"
#include "tests/support/ReferenceFingerprints.h"

namespace fuzz {

// The key of the reference's secret: the fast one where the processor has what it needs.
inline const FingerprintKey& Key() {
  static const FingerprintKey key = MakeFingerprintKey(reference::kSecret, true);
  return key;
}

// Stops the run with a message; libFuzzer keeps the input that did it.
[[noreturn]] inline void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "invariant broken: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  std::abort();
}

// FUZZ_CHECK(condition) or FUZZ_CHECK(condition, detail); the detail is only
// worked out when the condition fails.
#define FUZZ_CHECK(cond, ...)                                    \
  do {                                                           \
    if (!(cond)) ::fuzz::Fail(#cond __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)

// A folder of this process for the files a target writes, on tmpfs when
// there is one; removed with its files when the process exits normally.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/rowsift-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) Fail("mkdtemp", pattern);
    return pattern;
  }();
  static const bool cleanUp = [] {
    return std::atexit([] {
             for (const char* name : {"reader-source", "run-source", "run-target"}) unlink((dir + "/" + name).c_str());
             rmdir(dir.c_str());
           }) == 0;
  }();
  (void)cleanUp;
  return dir;
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail("open for writing", path);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) Fail("write", path);
    done += static_cast<size_t>(n);
  }
  ::close(fd);
}

inline std::string ReadFile(const std::string& path) {
  std::string bytes;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("open for reading", path);
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) Fail("read", path);
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

// Unicode's default full case folding of UTF-8 text straight from ICU, a
// character at a time; bytes that are not well-formed UTF-8 stay as they are.
inline std::string ReferenceFoldUtf8(std::string_view text) {
  std::string out;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      out.append(text.data() + start, static_cast<size_t>(i - start));
      continue;
    }
    UChar units[2], folded[8];
    int32_t n = 0;
    U16_APPEND_UNSAFE(units, n, c);
    UErrorCode err = U_ZERO_ERROR;
    const int32_t foldedLength = u_strFoldCase(folded, 8, units, n, U_FOLD_CASE_DEFAULT, &err);
    char utf8[32];
    int32_t utf8Length = 0;
    u_strToUTF8(utf8, sizeof utf8, &utf8Length, folded, foldedLength, &err);
    if (U_FAILURE(err)) Fail("u_strFoldCase");
    out.append(utf8, static_cast<size_t>(utf8Length));
  }
  return out;
}

// Printable form of a short byte string for messages.
inline std::string Show(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes.substr(0, 200)) {
    char hex[8];
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  if (bytes.size() > 200) out += "...";
  return out;
}

}  // namespace fuzz
