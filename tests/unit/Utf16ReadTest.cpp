// Encodings found by a mark or the first block, UTF-16 decoded into the code
// page; from a file and through a FIFO alike.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "platform/CodePage.h"

using namespace std::string_literals;
using Lines = std::vector<std::string>;

namespace {

// UTF-16 bytes of the given code units, in the given byte order.
std::string Units(const std::u16string& units, bool bigEndian) {
  std::string bytes;
  for (char16_t u : units) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}

}  // namespace

TEST(Utf16Read, SourcesFromFileAndFifo) {
  struct Case {
    const char* name;
    const char* codeset;
    std::string bytes;
    Lines lines;
    Encoding encoding;
  };
  const std::u16string a49(49, u'a'), a48(48, u'a');
  const std::string a65532(65532, 'a');
  // 70000 units that take three bytes each in UTF-8 and two in CP932: no text lost.
  const std::u16string wide = std::u16string(70000, u'\u4E2D') + u"\nz";
  std::string wideUtf8, wideCp932;
  for (int i = 0; i < 70000; ++i) wideUtf8 += "\xE4\xB8\xAD", wideCp932 += "\x92\x86";
  // One base and 70000 marks: more than a block, and more than composition looks at.
  std::u16string marks(70001, u'\u0301');
  std::string marksUtf8 = "e", marksCp1252(70000, '?'), marksCp932(70001, '?');
  for (int i = 0; i < 70000; ++i) marksUtf8 += "\xCC\x81";
  marks[0] = u'e', marks += u"\nz", marksCp1252[0] = '\xE9', marksCp932[0] = 'e';
  // clang-format off
  const Case cases[] = {
      {"LE with mark", "UTF-8", "\xFF\xFE" "A\0B\0\n\0"s, {"AB"}, encUtf16LE},
      {"BE with mark", "UTF-8", "\xFE\xFF\0A\0B\0\n"s, {"AB"}, encUtf16BE},
      {"LE without mark", "UTF-8", "A\0B\0C\0"s, {"ABC"}, encUtf16LE},
      {"BE without mark", "UTF-8", "\0A\0B\0C"s, {"ABC"}, encUtf16BE},
      {"mark wins over the zero pattern", "UTF-8", "\xFF\xFE\0\0A\0\n\0"s, {"\xB7" "A"}, encUtf16LE},
      {"FE 00 is a character and a zero", "UTF-8", "\xFE\0A\0\n\0"s, {"\xC3\xBE" "A"}, encUtf16LE},
      {"zero high bytes both ways are 8-bit", "UTF-8", "A\0\0\0\n"s, {"A\xB7\xB7\xB7"}, encAnsi},
      {"four bytes are 8-bit", "UTF-8", "A\0B\0"s, {"A\xB7" "B\xB7"}, encAnsi},
      {"a mark alone", "UTF-8", "\xFF\xFE"s, {}, encUtf16LE},
      {"four bytes with a mark", "UTF-8", "\xFF\xFE" "A\0"s, {"A"}, encUtf16LE},
      {"four bytes with a BE mark", "UTF-8", "\xFE\xFF\0A"s, {"A"}, encUtf16BE},
      {"three bytes with a mark", "UTF-8", "\xFF\xFE" "A"s, {}, encUtf16LE},
      {"UTF-8 mark skipped", "UTF-8", "\xEF\xBB\xBFName\nname\n", {"Name", "name"}, encUtf8},
      {"UTF-8 mark alone", "UTF-8", "\xEF\xBB\xBF", {}, encUtf8},
      {"UTF-8 mark skipped in CP1252", "CP1252", "\xEF\xBB\xBFx\n", {"x"}, encUtf8},
      {"UTF-8 in CP1252", "CP1252", "a\n\xC3\x9C\n", {"a", "\xC3\x9C"}, encUtf8},
      {"first block cut inside a sequence", "CP1252", "Ж\n" + a65532 + "Ж", {"Ж", a65532 + "Ж"}, encUtf8},
      {"Cyrillic LE without mark", "UTF-8", Units(u"Привет, мир\r\nпока\r\n", false), {"Привет, мир", "пока"}, encUtf16LE},
      {"Japanese BE without mark", "UTF-8", Units(u"日本語の上\u3000下\r\n一\r\n", true), {"日本語の上\u3000下", "一"}, encUtf16BE},
      {"8-bit text", "UTF-8", "Hi\r\nA", {"Hi", "A"}, encAnsi},
      {"b3 not zero", "UTF-8", "A\0BC\n"s, {"A\xB7" "BC"}, encAnsi},
      {"odd length drops the last byte", "UTF-8", "\xFF\xFE" "A\0B\0C"s, {"AB"}, encUtf16LE},
      {"CR LF as units", "UTF-8", "\xFF\xFE" + Units(u"a\r\nb\r\n", false), {"a", "b"}, encUtf16LE},
      {"missing from CP1252", "CP1252", "\xFF\xFE" + Units(u"x\u4E2D", false), {"x?"}, encUtf16LE},
      {"same in UTF-8", "UTF-8", "\xFF\xFE" + Units(u"x\u4E2D", false), {"x\xE4\xB8\xAD"}, encUtf16LE},
      {"same in CP932", "CP932", "\xFE\xFF" + Units(u"x\u4E2D", true), {"x\x92\x86"}, encUtf16BE},
      {"unknown code page gives UTF-8", "no-such-codeset", "\xFF\xFE" + Units(u"\u00E9\n", false), {"\xC3\xA9"}, encUtf16LE},
      {"unpaired surrogate in UTF-8", "UTF-8", "\xFF\xFE" + Units(u"\xD800" u"A", false), {"\xEF\xBF\xBD" "A"}, encUtf16LE},
      {"combining sequence composed", "CP1252", "\xFF\xFE" + Units(u"e\u0301!", false), {"\xE9!"}, encUtf16LE},
      {"kana and voiced mark composed", "CP932", "\xFF\xFE" + Units(u"\u304B\u3099\n", false), {"\x82\xAA"}, encUtf16LE},
      {"nothing to compose to", "CP1252", "\xFF\xFE" + Units(u"q\u0301\n", false), {"q?"}, encUtf16LE},
      {"composed as far as the code page goes", "CP1252", "\xFF\xFE" + Units(u"e\u0301\u0302\n", false), {"\xE9?"}, encUtf16LE},
      {"combining sequence in UTF-8", "UTF-8", "\xFF\xFE" + Units(u"e\u0301!", false), {"e\xCC\x81!"}, encUtf16LE},
      {"pairs again", "CP1252", "\xFF\xFE" + Units(u"e\u0301q\u0301e\u0301q\u0301", false), {"\xE9q?\xE9q?"}, encUtf16LE},
      {"a mark with no base", "CP1252", "\xFF\xFE" + Units(u"\u0301x", false), {"?x"}, encUtf16LE},
      {"a character composed alone", "CP1252", "\xFF\xFE" + Units(u"\u212B\n", false), {"\xC5"}, encUtf16LE},
      {"two marks composed", "CP1253", "\xFF\xFE" + Units(u"\u03B9\u0308\u0301\n", false), {"\xC0"}, encUtf16LE},
      {"one missing character, one '?'", "CP1252", "\xFF\xFE" + Units(u"\u0958\n", false), {"?"}, encUtf16LE},
      {"long run of marks", "CP1252", "\xFF\xFE" + Units(marks, false), {marksCp1252, "z"}, encUtf16LE},
      {"long run of marks in CP932", "CP932", "\xFE\xFF" + Units(marks, true), {marksCp932, "z"}, encUtf16BE},
      {"long run of marks in UTF-8", "UTF-8", "\xFF\xFE" + Units(marks, false), {marksUtf8, "z"}, encUtf16LE},
      {"zero unit after 49 units", "UTF-8", "\xFF\xFE" + Units(a49 + u'\0' + u"z\n", false), {std::string(49, 'a'), "z"}, encUtf16LE},
      {"zero unit after 48 units", "UTF-8", "\xFF\xFE" + Units(a48 + u'\0' + u"z\n", false), {std::string(48, 'a') + "\xB7z"}, encUtf16LE},
      {"wide text in UTF-8", "UTF-8", "\xFF\xFE" + Units(wide, false), {wideUtf8, "z"}, encUtf16LE},
      {"wide text in CP932", "CP932", "\xFE\xFF" + Units(wide, true), {wideCp932, "z"}, encUtf16BE},
  };
  // clang-format on
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult fromFile = ReadFileLines(dir, c.bytes, Page(c.codeset));
    EXPECT_EQ(fromFile.lines, c.lines);
    EXPECT_EQ(fromFile.encoding, c.encoding);
    const ReadResult fromFifo = ReadFifoLines(dir, c.bytes, Page(c.codeset));
    EXPECT_EQ(fromFifo.lines, c.lines) << "through a FIFO";
    EXPECT_EQ(fromFifo.encoding, c.encoding) << "through a FIFO";
  }
}

