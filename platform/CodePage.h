// The 8-bit code page that stands for the system's ANSI code page, and the
// conversions between it and UTF-16. On POSIX systems it is chosen once from
// the locale's codeset and served by ICU; on Windows it is the ANSI code page
// itself (GetACP), served by the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct UConverter;

class CCodePage {
 public:
  enum class Kind {
    Utf8,     // UTF-8: no lead bytes; multi-byte characters fold as whole characters
    Icu,      // a code page of one or two bytes per character (through ICU on POSIX systems)
    Unknown,  // no folding rules: A to Z fold only, UTF-16 becomes UTF-8
  };

  // The code page of this process, chosen at first use: from LC_ALL, LC_CTYPE
  // or LANG on POSIX systems; the ANSI code page on Windows.
  static const CCodePage& System();
  // The codeset part of the locale name in the environment ("" when none); on
  // Windows the ANSI code page's name ("CP1252", "UTF-8").
  static std::string CodesetFromEnvironment();

  // A code page by name. ICU's names on POSIX systems; on Windows "CP" or
  // "windows-" and the code page's number. Both take "UTF-8", and an empty
  // name for it.
  explicit CCodePage(const std::string& codeset);
  ~CCodePage();
  CCodePage(const CCodePage&) = delete;
  CCodePage& operator=(const CCodePage&) = delete;

  Kind GetKind() const { return m_kind; }
  const std::string& Name() const { return m_strName; }
  // The codeset as the locale named it ("ISO-8859-1"), for messages.
  const std::string& Codeset() const { return m_strCodeset; }
  bool IsLeadByte(uint8_t byte) const { return m_bLead[byte]; }
  bool HasLeadBytes() const { return m_bHasLeadBytes; }
  // The most bytes one UTF-16 code unit can become.
  int MaxBytesPerUnit() const { return m_nMaxBytesPerUnit; }

  // UTF-16 to the code page: as many whole characters of the n units of src
  // as fit in capacity bytes of dst, a surrogate pair never split; *consumed
  // is set to the units taken. A character the code page lacks (an unpaired
  // surrogate too) becomes '?', or nothing where ICU drops it (a
  // default-ignorable one); in UTF-8 an unpaired surrogate becomes U+FFFD.
  // Returns the bytes written.
  size_t FromUtf16(const char16_t* src, size_t n, char* dst, size_t capacity, size_t* consumed) const;
  // True when the code page has the character.
  bool CanEncode(int32_t c) const;
  // The code page to UTF-16, appended to out. Malformed bytes become U+FFFD
  // (UTF-8) or the converter's substitute.
  void AppendUtf16(const char* src, size_t n, std::u16string& out) const;

  // One character of len bytes to its code point, or -1 when it is not a
  // valid, mapped character. Icu kind only.
  int32_t DecodeChar(const uint8_t* bytes, int len) const;
  // One code point to its bytes (at most 2 written); 0 when the code page lacks it.
  int EncodeChar(int32_t c, uint8_t* out) const;
  // How many bytes of a lead byte and the byte after it the code page reads
  // as one character, valid or not: 2, or 1 when it reads the second byte
  // anew, as the start of the next character. Icu kind only.
  int PairLength(const uint8_t* pair) const;

  // An Unknown code page that ICU still reads (EUC-JP, EUC-TW, GB18030, the
  // ISO-2022 family, HZ): there a byte of A-Z may be part of a longer character.
  bool ReadsCharacters() const { return m_pReader != nullptr; }
  // True when the byte may begin a character of several bytes or change how
  // the bytes after it read (ESC, SO and SI in ISO-2022, ~ in HZ): in a line
  // without such a byte, every byte is a character of its own.
  bool MayJoinBytes(uint8_t byte) const { return m_bJoins[byte]; }
  // Reads src[0, n) as the code page's characters, as a line of its own (a
  // stateful code page starts in its initial state; malformed bytes become a
  // substitute), and hands visit the UTF-16 units a run at a time, with the
  // offset in src where the character of each unit begins, or -1 when ICU
  // does not tell. ReadsCharacters() only.
  using UnitVisitor = std::function<void(const char16_t* units, const int32_t* offsets, size_t count)>;
  void ReadCharacters(const char* src, size_t n, const UnitVisitor& visit) const;

 private:
  bool OpenIcu(const std::string& codeset);
  bool OpenReader(const std::string& codeset);
  bool OpenWindows(unsigned codePage);

  Kind m_kind = Kind::Utf8;
  std::string m_strName = "UTF-8";
  std::string m_strCodeset;
  int m_nMaxBytesPerUnit = 3;
  UConverter* m_pConverter = nullptr;  // ICU: substitutes what it cannot convert
  UConverter* m_pStrict = nullptr;     // ICU: stops at what it cannot convert
  unsigned m_nWindowsCodePage = 0;     // Windows: the code page's number
  bool m_bLead[256] = {};
  bool m_bHasLeadBytes = false;
  UConverter* m_pReader = nullptr;  // Unknown kind: reads characters for folding
  mutable std::mutex m_readerLock;  // the reader holds the state of one conversion
  bool m_bJoins[256] = {};
};
