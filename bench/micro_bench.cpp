// Micro-benchmarks of the hot pieces of a run: the line reader, the
// fingerprints, case folding and the duplicate index.
//
//   build/bench/rowsift_microbench [--benchmark_filter=REGEX]
//
// The reader reads files written once to /dev/shm (or $TMPDIR, or /tmp) and
// removed at exit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "SplitMix64.h"
#include "dedup/CaseFolder.h"
#include "dedup/DuplicateIndex.h"
#include "dedup/LineFingerprinter.h"
#include "platform/CodePage.h"
#include "textfile/TextFile.h"

namespace {

// Words of random letters, about one byte in six a space; upperShare of the
// letters upper case (0 to 256), accentShare of the characters replaced by
// `accent` (0 to 256).
std::string RandomText(SplitMix64& rng, size_t length, unsigned upperShare = 0, unsigned accentShare = 0,
                       const std::string& accent = "") {
  std::string text;
  text.reserve(length + 4);
  while (text.size() < length) {
    const uint64_t r = rng.Next();
    const auto pick = static_cast<unsigned>(r & 0xFF);
    const auto upper = static_cast<unsigned>((r >> 8) & 0xFF);
    const auto accentPick = static_cast<unsigned>((r >> 16) & 0xFF);
    if (accentPick < accentShare && text.size() + accent.size() <= length) {
      text += accent;
    } else if (pick < 40) {
      text += ' ';
    } else {
      const char letter = static_cast<char>('a' + (pick - 40) % 26);
      text += upper < upperShare ? static_cast<char>(letter - 32) : letter;
    }
  }
  text.resize(length);
  return text;
}

// n distinct lines of 28 to 48 bytes in one buffer, each ending in its number.
struct LineSet {
  std::string text;
  std::vector<uint32_t> offsets;  // n + 1 entries: line i is [offsets[i], offsets[i + 1])

