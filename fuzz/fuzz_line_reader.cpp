// The line reader over arbitrary bytes, 8-bit and UTF-16.
//
// Input: flags, offset, body.
//   flags bits 0-1  byte-order mark before the body: 1 FF FE, 2 FE FF, 3 EF BB BF, 0 none
//   flags bit 2     code page CP1252 (else UTF-8)
//   flags bit 3     put filler before the body so that it lands near a block
//                   boundary; bits 5-6 choose which, the offset byte moves it
//   flags bit 4     the filler is short lines (else one long line)
//
// Checks: the detected encoding follows the first bytes (a UTF-16 mark from
// two bytes on, a UTF-8 mark, else the table of the first four bytes of a
// source longer than four); beyond those, a source without a NUL is never
// UTF-16, and one is UTF-8 only with a byte above 0x7F in its first block;
// no returned line holds a NUL, CR or LF, and its length is its strlen; after
// the first null every call answers null. For 8-bit text, and for UTF-16
// read through UTF-8, the lines are matched against the text byte by byte,
// so that every byte is accounted for by a line, a terminator or a dropped
// NUL (and, for UTF-16, the odd last byte), with the NUL rule and the pairing
// of CR and LF as they must be; the line-ending style follows the first block.
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"
#include "platform/LineEnd.h"
#include "textfile/TextFile.h"

namespace {

constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCr = 0x0D;
constexpr char kNulStandIn = static_cast<char>(0xB7);

struct Expected {
  Encoding encoding;
  size_t markLength;
};

// The encoding the first bytes call for, or the one found where the rules
// that look further allow it.
Expected ExpectedEncoding(std::string_view file, Encoding found) {
  if (file.starts_with("\xFF\xFE")) return {encUtf16LE, 2};
  if (file.starts_with("\xFE\xFF")) return {encUtf16BE, 2};
  if (file.starts_with("\xEF\xBB\xBF")) return {encUtf8, 3};
  const std::string_view block = file.substr(0, CTextFile::kReadBlockSize);
  if (file.size() > 4) {
    const auto b = [&](size_t i) { return static_cast<uint8_t>(file[i]); };
    if (b(0) != 0 && b(1) == 0 && b(2) != 0 && b(3) == 0) return {encUtf16LE, 0};
    if (b(0) == 0 && b(1) != 0 && b(2) == 0 && b(3) != 0) return {encUtf16BE, 0};
    if (IsUtf16(found) && block.find('\0') != std::string_view::npos) return {found, 0};
  }
  const bool high = std::any_of(block.begin(), block.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x80; });
  return {found == encUtf8 && high ? encUtf8 : encAnsi, 0};
}

// The style the first block asks for; a line end that closes it pairs with
// the byte after it.
int32_t StyleOf(std::string_view text) {
  const std::string_view block = text.substr(0, CTextFile::kReadBlockSize);
  const size_t lf = block.find('\n');
  const size_t at = lf != std::string_view::npos ? lf : block.find('\r');
  if (at == std::string_view::npos) return kSystemLineEndIsCrLf ? eolCrLf : eolLf;
  const char after = at + 1 < text.size() ? text[at + 1] : '\0';
  if (lf == std::string_view::npos) return after == '\n' ? eolCrLf : eolCr;
  if (lf > 0 && block[lf - 1] == '\r') return eolCrLf;
  return after == '\r' ? eolLfCr : eolLf;
}

// Matches the lines against the 8-bit text they came from.
void CheckAccounting(std::string_view text, const std::vector<std::string>& lines) {
  size_t at = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t n = line.size();
    FUZZ_CHECK(at + n <= text.size(), "line " + std::to_string(i) + " runs past the text");
    for (size_t j = 0; j < n; ++j) {
      const auto in = static_cast<uint8_t>(text[at + j]);
      if (in == 0) {
        FUZZ_CHECK(line[j] == kNulStandIn, "a NUL not shown as 0xB7 in line " + std::to_string(i));
        // A NUL after 49 bytes ends its line, also the last one.
        FUZZ_CHECK(j < 49, "a NUL after " + std::to_string(j) + " bytes did not end line " + std::to_string(i));
      } else {
        FUZZ_CHECK(static_cast<uint8_t>(line[j]) == in, "line " + std::to_string(i) + " differs from the text");
      }
    }
    at += n;
    if (at == text.size()) {
      FUZZ_CHECK(i + 1 == lines.size(), "lines after the end of the text");
      return;
    }
    const auto t = static_cast<uint8_t>(text[at]);
    const bool more = at + 1 < text.size();
    const auto next = more ? static_cast<uint8_t>(text[at + 1]) : 0;
    if (t == kLf) {
      at += more && next == kCr ? 2 : 1;
    } else if (t == kCr) {
      at += more && next == kLf ? 2 : 1;
    } else if (t == 0) {
      FUZZ_CHECK(n >= 49, "a NUL after " + std::to_string(n) + " bytes ended line " + std::to_string(i));
      at += 1;
    } else {
      fuzz::Fail("a line ended before a byte that cannot end it",
                 "line " + std::to_string(i) + ": " + fuzz::Show(line));
    }
  }
  FUZZ_CHECK(at == text.size(), "text left over after the last line: " + fuzz::Show(text.substr(at)));
}

