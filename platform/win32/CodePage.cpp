#include "platform/CodePage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Utf.h"
#include "platform/Utf8Conversion.h"
#include "platform/win32/WinApi.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  return s;
}

bool NamesUtf8(const std::string& name) {
  const std::string lower = Lower(name);
  return lower.empty() || lower == "utf-8" || lower == "utf8";
}

// The number in "CP1252" or "windows-1252", or 0.
unsigned NumberOf(const std::string& name) {
  const std::string lower = Lower(name);
  for (const char* prefix : {"cp", "windows-"}) {
    const size_t n = std::strlen(prefix);
    if (lower.compare(0, n, prefix) != 0 || lower.size() == n) continue;
    char* end = nullptr;
    const unsigned long number = std::strtoul(lower.c_str() + n, &end, 10);
    if (*end == '\0' && number > 0 && number < 65536) return static_cast<unsigned>(number);
  }
  return 0;
}

// What the code page lacks becomes '?', whatever default character it has.
int ToBytes(unsigned codePage, DWORD flags, const char16_t* src, size_t n, char* dst, size_t capacity,
            BOOL* usedDefault) {
  return ::WideCharToMultiByte(codePage, flags, reinterpret_cast<const wchar_t*>(src), static_cast<int>(n), dst,
                               static_cast<int>(capacity), "?", usedDefault);
}

}  // namespace

const CCodePage& CCodePage::System() {
  static const CCodePage system(CodesetFromEnvironment());
  return system;
}

std::string CCodePage::CodesetFromEnvironment() {
  const UINT acp = ::GetACP();
  return acp == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(acp);
}

CCodePage::CCodePage(const std::string& codeset) : m_strCodeset(codeset) {
  const unsigned number = NumberOf(codeset);
  if (NamesUtf8(codeset) || number == CP_UTF8 || OpenWindows(number)) return;
  m_kind = Kind::Unknown;
  m_strName = codeset;
}

CCodePage::~CCodePage() = default;

bool CCodePage::OpenWindows(unsigned codePage) {
  CPINFOEXW info{};
  if (codePage == 0 || !::GetCPInfoExW(codePage, 0, &info) || info.MaxCharSize > 2) return false;
  // The line reader looks for the ASCII bytes of CR and LF, and switches and
  // trimming look for space and tab: the code page must keep ASCII where it is.
  const char ascii[] = "\t\n\r 09AZaz";
  wchar_t units[16];
  const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, ascii, sizeof ascii - 1, units, 16);
  if (n != static_cast<int>(sizeof ascii - 1)) return false;
  for (int i = 0; i < n; ++i) {
    if (units[i] != static_cast<wchar_t>(ascii[i])) return false;
  }

  m_kind = Kind::Icu;
  m_strName = "CP" + std::to_string(codePage);
  m_nWindowsCodePage = codePage;
  m_nMaxBytesPerUnit = static_cast<int>(info.MaxCharSize);
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) {
      m_bLead[b] = true;
      m_bHasLeadBytes = true;
    }
  }
  return true;
}

// What the code page lacks becomes '?', as on POSIX systems, rather than a
// look-alike (e-acute is not written as e in CP1251). Combining sequences
// come composed (CSequenceComposer): the system's WC_COMPOSITECHECK takes
// only the first mark after a base.
constexpr DWORD kToCodePage = WC_NO_BEST_FIT_CHARS;

