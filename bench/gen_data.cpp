// Writes one deterministic benchmark data set: lines of random lower-case
// words, each ending in a 7-character id that makes every distinct line
// unique (also after case folding). The same arguments always give the same
// bytes.
//
//   gen_data OUT --lines N --distinct D --min-len A --max-len B
//            [--seed S] [--mixed-case] [--capitals] [--utf16le]
//            [--script cyrillic|cjk] [--accents precomposed|combining|mixed]
//   gen_data OUT --marks M [--utf16le]
//   gen_data OUT --lines N --distinct N --crafted-keys shared|unique
//
// With N == D every line is written once, in index order. Otherwise the N
// lines are the D distinct lines, each repeated N / D times (the first
// N % D once more), in a shuffled order. --mixed-case writes every letter of
// every occurrence in a random case. Lines end in LF; A and B count the
// characters before it. The text is written in UTF-8, or with --utf16le in
// UTF-16 LE with a byte-order mark.
//
// --script writes the 26 letters as Cyrillic letters (U+0430 on, two bytes
// each in UTF-8) or CJK ideographs (three bytes each); --accents gives the
// vowels an acute accent, as one precomposed character (U+00E1 ...) or as the
// vowel and U+0301, or with "mixed" turns about one letter in five into one
// of 16 accented small letters (é, ñ, ß, ...). --capitals makes one letter in
// 16 a capital (with "mixed", the accented ones too, except ß), the same in
// every occurrence of a line. --marks writes the single line "e" and M times
// U+0301.
//
// --crafted-keys writes N / 63 groups of 63 different lines of 32 characters,
// an 8-digit group number and 24 more, interleaved: line v of every group,
// then line v + 1 of every group. With "shared" the 24 are six pieces "13ar"
// or "bf10" (bit j of v picks the j-th), two pieces that change the line key
// (h = h * 9551 + byte) alike, so a group's lines share one key; with
// "unique" they are "xx" and a 22-digit running number, and no two lines
// share a key.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "SplitMix64.h"

