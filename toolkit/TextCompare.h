// The one text comparison that sorted combos, list views, trees and every "find by caption"
// use: case-insensitive and aware of the user's (German, Latin script) alphabet, the way the
// system sorts names for people: punctuation before digits before letters, accented letters
// beside their base letter ("Über" among the U's, "ß" as "ss"), hyphens and apostrophes
// weighing only when nothing else differs.
#pragma once

#include <string>
#include <string_view>

namespace ravelin::toolkit {

// < 0, 0 or > 0 as a sorts before, equal to or after b; 0 exactly when the two texts differ
// in letter case only.
int AnsiCompareText(std::string_view a, std::string_view b);
// Equal ignoring case.
bool AnsiSameText(std::string_view a, std::string_view b);
// Whether text begins with prefix, ignoring case.
bool AnsiStartsText(std::string_view prefix, std::string_view text);
// Lower case for the Latin letters (ASCII, Latin-1, Latin Extended-A), Greek and Cyrillic.
std::string AnsiLowerCase(std::string_view text);

} // namespace ravelin::toolkit
