// Case folding for every kind of code page: UTF-8, a single-byte code page
// (CP1252), a double-byte one (CP932), none at all (an unknown codeset), and
// two that ICU reads but that have no folding rules here: GB18030 and the
// stateful ISO-2022-JP.
//
// Input: selector, line. The selector picks the code page; the line's NULs
// become 0xB7, as the reader hands them over.
//
// Checks: the folded copy fits the room the folder asks for (the buffers are
// exactly that long, so AddressSanitizer sees any byte past it), folding it
// again changes nothing, the offered line is left as it was, and fingerprints
// taken folding in the register are the reference's of the folded copy. In UTF-8 the
// copy is what ICU's u_strFoldCase makes of each character, malformed bytes
// kept. Elsewhere the copy has the line's length; in CP1252 and CP932 every
// byte of A-Z that ICU reads as that letter folds; with no code-page information
// only A to Z change; in GB18030 and ISO-2022-JP exactly the bytes of A-Z that
// ICU, reading the whole line at once, reads as that letter.
#include <unicode/ucnv.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dedup/CaseFolder.h"
#include "dedup/Fingerprints.h"
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
  static Folding foldings[] = {Folding("UTF-8"),           Folding("CP1252"),  Folding("CP932"),
                               Folding("no-such-codeset"), Folding("GB18030"), Folding("ISO-2022-JP")};
  return foldings[selector % 6];
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// The line with every byte of A-Z that ICU reads as that letter on its own
// folded: one conversion of the whole line, with offsets.
std::string FoldLettersIcuReads(const char* codeset, const std::string& line) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(codeset, &err);
  std::vector<UChar> units(line.size() + 1);
  std::vector<int32_t> offsets(line.size() + 1);
  UChar* out = units.data();
  const char* in = line.data();
  ucnv_toUnicode(converter, &out, units.data() + units.size(), &in, line.data() + line.size(), offsets.data(), true,
                 &err);
  ucnv_close(converter);
  FUZZ_CHECK(U_SUCCESS(err), u_errorName(err));
  std::string folded = line;
  for (ptrdiff_t k = 0; k < out - units.data(); ++k) {
    const int32_t at = offsets[static_cast<size_t>(k)];
    if (at >= 0 && units[static_cast<size_t>(k)] == static_cast<uint8_t>(line[static_cast<size_t>(at)]))
      folded[static_cast<size_t>(at)] = AsciiLower(line[static_cast<size_t>(at)]);
  }
  return folded;
}

// Folds into a buffer of exactly the room asked for.
std::string FoldExactly(const CCaseFolder& folder, const std::string& text) {
  const size_t room = folder.FoldRoom(text.size());
  std::unique_ptr<char[]> out(new char[room]);
  const size_t n = folder.Fold(text.data(), text.size(), out.get());
  FUZZ_CHECK(n <= room);
  return std::string(out.get(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Folding& folding = FoldingFor(data[0]);
  const size_t n = size - 1;
  std::string original(reinterpret_cast<const char*>(data + 1), n);
  for (char& c : original) {
    if (c == '\0') c = static_cast<char>(0xB7);
  }

  // Exactly n bytes, so that a byte read past the end is caught.
  std::unique_ptr<char[]> line(new char[n]);
  std::memcpy(line.get(), original.data(), n);
  const size_t room = folding.folder.FoldRoom(n);
  std::unique_ptr<char[]> out(new char[room]);
  const std::string once(out.get(), folding.folder.Fold(line.get(), n, out.get()));
  FUZZ_CHECK(std::memcmp(line.get(), original.data(), n) == 0, "the offered line changed");
  const std::string twice = FoldExactly(folding.folder, once);
  FUZZ_CHECK(once == twice, std::string(folding.codeset) + ": folding is not idempotent on " + fuzz::Show(original) +
                                " -> " + fuzz::Show(once) + " -> " + fuzz::Show(twice));

  // The fingerprint taken folding in the register, where the folder can, is that of the folded copy.
  LineFingerprint inRegister;
  if (folding.folder.HashOfFolded(line.get(), n, fuzz::Key(), &inRegister)) {
    FUZZ_CHECK(once.size() == n && inRegister == reference::Fingerprint(reference::kSecret, once),
               "the fingerprint folded in the register differs for " + fuzz::Show(original));
  }

  const CCodePage::Kind kind = folding.codePage.GetKind();
  if (kind == CCodePage::Kind::Utf8) {
    const std::string expected = fuzz::ReferenceFoldUtf8(original);
    FUZZ_CHECK(once == expected, fuzz::Show(original) + " -> " + fuzz::Show(once) + ", ICU: " + fuzz::Show(expected));
    return 0;
  }
  FUZZ_CHECK(once.size() == n, "the folded copy changed length outside UTF-8");
  if (kind == CCodePage::Kind::Icu) {
    // However the line goes on (characters without another case, invalid
    // pairs), every byte of A-Z that the code page reads as that letter folds.
    const std::string letters = FoldLettersIcuReads(folding.codeset, original);
    for (size_t i = 0; i < n; ++i) {
      FUZZ_CHECK(letters[i] == original[i] || once[i] == letters[i],
                 std::string(folding.codeset) + ": a letter left unfolded in " + fuzz::Show(original));
    }
  }
  if (kind == CCodePage::Kind::Unknown) {
    std::string expected = original;
    if (folding.codePage.ReadsCharacters()) {
      expected = FoldLettersIcuReads(folding.codeset, original);
    } else {
      for (char& c : expected) c = AsciiLower(c);
    }
    FUZZ_CHECK(once == expected, std::string(folding.codeset) + ": " + fuzz::Show(original) + " -> " +
                                     fuzz::Show(once) + ", expected " + fuzz::Show(expected));
  }
  return 0;
}