namespace {

constexpr int kIdLength = 7;

// A bijection on 32 bits, so distinct indices give distinct ids.
uint32_t Scramble(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// One random byte becomes one character: about 1 in 6 a space, a few digits,
// the rest lower-case letters.
struct Alphabet {
  char table[256];
  Alphabet() {
    for (int i = 0; i < 256; ++i) {
      if (i < 40) {
        table[i] = ' ';
      } else if (i < 48) {
        table[i] = static_cast<char>('0' + (i - 40));
      } else {
        table[i] = static_cast<char>('a' + (i - 48) % 26);
      }
    }
  }
};
const Alphabet kAlphabet;

enum class Script { kLatin, kCyrillic, kCjk };
enum class Accents { kNone, kPrecomposed, kCombining, kMixed };

// The letters of --accents mixed, small and capital. A generated line holds
// them as the bytes kAccentedBase + k and kAccentedBase + 16 + k until
// CharMap writes them. ß stays small: its capital is rare in text.
constexpr char32_t kAccentedSmall[16] = {U'é', U'è', U'ê', U'à', U'â', U'ç', U'ô', U'û',
                                         U'ü', U'ö', U'ä', U'ñ', U'ß', U'í', U'ó', U'ú'};
constexpr char32_t kAccentedCapital[16] = {U'É', U'È', U'Ê', U'À', U'Â', U'Ç', U'Ô', U'Û',
                                           U'Ü', U'Ö', U'Ä', U'Ñ', U'ß', U'Í', U'Ó', U'Ú'};
constexpr unsigned kAccentedBase = 0x80;

enum class CraftedKeys { kNone, kShared, kUnique };
constexpr uint64_t kGroupLines = 63;  // 63 of the 64 choices of six two-way pieces

struct Options {
  const char* out = nullptr;
  uint64_t lines = 0;
  uint64_t distinct = 0;
  uint32_t minLen = 0;
  uint32_t maxLen = 0;
  uint64_t seed = 1;
  bool mixedCase = false;
  bool capitals = false;
  bool utf16 = false;
  Script script = Script::kLatin;
  Accents accents = Accents::kNone;
  uint64_t marks = 0;
  CraftedKeys crafted = CraftedKeys::kNone;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "gen_data: %s\nusage: gen_data OUT --lines N --distinct D --min-len A --max-len B "
               "[--seed S] [--mixed-case] [--capitals] [--utf16le] [--script cyrillic|cjk]\n"
               "       [--accents precomposed|combining|mixed]\n"
               "       gen_data OUT --marks M [--utf16le]\n"
               "       gen_data OUT --lines N --distinct N --crafted-keys shared|unique\n",
               why);
  std::exit(2);
}

uint64_t Number(const char* text) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (!*text || *end) Usage("not a number");
  return value;
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Usage("missing value");
      return argv[++i];
    };
    if (arg == "--lines") {
      o.lines = Number(value());
    } else if (arg == "--distinct") {
      o.distinct = Number(value());
    } else if (arg == "--min-len") {
      o.minLen = static_cast<uint32_t>(Number(value()));
    } else if (arg == "--max-len") {
      o.maxLen = static_cast<uint32_t>(Number(value()));
    } else if (arg == "--seed") {
      o.seed = Number(value());
    } else if (arg == "--mixed-case") {
      o.mixedCase = true;
    } else if (arg == "--capitals") {
      o.capitals = true;
    } else if (arg == "--utf16le") {
      o.utf16 = true;
    } else if (arg == "--script") {
      const std::string_view script = value();
      if (script == "cyrillic") {
        o.script = Script::kCyrillic;
      } else if (script == "cjk") {
        o.script = Script::kCjk;
      } else if (script != "latin") {
        Usage("unknown script");
      }
    } else if (arg == "--accents") {
      const std::string_view accents = value();
      if (accents == "precomposed") {
        o.accents = Accents::kPrecomposed;
      } else if (accents == "combining") {
        o.accents = Accents::kCombining;
      } else if (accents == "mixed") {
        o.accents = Accents::kMixed;
      } else {
        Usage("unknown accents");
      }
    } else if (arg == "--marks") {
      o.marks = Number(value());
    } else if (arg == "--crafted-keys") {
      const std::string_view crafted = value();
      if (crafted == "shared") {
        o.crafted = CraftedKeys::kShared;
      } else if (crafted == "unique") {
        o.crafted = CraftedKeys::kUnique;
      } else {
        Usage("unknown crafted keys");
      }
    } else if (!o.out && !arg.starts_with("--")) {
      o.out = argv[i];
    } else {
      Usage("unknown argument");
    }
  }
  if (!o.out) Usage("no output file");
  if (o.marks > 0) return o;
  if (o.crafted != CraftedKeys::kNone) {
    if (o.lines == 0 || o.lines != o.distinct || o.lines % kGroupLines != 0) {
      Usage("crafted keys need distinct == lines, a multiple of 63");
    }
    if (o.lines / kGroupLines > 100000000) Usage("more than 10^8 groups: the group number has 8 digits");
    return o;
  }
  if (o.accents != Accents::kNone && o.script != Script::kLatin) Usage("accents are for the Latin script");
  if (o.distinct == 0 || o.lines < o.distinct) Usage("need 0 < distinct <= lines");
  if (o.distinct > UINT32_MAX) Usage("too many distinct lines");
  if (o.minLen < kIdLength + 1 || o.maxLen < o.minLen) Usage("need min-len >= 8 and max-len >= min-len");
  return o;
}

// The text of distinct line `index`, without its LF.
void MakeLine(uint64_t seed, uint32_t index, const Options& o, std::string& line) {
  SplitMix64 rng{seed ^ (uint64_t{index} * 0xD1B54A32D192ED03ull)};
  const uint32_t length = o.minLen + static_cast<uint32_t>(rng.Below(o.maxLen - o.minLen + 1));
  line.resize(length);
  const uint32_t words = length - kIdLength - 1;
  for (uint32_t i = 0; i < words; i += 8) {
    uint64_t bits = rng.Next();
    for (uint32_t j = i; j < std::min(words, i + 8); ++j, bits >>= 8) line[j] = kAlphabet.table[bits & 0xFF];
  }
  line[words] = ' ';
  uint32_t id = Scramble(index);
  for (int k = kIdLength - 1; k >= 0; --k, id /= 36) {
    line[words + 1 + k] = "0123456789abcdefghijklmnopqrstuvwxyz"[id % 36];
  }
}

