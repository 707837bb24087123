// Folds the case of a copy of a line by the rules of the code page: in UTF-8
// by Unicode's full case folding, which may change the copy's length; in other
// code pages character by character, each to the one its case group folds to
// (see CaseGroups.h) among those of its length, so the length never changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dedup/FingerprintKey.h"
#include "dedup/LineFingerprint.h"
#include "platform/CodePage.h"

class CCaseFolder {
 public:
  // The folder of the process's code page.
  static const CCaseFolder& System();
  // What the lines of a source are, once its first read has settled its
  // encoding: text in the code page, UTF-8 whatever the code page, or UTF-16
  // converted to the code page.
  enum class SourceText { CodePage, Utf8, FromUtf16 };
  // The folder for such lines. UTF-8 folds as in a UTF-8 locale. A UTF-16
  // source in a code page without folding rules of its own becomes UTF-8,
  // where every byte of A-Z is a character of its own.
  static const CCaseFolder& ForSource(SourceText text);

  explicit CCaseFolder(const CCodePage& codePage);
  // No code-page information: A to Z fold, every byte on its own.
  CCaseFolder();

  // The room Fold needs for length bytes: in UTF-8 up to three times as many.
  size_t FoldRoom(size_t length) const;
  // The end of a first piece of src[0, length) that folds on its own, ending
  // at limit or shortly before (it does not cut a character), so that a long
  // line can be folded a piece at a time. Only UTF-8 is cut; elsewhere the
  // piece is the whole line, whose folding keeps its length anyway.
  size_t PieceEnd(const char* src, size_t length, size_t limit) const;
  // Writes the folded form of src[0, length) to dst, which has room for
  // FoldRoom(length) bytes, and returns its length.
  size_t Fold(const char* src, size_t length, char* dst) const;

  // The fingerprint of the folded copy of src[0, length) without making it,
  // where that is quicker (most lines of UTF-8 in Latin, Greek, Cyrillic or
  // CJK); false, and nothing computed, elsewhere.
  bool HashOfFolded(const char* src, size_t length, const FingerprintKey& key, LineFingerprint* fingerprint) const;

  // True when every byte below 0x80 is a character of its own that folds
  // exactly from A-Z to a-z, so a line of such bytes may be folded in place
  // of a call to Fold.
  bool FoldsAsciiAsAtoZ() const { return m_bAsciiAtoZ; }

  // The single-byte table: a byte's lower-case form.
  uint8_t LowerByte(uint8_t byte) const { return m_table[byte]; }

 private:
  enum class Mode { Table, Utf8, DoubleByte, Characters };

  void FoldDoubleByte(const uint8_t* src, size_t length, uint8_t* dst) const;
  void FoldCharacters(const uint8_t* src, size_t length, uint8_t* dst) const;
  void BuildCodePageTables(const CCodePage& codePage);

  Mode m_mode = Mode::Table;
  bool m_bAsciiAtoZ = true;
  uint8_t m_table[256];
  bool m_bLead[256] = {};
  // For a lead byte L and the byte T after it, m_double[L << 8 | T] holds how
  // many bytes the code page reads as one character (2, or 1 for an invalid
  // pair whose second byte begins the next one) and their folded form:
  // (length << 16 | first << 8 | second).
  std::vector<int32_t> m_double;
  // Mode::Characters: the code page that tells which bytes stand alone.
  const CCodePage* m_codePage = nullptr;
};
