// The line reader on 8-bit sources: terminators, the style of the first
// block, block boundaries, the NUL rule and long lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "TestFiles.h"
#include "platform/FileMapping.h"

using namespace std::string_literals;
using Lines = std::vector<std::string>;

namespace {

struct ReaderCase {
  const char* name;
  std::string bytes;
  Lines lines;
  EolStyle eolStyle;
};

Lines Repeat(const std::string& line, size_t count) { return Lines(count, line); }

std::vector<ReaderCase> ReaderCases() {
  const std::string a65535(65535, 'a');
  const std::string x49(49, 'x');
  const std::string x48(48, 'x');
  const std::string long1(100000, 'L');
  // 8192 lines of 8 bytes: exactly one 65536-byte block.
  std::string fullBlock;
  for (int i = 0; i < 8192; ++i) fullBlock += "0123456\n";
  std::string fullBlockNoEol = fullBlock;
  fullBlockNoEol.back() = 'X';
  Lines noEolLines = Repeat("0123456", 8192);
  noEolLines.back() = "0123456X";

  // The style when the first block shows no line end: the system's own.
  const EolStyle none = kSystemLineEndIsCrLf ? eolCrLf : eolLf;

  return {
      {"empty source", "", {}, none},
      {"LF", "a\nb\n", {"a", "b"}, eolLf},
      {"CR LF, last line unterminated", "a\r\nb", {"a", "b"}, eolCrLf},
      {"LF CR", "a\n\rb\n\r", {"a", "b"}, eolLfCr},
      {"CR", "a\rb\r", {"a", "b"}, eolCr},
      {"LF LF gives an empty line", "a\n\nb", {"a", "", "b"}, eolLf},
      {"CR CR gives an empty line", "a\r\rb", {"a", "", "b"}, eolCr},
      {"trailing empty line", "x\n\n", {"x", ""}, eolLf},
      {"mixed: first LF decides", "a\nb\r\nx", {"a", "b", "x"}, eolLf},
      {"no terminator at all", "abc", {"abc"}, none},
      {"block starting with LF CR", "\n\rab", {"", "ab"}, eolLfCr},
      {"CR LF CR: LF CR never pairs after CR LF", "a\r\n\rb", {"a", "", "b"}, eolCrLf},
      {"NUL after 49 bytes ends the line", x49 + "\0z\n"s, {x49, "z"}, eolLf},
      {"NUL after 48 bytes stays as B7", x48 + "\0z\n"s, {x48 + "\xB7z"}, eolLf},
      {"NUL after 49 bytes at the very end", "a\n" + x49 + "\0"s, {"a", x49}, eolLf},
      {"NUL after 48 bytes at the very end", "a\n" + x48 + "\0"s, {"a", x48 + "\xB7"}, eolLf},
      {"NUL at line start",
       "\0ab\n"s,
       {"\xB7"
        "ab"},
       eolLf},
      // The pair that decides the style may straddle the end of the first block.
      {"only LF of block 1 is its last byte, CR opens block 2", a65535 + "\n\rb", {a65535, "b"}, eolLfCr},
      {"CR LF split across blocks", a65535 + "\r\nb", {a65535, "b"}, eolCrLf},
      {"LF ends block 1, no CR after it", a65535 + "\nb\r\n", {a65535, "b"}, eolLf},
      {"an earlier lone CR decides", "x\r" + a65535.substr(2) + "\r\nb", {"x", a65535.substr(2), "b"}, eolCr},
      {"CR LF at the end of block 1", std::string(65534, 'a') + "\r\nb", {std::string(65534, 'a'), "b"}, eolCrLf},
      {"lines filling the first line buffer",
       std::string(4998, 'a') + "\r\n" + std::string(4999, 'b') + "\n" + std::string(5000, 'c'),
       {std::string(4998, 'a'), std::string(4999, 'b'), std::string(5000, 'c')},
       eolCrLf},
      {"100000-byte line and another", long1 + "\n" + long1 + "!\nz", {long1, long1 + "!", "z"}, none},
      {"exactly 65536 bytes, terminated", fullBlock, Repeat("0123456", 8192), eolLf},
      {"exactly 65536 bytes, unterminated", fullBlockNoEol, noEolLines, eolLf},
  };
}

}  // namespace

