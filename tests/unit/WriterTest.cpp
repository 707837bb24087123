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

TEST_F(Writer, RunLongerThanBufferFollowsPendingBytesUnbuffered) {
  CTextFile target(encAutoDetect, Page("UTF-8"));
  ASSERT_TRUE(target.Open(path, kCreateWrite));
  const std::string pending(10, 'p');
  const std::string run(60001, 'r');
  target.WriteRaw(pending.data(), 10);
  EXPECT_EQ(ReadBytes(path), "");
  target.WriteRaw(run.data(), static_cast<uint32_t>(run.size()));
  EXPECT_EQ(ReadBytes(path), pending + run);
  target.WriteRaw("fives", 5);
  EXPECT_EQ(ReadBytes(path), pending + run) << "a short run waits in the buffer";
  target.Close();
  EXPECT_EQ(ReadBytes(path), pending + run + "fives");
}

TEST_F(Writer, ExactlyOneBufferfulStaysBuffered) {
  CTextFile target(encAutoDetect, Page("UTF-8"));
  ASSERT_TRUE(target.Open(path, kCreateWrite));
  const std::string full(60000, 'f');
  target.WriteRaw(full.data(), 60000);
  EXPECT_EQ(ReadBytes(path).size(), 0u);
  target.WriteString("+");
  EXPECT_EQ(ReadBytes(path), full);
  target.FlushBuffer();
  EXPECT_EQ(ReadBytes(path), full + "+");
}

TEST_F(Writer, DestroyingWithoutFlushDropsWaitingBytes) {
  {
    CTextFile target(encAutoDetect, Page("UTF-8"));
    ASSERT_TRUE(target.Open(path, kCreateWrite));
    target.WriteString("kept");
    target.FlushBuffer();
    target.WriteString("lost");
  }
  EXPECT_EQ(ReadBytes(path), "kept");
}

TEST_F(Writer, OpenCutsAnExistingFile) {
  WriteBytes(path, "old content");
  CTextFile target(encAutoDetect, Page("UTF-8"));
  ASSERT_TRUE(target.Open(path, kCreateWrite));
  EXPECT_EQ(ReadBytes(path), "");
}

TEST_F(Writer, TerminatorsAndEmptyString) {
  CTextFile target(encAutoDetect, Page("UTF-8"));
  ASSERT_TRUE(target.Open(path, kCreateWrite));
  for (int32_t style : {0, 1, 2, 3, 7, -1, 4}) {
    target.WriteString("");
    target.WriteString("|");
    target.WriteEol(style);
  }
  target.Close();
  EXPECT_EQ(ReadBytes(path), "|\r\n|\n\r|\n|\r|\r\n|\r\n|\r\n");
}

TEST_F(Writer, EncodingOfEachWriter) {
  struct Case {
    const char* name;
    int32_t encoding;
    const char* codeset;
    std::string text;
    bool eol;
    std::string bytes;
  };
  const Case cases[] = {
      {"UTF-16 LE", encUtf16LE, "UTF-8", "AB", true, "\xFF\xFE" "A\0B\0\r\0\n\0"s},
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

TEST_F(Writer, ConversionBufferSizesAreMultiplesOf16) {
  CTextFile file(encAnsi, Page("UTF-8"));
  char* first = file.GetConversionBuffer(0);
  EXPECT_EQ(file.GetConversionBuffer(15), first) << "16 bytes already suffice";
  for (int32_t n : {16, 17, 131072}) {
    // Writing the whole requested size must be safe.
    std::memset(file.GetConversionBuffer(n), 0, static_cast<size_t>(n));
  }
}
