// The conversion of UTF-16 to UTF-8 against ICU's own.
#include <gtest/gtest.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <memory>
#include <string>

#include "platform/CodePage.h"

// UTF-16 goes to UTF-8 without ICU, eight units at a time: every mix of
// ASCII with two- and three-byte characters, surrogate pairs and lone
// surrogates, at every offset around the eight-unit steps, must match ICU's
// own conversion; with too little room, whole characters only, as many as fit.
TEST(Utf16ReadPosix, Utf8ConversionMatchesIcu) {
  const CCodePage utf8("UTF-8");
  auto icu = [](const std::u16string& text) {
    std::string bytes(text.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8WithSub(bytes.data(), static_cast<int32_t>(bytes.size()), &length, text.data(),
                       static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &err);
    bytes.resize(static_cast<size_t>(length));
    return bytes;
  };
  const std::u16string pieces[] = {u"\u00E9",
                                   u"\u4E2D",
                                   u"\U0001F600",
                                   std::u16string(1, char16_t{0xD800}),
                                   std::u16string(1, char16_t{0xDC00}),
                                   u"\u007F\u0080",
                                   u"\u07FF\u0800\uFFFF\u00E9\u4E2D",
                                   u"\u0430\u0431\u0432\u0433\u0434\u0435\u0436\u0437\u0438"};
  for (const std::u16string& piece : pieces) {
    for (size_t before = 0; before < 20; ++before) {
      SCOPED_TRACE("piece " + std::to_string(piece[0]) + " after " + std::to_string(before));
      std::u16string text(before, u'x');
      text.append(piece).append(u"0123456789abcdef").append(piece);
      const std::string expected = icu(text);
      for (size_t capacity = expected.size(); capacity + 40 > expected.size() && capacity > 0; --capacity) {
        std::unique_ptr<char[]> room(new char[capacity]);
        size_t consumed = 0;
        const std::string got(room.get(), utf8.FromUtf16(text.data(), text.size(), room.get(), capacity, &consumed));
        ASSERT_EQ(got, icu(text.substr(0, consumed))) << "room for " << capacity;
        const size_t next = consumed + 1 < text.size() && U16_IS_SURROGATE_LEAD(text[consumed]) ? 2 : 1;
        if (consumed < text.size()) {
          ASSERT_GT(got.size() + icu(text.substr(consumed, next)).size(), capacity) << "room left unused";
        } else {
          ASSERT_EQ(got, expected);
        }
      }
    }
  }
}
