// Case folding where only ICU serves: multi-byte code pages that Windows has
// not as ANSI code pages, and full folding checked against ICU itself.
#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include "../FoldText.h"
#include "../TestFiles.h"
#include "dedup/CaseFolder.h"
#include "platform/CaseFolding.h"
#include "platform/FullCaseFoldingTable.h"

// A byte of A-Z that is part of a longer character stays.
TEST(CaseFolderPosix, LettersInsideCharactersStay) {
  struct Case {
    const char* codeset;
    std::string text, folded;
  };
  // clang-format off
  const Case cases[] = {
      {"Big5-HKSCS", "\x88\x41" "A\x87\x41", "\x88\x41" "a\x87\x41"},
      {"Big5-HKSCS", "\x81\x81" "AB", "\x81\x81" "Ab"},  // an invalid pair whose second byte begins 81 41
      {"GB18030", "\x81\x41" "A\x81\x30\x81\x30" "B", "\x81\x41" "a\x81\x30\x81\x30" "b"},
      {"GB18030", "ABC", "abc"},
      {"GB18030", "A\x81", "a\x81"},                            // lead byte last
      {"EUC-JP", "\xA4\xA2" "A\x8F\xA2\xB7" "B", "\xA4\xA2" "a\x8F\xA2\xB7" "b"},
      {"EUC-TW", "\x8E\xA2\xA1\xA1" "A", "\x8E\xA2\xA1\xA1" "a"},
      {"ISO-2022-JP", "A\x1B$B\x24\x41\x1B(BA", "a\x1B$B\x24\x41\x1B(Ba"},
      {"ISO-2022-JP", "\x1B$BA", "\x1B$BA"},                      // half a character
      {"ISO-2022-KR", "\x1B$)C\x0E\x30\x41\x0F" "A", "\x1B$)C\x0E\x30\x41\x0F" "a"},
      {"ISO-2022-CN", "\x1B$)A\x0E\x30\x41\x0F" "A", "\x1B$)A\x0E\x30\x41\x0F" "a"},
      {"HZ", "~{\x30\x41~}A", "~{\x30\x41~}a"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const CCaseFolder folder(Page(c.codeset));
    EXPECT_EQ(Fold(folder, c.text), c.folded) << c.codeset << " " << ::testing::PrintToString(c.text);
  }
}

TEST(CaseFolderPosix, AsciiFoldsAsAtoZUnlessABytesChangesHowOthersRead) {
  EXPECT_TRUE(CCaseFolder(Page("GB18030")).FoldsAsciiAsAtoZ());
  EXPECT_FALSE(CCaseFolder(Page("ISO-2022-JP")).FoldsAsciiAsAtoZ()) << "ESC changes how the bytes after it read";
}

// The table the Windows build folds by is ICU's folding: make it again with
// tools/MakeCaseFoldingTable.cpp when this fails after an ICU upgrade.
TEST(CaseFolderPosix, WindowsTableIsIcuFolding) {
  std::vector<std::pair<int32_t, std::string>> icu;
  VisitFullCaseFoldings([&icu](int32_t c, const uint8_t* folded, size_t length) {
    icu.emplace_back(c, std::string(reinterpret_cast<const char*>(folded), length));
  });
  std::vector<std::pair<int32_t, std::string>> table;
  for (size_t i = 0; i < kFullCaseFoldingTableSize; ++i) {
    const FullCaseFoldingEntry& entry = kFullCaseFoldingTable[i];
    table.emplace_back(entry.character, std::string(reinterpret_cast<const char*>(entry.folded), entry.length));
  }
  EXPECT_TRUE(icu == table) << "ICU has " << icu.size() << " foldings, the table " << table.size();
}

// The table built at start-up against ICU itself, character by character,
// and the one- and two-byte characters once more in a run, where most are
// folded sixteen bytes at a time.
TEST(CaseFolderPosix, Utf8FoldsEveryCodePointAsIcuDoes) {
  const CCaseFolder folder(Page("UTF-8"));
  std::string run, runFolded;
  int mismatches = 0;
  for (UChar32 c = 0; c <= 0x10FFFF && mismatches < 10; ++c) {
    if (U_IS_SURROGATE(c)) continue;
    char bytes[4];
    int32_t n = 0;
    U8_APPEND_UNSAFE(bytes, n, c);
    UChar units[2];
    int32_t unitCount = 0;
    U16_APPEND_UNSAFE(units, unitCount, c);
    UChar folded[8];
    char expected[32];
    int32_t expectedLength = 0;
    UErrorCode err = U_ZERO_ERROR;
    const int32_t foldedCount = u_strFoldCase(folded, 8, units, unitCount, U_FOLD_CASE_DEFAULT, &err);
    u_strToUTF8(expected, sizeof expected, &expectedLength, folded, foldedCount, &err);
    ASSERT_TRUE(U_SUCCESS(err));
    const std::string got = Fold(folder, std::string(bytes, static_cast<size_t>(n)));
    if (got != std::string(expected, static_cast<size_t>(expectedLength))) {
      ADD_FAILURE() << "U+" << std::hex << c << " folds to " << ::testing::PrintToString(got);
      ++mismatches;
    }
    if (c < 0x800) {
      run.append(c % 3 ? "" : "Q").append(bytes, static_cast<size_t>(n));
      runFolded.append(c % 3 ? "" : "q").append(expected, static_cast<size_t>(expectedLength));
    }
  }
  EXPECT_EQ(Fold(folder, run), runFolded);
}
