// Writes platform/FullCaseFoldingTable.cpp from ICU's data, for the Windows
// build, which folds by it:
//
//   cmake --build build --target rowsift_make_case_folding_table
//   build/rowsift_make_case_folding_table > platform/FullCaseFoldingTable.cpp
//
// tests/unit/posix/CaseFoldingTableTest.cpp fails when the table and the ICU
// of the Linux build disagree (after an ICU upgrade): then make it again.
#include <unicode/uchar.h>

#include <cstdio>

#include "platform/CaseFolding.h"

int main() {
  UVersionInfo version;
  u_getUnicodeVersion(version);
  char unicode[U_MAX_VERSION_STRING_LENGTH];
  u_versionToString(version, unicode);
  std::printf(
      "// Unicode's default full case folding (Unicode %s), made from ICU by\n"
      "// tools/MakeCaseFoldingTable.cpp: do not edit. Every character that folds to\n"
      "// something else, and its folded form in UTF-8.\n"
      "#include \"platform/FullCaseFoldingTable.h\"\n\n"
      "// clang-format off\n"
      "const FullCaseFoldingEntry kFullCaseFoldingTable[] = {\n",
      unicode);
  size_t count = 0;
  VisitFullCaseFoldings([&count](int32_t c, const uint8_t* folded, size_t length) {
    std::printf("    {0x%04X, %zu, {", static_cast<unsigned>(c), length);
    for (size_t k = 0; k < length; ++k) std::printf("%s0x%02X", k ? ", " : "", folded[k]);
    std::printf("}},\n");
    ++count;
  });
  std::printf(
      "};\n"
      "// clang-format on\n\n"
      "const size_t kFullCaseFoldingTableSize = %zu;\n"
      "const char kFullCaseFoldingUnicodeVersion[] = \"%s\";\n",
      count, unicode);
  return 0;
}
