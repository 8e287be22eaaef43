#include "host/text/Text.h"

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

// The ASCII helpers fold 'A'..'Z' only: the bytes of a UTF-8 sequence are never touched, so a
// folded name stays valid UTF-8, and "Ä" is not "ä" here (compareNames is for that).
TEST(Text, AsciiFoldingLeavesEveryOtherByteAlone) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    const std::string folded = lower(all);
    ASSERT_EQ(folded.size(), all.size());
    for (int i = 0; i < 256; ++i) {
        const char expected = i >= 'A' && i <= 'Z' ? static_cast<char>(i + 32) : all[i];
        EXPECT_EQ(folded[i], expected) << "byte " << i;
    }
    EXPECT_EQ(lower("\xC3\x84PFEL.Ini"), "\xC3\x84pfel.ini");
    EXPECT_TRUE(isValidUtf8(lower("\xC3\x84\xD0\x96X")));

    EXPECT_TRUE(equalsIgnoringCase("UniqueID", "UNIQUEid"));
    EXPECT_FALSE(equalsIgnoringCase("\xC3\x84", "\xC3\xA4")) << "Ä and ä differ in ASCII folding";
    EXPECT_FALSE(equalsIgnoringCase("abc", "ab")) << "a prefix is not equal";
    EXPECT_FALSE(equalsIgnoringCase("[", "{")) << "only letters fold, not the bytes 32 apart";
    EXPECT_TRUE(equalsIgnoringCase("", ""));

    EXPECT_TRUE(startsWithIgnoringCase("HTTPS://example", "https://"));
    EXPECT_FALSE(startsWithIgnoringCase("http", "https://")) << "shorter than the prefix";
    EXPECT_TRUE(startsWithIgnoringCase("x", ""));
}

TEST(Text, TrimmingRemovesOnlyTheNamedBlanksAtTheEnds) {
    EXPECT_EQ(trimmed("  a b \t\r\n"), "a b");
    EXPECT_EQ(trimmed("\t a\t", " "), "\t a\t") << "a tab is kept when only spaces are blanks";
    EXPECT_EQ(trimmed(" \t a \t ", kSpaceAndTab), "a");
    EXPECT_EQ(trimmed(" \v a \f", kCBlanks), "a");
    EXPECT_EQ(trimmed("\r\n", kSpaceAndTab), "\r\n");
    EXPECT_EQ(trimmed(" \t\r\n "), "") << "blanks only leave nothing";
    EXPECT_EQ(trimmed(""), "");

    // Every byte up to 32, the NUL included, is a blank of kControlsAndSpace; 127 is not.
    std::string controls;
    for (int i = 0; i <= 32; ++i)
        controls.push_back(static_cast<char>(i));
    EXPECT_EQ(trimmed(controls + "x\x7F" + controls, kControlsAndSpace), "x\x7F");
    EXPECT_EQ(trimmed(std::string("\0a\0", 3), kLineBlanks), std::string("\0a\0", 3));
}
