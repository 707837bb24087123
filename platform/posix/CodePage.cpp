#include "platform/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/Utf8Conversion.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool NamesUtf8(const std::string& codeset) {
  const std::string name = Lower(codeset);
  return name.empty() || name == "utf-8" || name == "utf8" || name == "ansi_x3.4-1968" || name == "ascii" ||
         name == "us-ascii";
}

bool KeepsAscii(UConverter* converter) {
  const char ascii[] = "\t\n\r 09AZaz";
  UChar units[16];
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(converter, units, 16, ascii, sizeof ascii - 1, &err);
  return U_SUCCESS(err) && n == static_cast<int32_t>(sizeof ascii - 1) &&
         std::equal(ascii, ascii + n, units, [](char a, UChar u) { return u == static_cast<UChar>(a); });
}

}  // namespace

const CCodePage& CCodePage::System() {
  static const CCodePage system(CodesetFromEnvironment());
  return system;
}

std::string CCodePage::CodesetFromEnvironment() {
  // Read directly rather than through setlocale(), so that a code page works
  // even when no locale of that name is installed.
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(var);
    if (!value || !*value) continue;
    std::string locale(value);
    size_t dot = locale.find('.');
    if (dot == std::string::npos) return "";
    std::string codeset = locale.substr(dot + 1);
    return codeset.substr(0, codeset.find('@'));
  }
  return "";
}

CCodePage::CCodePage(const std::string& codeset) : m_strCodeset(codeset) {
  if (NamesUtf8(codeset)) return;
  if (OpenIcu(codeset)) return;
  m_kind = Kind::Unknown;
  m_strName = codeset;
  OpenReader(codeset);
}

CCodePage::~CCodePage() {
  if (m_pConverter) ucnv_close(m_pConverter);
  if (m_pStrict) ucnv_close(m_pStrict);
  if (m_pReader) ucnv_close(m_pReader);
}

bool CCodePage::OpenIcu(const std::string& codeset) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* probe = ucnv_open(codeset.c_str(), &err);
  if (U_FAILURE(err) || !probe) return false;

  bool usable = ucnv_getMaxCharSize(probe) <= 2;
  switch (ucnv_getType(probe)) {
    case UCNV_SBCS:
    case UCNV_DBCS:
    case UCNV_MBCS:
    case UCNV_LATIN_1:
    case UCNV_US_ASCII:
      break;
    default:
      usable = false;
  }
  // The line reader looks for the ASCII bytes of CR and LF, and switches and
  // trimming look for space and tab: the code page must keep ASCII where it is.
  if (!usable || !KeepsAscii(probe)) {
    ucnv_close(probe);
    return false;
  }

  m_kind = Kind::Icu;
  m_strName = ucnv_getName(probe, &err);
  // One unit is at most one character, and '?' stands in for what is missing.
  m_nMaxBytesPerUnit = std::max<int>(1, ucnv_getMaxCharSize(probe));
  m_pConverter = probe;
  ucnv_setSubstChars(m_pConverter, "?", 1, &err);

  err = U_ZERO_ERROR;
  m_pStrict = ucnv_open(codeset.c_str(), &err);
  ucnv_setFromUCallBack(m_pStrict, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  ucnv_setToUCallBack(m_pStrict, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);

  if (ucnv_getMaxCharSize(probe) == 2) {
    UBool starters[256];
    UErrorCode startErr = U_ZERO_ERROR;
    ucnv_getStarters(m_pConverter, starters, &startErr);
    if (U_SUCCESS(startErr)) {
      for (int b = 0; b < 256; ++b) {
        m_bLead[b] = starters[b] != 0;
        m_bHasLeadBytes = m_bHasLeadBytes || m_bLead[b];
      }
    }
  }
  return true;
}

size_t CCodePage::FromUtf16(const char16_t* src, size_t n, char* dst, size_t capacity, size_t* consumed) const {
  if (m_kind != Kind::Icu) return Utf16ToUtf8(src, n, dst, capacity, consumed);
  size_t take = std::min(n, capacity / static_cast<size_t>(m_nMaxBytesPerUnit));
  if (take > 0 && take < n && U16_IS_LEAD(src[take - 1]) && U16_IS_TRAIL(src[take])) --take;
  *consumed = take;
  if (take == 0) return 0;
  UErrorCode err = U_ZERO_ERROR;
  const int32_t written =
      ucnv_fromUChars(m_pConverter, dst, static_cast<int32_t>(std::min<size_t>(capacity, INT32_MAX)), src,
                      static_cast<int32_t>(take), &err);
  return U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING ? 0 : static_cast<size_t>(written);
}

