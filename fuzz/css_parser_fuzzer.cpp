// The style-sheet parser: arbitrary bytes with random queries and edits. The records must
// keep indexing CSSText, an unedited save must give back the bytes, and an edit of a sheet
// whose blocks are balanced keeps them balanced.
#include "firefox/CSSParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using ravelin::firefox::TCSSParser;

namespace {

void check(const TCSSParser& p) {
    const int len = static_cast<int>(p.CSSText.size());
    auto at = [&](int pos) {
        if (pos < 1 || pos > len) std::abort();
        return p.CSSText[static_cast<std::size_t>(pos - 1)];
    };
    for (int k = 0; k < p.Properties.Count(); ++k) {
        const auto& d = p.Properties.Get(k);
        if (d.Selector.empty()) continue;
        if (at(d.ColonPos) != u':') std::abort();
        if (at(d.TermPos) != (d.Terminator == ";" ? u';' : u'}')) std::abort();
        // The name starts at StartPos; control characters before it count to the
        // declaration (they are not blanks) but are trimmed from the name.
        if (!d.PropertyName.empty() && d.PropertyName[0] > 0 && at(d.StartPos) > 32 &&
            static_cast<char16_t>(d.PropertyName[0]) != at(d.StartPos))
            std::abort();
        auto blank = [](char16_t c) { return c == 9 || c == 10 || c == 13 || c == 32; };
        // A value may end in an escaped blank (a backslash and a space), which is no blank.
        if (d.ValStartPos != -1 &&
            (blank(at(d.ValStartPos)) || d.EndPos < d.ValStartPos ||
             (blank(at(d.EndPos)) && !(d.EndPos > d.ValStartPos && at(d.EndPos - 1) == u'\\'))))
            std::abort();
    }
    for (int k = 0; k < p.Selectors.Count(); ++k) {
        const auto& s = p.Selectors.Get(k);
        if (s.Selector.empty()) continue;
        if (at(s.BracePos) != u'{' || at(s.EndPos) != u'}') std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first bytes steer the operations; the rest is the sheet.
    const std::uint8_t ops = data[0];
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    TCSSParser p;
    p.LoadFromBytes(bytes);
    if (p.SaveToBytes() != bytes) std::abort();
    check(p);
    static const char* kSelectors[] = {"a", "#nav-bar", "b c", "*", "x>y", "&", ".a\\{"};
    static const char* kNames[] = {"color", "display", "x", "-moz-box-flex"};
    for (int i = 0; i < 4; ++i) {
        const bool balanced = TCSSParser::IsBalanced(p.CSSText);
        unsigned op = (ops >> (2 * i)) & 3u;
        std::string sel = kSelectors[(ops + i) % 7];
        std::string name = kNames[(ops / 3 + i) % 4];
        std::vector<std::string> words;
        switch (op) {
        case 0:
            p.GetCSSProperty(sel, name, words, "all");
            break;
        case 1:
            words = {"none", (ops & 1) ? "\"x;}\"" : "!important"};
            p.SetCSSProperty(sel, name, words, "all");
            break;
        case 2:
            p.SetCSSProperty(sel, name, words, "all");
            break;
        case 3:
            p.DeleteCSSSelector(sel, "all");
            break;
        }
        check(p);
        if (balanced && !TCSSParser::IsBalanced(p.CSSText)) std::abort();
    }
    return 0;
}
