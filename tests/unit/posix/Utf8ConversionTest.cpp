// The conversion of UTF-16 to UTF-8 against ICU's own.
#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include <string>

#include "platform/CodePage.h"

// ASCII runs go to UTF-8 without ICU: every mix of ASCII with two- and
// three-byte characters, surrogate pairs and lone surrogates, at every
// offset around the eight-unit steps, must match ICU's own conversion.
TEST(Utf16ReadPosix, Utf8ConversionMatchesIcuAroundAsciiRuns) {
  const CCodePage utf8("UTF-8");
  const std::u16string pieces[] = {u"\u00E9",
                                   u"\u4E2D",
                                   u"\U0001F600",
                                   std::u16string(1, char16_t{0xD800}),
                                   std::u16string(1, char16_t{0xDC00}),
                                   u"\u007F\u0080"};
  for (const std::u16string& piece : pieces) {
    for (size_t before = 0; before < 20; ++before) {
      const std::u16string text = std::u16string(before, u'x') + piece + u"0123456789abcdef" + piece;
      std::string expected(text.size() * 3, '\0');
      int32_t length = 0;
      UErrorCode err = U_ZERO_ERROR;
      u_strToUTF8WithSub(expected.data(), static_cast<int32_t>(expected.size()), &length, text.data(),
                         static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &err);
      expected.resize(static_cast<size_t>(length));
      std::string got(text.size() * 3, '\0');
      got.resize(utf8.FromUtf16(text.data(), text.size(), got.data()));
      ASSERT_EQ(got, expected) << "piece " << static_cast<int>(piece[0]) << " after " << before;
    }
  }
}
