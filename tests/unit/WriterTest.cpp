// The buffered writer: when bytes reach the file, terminators, and the
// UTF-16 writers in both byte orders.
#include <gtest/gtest.h>

#include "TestFiles.h"

using namespace std::string_literals;

namespace {

constexpr unsigned kCreateWrite = CFile::modeCreate | CFile::modeWrite;

class Writer : public ::testing::Test {
 protected:
  TempDir dir;
  const std::string path = dir.Path("target.txt");
};

}  // namespace

// Runs written one after another, with the file's length after each step.
TEST_F(Writer, BytesReachTheFileWhenTheBufferCannotHoldThem) {
  const std::pair<size_t, size_t> steps[] = {
      {10, 0},          // waits
      {60001, 60011},   // the 10 bytes, then the long run straight to the file
      {5, 60011},       // waits
      {59995, 60011},   // fills the buffer exactly: waits
      {1, 120011},      // the full buffer goes out; this byte waits
      {0, 120012},      // FlushBuffer
      {60000, 120012},  // one bufferful into an empty buffer waits
      {1, 180012},
  };
  std::string written;
  {
    CTextFile target(encAutoDetect, Page("UTF-8"));
    ASSERT_TRUE(target.Open(path, kCreateWrite));
    for (const auto& [size, fileLength] : steps) {
      const std::string run(size, static_cast<char>('a' + written.size() % 26));
      if (size == 0) target.FlushBuffer();
      target.WriteRaw(run.data(), static_cast<uint32_t>(size));
      written += run;
      // The size the system reports: Windows lets nobody read the target meanwhile.
      EXPECT_EQ(std::filesystem::file_size(path), fileLength) << "after a run of " << size;
    }
  }  // destroyed without a flush: the last byte is dropped
  written.pop_back();
  EXPECT_TRUE(ReadBytes(path) == written);
}

TEST_F(Writer, TerminatorsAndEmptyString) {
  CTextFile target(encAutoDetect, Page("UTF-8"));
  ASSERT_TRUE(target.Open(path, kCreateWrite));
  for (EolStyle style : {eolCrLf, eolLfCr, eolLf, eolCr}) {
    target.WriteString("");
    target.WriteString("|");
    target.WriteEol(style);
  }
  target.Close();
  EXPECT_EQ(ReadBytes(path), "|\r\n|\n\r|\n|\r");
}

TEST_F(Writer, EncodingOfEachWriter) {
  struct Case {
    const char* name;
    Encoding encoding;
    const char* codeset;
    std::string text;
    bool eol;
    std::string bytes;
  };
  const Case cases[] = {
      {"UTF-16 LE", encUtf16LE, "UTF-8", "AB", true,
       "\xFF\xFE"
       "A\0B\0\r\0\n\0"s},
      {"UTF-16 BE", encUtf16BE, "UTF-8", "AB", true, "\xFE\xFF\0A\0B\0\r\0\n"s},
      {"LE, empty first write: mark alone", encUtf16LE, "UTF-8", "", false, "\xFF\xFE"},
      {"BE, empty first write: mark alone", encUtf16BE, "UTF-8", "", false, "\xFE\xFF"},
      {"8-bit writer adds no mark", encAutoDetect, "UTF-8", "AB", true, "AB\r\n"},
      {"8-bit writer, empty write", encAnsi, "UTF-8", "", false, ""},
      {"CP1252 e-acute", encUtf16LE, "CP1252", "\xE9", false, "\xFF\xFE\xE9\0"s},
      {"UTF-8 e-acute", encUtf16BE, "UTF-8", "\xC3\xA9", false, "\xFE\xFF\0\xE9"s},
      {"UTF-8 outside the BMP", encUtf16LE, "UTF-8", "\xF0\x9F\x98\x80", false, "\xFF\xFE\x3D\xD8\x00\xDE"s},
      {"CP932 two-byte character", encUtf16LE, "CP932", "\x92\x86", false, "\xFF\xFE\x2D\x4E"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTextFile target(c.encoding, Page(c.codeset));
    ASSERT_TRUE(target.Open(path, kCreateWrite));
    target.WriteString(c.text.c_str());
    if (c.eol) target.WriteEol(eolCrLf);
    target.Close();
    EXPECT_EQ(ReadBytes(path), c.bytes);
  }
}