TEST(LineReader, LinesAndStyleOfEverySource) {
  TempDir dir;
  for (const ReaderCase& c : ReaderCases()) {
    SCOPED_TRACE(c.name);
    const ReadResult got = ReadFileLines(dir, c.bytes, Page("UTF-8"));
    EXPECT_EQ(got.lines, c.lines);
    EXPECT_EQ(got.eolStyle, c.eolStyle);
    EXPECT_EQ(got.encoding, encAnsi);
    const ReadResult piped = ReadFifoLines(dir, c.bytes, Page("UTF-8"));
    EXPECT_EQ(piped.lines, c.lines) << "through a FIFO";
    EXPECT_EQ(piped.eolStyle, c.eolStyle) << "through a FIFO";
  }
}

// The lines of a file read in chunks of `chunk` bytes, as the pass reads a
// regular file with several threads: the source itself up to the first clear
// line start past the first chunk, a reader of its own for every later chunk
// from its first clear line start on.
Lines ReadInChunks(const std::string& path, uint64_t chunk) {
  CTextFile source(encAutoDetect, Page("UTF-8"));
  EXPECT_TRUE(source.Open(path, CFile::modeRead | CFile::shareDenyNone));
  source.PrepareReading();
  const uint64_t start = source.FirstLineOffset();
  const uint64_t chunks = std::max<uint64_t>(1, (source.GetLength() - start + chunk - 1) / chunk);
  Lines lines;
  auto readAll = [&lines](CTextFile& reader, uint64_t stop) {
    reader.StopAt(stop);
    while (char* line = reader.ReadLine()) lines.emplace_back(line, static_cast<size_t>(reader.GetLineLength()));
  };
  readAll(source, chunks > 1 ? start + chunk : UINT64_MAX);
  for (uint64_t k = 1; k < chunks; ++k) {
    const uint64_t from = start + k * chunk;
    const uint64_t begin = CTextFile::FindClearLineStart(source, from, from + chunk);
    if (begin == UINT64_MAX) continue;
    CTextFile reader(encAnsi);
    reader.ReadRangeOf(source, begin, source.m_nEolStyle);
    readAll(reader, k + 1 < chunks ? from + chunk : UINT64_MAX);
  }
  return lines;
}

// Read in chunks of any size, every source gives the lines it gives read
// whole: each chunk ends where the next begins, whatever runs of CR, LF and
// NUL surround the cut.
TEST(LineReader, ChunksGiveTheLinesOfTheWhole) {
  TempDir dir;
  std::vector<std::string> sources;
  for (const ReaderCase& c : ReaderCases()) {
    if (c.bytes.size() > 4 && c.bytes[1] == '\0') continue;  // UTF-16, one reader
    sources.push_back(c.bytes);
  }
  uint64_t seed = 1;
  for (int i = 0; i < 300; ++i) {
    std::string bytes = "xy";  // never taken for UTF-16
    for (int j = 0; j < 120; ++j) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      bytes += "ab\r\n\0"[seed >> 61 & 3 ? (seed >> 58) % 5 : 0];
    }
    sources.push_back(bytes);
  }
  const std::string path = dir.Path("source.txt");
  for (const std::string& bytes : sources) {
    WriteBytes(path, bytes);
    const Lines whole = ReadAllLines(path, Page("UTF-8")).lines;
    for (const uint64_t chunk : {1, 2, 3, 5, 16, 4096}) {
      if (bytes.size() / chunk > 2000) continue;
      ASSERT_EQ(ReadInChunks(path, chunk), whole)
          << ::testing::PrintToString(bytes.substr(0, 200)) << " chunk " << chunk;
    }
  }
}