// Accented letters and capitals for --accents mixed and --capitals, drawn
// from the distinct line's index, so that every occurrence of the line gets
// the same. The id stays as it is: it keeps distinct lines distinct.
void Decorate(uint64_t seed, uint32_t index, const Options& o, std::string& line) {
  SplitMix64 rng{seed ^ 0xC2B2AE3D27D4EB4Full ^ (uint64_t{index} * 0x94D049BB133111EBull)};
  const size_t words = line.size() - kIdLength - 1;
  uint64_t bits = 0;
  for (size_t i = 0; i < words; ++i, bits >>= 16) {
    if (i % 4 == 0) bits = rng.Next();
    auto c = static_cast<unsigned char>(line[i]);
    if (c < 'a' || c > 'z') continue;
    if (o.accents == Accents::kMixed && (bits & 0xFF) < 51) {
      c = static_cast<unsigned char>(kAccentedBase + (bits >> 8 & 15));
    }
    if (o.capitals && (bits >> 12 & 15) == 0) c = static_cast<unsigned char>(c >= kAccentedBase ? c + 16 : c - 32);
    line[i] = static_cast<char>(c);
  }
}

void RandomCase(uint64_t seed, uint64_t position, std::string& line) {
  SplitMix64 rng{seed ^ 0x5DEECE66Dull ^ (position * 0x9E3779B97F4A7C15ull)};
  uint64_t bits = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (i % 64 == 0) bits = rng.Next();
    const char c = line[i];
    if (c >= 'a' && c <= 'z' && (bits >> (i % 64) & 1)) line[i] = static_cast<char>(c - 32);
  }
}

// The characters one ASCII byte of a generated line stands for, by script
// and accents; digits, spaces and LF stay as they are.
class CharMap {
 public:
  explicit CharMap(const Options& o) {
    for (int c = 0; c < 128; ++c) m_map[c] = {{static_cast<char32_t>(c)}, 1};
    for (int k = 0; k < 26; ++k) {
      const auto lower = static_cast<char32_t>('a' + k), upper = static_cast<char32_t>('A' + k);
      if (o.script == Script::kCyrillic) {
        m_map[lower] = {{U'\u0430' + static_cast<char32_t>(k)}, 1};
        m_map[upper] = {{U'\u0410' + static_cast<char32_t>(k)}, 1};
      } else if (o.script == Script::kCjk) {
        m_map[lower] = m_map[upper] = {{U'\u4E00' + static_cast<char32_t>(97 * k)}, 1};
      }
    }
    if (o.accents == Accents::kNone) return;
    if (o.accents == Accents::kMixed) {
      for (unsigned k = 0; k < 16; ++k) {
        m_map[kAccentedBase + k] = {{kAccentedSmall[k]}, 1};
        m_map[kAccentedBase + 16 + k] = {{kAccentedCapital[k]}, 1};
      }
      return;
    }
    const char* vowels = "aeiou";
    const char32_t acute[] = {U'\u00E1', U'\u00E9', U'\u00ED', U'\u00F3', U'\u00FA'};
    for (int v = 0; v < 5; ++v) {
      for (const bool upper : {false, true}) {
        const char32_t base = static_cast<char32_t>(vowels[v] - (upper ? 32 : 0));
        const char32_t composed = acute[v] - (upper ? 32 : 0);
        m_map[base] = o.accents == Accents::kPrecomposed ? Chars{{composed}, 1} : Chars{{base, U'\u0301'}, 2};
      }
    }
  }
  struct Chars {
    char32_t c[2];
    int n;
  };
  const Chars& operator[](char c) const { return m_map[static_cast<unsigned char>(c)]; }

 private:
  Chars m_map[256] = {};
};

