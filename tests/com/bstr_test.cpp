#include <gtest/gtest.h>

#include "com/bstr.h"
#include "com/types.h"

namespace qel::com {
namespace {

TEST(Bstr, LengthPrefixCountsCharactersAndKeepsEmbeddedNulls) {
  const char16_t text[] = u"ab\0cd";
  Bstr s(std::u16string_view(text, 5));
  EXPECT_EQ(SysStringLen(s.get()), 5u);
  EXPECT_EQ(SysStringByteLen(s.get()), 10u);
  EXPECT_EQ(s.get()[5], u'\0');  // terminated after the last character
}

TEST(Bstr, NullStringHasLengthZeroAndFreesSafely) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  EXPECT_EQ(View(nullptr), u"");
}

TEST(Bstr, Utf8RoundTripKeepsCharactersOutsideTheBasicPlane) {
  const std::string text = "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x8E\xB5 \xE2\x82\xAC";
  std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 9u);  // the note is a surrogate pair
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Bstr, MalformedUtf8BecomesReplacementCharacters) {
  std::u16string wide = Utf8ToUtf16("a\xC3");
  ASSERT_EQ(wide.size(), 2u);
  EXPECT_EQ(wide[1], 0xFFFD);
}

TEST(Guid, ParseAndFormatRoundTripInUpperCase) {
  auto g = ParseGuid("{72e3ef9c-6678-4755-b0a1-1033a4b8a938}");
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->Data1, 0x72E3EF9Cu);
  EXPECT_EQ(g->Data4[7], 0x38);
  EXPECT_EQ(FormatGuid(*g), "{72E3EF9C-6678-4755-B0A1-1033A4B8A938}");
}

TEST(Guid, MalformedTextIsRejected) {
  EXPECT_FALSE(ParseGuid("{72E3EF9C-6678-4755-B0A1-1033A4B8A93}").has_value());
  EXPECT_FALSE(ParseGuid("{72E3EF9C-6678-4755-B0A1+1033A4B8A938}").has_value());
  EXPECT_FALSE(ParseGuid("{72E3EF9G-6678-4755-B0A1-1033A4B8A938}").has_value());
}

}  // namespace
}  // namespace qel::com