// A pipe that pauses: the line end that closes what has arrived hands its line
// on at once, and the lines are still those of a file of the same bytes.
TEST(LineReader, PipeThatPauses) {
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    Lines lines;
    EolStyle eolStyle;
    Encoding encoding = encAnsi;
  };
  const Case cases[] = {
      {"LF, then the CR of its pair", {"s\na\n", "\rb"}, {"s", "a", "b"}, eolLf},
      {"CR, then the LF of its pair", {"s\r\na\r", "\nb"}, {"s", "a", "b"}, eolCrLf},
      {"LF, then another LF", {"a\n", "\nb"}, {"a", "", "b"}, eolLf},
      {"CR, then another CR", {"s\r\na\r", "\rb"}, {"s", "a", "", "b"}, eolCrLf},
      {"lone LF, then the end", {"x\n", ""}, {"x"}, eolLf},
      {"the first five bytes in pieces", {"ab", "c\n", "de"}, {"abc", "de"}, eolLf},
      {"CR LF across a full block", {std::string(65530, 'a'), "aaaaa\r\nb"}, {std::string(65535, 'a'), "b"}, eolCrLf},
      {"UTF-16 cut inside units", {"\xFF\xFE\x61"s, "\0\r\0\n\0b"s, "\0\r\0\n\0"s}, {"a", "b"}, eolCrLf, encUtf16LE},
      {"UTF-8 after a pause", {"abcd\n", "\xC3\x9C\n"}, {"abcd", "\xC3\x9C"}, eolLf, encUtf8},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // CP1252 composes: the decoder holds back what may still combine.
    const ReadResult got = ReadFifoLines(dir, c.pieces, Page("CP1252"));
    EXPECT_EQ(got.lines, c.lines);
    EXPECT_EQ(got.eolStyle, c.eolStyle);
    EXPECT_EQ(got.encoding, c.encoding);
  }
}

// A read that waits for a pipe ends as soon as another thread cancels it, with
// the error, and so does every read after it; the hook ran before the wait.
TEST(LineReader, CancelEndsAReadThatWaits) {
  TempDir dir;
  const CPipeFeeder feeder(dir.Root(), {"first\n", "late\n"}, 1000);
  CTextFile source(encAutoDetect, Page("UTF-8"));
  ASSERT_TRUE(source.Open(feeder.Name(), CFile::modeRead | CFile::shareDenyNone));
  ASSERT_TRUE(source.IsStream());
  int waits = 0;
  source.SetBeforeWait([&waits] { ++waits; });
  ASSERT_STREQ(source.ReadLine(), "first");
  std::thread canceller([&source] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    source.CancelRead();
  });
  EXPECT_THROW(source.ReadLine(), CFileException) << "the read waited for the late line";
  canceller.join();
  EXPECT_GE(waits, 1);
  EXPECT_THROW(source.ReadLine(), CFileException);
}

// A line read again where it lies, from a mapping of a file that another
// program has cut short meanwhile: an error the run reports, not a crash.
TEST(LineReader, MappedFileCutShortPosix) {
  TempDir dir;
  const std::string path = dir.Path("cut.txt");
  WriteBytes(path, std::string(8192, 'x') + "\n");
  CFile file;
  ASSERT_TRUE(file.Open(path, CFile::modeRead | CFile::shareDenyNone));
  const CFileMapping mapping(file, 8193);
  ASSERT_NE(mapping.Data(), nullptr);
  char byte = 0;
  EXPECT_TRUE(mapping.CopyOut(8191, &byte, 1));
  std::filesystem::resize_file(path, 0);
  EXPECT_FALSE(mapping.CopyOut(8191, &byte, 1));
  EXPECT_FALSE(mapping.CopyOut(0, &byte, 1)) << "a second fault is caught too";
}
