// Lower-cases a copy of a line by the rules of the code page, without ever
// changing its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/CodePage.h"

class CCaseFolder {
 public:
  // The folder of the process's code page.
  static const CCaseFolder& System();

  explicit CCaseFolder(const CCodePage& codePage);

  // Writes the lower-cased form of src[0, length) to dst[0, length).
  void Fold(const char* src, size_t length, char* dst) const;

  // True when every byte below 0x80 is a character of its own that folds
  // exactly from A-Z to a-z, so a line of such bytes may be folded in place
  // of a call to Fold.
  bool FoldsAsciiAsAtoZ() const { return m_bAsciiAtoZ; }

  // The single-byte table: a byte's lower-case form.
  uint8_t LowerByte(uint8_t byte) const { return m_table[byte]; }

 private:
  enum class Mode { Table, Utf8, DoubleByte };

  void FoldUtf8(const uint8_t* src, size_t length, uint8_t* dst) const;
  void FoldDoubleByte(const uint8_t* src, size_t length, uint8_t* dst) const;
  void BuildCodePageTables(const CCodePage& codePage);

  Mode m_mode = Mode::Table;
  bool m_bAsciiAtoZ = true;
  uint8_t m_table[256];
  bool m_bLead[256] = {};
  // For a lead byte L and the byte T after it, m_double[L << 8 | T] holds the
  // lower-case form as (length << 16 | first << 8 | second), or -1 when the
  // character is invalid or has no lower-case form in the code page.
  std::vector<int32_t> m_double;
};