// A character of two units whose halves fall on either side of a boundary:
// the end of the first 65536-unit read, or where a block's conversion may be
// cut (a third or a half of it). The line around it spans the boundary.
TEST(Utf16Read, CharactersAcrossBlockBoundaries) {
  struct Case {
    size_t at;  // index of the first unit after the mark
    bool bigEndian;
    const char* codeset;
    std::u16string straddling;
    std::string decoded;
  };
  const std::u16string pair = u"\xD83D\xDE00", combining = u"e\u0301";
  // clang-format off
  const Case cases[] = {
      {65535, false, "UTF-8", pair, "\xF0\x9F\x98\x80"}, {65535, true, "UTF-8", pair, "\xF0\x9F\x98\x80"},
      {21844, false, "UTF-8", pair, "\xF0\x9F\x98\x80"}, {32767, false, "UTF-8", pair, "\xF0\x9F\x98\x80"},
      {65535, false, "CP1252", pair, "?"},              {32767, false, "CP1252", pair, "?"},
      {65535, true, "CP932", pair, "?"},                {32767, true, "CP932", pair, "?"},
      {65535, false, "CP1252", combining, "\xE9"},      {65535, true, "CP1252", combining, "\xE9"},
      {32767, false, "CP1252", combining, "\xE9"},      {65535, false, "UTF-8", combining, "e\xCC\x81"},
  };
  // clang-format on
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codeset + std::string(c.bigEndian ? " BE at " : " LE at ") + std::to_string(c.at));
    std::u16string units = std::u16string(c.at, u'a') + c.straddling + u"b\n";
    for (int i = 0; i < 14000; ++i) units += u"tail\n";
    const std::string bytes = (c.bigEndian ? "\xFE\xFF" : "\xFF\xFE") + Units(units, c.bigEndian);
    ASSERT_GT(bytes.size(), 131072u);
    Lines expected{std::string(c.at, 'a') + c.decoded + "b"};
    expected.insert(expected.end(), 14000, "tail");
    EXPECT_EQ(ReadFileLines(dir, bytes, Page(c.codeset)).lines, expected);
    EXPECT_EQ(ReadFifoLines(dir, bytes, Page(c.codeset)).lines, expected) << "through a FIFO";
  }
}