bool CCodePage::CanEncode(int32_t c) const {
  if (m_kind != Kind::Icu) return true;
  UChar units[2];
  int32_t n = 0;
  U16_APPEND_UNSAFE(units, n, c);
  char bytes[8];
  UErrorCode err = U_ZERO_ERROR;
  ucnv_fromUChars(m_pStrict, bytes, sizeof bytes, units, n, &err);
  return U_SUCCESS(err);
}

void CCodePage::AppendUtf16(const char* src, size_t n, std::u16string& out) const {
  if (n == 0) return;
  const size_t start = out.size();
  out.resize(start + n);  // never more units than bytes, in any supported code page
  int32_t written = 0;
  UErrorCode err = U_ZERO_ERROR;
  if (m_kind == Kind::Icu) {
    written =
        ucnv_toUChars(m_pConverter, out.data() + start, static_cast<int32_t>(n), src, static_cast<int32_t>(n), &err);
  } else {
    u_strFromUTF8WithSub(out.data() + start, static_cast<int32_t>(n), &written, src, static_cast<int32_t>(n), 0xFFFD,
                         nullptr, &err);
  }
  out.resize(start + (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING ? 0 : static_cast<size_t>(written)));
}

int32_t CCodePage::DecodeChar(const uint8_t* bytes, int len) const {
  if (m_kind != Kind::Icu) return -1;
  UChar units[4];
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(m_pStrict, units, 4, reinterpret_cast<const char*>(bytes), len, &err);
  if (U_FAILURE(err) || n <= 0) return -1;
  UChar32 c;
  int32_t i = 0;
  U16_NEXT(units, i, n, c);
  return i == n ? c : -1;  // exactly one character
}

int CCodePage::EncodeChar(int32_t c, uint8_t* out) const {
  if (m_kind != Kind::Icu) return 0;
  UChar units[2];
  int32_t n = 0;
  U16_APPEND_UNSAFE(units, n, c);
  char bytes[8];
  UErrorCode err = U_ZERO_ERROR;
  int32_t len = ucnv_fromUChars(m_pStrict, bytes, sizeof bytes, units, n, &err);
  if (U_FAILURE(err) || len < 1 || len > 2) return 0;
  std::copy(bytes, bytes + len, out);
  return len;
}

int CCodePage::PairLength(const uint8_t* pair) const {
  UChar units[4];
  int32_t offsets[4];
  UChar* out = units;
  const auto* in = reinterpret_cast<const char*>(pair);
  UErrorCode err = U_ZERO_ERROR;
  ucnv_resetToUnicode(m_pConverter);
  ucnv_toUnicode(m_pConverter, &out, units + 4, &in, in + 2, offsets, true, &err);
  for (const UChar* unit = units; unit < out; ++unit) {
    if (offsets[unit - units] == 1) return 1;  // the second byte began a character of its own
  }
  return 2;
}

// Only code pages whose characters ICU reads with offsets that name the byte
// of a one-byte character: in UTF-7, for one, a letter of a base64 run can
// carry the offset of a character it only helps to encode.
bool CCodePage::OpenReader(const std::string& codeset) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* reader = ucnv_open(codeset.c_str(), &err);
  if (U_FAILURE(err) || !reader) return false;
  bool joins[256] = {};
  for (int b = 0x80; b < 256; ++b) joins[b] = true;
  switch (ucnv_getType(reader)) {
    case UCNV_MBCS:  // EUC-JP, EUC-TW, GB18030: three or four bytes a character
      if (!KeepsAscii(reader)) std::fill(joins, joins + 256, true);
      break;
    case UCNV_ISO_2022:
      joins[0x1B] = joins[0x0E] = joins[0x0F] = true;  // ESC, SO, SI
      break;
    case UCNV_HZ:
      joins[static_cast<uint8_t>('~')] = true;  // ~{ begins two-byte characters
      break;
    default:
      ucnv_close(reader);
      return false;
  }
  m_pReader = reader;
  std::copy(joins, joins + 256, m_bJoins);
  return true;
}

void CCodePage::ReadCharacters(const char* src, size_t n, const UnitVisitor& visit) const {
  std::lock_guard<std::mutex> hold(m_readerLock);
  ucnv_resetToUnicode(m_pReader);
  // A run of units at a time, so that a long line needs no buffer of its size.
  constexpr int32_t kUnits = 1024;
  UChar units[kUnits];
  int32_t offsets[kUnits];
  const char* in = src;
  const char* const end = src + n;
  for (;;) {
    const char* const start = in;
    UChar* out = units;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_toUnicode(m_pReader, &out, units + kUnits, &in, end, offsets, true, &err);
    const auto count = static_cast<size_t>(out - units);
    const auto base = static_cast<int32_t>(start - src);  // offsets count from where this call began
    for (size_t k = 0; k < count; ++k) {
      if (offsets[k] >= 0) offsets[k] += base;
    }
    if (count > 0) visit(units, offsets, count);
    if (err != U_BUFFER_OVERFLOW_ERROR) return;
  }
}
