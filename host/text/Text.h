// Text conversions shared by the registry backends, the toolkit and everything above them: UTF-8
// (our strings), UTF-16LE (what Windows stores), Windows-1252 (the ANSI code page of REGEDIT4
// files), the case-insensitive name order the registry uses, and the ASCII case folding and
// trimming that file names, keywords and lines of settings files need.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::text {

// Decodes UTF-8 to UTF-16 code units. Invalid sequences decode byte by byte as
// Windows-1252, so no input is ever rejected or lost.
std::u16string utf8ToUtf16(std::string_view utf8);
// Encodes UTF-16 code units to UTF-8; an unpaired surrogate is kept as its
// three-byte form so that it comes back unchanged.
std::string utf16ToUtf8(std::u16string_view utf16);

bool isValidUtf8(std::string_view bytes);

inline bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// The value of a hexadecimal digit (isHexDigit(c) holds).
inline unsigned hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}

// Windows-1252 <-> UTF-8. Every one of the 256 byte values maps to a code point and back
// (the five holes of the code page map to the C1 controls of the same number).
std::string cp1252ToUtf8(std::string_view bytes);
std::u16string cp1252ToUtf16(std::string_view bytes);
// Characters without a Windows-1252 form become '?', as Windows converts them.
std::string utf16ToCp1252(std::u16string_view utf16);

// Little-endian byte forms of UTF-16 as registry data stores them.
std::vector<std::uint8_t> utf16ToBytes(std::u16string_view utf16);
std::u16string bytesToUtf16(const std::uint8_t* data, std::size_t size); // odd last byte dropped

// Folds one UTF-16 unit to lower case: ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic, which covers every key name Windows itself ships. Other units are kept.
char16_t foldCase(char16_t c);
// Orders two names as the registry does: UTF-16 units folded to lower case, a
// shorter name first on an equal prefix. Returns <0, 0 or >0.
int compareNames(std::string_view a, std::string_view b);
inline bool namesEqual(std::string_view a, std::string_view b) {
    return compareNames(a, b) == 0;
}
std::string foldName(std::string_view name); // folded UTF-8, for hashing and prefixes

// Appends one code point as UTF-8.
void appendUtf8(std::string& out, std::uint32_t cp);

// ASCII case folding: only 'A'..'Z' change, so the bytes of UTF-8 sequences pass untouched
// and the result never depends on the locale. For the registry's own order of names use
// compareNames; for the order a user sees, the toolkit's locale-aware comparison.
constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string lower(std::string_view s);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view s, std::string_view prefix);

// Which characters count as blanks differs by file format, so callers name them.
inline constexpr std::string_view kLineBlanks = " \t\r\n";
inline constexpr std::string_view kSpaceAndTab = " \t";
// What the C library's isspace() accepts in the "C" locale.
inline constexpr std::string_view kCBlanks = " \t\n\v\f\r";
// Every control character and the space (bytes 0..32).
inline constexpr std::string_view kControlsAndSpace{
    "\0\x01\x02\x03\x04\x05\x06\x07\x08\t\n\x0B\x0C\r\x0E\x0F"
    "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F ",
    33};
// `s` without the characters of `blanks` at either end.
std::string trimmed(std::string_view s, std::string_view blanks = kLineBlanks);

} // namespace ravelin::text
