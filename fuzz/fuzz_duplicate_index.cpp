// The duplicate index against a model: a set of (key, CRC-32, length)
// triples, taken with plain one-byte-at-a-time versions of the fingerprints.
//
// Input: switches, then lines separated by LF.
//   switches bits 0-1  code page: UTF-8, CP1252, CP932, none
//   switches bits 2-3  case: 0 counted, 1 ignored, 2 and 3 alternating per line
//   switches bit 4     every line is offered again with a number after it,
//                      for many distinct keys (the bucket table grows)
//   switches bit 5     every byte of a line also stands for a line of eight
//                      4-byte pieces that all share one key and one length
//                      (only the CRC-32 tells them apart: long chains)
//
// Checks: TestAndAdd answers "new" exactly when the model has no equal
// triple (the length being the folded copy's), and the offered line is not
// changed.
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <tuple>
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

// Two 4-byte pieces with the same line key (found by sorting the keys of all
// 4-byte strings of [a-z0-9]): a line of k pieces has the same key whichever
// piece stands at each place.
constexpr char kPieceA[] = "13ar";
constexpr char kPieceB[] = "bf10";

using Triple = std::tuple<uint32_t, uint32_t, int32_t>;

struct Model {
  const CCaseFolder& folder;
  CDuplicateIndex index;
  std::set<Triple> kept;

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
    const uint32_t key = ReferenceKey(fingerprinted);
    const uint32_t crc = ReferenceCrc32(fingerprinted);
    FUZZ_CHECK(HashLineKey(fingerprinted.data(), fingerprinted.size()) == key,
               "HashLineKey of " + fuzz::Show(fingerprinted));
    FUZZ_CHECK(Crc32(fingerprinted.data(), fingerprinted.size()) == crc, "Crc32 of " + fuzz::Show(fingerprinted));

    // The length that counts is the folded copy's: in UTF-8 it may differ from the line's.
    const bool expectNew = kept.insert({key, crc, static_cast<int32_t>(fingerprinted.size())}).second;
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
  const bool pieces = (switches & 32) != 0;

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
    if (pieces) {
      for (unsigned char c : line) {
        std::string joined;
        for (int bit = 0; bit < 8; ++bit) joined += (c >> bit & 1) ? kPieceB : kPieceA;
        model.Offer(joined, caseSensitive);
      }
    }
  }
  return 0;
}