// Text in 8-bit code pages and in UTF-8, a full block of it and a line alone,
// and text with stray NULs (NUL rule: text), is never taken for UTF-16; text
// in a code page is not taken for UTF-8 either.
TEST(Utf16Read, EightBitTextIsNeverUtf16) {
  const std::pair<const char*, std::string> texts[] = {
      {"windows-1252", "Grüße aus Köln, Ça coûte — voilà.\r\nÜber Ìnsel\r\n"},
      {"windows-1251", "Съешь же ещё этих мягких французских булок.\nЁлка, Ш и Ж\n"},
      {"windows-20866", "Съешь же ещё этих мягких французских булок.\nЁлка, Ш и Ж\n"},
      {"windows-1253", "Καλημέρα κόσμε, ΑΒΓ\n"},
      {"windows-932", "こんにちは、世界。\r\n日本語のテキスト、上下左右。ｶﾀｶﾅ\r\n"},
      {"windows-936", "你好，世界。\n中文文本，上海一开。\n"},
      {"UTF-8", "Съешь ещё. こんにちは、世界。你好 Καλημέρα Grüße 😀\n"},
  };
  // Stray NULs in, ending, opening lines, between fields, before line ends;
  // records padded to 16 bytes, one with a surrogate's high byte.
  std::vector<std::string> samples(7);
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i * 7);
    samples[0] += "x\0y"s + n + "\n";
    samples[1] += std::string(49 + i % 3, 'z') + "\0"s + n + "\n";
    samples[2] += "\0"s + n + "\n";
    samples[3] += "k" + n + "\0v\n"s;
    samples[4] += "line " + n + "\0\n"s;
    samples[5] += ("r" + n + std::string(15, '\0')).substr(0, 15) + "\n";
    samples[6] += (i == 9 ? "Karl M\xDCller-x"s : "Record number"s) + "\0\0\n"s;
  }
  TempDir dir;
  for (const auto& [codeset, utf8] : texts) {
    std::u16string units;
    Page("UTF-8").AppendUtf16(utf8.data(), utf8.size(), units);
    std::string text(3 * units.size(), '\0');
    size_t consumed = 0;
    text.resize(Page(codeset).FromUtf16(units.data(), units.size(), text.data(), text.size(), &consumed));
    std::string block;
    while (block.size() < 70000) block += text;
    std::vector<std::string> sources = samples;
    sources.insert(sources.end(), {text, text.substr(0, text.find('\n') + 1), block, "test\n\0"s});
    for (const std::string& bytes : sources) {
      SCOPED_TRACE(codeset + (" " + ::testing::PrintToString(bytes.substr(0, 40))));
      const bool isUtf8 = Page(codeset).GetKind() == CCodePage::Kind::Utf8 && bytes.find('\0') == std::string::npos;
      const Encoding expected = isUtf8 ? encUtf8 : encAnsi;
      EXPECT_EQ(ReadFileLines(dir, bytes, Page(codeset)).encoding, expected);
      EXPECT_EQ(ReadFifoLines(dir, bytes, Page(codeset)).encoding, expected) << "through a FIFO";
    }
  }
}