// UTF-16 units to UTF-8 as a whole, the odd last byte left out.
std::string DecodeUtf16ToUtf8(std::string_view raw, bool bigEndian) {
  std::u16string units;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    const auto a = static_cast<uint8_t>(raw[i]);
    const auto b = static_cast<uint8_t>(raw[i + 1]);
    units.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
  }
  std::string out(units.size() * 3 + 1, '\0');
  int32_t length = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, units.data(),
                     static_cast<int32_t>(units.size()), 0xFFFD, nullptr, &err);
  FUZZ_CHECK(U_SUCCESS(err));
  out.resize(static_cast<size_t>(length));
  return out;
}

std::string Filler(size_t units, bool shortLines) {
  std::string s(units, 'x');
  if (shortLines) {
    for (size_t i = 79; i < units; i += 80) s[i] = '\n';
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const CCodePage utf8("UTF-8");
  static const CCodePage cp1252("CP1252");
  const uint8_t flags = data[0];
  const uint8_t offset = data[1];
  const std::string_view body(reinterpret_cast<const char*>(data + 2), size - 2);

  const int mark = flags & 3;
  const bool useCp1252 = (flags & 4) != 0;
  std::string file;
  if (mark == 1) file = "\xFF\xFE";
  if (mark == 2) file = "\xFE\xFF";
  if (mark == 3) file = "\xEF\xBB\xBF";
  if (flags & 8) {
    static const size_t kBoundaries[] = {65536, 21845, 32768, 65536 + 21845};
    const size_t units = kBoundaries[(flags >> 5) & 3] - 128 + offset;
    const std::string filler = Filler(units, (flags & 16) != 0);
    if (mark == 0 || mark == 3) {
      file += filler;
    } else {
      for (char c : filler) {
        if (mark == 1) {
          file += c;
          file += '\0';
        } else {
          file += '\0';
          file += c;
        }
      }
    }
  }
  file.append(body);

  const std::string path = fuzz::ScratchDir() + "/reader-source";
  fuzz::WriteFile(path, file);

  const CCodePage& codePage = useCp1252 ? cp1252 : utf8;
  CTextFile source(encAutoDetect, codePage);
  FUZZ_CHECK(source.Open(path, CFile::modeRead | CFile::shareDenyNone));
  std::vector<std::string> lines;
  size_t total = 0;
  while (char* line = source.ReadLine()) {
    const int32_t length = source.GetLineLength();
    FUZZ_CHECK(length >= 0);
    FUZZ_CHECK(std::strlen(line) == static_cast<size_t>(length), "a NUL inside a line");
    const std::string_view text(line, static_cast<size_t>(length));
    FUZZ_CHECK(text.find_first_of("\r\n") == std::string_view::npos, "a terminator inside a line: " + fuzz::Show(text));
    lines.emplace_back(text);
    total += text.size();
    // Every line stands for at least one byte of the source.
    FUZZ_CHECK(lines.size() <= file.size());
    FUZZ_CHECK(total <= 3 * file.size());
  }
  FUZZ_CHECK(source.ReadLine() == nullptr, "a line after the end");
  FUZZ_CHECK(source.ReadLine() == nullptr, "a line after the end");

  const Expected expected = ExpectedEncoding(file, source.m_nEncoding);
  FUZZ_CHECK(source.m_nEncoding == expected.encoding, "encoding " + std::to_string(source.m_nEncoding) + " for " +
                                                          fuzz::Show(std::string_view(file).substr(0, 4)));
  FUZZ_CHECK(source.m_nEolStyle >= eolCrLf && source.m_nEolStyle <= eolCr);

  std::string text;
  bool wholeFirstBlock = false;
  if (!IsUtf16(expected.encoding)) {
    text = file.substr(expected.markLength);
    wholeFirstBlock = true;
  } else if (!useCp1252) {
    text = DecodeUtf16ToUtf8(std::string_view(file).substr(expected.markLength), expected.encoding == encUtf16BE);
    // Units that all fit the first block at three bytes each come in one read.
    wholeFirstBlock = (file.size() - expected.markLength) / 2 <= CTextFile::kReadBlockSize / 3;
  } else {
    return 0;  // composition into CP1252 has no simple model here
  }
  CheckAccounting(text, lines);
  if (wholeFirstBlock) {
    FUZZ_CHECK(source.m_nEolStyle == StyleOf(text), "style " + std::to_string(source.m_nEolStyle));
  }
  return 0;
}
