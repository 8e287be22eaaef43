#include "toolkit/TextCompare.h"

#include "host/text/Text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ravelin::toolkit {

namespace {

// Base letters of U+00C0..U+00FF and U+0100..U+017F; '?' marks a letter that expands to
// two, '*' a symbol.
constexpr std::string_view kLatin1 = "aaaaaa?ceeeeiiiidnooooo*ouuuuy??"
                                     "aaaaaa?ceeeeiiiidnooooo*ouuuuy?y";
constexpr std::string_view kLatinA = "aaaaaaccccccccdd"
                                     "ddeeeeeeeeeegggg"
                                     "gggghhhhiiiiiiii"
                                     "ii??jjkkklllllll"
                                     "lllnnnnnnnnnoooo"
                                     "oo??rrrrrrssssss"
                                     "ssttttttuuuuuuuu"
                                     "uuuuwwyyyzzzzzzs";

char16_t fold(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return static_cast<char16_t>(c | 1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return static_cast<char16_t>(c % 2 ? c + 1 : c);
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3A9) return static_cast<char16_t>(c + 32); // Greek
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32); // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    return c;
}

// The weights of one text: what it spells (primary), its accents (secondary).
struct Keys {
    std::vector<std::uint32_t> primary;
    std::vector<std::uint32_t> secondary;
};

constexpr std::uint32_t kSymbol = 0x10000, kDigit = 0x20000, kLetter = 0x30000, kOther = 0x40000;

void letters(Keys& k, std::string_view base, char16_t accentOf) {
    for (char b : base) {
        k.primary.push_back(kLetter + static_cast<std::uint32_t>(b - 'a'));
        k.secondary.push_back(accentOf);
    }
}

Keys keys(std::string_view utf8) {
    Keys k;
    for (char16_t raw : text::utf8ToUtf16(utf8)) {
        const char16_t c = fold(raw);
        if (c == u'-' || c == u'\'' || c == 0xAD || c == 0x2019) continue; // weigh last
        if (c >= u'a' && c <= u'z') {
            k.primary.push_back(kLetter + (c - u'a'));
            k.secondary.push_back(0);
        } else if (c >= u'0' && c <= u'9') {
            k.primary.push_back(kDigit + (c - u'0'));
            k.secondary.push_back(0);
        } else if (c >= 0xC0 && c <= 0x17F) {
            const char b = c < 0x100 ? kLatin1[c - 0xC0] : kLatinA[c - 0x100];
            if (b == '*')
                k.primary.push_back(kSymbol + c), k.secondary.push_back(0);
            else if (b != '?')
                letters(k, std::string_view(&b, 1), c);
            else if (c == 0xE6)
                letters(k, "ae", c);
            else if (c == 0xFE)
                letters(k, "th", c);
            else if (c == 0xDF)
                letters(k, "ss", c);
            else if (c == 0x133)
                letters(k, "ij", c);
            else if (c == 0x153)
                letters(k, "oe", c);
            else
                k.primary.push_back(kOther + c), k.secondary.push_back(0);
        } else if (c < 0xC0) {
            k.primary.push_back(kSymbol + c);
            k.secondary.push_back(0);
        } else {
            k.primary.push_back(kOther + c);
            k.secondary.push_back(0);
        }
    }
    return k;
}

std::u16string folded(std::string_view utf8) {
    std::u16string s = text::utf8ToUtf16(utf8);
    for (char16_t& c : s)
        c = fold(c);
    return s;
}

int sign(bool less, bool greater) {
    return less ? -1 : greater ? 1 : 0;
}

} // namespace

int AnsiCompareText(std::string_view a, std::string_view b) {
    const Keys ka = keys(a), kb = keys(b);
    if (ka.primary != kb.primary) return sign(ka.primary < kb.primary, true);
    if (ka.secondary != kb.secondary) return sign(ka.secondary < kb.secondary, true);
    // Hyphens and apostrophes decide last: fewer of them first.
    const std::u16string fa = folded(a), fb = folded(b);
    auto ignorables = [](const std::u16string& s) {
        return std::count_if(s.begin(), s.end(), [](char16_t c) {
            return c == u'-' || c == u'\'' || c == 0xAD || c == 0x2019;
        });
    };
    const auto ia = ignorables(fa), ib = ignorables(fb);
    if (ia != ib) return sign(ia < ib, true);
    return sign(fa<fb, fa> fb);
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    return folded(a) == folded(b);
}

bool AnsiStartsText(std::string_view prefix, std::string_view text) {
    const std::u16string p = folded(prefix), t = folded(text);
    return t.compare(0, p.size(), p) == 0;
}

std::string AnsiLowerCase(std::string_view text) {
    return text::utf16ToUtf8(folded(text));
}

} // namespace ravelin::toolkit
