#include "host/registry/Text.h"

#include <gtest/gtest.h>

using namespace ravelin::text;

TEST(Text, Utf8AndUtf16RoundTripIncludingSurrogatePairs) {
    std::string s = "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80z"; // A ä € 😀 z
    std::u16string u = utf8ToUtf16(s);
    ASSERT_EQ(u.size(), 6u);
    EXPECT_EQ(u[3], 0xD83D);
    EXPECT_EQ(utf16ToUtf8(u), s);
    // An unpaired surrogate survives the trip both ways.
    std::u16string lone = {u'a', 0xD800, u'b'};
    EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(lone)), lone);
}

TEST(Text, InvalidUtf8FallsBackToWindows1252PerByte) {
    EXPECT_FALSE(isValidUtf8("\x80\xFF"));
    std::u16string u = utf8ToUtf16("a\x80\xE4");
    EXPECT_EQ(u, (std::u16string{u'a', 0x20AC, 0xE4}));
}

TEST(Text, Windows1252MapsEveryByteAndBack) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    EXPECT_EQ(utf16ToCp1252(cp1252ToUtf16(all)), all);
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(utf16ToCp1252(u"\u4E2D"), "?");
}

TEST(Text, NamesCompareAsTheRegistryOrdersThem) {
    EXPECT_EQ(compareNames("Software", "SOFTWARE"), 0);
    EXPECT_LT(compareNames("_x", "a"), 0) << "lower-case folding puts '_' before letters";
    EXPECT_LT(compareNames("ab", "abc"), 0);
    EXPECT_GT(compareNames("b", "ABC"), 0);
    EXPECT_TRUE(namesEqual("\xC3\x84pfel", "\xC3\xA4PFEL")); // Äpfel, äPFEL
    EXPECT_TRUE(namesEqual("\xD0\x96", "\xD0\xB6"));         // Ж, ж
    EXPECT_FALSE(namesEqual("a", "b"));
}
