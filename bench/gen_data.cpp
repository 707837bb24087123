// Writes one deterministic benchmark data set: lines of random lower-case
// words, each ending in a 7-character id that makes every distinct line
// unique (also after case folding). The same arguments always give the same
// bytes.
//
//   gen_data OUT --lines N --distinct D --min-len A --max-len B
//            [--seed S] [--mixed-case] [--utf16le] [--script cyrillic|latin]
//
// With N == D every line is written once, in index order. Otherwise the N
// lines are the D distinct lines, each repeated N / D times (the first
// N % D once more), in a shuffled order. --mixed-case writes every letter of
// every occurrence in a random case. --utf16le writes UTF-16 LE with a
// byte-order mark (the text is ASCII, so each byte becomes one code unit).
// --script writes the words in UTF-8 instead: Cyrillic letters (two bytes
// each), or Latin ones of which about one in five is accented, both with a
// capital now and then (the same in every occurrence of a line). Lines end in
// LF; A and B count the bytes before it.
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

// The same in UTF-8: a random byte becomes one character of one or two bytes
// (spaces and digits as above).
struct Script {
  std::string table[256];
  explicit Script(bool cyrillic) {
    // Small accented letters (ß folds to ss), and capitals with and without accents.
    static const char* const kAccented[] = {"é", "è", "ê", "à", "â", "ç", "ô", "û",
                                            "ü", "ö", "ä", "ñ", "ß", "í", "ó", "ú"};
    static const char* const kCapitals[] = {"É", "À", "Ç", "Ü", "Ö", "Ä", "Ñ", "Ô",
                                            "A", "E", "L", "M", "P", "S", "T", "V"};
    for (int i = 0; i < 256; ++i) {
      if (i < 48) {
        table[i] = std::string(1, kAlphabet.table[i]);
      } else if (cyrillic) {
        // а-я (U+0430-U+044F), and 1 in 16 a capital А-Я (U+0410-U+042F).
        const int letter = (i - 48) % 32 + (i >= 240 ? 0x410 : 0x430);
        table[i] = {static_cast<char>(0xC0 | letter >> 6), static_cast<char>(0x80 | (letter & 0x3F))};
      } else if (i < 200) {
        table[i] = std::string(1, static_cast<char>('a' + (i - 48) % 26));
      } else if (i < 240) {
        table[i] = kAccented[(i - 200) % 16];
      } else {
        table[i] = kCapitals[i - 240];
      }
    }
  }
};

struct Options {
  const char* out = nullptr;
  uint64_t lines = 0;
  uint64_t distinct = 0;
  uint32_t minLen = 0;
  uint32_t maxLen = 0;
  uint64_t seed = 1;
  bool mixedCase = false;
  bool utf16 = false;
  const Script* script = nullptr;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "gen_data: %s\nusage: gen_data OUT --lines N --distinct D --min-len A --max-len B "
               "[--seed S] [--mixed-case] [--utf16le] [--script cyrillic|latin]\n",
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
    } else if (arg == "--utf16le") {
      o.utf16 = true;
    } else if (arg == "--script") {
      static const Script cyrillic(true), latin(false);
      const std::string_view name = value();
      if (name != "cyrillic" && name != "latin") Usage("--script takes cyrillic or latin");
      o.script = name == "cyrillic" ? &cyrillic : &latin;
    } else if (!o.out && !arg.starts_with("--")) {
      o.out = argv[i];
    } else {
      Usage("unknown argument");
    }
  }
  if (!o.out) Usage("no output file");
  if (o.distinct == 0 || o.lines < o.distinct) Usage("need 0 < distinct <= lines");
  if (o.distinct > UINT32_MAX) Usage("too many distinct lines");
  if (o.minLen < kIdLength + 1 || o.maxLen < o.minLen) Usage("need min-len >= 8 and max-len >= min-len");
  if (o.script && (o.mixedCase || o.utf16)) Usage("--script takes neither --mixed-case nor --utf16le");
  return o;
}

// The text of distinct line `index`, without its LF.
void MakeLine(uint64_t seed, uint32_t index, const Options& o, std::string& line) {
  SplitMix64 rng{seed ^ (uint64_t{index} * 0xD1B54A32D192ED03ull)};
  const uint32_t length = o.minLen + static_cast<uint32_t>(rng.Below(o.maxLen - o.minLen + 1));
  line.resize(length);
  const uint32_t words = length - kIdLength - 1;
  if (o.script) {
    // Characters while they fit, then ASCII letters up to the length.
    line.clear();
    uint64_t bits = 0;
    for (uint32_t k = 0; line.size() < words; ++k, bits >>= 8) {
      if (k % 8 == 0) bits = rng.Next();
      const std::string& c = o.script->table[bits & 0xFF];
      line += line.size() + c.size() <= words ? c : std::string(1, static_cast<char>('a' + (bits & 0xFF) % 26));
    }
    line.resize(length);
  } else {
    for (uint32_t i = 0; i < words; i += 8) {
      uint64_t bits = rng.Next();
      for (uint32_t j = i; j < std::min(words, i + 8); ++j, bits >>= 8) line[j] = kAlphabet.table[bits & 0xFF];
    }
  }
  line[words] = ' ';
  uint32_t id = Scramble(index);
  for (int k = kIdLength - 1; k >= 0; --k, id /= 36) {
    line[words + 1 + k] = "0123456789abcdefghijklmnopqrstuvwxyz"[id % 36];
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

class Writer {
 public:
  Writer(const char* path, bool utf16) : m_utf16(utf16) {
    m_file = std::fopen(path, "wb");
    if (!m_file) {
      std::perror(path);
      std::exit(1);
    }
    m_buffer.reserve(kSize + 4096);
    if (m_utf16) m_buffer.append("\xFF\xFE", 2);
  }
  void Put(const std::string& text) {
    if (m_utf16) {
      for (char c : text) {
        m_buffer.push_back(c);
        m_buffer.push_back('\0');
      }
    } else {
      m_buffer.append(text);
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
  std::string m_buffer;
};

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  Writer writer(o.out, o.utf16);
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
    if (o.mixedCase) RandomCase(o.seed, pos, line);
    line.push_back('\n');
    writer.Put(line);
  }
  writer.Close();
  return 0;
}