size_t CCodePage::FromUtf16(const char16_t* src, size_t n, char* dst, size_t capacity, size_t* consumed) const {
  if (m_kind != Kind::Icu) return Utf16ToUtf8(src, n, dst, capacity, consumed);
  size_t take = std::min(n, capacity / static_cast<size_t>(m_nMaxBytesPerUnit));
  if (take > 0 && take < n && IsLeadSurrogate(src[take - 1]) && IsTrailSurrogate(src[take])) --take;
  *consumed = take;
  size_t written = 0;
  for (size_t start = 0; start < take;) {
    // The system writes a '?' for each half of a surrogate pair the code
    // page lacks; the character is one, as on POSIX systems.
    size_t end = start;
    while (end < take && !IsSurrogate(src[end])) ++end;
    if (end > start) {
      const int got = ToBytes(m_nWindowsCodePage, kToCodePage, src + start, end - start, dst + written,
                              capacity - written, nullptr);
      written += got > 0 ? static_cast<size_t>(got) : 0;
      start = end;
      continue;
    }
    end = NextUtf16(src, start, take);
    BOOL usedDefault = FALSE;
    const int got = end - start == 2 ? ToBytes(m_nWindowsCodePage, kToCodePage, src + start, 2, dst + written,
                                               capacity - written, &usedDefault)
                                     : 0;
    if (got > 0 && !usedDefault) {
      written += static_cast<size_t>(got);
    } else {
      dst[written++] = '?';
    }
    start = end;
  }
  return written;
}

bool CCodePage::CanEncode(int32_t c) const {
  if (m_kind != Kind::Icu) return true;
  char16_t units[2];
  const size_t n = PutUtf16(c, units);
  char bytes[8];
  BOOL usedDefault = FALSE;
  return ToBytes(m_nWindowsCodePage, WC_NO_BEST_FIT_CHARS, units, n, bytes, sizeof bytes, &usedDefault) > 0 &&
         !usedDefault;
}

void CCodePage::AppendUtf16(const char* src, size_t n, std::u16string& out) const {
  if (n == 0) return;
  const size_t start = out.size();
  out.resize(start + n);  // never more units than bytes, in any supported code page
  const unsigned codePage = m_kind == Kind::Icu ? m_nWindowsCodePage : CP_UTF8;
  const int written =
      ::MultiByteToWideChar(codePage, m_kind == Kind::Icu ? MB_PRECOMPOSED : 0, src, static_cast<int>(n),
                            reinterpret_cast<wchar_t*>(out.data() + start), static_cast<int>(n));
  out.resize(start + (written > 0 ? static_cast<size_t>(written) : 0));
}

int32_t CCodePage::DecodeChar(const uint8_t* bytes, int len) const {
  if (m_kind != Kind::Icu) return -1;
  wchar_t units[4];
  const int n = ::MultiByteToWideChar(m_nWindowsCodePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                      len, units, 4);
  if (n == 1 && !IsSurrogate(units[0])) return units[0];
  if (n == 2 && IsLeadSurrogate(units[0]) && IsTrailSurrogate(units[1])) return SupplementaryOf(units[0], units[1]);
  return -1;  // no character, or more than one
}

int CCodePage::EncodeChar(int32_t c, uint8_t* out) const {
  if (m_kind != Kind::Icu || c < 0 || c > 0x10FFFF) return 0;
  char16_t units[2];
  const size_t n = PutUtf16(c, units);
  char bytes[8];
  BOOL usedDefault = FALSE;
  const int len = ToBytes(m_nWindowsCodePage, WC_NO_BEST_FIT_CHARS, units, n, bytes, sizeof bytes, &usedDefault);
  if (usedDefault || len < 1 || len > 2) return 0;
  std::copy(bytes, bytes + len, out);
  return len;
}

// The system tells no offsets: a pair read as one character gives one
// character (a default character for an invalid one), else two.
int CCodePage::PairLength(const uint8_t* pair) const {
  wchar_t units[4];
  const int n = ::MultiByteToWideChar(m_nWindowsCodePage, 0, reinterpret_cast<const char*>(pair), 2, units, 4);
  return n == 2 && !(IsLeadSurrogate(units[0]) && IsTrailSurrogate(units[1])) ? 1 : 2;
}

// An Unknown code page on Windows is one the system cannot read (or none): it
// has no characters to hand out, and no byte joins another.
void CCodePage::ReadCharacters(const char* /*src*/, size_t /*n*/, const UnitVisitor& /*visit*/) const {}
