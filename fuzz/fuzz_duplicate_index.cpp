// The duplicate index against a model: the set of compared texts (the line,
// or its folded copy), which the secret fingerprints tell apart but for a
// chance of about 2^-80 a pair.
//
// Input: switches, then lines separated by LF.
//   switches bits 0-1  code page: UTF-8, CP1252, CP932, none
//   switches bits 2-3  case: 0 counted, 1 ignored, 2 and 3 alternating per line
//   switches bit 4     every line is offered again with a number after it,
//                      for many distinct keys (the bucket table grows)
//
// Checks: TestAndAdd answers "new" exactly when the model has no equal text,
// the offered line is not changed, and the fast fingerprint of the compared
// text is that of the plain reference (under a secret of this target's).
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dedup/CaseFolder.h"
#include "dedup/DuplicateIndex.h"
#include "dedup/Fingerprints.h"
#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"

namespace {

struct Folding {
  CCodePage codePage;
  CCaseFolder folder;
  explicit Folding(const char* name) : codePage(name), folder(codePage) {}
};

const CCaseFolder& FolderFor(uint8_t selector) {
  static Folding foldings[] = {Folding("UTF-8"), Folding("CP1252"), Folding("CP932"), Folding("no-such-codeset")};
  return foldings[selector % 4].folder;
}

struct Model {
  const CCaseFolder& folder;
  CDuplicateIndex index;
  std::set<std::string> kept;

  explicit Model(const CCaseFolder& f) : folder(f), index(f) {}

  void Offer(const std::string& text, bool caseSensitive) {
    // The index gets exactly the line's bytes and its NUL, nothing more.
    const size_t n = text.size();
    std::unique_ptr<char[]> line(new char[n + 1]);
    std::memcpy(line.get(), text.data(), n);
    line[n] = '\0';

    std::string fingerprinted = text;
    if (!caseSensitive) {
      fingerprinted.resize(folder.FoldRoom(n));
      fingerprinted.resize(folder.Fold(text.data(), n, fingerprinted.data()));
    }
    FUZZ_CHECK(!fuzz::Key().fast || FingerprintOf(fuzz::Key(), fingerprinted.data(), fingerprinted.size()) ==
                                        reference::Fingerprint(reference::kSecret, fingerprinted),
               "the fingerprint of " + fuzz::Show(fingerprinted));

    // The folded copy is compared: in UTF-8 its length may differ from the line's.
    const bool expectNew = kept.insert(fingerprinted).second;
    const bool isNew = index.TestAndAdd(line.get(), static_cast<int32_t>(n), caseSensitive);
    FUZZ_CHECK(isNew == expectNew,
               std::string(expectNew ? "a new line taken for a duplicate: " : "a duplicate taken for new: ") +
                   fuzz::Show(text) + (caseSensitive ? " (case counted)" : " (case ignored)"));
    FUZZ_CHECK(std::memcmp(line.get(), text.data(), n) == 0 && line[n] == '\0', "the offered line changed");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t switches = data[0];
  Model model(FolderFor(switches & 3));
  const int caseMode = (switches >> 2) & 3;
  const bool numbered = (switches & 16) != 0;

  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  for (char& c : rest) {
    if (c == '\0') c = static_cast<char>(0xB7);  // the reader never hands over a NUL
  }
  size_t start = 0;
  for (size_t index = 0; start <= rest.size(); ++index) {
    size_t end = rest.find('\n', start);
    if (end == std::string::npos) end = rest.size();
    const std::string line = rest.substr(start, end - start);
    start = end + 1;
    const bool caseSensitive = caseMode == 0 || (caseMode >= 2 && (index + caseMode) % 2 == 0);

    model.Offer(line, caseSensitive);
    if (numbered) {
      for (int k = 0; k < 8; ++k) model.Offer(line + std::to_string(index * 8 + static_cast<size_t>(k)), caseSensitive);
    }
  }
  return 0;
}