  explicit LineSet(uint32_t n) {
    SplitMix64 rng{n};
    offsets.reserve(n + 1);
    for (uint32_t i = 0; i < n; ++i) {
      offsets.push_back(static_cast<uint32_t>(text.size()));
      const size_t length = 20 + rng.Next() % 21;
      text += RandomText(rng, length);
      text += ' ';
      text += std::to_string(i);
    }
    offsets.push_back(static_cast<uint32_t>(text.size()));
  }
  uint32_t Size() const { return static_cast<uint32_t>(offsets.size() - 1); }
  const char* Line(uint32_t i) const { return text.data() + offsets[i]; }
  int32_t Length(uint32_t i) const { return static_cast<int32_t>(offsets[i + 1] - offsets[i]); }
};

const LineSet& MillionLines() {
  static const LineSet lines(1000000);
  return lines;
}

const CCodePage& Utf8() {
  static const CCodePage codePage("UTF-8");
  return codePage;
}

// ---------------------------------------------------------------- files

std::string ScratchFolder() {
  if (access("/dev/shm", W_OK) == 0) return "/dev/shm";
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

// A file of lines written on first use and removed at exit.
class ScratchFile {
 public:
  ScratchFile(size_t lineLength, size_t totalBytes, bool utf16) {
    std::string pattern = ScratchFolder() + "/rowsift-microbench.XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("cannot create a file in " + ScratchFolder());
    m_path = pattern;
    std::string content;
    SplitMix64 rng{lineLength};
    while (content.size() < totalBytes) {
      content += RandomText(rng, lineLength, 64);
      content += '\n';
    }
    if (utf16) {
      std::string wide = "\xFF\xFE";
      wide.reserve(2 * content.size() + 2);
      for (const char c : content) {
        wide += c;
        wide += '\0';
      }
      content.swap(wide);
    }
    m_size = content.size();
    for (size_t done = 0; done < content.size();) {
      const ssize_t n = write(fd, content.data() + done, content.size() - done);
      if (n <= 0) {
        close(fd);
        throw std::runtime_error("cannot write " + m_path);
      }
      done += static_cast<size_t>(n);
    }
    close(fd);
  }
  ~ScratchFile() { std::remove(m_path.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& Path() const { return m_path; }
  size_t Size() const { return m_size; }

 private:
  std::string m_path;
  size_t m_size = 0;
};

constexpr size_t kReaderBytes = 64u << 20;

const ScratchFile& ReaderFile(size_t lineLength, bool utf16) {
  static std::unique_ptr<ScratchFile> files[3];
  const int slot = utf16 ? 2 : lineLength < 100 ? 0 : 1;
  if (!files[slot]) files[slot] = std::make_unique<ScratchFile>(lineLength, kReaderBytes, utf16);
  return *files[slot];
}

// CTextFile::ReadLine over a whole file: args line length, UTF-16 LE (0/1).
void BM_ReadLine(benchmark::State& state) {
  const bool utf16 = state.range(1) != 0;
  const ScratchFile& file = ReaderFile(static_cast<size_t>(state.range(0)), utf16);
  int64_t lines = 0;
  for (auto _ : state) {
    CTextFile source(encAutoDetect, Utf8());
    std::string reason;
    if (!source.Open(file.Path(), CFile::modeRead | CFile::shareDenyNone, &reason)) {
      state.SkipWithError(reason.c_str());
      return;
    }
    while (char* line = source.ReadLine()) {
      benchmark::DoNotOptimize(line);
      ++lines;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.Size()));
  state.SetItemsProcessed(lines);
}
BENCHMARK(BM_ReadLine)
    ->ArgNames({"len", "utf16"})
    ->Args({60, 0})
    ->Args({1024, 0})
    ->Args({60, 1})
    ->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- fingerprints

// Cyrillic words (а-я, one letter in 16 a capital) and spaces, UTF-8.
std::string CyrillicText(SplitMix64& rng, size_t length) {
  std::string text;
  while (text.size() + 2 <= length) {
    const uint64_t r = rng.Next();
    if (r % 7 == 0) {
      text += ' ';
      continue;
    }
    const auto letter = static_cast<unsigned>((r >> 8) % 32);
    const unsigned code = (r >> 16) % 16 == 0 ? 0x410 + letter : 0x430 + letter;
    text += static_cast<char>(0xC0 | code >> 6);
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
  text.resize(length, ' ');
  return text;
}

// The fingerprint of one line as a run takes it (CLineFingerprinter::Take):
// args line length, kind (0 ASCII with case counted, 1 ASCII with capitals
// folded from A-Z, 2 Cyrillic UTF-8 folded).
void BM_Fingerprint(benchmark::State& state) {
  const auto length = static_cast<size_t>(state.range(0));
  const int64_t kind = state.range(1);
  SplitMix64 rng{4};
  const std::string line = kind == 2 ? CyrillicText(rng, length) : RandomText(rng, length, kind == 1 ? 64 : 0);
  const CCaseFolder folder(Utf8());
  CLineFingerprinter fingerprinter(folder);
  for (auto _ : state) {
    benchmark::DoNotOptimize(line.data());
    LineFingerprint fingerprint = fingerprinter.Take(line.data(), static_cast<int32_t>(length), kind == 0);
    benchmark::DoNotOptimize(fingerprint);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Fingerprint)->ArgNames({"len", "kind"})->ArgsProduct({{16, 30, 60, 1024}, {0, 1, 2}});

// ---------------------------------------------------------------- folding

// args: line length, text kind (0 ASCII, 1 with accented letters).
void FoldBenchmark(benchmark::State& state, const CCodePage& codePage, const std::string& accent) {
  if (codePage.GetKind() == CCodePage::Kind::Unknown) {
    state.SkipWithError(("no converter for " + codePage.Name()).c_str());
    return;
  }
  const CCaseFolder folder(codePage);
  SplitMix64 rng{3};
  const auto length = static_cast<size_t>(state.range(0));
  const std::string line = RandomText(rng, length, 64, state.range(1) ? 24 : 0, accent);
  std::string folded(folder.FoldRoom(length), '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(folder.Fold(line.data(), line.size(), folded.data()));
    benchmark::DoNotOptimize(folded.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Fold_Utf8(benchmark::State& state) { FoldBenchmark(state, Utf8(), "\xC3\x84"); }  // U+00C4
BENCHMARK(BM_Fold_Utf8)->ArgNames({"len", "accents"})->ArgsProduct({{60, 1024}, {0, 1}});

void BM_Fold_Cp1252(benchmark::State& state) {
  static const CCodePage cp1252("CP1252");
  FoldBenchmark(state, cp1252, "\xC4");  // A with diaeresis
}
BENCHMARK(BM_Fold_Cp1252)->ArgNames({"len", "accents"})->ArgsProduct({{60, 1024}, {0, 1}});

// ---------------------------------------------------------------- index

// A fresh index takes 1M distinct lines: arg case-sensitive (0/1).
void BM_TestAndAdd_NewLines(benchmark::State& state) {
  const LineSet& lines = MillionLines();
  const bool caseSensitive = state.range(0) != 0;
  const CCaseFolder folder(Utf8());
  for (auto _ : state) {
    auto index = std::make_unique<CDuplicateIndex>(folder);
    for (uint32_t i = 0; i < lines.Size(); ++i) {
      benchmark::DoNotOptimize(index->TestAndAdd(lines.Line(i), lines.Length(i), caseSensitive));
    }
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * lines.Size());
}
BENCHMARK(BM_TestAndAdd_NewLines)->ArgName("case")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// An index that holds 1M distinct lines is offered every one of them again.
void BM_TestAndAdd_Duplicates(benchmark::State& state) {
  const LineSet& lines = MillionLines();
  const bool caseSensitive = state.range(0) != 0;
  const CCaseFolder folder(Utf8());
  CDuplicateIndex index(folder);
  for (uint32_t i = 0; i < lines.Size(); ++i) index.TestAndAdd(lines.Line(i), lines.Length(i), caseSensitive);
  for (auto _ : state) {
    for (uint32_t i = 0; i < lines.Size(); ++i) {
      benchmark::DoNotOptimize(index.TestAndAdd(lines.Line(i), lines.Length(i), caseSensitive));
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * lines.Size());
}
BENCHMARK(BM_TestAndAdd_Duplicates)->ArgName("case")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// How long a batch waits for the index while it grows to 50M distinct lines:
// one lane takes batches of 8192 new lines (its share of a batch of the pass
// with two lanes), fetching ahead as the pass does. Reports the longest
// batch, which a table's growth lengthens, beside the mean.
void BM_LongestIndexWait(benchmark::State& state) {
  constexpr uint32_t kBatch = 8192;
  constexpr uint32_t kAhead = 16;
  const auto lines = static_cast<uint64_t>(state.range(0));
  double longest = 0;
  for (auto _ : state) {
    CDuplicateIndex index;
    SplitMix64 rng{50};
    std::vector<LineFingerprint> batch(kBatch);
    for (uint64_t done = 0; done < lines; done += kBatch) {
      for (LineFingerprint& fingerprint : batch) {
        const uint64_t bits = rng.Next();
        fingerprint = {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32), 7, 31};
      }
      const auto start = std::chrono::steady_clock::now();
      for (uint32_t i = 0; i < kBatch; ++i) {
        if (i + kAhead < kBatch) index.Prefetch(batch[i + kAhead]);
        benchmark::DoNotOptimize(index.TestAndAdd(batch[i]));
      }
      longest = std::max(longest,
                         std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
  }
  state.counters["longest_batch_ms"] = longest;
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines));
}
BENCHMARK(BM_LongestIndexWait)->Arg(50000000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
