// Parsing and editing a large style sheet against the floor of one memchr pass over its
// bytes. Prints the figures; exits 1 when a goal is missed.
#include "firefox/CSSParser.h"

#include "bench/BenchTiming.h"

#include <cstdio>
#include <string>

using ravelin::bench::best;
using ravelin::bench::memchrFloor;
using ravelin::firefox::TCSSParser;

namespace {

std::string generate(std::size_t target) {
    std::string css =
        "@namespace "
        "url(\"http://www.mozilla.org/keymaster/gatekeeper/there.is.only.xul\");\r\n\r\n";
    for (unsigned i = 0; css.size() < target; ++i) {
        css += "/* block " + std::to_string(i) + " */\r\n";
        css += "#toolbar-" + std::to_string(i) + " > .button:not([disabled]) {\r\n";
        css += "  display: none !important;\r\n  -moz-box-flex: 1;\r\n  color: rgb(10, 20, 30) /* "
               "note */;\r\n";
        css += "  background: url(chrome://global/skin/icons/x" + std::to_string(i) +
               ".png) no-repeat;\r\n";
        css += "  & > .label::before { content: \"{;}\"; }\r\n}\r\n\r\n";
        if (i % 50 == 0)
            css += "@media (max-width: 800px) {\r\n  .menu { font-size: 12px; }\r\n}\r\n\r\n";
        if (i % 50 == 25)
            css += "@-moz-document url-prefix(\"about:\") {\r\n  #logo { background-image: "
                   "url(data:image/png;base64,iVBORw0KGgo=); }\r\n}\r\n\r\n";
    }
    return css;
}

} // namespace

int main() {
    const std::string bytes = generate(1 << 20);
    std::size_t lines = 0;
    double floor = memchrFloor(bytes, lines);
    TCSSParser parser;
    parser.LoadFromBytes(bytes);
    double parse = best([&] { parser.ParseFCSS(); }, 30);
    double load = best([&] { parser.LoadFromBytes(bytes); }, 5);
    const std::u16string text = parser.CSSText;
    bool balanced = false;
    double tokenize = best([&] { balanced = TCSSParser::IsBalanced(text); }, 30);
    double cold = best(
        [&] {
            TCSSParser fresh; // every record made anew
            fresh.CSSText = text;
            fresh.ParseFCSS();
        },
        15);
    const std::string middle =
        "#toolbar-" + std::to_string(parser.Selectors.Count() / 2) + " > .button:not([disabled])";
    double edit = best(
        [&] {
            std::vector<std::string> words{"block", "!important"};
            parser.SetCSSProperty(middle, "display", words, "all");
        },
        10);
    std::printf("style sheet: %.2f MB, %zu lines, %d rules, %d declarations\n\n",
                bytes.size() / 1e6, lines, parser.Selectors.Count(), parser.Properties.Count());
    std::printf("%-40s %9.3f ms\n", "floor: memchr over the bytes", floor * 1e3);
    bool ok = parse <= 6 * floor;
    std::printf("%-40s %9.3f ms  %.1fx floor  goal <= 6x  %s\n", "parse (ParseFCSS again)",
                parse * 1e3, parse / floor, ok ? "ok" : "MISSED");
    std::printf("%-40s %9.3f ms  %.1fx floor%s\n", "tokenize only (IsBalanced)", tokenize * 1e3,
                tokenize / floor, balanced ? "" : "  (unbalanced?)");
    std::printf("%-40s %9.3f ms  %.1fx floor\n", "parse into a fresh parser", cold * 1e3,
                cold / floor);
    std::printf("%-40s %9.3f ms\n", "load from bytes (decode + parse)", load * 1e3);
    bool editOk = edit * 5 < parse;
    std::printf("%-40s %9.3f ms  %.1fx cheaper than a parse  %s\n", "one edit (splice + shift)",
                edit * 1e3, parse / edit, editOk ? "ok" : "MISSED");
    return ok && editOk ? 0 : 1;
}
