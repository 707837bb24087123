// Writes a source of distinct lines that all share one line key, and the
// target rowsift must make of it.
//
//   collide_lines <count> <source> <expected>
//
// Two different 4-byte strings A and B with the same key are found by sorting
// the keys of every 4-byte string of [a-z0-9]. The key of a line depends only
// on its length and the keys of its pieces, so every line made of k pieces,
// each A or B, has one key; line i takes B where bit j of i is set. The pieces
// hold no upper-case letter, so folding leaves them alone.
//
// Lines with one key and one length are told apart by their CRC-32 alone, so
// the expected target is worked out by that rule: a line is kept unless an
// earlier kept line has its CRC-32.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "dedup/Fingerprints.h"

namespace {

const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kAlphabetSize = 36;

std::string Piece(uint32_t index) {
  std::string s(4, ' ');
  for (char& c : s) {
    c = kAlphabet[index % kAlphabetSize];
    index /= kAlphabetSize;
  }
  return s;
}

std::pair<std::string, std::string> CollidingPieces() {
  const uint32_t total = kAlphabetSize * kAlphabetSize * kAlphabetSize * kAlphabetSize;
  std::vector<std::pair<uint32_t, uint32_t>> keys;
  keys.reserve(total);
  for (uint32_t i = 0; i < total; ++i) keys.emplace_back(HashLineKey(Piece(i).c_str()), i);
  std::sort(keys.begin(), keys.end());
  for (size_t i = 1; i < keys.size(); ++i) {
    if (keys[i].first == keys[i - 1].first) return {Piece(keys[i - 1].second), Piece(keys[i].second)};
  }
  return {};
}

bool WriteAll(std::FILE* f, const std::string& s) { return std::fwrite(s.data(), 1, s.size(), f) == s.size(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s count source expected\n", argv[0]);
    return 2;
  }
  const unsigned long count = std::strtoul(argv[1], nullptr, 10);
  const auto [a, b] = CollidingPieces();
  if (a.empty()) {
    std::fprintf(stderr, "no two pieces share a key\n");
    return 1;
  }
  int pieces = 1;
  while ((1ul << pieces) < count) ++pieces;

  std::FILE* source = std::fopen(argv[2], "wb");
  std::FILE* expected = std::fopen(argv[3], "wb");
  if (!source || !expected) {
    std::perror("fopen");
    return 1;
  }
  std::unordered_set<uint32_t> keptCrcs;
  keptCrcs.reserve(count);
  uint32_t key = 0;
  unsigned long dropped = 0;
  std::string line;
  for (unsigned long i = 0; i < count; ++i) {
    line.clear();
    for (int j = 0; j < pieces; ++j) line += (i >> j & 1) ? b : a;
    const uint32_t lineKey = HashLineKey(line.c_str());
    if (i == 0) key = lineKey;
    if (lineKey != key) {
      std::fprintf(stderr, "line %lu has key %08x, not %08x\n", i, lineKey, key);
      return 1;
    }
    line += '\n';
    if (!WriteAll(source, line)) return 1;
    if (keptCrcs.insert(Crc32(line.data(), line.size() - 1)).second) {
      if (!WriteAll(expected, line)) return 1;
    } else {
      ++dropped;
    }
  }
  if (std::fclose(source) != 0 || std::fclose(expected) != 0) return 1;
  std::printf("pieces %s %s, key %08x, %lu lines of %zu bytes, %lu share a CRC-32 with an earlier line\n", a.c_str(),
              b.c_str(), key, count, line.size() - 1, dropped);
  return 0;
}
