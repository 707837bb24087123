// Case folding for every kind of code page: UTF-8, a single-byte code page
// (CP1252), a double-byte one (CP932) and none at all (an unknown codeset).
//
// Input: selector, line. The selector picks the code page; the line's NULs
// become 0xB7, as the reader hands them over.
//
// Checks: the folded copy has the line's length (the buffers are exactly that
// long, so AddressSanitizer sees any byte past it), folding it again changes
// nothing, and the offered line is left as it was. Where the rule is simple
// enough to state on its own it is checked too: with no code-page
// information only A to Z change; in UTF-8 every ASCII byte folds as ASCII
// and no other byte becomes ASCII.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "dedup/CaseFolder.h"
#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"

namespace {

struct Folding {
  const char* codeset;
  CCodePage codePage;
  CCaseFolder folder;
  explicit Folding(const char* name) : codeset(name), codePage(name), folder(codePage) {}
};

Folding& FoldingFor(uint8_t selector) {
  static Folding foldings[] = {Folding("UTF-8"), Folding("CP1252"), Folding("CP932"), Folding("no-such-codeset")};
  return foldings[selector % 4];
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Folding& folding = FoldingFor(data[0]);
  const size_t n = size - 1;
  std::string original(reinterpret_cast<const char*>(data + 1), n);
  for (char& c : original) {
    if (c == '\0') c = static_cast<char>(0xB7);
  }

  // Exactly n bytes each, so that a byte read or written past the end is caught.
  std::unique_ptr<char[]> line(new char[n]);
  std::unique_ptr<char[]> once(new char[n]);
  std::unique_ptr<char[]> twice(new char[n]);
  std::memcpy(line.get(), original.data(), n);

  folding.folder.Fold(line.get(), n, once.get());
  FUZZ_CHECK(std::memcmp(line.get(), original.data(), n) == 0, "the offered line changed");
  folding.folder.Fold(once.get(), n, twice.get());
  FUZZ_CHECK(std::memcmp(once.get(), twice.get(), n) == 0,
             std::string(folding.codeset) + ": folding is not idempotent on " + fuzz::Show(original) + " -> " +
                 fuzz::Show(std::string_view(once.get(), n)) + " -> " + fuzz::Show(std::string_view(twice.get(), n)));

  const CCodePage::Kind kind = folding.codePage.GetKind();
  for (size_t i = 0; i < n; ++i) {
    const char in = original[i];
    const char out = once[i];
    if (kind == CCodePage::Kind::Unknown) {
      FUZZ_CHECK(out == AsciiLower(in), "without a code page only A to Z fold");
    } else if (kind == CCodePage::Kind::Utf8) {
      if (static_cast<uint8_t>(in) < 0x80) {
        FUZZ_CHECK(out == AsciiLower(in), "UTF-8: an ASCII byte folded wrongly at " + std::to_string(i));
      } else {
        FUZZ_CHECK(static_cast<uint8_t>(out) >= 0x80, "UTF-8: a byte above 0x7F became ASCII at " + std::to_string(i));
      }
    }
  }
  return 0;
}