class Writer {
 public:
  Writer(const char* path, const Options& o)
      : m_utf16(o.utf16), m_ascii(!o.utf16 && o.script == Script::kLatin && o.accents == Accents::kNone), m_map(o) {
    m_file = std::fopen(path, "wb");
    if (!m_file) {
      std::perror(path);
      std::exit(1);
    }
    m_buffer.reserve(kSize + 4096);
    if (m_utf16) m_buffer.append("\xFF\xFE", 2);
  }
  void Put(std::string_view text) {
    if (m_ascii) {
      m_buffer.append(text);
      if (m_buffer.size() >= kSize) Flush();
      return;
    }
    for (char c : text) {
      const CharMap::Chars& chars = m_map[c];
      for (int i = 0; i < chars.n; ++i) PutChar(chars.c[i]);
    }
    if (m_buffer.size() >= kSize) Flush();
  }
  // One character in the file's encoding (all of them lie in the BMP).
  void PutChar(char32_t c) {
    if (m_utf16) {
      m_buffer.push_back(static_cast<char>(c & 0xFF));
      m_buffer.push_back(static_cast<char>(c >> 8));
    } else if (c < 0x80) {
      m_buffer.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      m_buffer.push_back(static_cast<char>(0xC0 | c >> 6));
      m_buffer.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      m_buffer.push_back(static_cast<char>(0xE0 | c >> 12));
      m_buffer.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      m_buffer.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    if (m_buffer.size() >= kSize) Flush();
  }
  void Close() {
    Flush();
    if (std::fclose(m_file) != 0) {
      std::perror("gen_data: close");
      std::exit(1);
    }
  }

 private:
  static constexpr size_t kSize = 1 << 20;
  void Flush() {
    if (!m_buffer.empty() && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size()) {
      std::perror("gen_data: write");
      std::exit(1);
    }
    m_buffer.clear();
  }
  std::FILE* m_file;
  bool m_utf16;
  bool m_ascii;  // written as generated
  CharMap m_map;
  std::string m_buffer;
};

void WriteCraftedKeys(const Options& o, Writer& writer) {
  const uint64_t groups = o.lines / kGroupLines;
  char line[40];
  for (uint64_t v = 0; v < kGroupLines; ++v) {
    for (uint64_t g = 0; g < groups; ++g) {
      int n = std::snprintf(line, sizeof line, "%08llu", static_cast<unsigned long long>(g));
      if (o.crafted == CraftedKeys::kShared) {
        for (int j = 0; j < 6; ++j, n += 4) std::memcpy(line + n, v >> j & 1 ? "bf10" : "13ar", 4);
      } else {
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "xx%022llu",
                           static_cast<unsigned long long>(v * groups + g));
      }
      line[n++] = '\n';
      writer.Put({line, static_cast<size_t>(n)});
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  Writer writer(o.out, o);
  if (o.marks > 0) {
    writer.PutChar(U'e');
    for (uint64_t i = 0; i < o.marks; ++i) writer.PutChar(U'\u0301');
    writer.PutChar(U'\n');
    writer.Close();
    return 0;
  }
  if (o.crafted != CraftedKeys::kNone) {
    WriteCraftedKeys(o, writer);
    writer.Close();
    return 0;
  }
  std::string line;

  std::vector<uint32_t> order;
  if (o.lines != o.distinct) {
    order.resize(o.lines);
    for (uint64_t i = 0; i < o.lines; ++i) order[i] = static_cast<uint32_t>(i % o.distinct);
    SplitMix64 rng{o.seed * 0x2545F4914F6CDD1Dull + 7};
    for (uint64_t i = o.lines - 1; i > 0; --i) std::swap(order[i], order[rng.Below(i + 1)]);
  }
  for (uint64_t pos = 0; pos < o.lines; ++pos) {
    const uint32_t index = order.empty() ? static_cast<uint32_t>(pos) : order[pos];
    MakeLine(o.seed, index, o, line);
    if (o.capitals || o.accents == Accents::kMixed) Decorate(o.seed, index, o, line);
    if (o.mixedCase) RandomCase(o.seed, pos, line);
    line.push_back('\n');
    writer.Put(line);
  }
  writer.Close();
  return 0;
}
