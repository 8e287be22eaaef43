#include "firefox/CSSParser.h"
#include "app/deskforge/CssCommand.h"

#include "host/Nxregistry.h"
#include "host/text/Text.h"
#include "tests/TestSupport.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;
using ravelin::firefox::TCSSParser;

namespace {

std::u16string u(const std::string& s) {
    return text::utf8ToUtf16(s);
}
std::string s8(const std::u16string& s) {
    return text::utf16ToUtf8(s);
}

TCSSParser parse(const std::string& css) {
    TCSSParser p;
    p.CSSText = u(css);
    p.ParseFCSS();
    return p;
}

std::vector<std::string> get(TCSSParser& p, const std::string& sel, const std::string& name,
                             const std::string& media = "all") {
    std::vector<std::string> values;
    p.GetCSSProperty(sel, name, values, media);
    return values;
}

bool set(TCSSParser& p, const std::string& sel, const std::string& name,
         std::vector<std::string> values, const std::string& media = "all") {
    return p.SetCSSProperty(sel, name, values, media);
}

std::string lines(std::initializer_list<const char*> ls) {
    std::string out;
    for (const char* l : ls)
        out += std::string(l) + "\r\n";
    return out;
}

// Every live record still indexes the text.
void expectConsistent(const TCSSParser& p) {
    for (int k = 0; k < p.Properties.Count(); ++k) {
        const auto& d = p.Properties.Get(k);
        if (d.Selector.empty() || d.PropertyName.empty())
            continue; // removed, or text the parser does not model
        SCOPED_TRACE(d.PropertyName);
        ASSERT_GE(d.StartPos, 1);
        EXPECT_EQ(p.CSSText[static_cast<std::size_t>(d.StartPos - 1)], u(d.PropertyName)[0]);
        EXPECT_EQ(p.CSSText[static_cast<std::size_t>(d.ColonPos - 1)], u':');
        if (d.ValStartPos != -1) {
            EXPECT_GT(p.CSSText[static_cast<std::size_t>(d.ValStartPos - 1)], 32);
            EXPECT_GT(p.CSSText[static_cast<std::size_t>(d.EndPos - 1)], 32);
            EXPECT_LE(d.ValStartPos, d.EndPos);
        }
        char16_t term = p.CSSText[static_cast<std::size_t>(d.TermPos - 1)];
        EXPECT_EQ(term, d.Terminator == ";" ? u';' : u'}');
    }
    for (int k = 0; k < p.Selectors.Count(); ++k) {
        const auto& s = p.Selectors.Get(k);
        if (s.Selector.empty()) continue;
        EXPECT_EQ(p.CSSText[static_cast<std::size_t>(s.BracePos - 1)], u'{');
        EXPECT_EQ(p.CSSText[static_cast<std::size_t>(s.EndPos - 1)], u'}');
    }
}

} // namespace

TEST(CSSParser, RecordsRulesAndDeclarationsWithTheirPositions) {
    TCSSParser p = parse("#nav-bar { display: none !important; }");
    ASSERT_EQ(p.Selectors.Count(), 1);
    EXPECT_EQ(p.Selectors.Get(0).Selector, "#nav-bar");
    EXPECT_EQ(p.Selectors.Get(0).StartPos, 1);
    EXPECT_EQ(p.Selectors.Get(0).BracePos, 10);
    EXPECT_EQ(p.Selectors.Get(0).EndPos, 38);
    ASSERT_EQ(p.Properties.Count(), 1);
    const auto& d = p.Properties.Get(0);
    EXPECT_EQ(d.PropertyName, "display");
    EXPECT_EQ(d.StartPos, 12);
    EXPECT_EQ(d.ValStartPos, 21);
    EXPECT_EQ(d.EndPos, 35);
    EXPECT_EQ(d.Terminator, ";");
    EXPECT_EQ(get(p, "#NAV-BAR", "Display"), (std::vector<std::string>{"none", "!important"}));

    std::vector<std::string> debug;
    p.OnDebug = [&](TCSSParser&, const std::string& line) { debug.push_back(line); };
    p.ParseFCSS();
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_EQ(debug[0], "CurMedia: \"all\", CurSelector: \"#nav-bar\", CurProperty: \"display\", "
                        "CurValue: \"none !important\"\r\n"
                        "-- StartPos: 12, ValStartPos: 21, EndPos: 35\r\n-- Full Property: "
                        "\"display: none !important\"\r\n"
                        "-- Value only...: \"none !important\"");
}

TEST(CSSParser, CommentsAreSkippedInEveryState) {
    TCSSParser p = parse("/* x */ a { color: /* y */ red /* z */; }");
    ASSERT_EQ(p.Properties.Count(), 1);
    EXPECT_EQ(p.Properties.Get(0).Selector, "a");
    EXPECT_EQ(p.Properties.Get(0).PropertyName, "color");
    EXPECT_EQ(p.textBetween(p.Properties.Get(0).ValStartPos, p.Properties.Get(0).EndPos), "red");
    ASSERT_TRUE(set(p, "a", "color", {"blue"}));
    EXPECT_EQ(s8(p.CSSText), "/* x */ a { color: /* y */ blue /* z */; }");
    // "*/*" closes and does not reopen; an open comment hides the rest.
    TCSSParser q = parse("a { x: 1 } /* c */*b { y: 2 } /* open c { z: 3 }");
    EXPECT_EQ(get(q, "*b", "y"), std::vector<std::string>{"2"});
    EXPECT_TRUE(get(q, "c", "z").empty());
    expectConsistent(q);
}

TEST(CSSParser, MediaAndOtherAtRules) {
    TCSSParser p =
        parse("@namespace url(http://www.mozilla.org/keymaster/gatekeeper/there.is.only.xul);\n"
              "@media print { a { color: red } }\n"
              "a { color: green }\n"
              "@-moz-document url(about:blank) { a { color: blue } }\n"
              "b { color: black }\n");
    EXPECT_EQ(get(p, "a", "color"), std::vector<std::string>{"green"});
    EXPECT_EQ(get(p, "a", "color", "PRINT"), std::vector<std::string>{"red"});
    EXPECT_EQ(get(p, "a", "color", "@-moz-document url(about:blank)"),
              std::vector<std::string>{"blue"});
    EXPECT_EQ(get(p, "b", "color"), std::vector<std::string>{"black"})
        << "the block's \"}\" does not stick to the next selector";
    // Changing "a" under "all" leaves the scoped rules alone.
    ASSERT_TRUE(set(p, "a", "color", {"white"}));
    EXPECT_NE(s8(p.CSSText).find("@media print { a { color: red } }"), std::string::npos);
    EXPECT_NE(s8(p.CSSText).find("a { color: white }"), std::string::npos);
    EXPECT_FALSE(set(p, "x", "color", {"red"}, "print")) << "no new rule under another media";
    expectConsistent(p);
}

TEST(CSSParser, SelectorsMatchWithoutSpacesAndCase) {
    TCSSParser p = parse("window > hbox { -moz-box-flex: 1 }\na, b { color: red }");
    EXPECT_EQ(get(p, "WINDOW>hbox", "-moz-box-flex"), std::vector<std::string>{"1"});
    EXPECT_EQ(get(p, "a,b", "color"), std::vector<std::string>{"red"});
    EXPECT_TRUE(get(p, "a", "color").empty());
    // A ";" inside url(...) or quotes belongs to the value.
    TCSSParser q = parse("a { background: url(x;y) }");
    EXPECT_EQ(get(q, "a", "background"), std::vector<std::string>{"url(x;y)"});
}

TEST(CSSParser, RemovingADeclarationTidiesItsLine) {
    TCSSParser p = parse(lines({"a {", "  x: 1;", "  y: 2;", "  z: 3;", "}"}));
    ASSERT_TRUE(set(p, "a", "y", {}));
    EXPECT_EQ(s8(p.CSSText), lines({"a {", "  x: 1;", "  z: 3;", "}"}));
    expectConsistent(p);
    // The first and last declarations of the sheet leave their line.
    TCSSParser q = parse(lines({"a {", "  x: 1;", "  y: 2;", "}"}));
    ASSERT_TRUE(set(q, "a", "x", {}));
    EXPECT_EQ(s8(q.CSSText), lines({"a {", "  ", "  y: 2;", "}"}));
    // LF-only sheets keep LF; a value followed by a comment goes with its real ";".
    TCSSParser r = parse("a {\n  x: 1;\n  y: 2 /* why */ ;\n  z: 3;\n}\n");
    ASSERT_TRUE(set(r, "a", "y", {}));
    EXPECT_EQ(s8(r.CSSText), "a {\n  x: 1;\n  z: 3;\n}\n");
    EXPECT_FALSE(set(r, "a", "nothing", {})) << "nothing to remove";
    expectConsistent(r);
}

TEST(CSSParser, AddingADeclarationFollowsTheRulesLayout) {
    TCSSParser p = parse(lines({"a {", "  x: 1", "}"}));
    ASSERT_TRUE(set(p, "a", "w", {"5"}));
    EXPECT_EQ(s8(p.CSSText), lines({"a {", "  x: 1;", "  w: 5;", "}"}));
    expectConsistent(p);

    TCSSParser one = parse("a { color: red }");
    ASSERT_TRUE(set(one, "a", "display", {"none"}));
    EXPECT_EQ(s8(one.CSSText), "a { color: red; display: none; }");
    expectConsistent(one);

    // Of two blocks of one selector, the later one gets it.
    TCSSParser two = parse("a {x:1;}\r\na {y:2;}");
    ASSERT_TRUE(set(two, "a", "z", {"5"}));
    EXPECT_EQ(s8(two.CSSText), "a {x:1;}\r\na {y:2;z: 5;}");
    expectConsistent(two);

    // Between declarations with a comment, the comment is not copied.
    TCSSParser c = parse("a {\n  x: 1;\n  /* note */\n  y: 2;\n}\n");
    ASSERT_TRUE(set(c, "a", "z", {"3"}));
    EXPECT_EQ(s8(c.CSSText), "a {\n  x: 1;\n  /* note */\n  y: 2;\n  z: 3;\n}\n");
    expectConsistent(c);
}

TEST(CSSParser, ReplacingValuesAndEmptyValues) {
    TCSSParser p = parse("a { x: 1; x: 2; }");
    EXPECT_EQ(get(p, "a", "x"), (std::vector<std::string>{"1", "2"}));
    ASSERT_TRUE(set(p, "a", "x", {" 10 ", "px"}));
    EXPECT_EQ(s8(p.CSSText), "a { x: 10 px; x: 10 px; }");
    expectConsistent(p);
    TCSSParser e = parse("a { color: ; display: none }");
    std::vector<std::string> v;
    EXPECT_TRUE(e.GetCSSProperty("a", "color", v, "all"));
    EXPECT_TRUE(v.empty());
    ASSERT_TRUE(set(e, "a", "color", {"red"}));
    EXPECT_EQ(s8(e.CSSText), "a { color: red; display: none }");
    expectConsistent(e);
    TCSSParser e2 = parse("a { display: none; color: }");
    ASSERT_TRUE(set(e2, "a", "color", {}));
    EXPECT_EQ(s8(e2.CSSText), "a { display: none; }");
}

TEST(CSSParser, AppendingNewRules) {
    TCSSParser empty = parse("");
    ASSERT_TRUE(set(empty, "window > hbox", "display", {"none"}));
    EXPECT_EQ(s8(empty.CSSText), "window>hbox {\r\n  display: none;\r\n}\r\n");
    expectConsistent(empty);
    TCSSParser endsWithBreak = parse("a { x: 1 }\r\n");
    set(endsWithBreak, "b", "y", {"2"});
    EXPECT_EQ(s8(endsWithBreak.CSSText), "a { x: 1 }\r\n\r\nb {\r\n  y: 2;\r\n}\r\n");
    TCSSParser noBreak = parse("a { x: 1 }");
    set(noBreak, "b", "y", {"2"});
    EXPECT_EQ(s8(noBreak.CSSText), "a { x: 1 }\r\n\r\nb {\r\n  y: 2;\r\n}\r\n");
    TCSSParser unterminated = parse("a { color: red");
    EXPECT_EQ(unterminated.Properties.Count(), 0);
    set(unterminated, "a", "color", {"blue"});
    EXPECT_EQ(s8(unterminated.CSSText), "a { color: red}\r\n\r\na {\r\n  color: blue;\r\n}\r\n")
        << "what a browser closes at the end of the sheet is closed before the new rule";
    TCSSParser lf = parse("a { x: 1 }\n");
    set(lf, "b", "y", {"2"});
    EXPECT_EQ(s8(lf.CSSText), "a { x: 1 }\n\nb {\n  y: 2;\n}\n") << "an LF sheet stays LF";
    EXPECT_FALSE(set(lf, "c", "z", {}));
}

TEST(CSSParser, DeletingRules) {
    TCSSParser p = parse("a { x: 1 }\n\nb { y: 2 }\n\na { z: 3 }\n@media print { a { w: 4 } }\n");
    ASSERT_TRUE(p.DeleteCSSSelector("A", "all"));
    EXPECT_EQ(s8(p.CSSText), "\n\nb { y: 2 }\n\n\n@media print { a { w: 4 } }\n");
    EXPECT_TRUE(get(p, "a", "x").empty());
    EXPECT_EQ(get(p, "b", "y"), std::vector<std::string>{"2"});
    EXPECT_EQ(get(p, "a", "w", "print"), std::vector<std::string>{"4"});
    expectConsistent(p);
    EXPECT_EQ(TCSSParser::StripComments("a/*b*/c/*/d*/e/*open"), "ace");
    EXPECT_EQ(TCSSParser::SimplifySelector(" a >\tb  c,\r\nd /* x */ e "), "a>b c,d e");
}

TEST(CSSParser, FilesKeepEveryByteAndTheirEncoding) {
    test::TempDir dir;
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    const std::vector<std::string> samples = {
        all,
        "\xEF\xBB\xBF"
        "a { content: \"\xC3\xA4\" }\r\n",
        std::string("\xFF\xFE"
                    "a\0{\0}\0",
                    8),
        std::string("\xFE\xFF\0a\0{\0}", 8),
        "plain\rold mac\rlines",
        "b { x: \xE4 }",       // Windows-1252
        "a { x: \xC3\xA4 }\n", // UTF-8 without a mark
    };
    for (const auto& bytes : samples) {
        std::string file = dir.file("userChrome.css");
        test::writeFile(file, bytes);
        TCSSParser p;
        ASSERT_TRUE(p.LoadFromFile(file));
        ASSERT_TRUE(p.SaveToFile(file));
        EXPECT_EQ(test::readFile(file), bytes);
        TJournalStream stream;
        stream.Data() = bytes;
        TCSSParser q;
        q.LoadFromStream(stream);
        q.SaveToStream(stream);
        EXPECT_EQ(stream.Data(), bytes);
    }
    // An edit keeps the encoding and its mark.
    std::string file = dir.file("userContent.css");
    test::writeFile(file, "\xEF\xBB\xBF"
                          "a { content: \"\xC3\xA4\" }\r\n");
    TCSSParser p;
    p.LoadFromFile(file);
    std::vector<std::string> v{"\"\xC3\xB6\""};
    ASSERT_TRUE(p.SetCSSProperty("a", "content", v, "all"));
    p.SaveToFile(file);
    EXPECT_EQ(test::readFile(file), "\xEF\xBB\xBF"
                                    "a { content: \"\xC3\xB6\" }\r\n");
    TCSSParser missing;
    EXPECT_FALSE(missing.LoadFromFile(dir.file("none.css")));
    EXPECT_TRUE(missing.CSSText.empty());
}

TEST(CssCommand, GetSetDeleteOnAFile) {
    test::TempDir dir;
    std::string file = dir.file("userChrome.css");
    test::writeFile(file, "#nav-bar {\n  display: none !important;\n}\n");
    std::ostringstream out, err;
    std::istringstream in;
    app::Console c{out, err, in};
    EXPECT_EQ(app::runCssCommand({"get", file, "#nav-bar", "display"}, c), 0);
    EXPECT_EQ(out.str(), "none\n!important\n");
    EXPECT_EQ(app::runCssCommand({"get", file, "#nav-bar", "color"}, c), 1) << "nothing matched";
    EXPECT_EQ(app::runCssCommand({"set", file, "#nav-bar", "color", "red"}, c), 0);
    EXPECT_EQ(test::readFile(file), "#nav-bar {\n  display: none !important;\n  color: red;\n}\n");
    EXPECT_EQ(app::runCssCommand({"set", file, "#nav-bar", "display"}, c), 0)
        << "no words removes it";
    EXPECT_EQ(test::readFile(file), "#nav-bar {\n  \n  color: red;\n}\n")
        << "the first declaration of a sheet leaves its line";
    EXPECT_EQ(app::runCssCommand({"delete", file, "#nav-bar"}, c), 0);
    EXPECT_EQ(test::readFile(file), "\n");
    EXPECT_EQ(app::runCssCommand({"delete", file, "#nav-bar"}, c), 1);
    EXPECT_EQ(app::runCssCommand(
                  {"set", dir.file("new/chrome/userContent.css"), "a", "color", "blue"}, c),
              0)
        << "a missing sheet is an empty one, its folder is made";
    EXPECT_EQ(test::readFile(dir.file("new/chrome/userContent.css")),
              "a {\r\n  color: blue;\r\n}\r\n");
    EXPECT_EQ(app::runCssCommand({"frob"}, c), 1);
}

// ---- Real sheets that edits used to corrupt ----

TEST(CSSParserSheets, BlocksOfOneSelectorAroundACommentStayClosed) {
    TCSSParser p = parse("a { x: 1; }\n/* c */\na { y: 2; }\n");
    ASSERT_TRUE(set(p, "a", "z", {"5"}));
    EXPECT_EQ(s8(p.CSSText), "a { x: 1; }\n/* c */\na { y: 2; z: 5; }\n");
    EXPECT_TRUE(TCSSParser::IsBalanced(p.CSSText));
    expectConsistent(p);
}

TEST(CSSParserSheets, StringsUrlsAndEscapesAreSingleTokens) {
    TCSSParser data = parse("a { background-image: url(data:image/svg+xml;base64,PHN2Zz4=); "
                            "color: red }");
    ASSERT_TRUE(set(data, "a", "background-image", {"none"}));
    EXPECT_EQ(s8(data.CSSText), "a { background-image: none; color: red }");

    TCSSParser quoted = parse("a { content: \"x;y}\"; b: 'it''s' }");
    EXPECT_EQ(get(quoted, "a", "content"), std::vector<std::string>{"\"x;y}\""});
    EXPECT_EQ(get(quoted, "a", "b"), std::vector<std::string>{"'it''s'"});

    TCSSParser comment = parse("a[href*=\"/*\"] { color: red }\nb { color: blue }");
    EXPECT_EQ(get(comment, "a[href*=\"/*\"]", "color"), std::vector<std::string>{"red"});
    EXPECT_EQ(get(comment, "b", "color"), std::vector<std::string>{"blue"})
        << "a \"/*\" in a string opens no comment";

    TCSSParser brace = parse("@-moz-document url-prefix(\"moz-extension://{abc}/\") {\n"
                             "  a { color: red }\n}\na { color: blue }\n");
    EXPECT_EQ(get(brace, "a", "color"), std::vector<std::string>{"blue"});
    ASSERT_TRUE(set(brace, "a", "color", {"green"}));
    EXPECT_EQ(s8(brace.CSSText), "@-moz-document url-prefix(\"moz-extension://{abc}/\") {\n"
                                 "  a { color: red }\n}\na { color: green }\n");

    TCSSParser escaped = parse(".a\\{ { color: red }\n.b\\;c { x: 1 }");
    ASSERT_EQ(escaped.Selectors.Count(), 2);
    EXPECT_EQ(escaped.Selectors.Get(0).Selector, ".a\\{");
    EXPECT_EQ(get(escaped, ".a\\{", "color"), std::vector<std::string>{"red"});
    EXPECT_EQ(get(escaped, ".b\\;c", "x"), std::vector<std::string>{"1"});
    expectConsistent(escaped);
}

TEST(CSSParserSheets, NestedRulesAreKeptAndNeverMatched) {
    const std::string nested = "@media (min-width: 1px) {\n"
                               "  @media -moz-pref(\"x\") { video { display: none } }\n"
                               "  video { color: red }\n"
                               "}\n"
                               "video { color: blue }\n";
    TCSSParser p = parse(nested);
    EXPECT_EQ(get(p, "video", "color", "(min-width: 1px)"), std::vector<std::string>{"red"});
    EXPECT_TRUE(get(p, "video", "display").empty());
    ASSERT_TRUE(p.DeleteCSSSelector("video", "all"));
    EXPECT_EQ(s8(p.CSSText), nested.substr(0, nested.find("video { color: blue }")) + "\n");

    // CSS nesting: the rule's own declarations are its; what is nested inside stays.
    TCSSParser n = parse("a {\n  color: red;\n  & b { color: blue }\n  button:hover { x: 1 }\n"
                         "  @media print { color: green }\n}\nc { x: 1 }\n");
    EXPECT_EQ(get(n, "a", "color"), std::vector<std::string>{"red"});
    EXPECT_TRUE(get(n, "&b", "color").empty());
    EXPECT_TRUE(get(n, "button", "hover").empty()) << "a nested rule is no declaration";
    EXPECT_EQ(get(n, "c", "x"), std::vector<std::string>{"1"});
    ASSERT_TRUE(set(n, "a", "color", {"black"}));
    ASSERT_TRUE(set(n, "a", "color", {"white"}));
    EXPECT_EQ(get(n, "a", "color"), std::vector<std::string>{"white"});
    ASSERT_TRUE(set(n, "a", "top", {"0"}));
    EXPECT_EQ(s8(n.CSSText), "a {\n  color: white;\n  top: 0;\n  & b { color: blue }\n"
                             "  button:hover { x: 1 }\n  @media print { color: green }\n}\n"
                             "c { x: 1 }\n")
        << "no second copy of the rule is appended";
    TCSSParser all = parse("@media all { a { x: 1 } }");
    EXPECT_EQ(get(all, "a", "x"), std::vector<std::string>{"1"});
    expectConsistent(n);
}

TEST(CSSParserSheets, SelectorWhitespaceIsNormalisedNotRemoved) {
    TCSSParser p = parse("#nav-bar  toolbarbutton { x: 1 }\n.tab.icon { y: 2 }\n"
                         "a >\tb ,\n c { z: 3 }\n");
    EXPECT_EQ(get(p, "#nav-bar toolbarbutton", "x"), std::vector<std::string>{"1"});
    EXPECT_TRUE(get(p, "#nav-bartoolbarbutton", "x").empty());
    EXPECT_EQ(get(p, "a > b, c", "z"), std::vector<std::string>{"3"});
    EXPECT_FALSE(p.DeleteCSSSelector(".tab .icon", "all"));
    EXPECT_EQ(get(p, ".tab.icon", "y"), std::vector<std::string>{"2"});
}

// The parse normalises common selectors on a shortcut of its own; every recorded selector
// must still be what SimplifySelector makes of the rule's text.
TEST(CSSParserSheets, RecordedSelectorsAreTheNormalFormOfTheirText) {
    const std::vector<std::string> selectors = {"a",
                                                "a  b",
                                                "a\tb",
                                                "a\r\n\fb",
                                                "a >b",
                                                "a> b",
                                                "a > b",
                                                "a>b",
                                                " a + b ~ c , d",
                                                "a ,b",
                                                "a\vb",
                                                "a \v b",
                                                "*|a",
                                                "a[x=\"y  >  z\"]",
                                                "a[x='y , z']",
                                                "a\\ b",
                                                "a\\>b",
                                                "a/**/b",
                                                "a /* > */ b",
                                                "a /b",
                                                "\u00e9l\u00e8ve  > b",
                                                ">a",
                                                "a > > b",
                                                "#toolbar-1 > .button:not([disabled])",
                                                ":root  :is(a,  b)"};
    std::string css;
    for (const auto& sel : selectors)
        css += sel + " { x: 1 }\n";
    TCSSParser p = parse(css);
    ASSERT_EQ(p.Selectors.Count(), static_cast<int>(selectors.size()));
    for (int i = 0; i < p.Selectors.Count(); ++i) {
        const auto& r = p.Selectors.Get(i);
        EXPECT_EQ(r.Selector,
                  TCSSParser::SimplifySelector(p.textBetween(r.StartPos, r.BracePos - 1)))
            << selectors[static_cast<std::size_t>(i)];
    }
    EXPECT_EQ(p.Selectors.Get(4).Selector, "a>b");
    EXPECT_EQ(p.Selectors.Get(8).Selector, "a+b~c,d");
    EXPECT_EQ(p.Selectors.Get(10).Selector, "a\vb");
    EXPECT_EQ(p.Selectors.Get(20).Selector, "\u00e9l\u00e8ve>b");
}

TEST(CSSParserSheets, AppendingClosesWhatTheSheetLeftOpen) {
    TCSSParser p = parse("a { x: 1 }\n/* open");
    ASSERT_TRUE(set(p, "b", "y", {"2"}));
    EXPECT_EQ(s8(p.CSSText), "a { x: 1 }\n/* open*/\n\nb {\n  y: 2;\n}\n");
    EXPECT_EQ(get(p, "b", "y"), std::vector<std::string>{"2"});
    TCSSParser again = parse(s8(p.CSSText));
    EXPECT_EQ(get(again, "b", "y"), std::vector<std::string>{"2"}) << "the rule is no comment";
    TCSSParser open = parse("a { b: url(x\n");
    ASSERT_TRUE(set(open, "c", "d", {"1"}));
    EXPECT_EQ(s8(open.CSSText), "a { b: url(x\n)}\n\nc {\n  d: 1;\n}\n");
    EXPECT_TRUE(TCSSParser::IsBalanced(open.CSSText));
    // A stray "}" or a selector without its block would become part of the new selector.
    for (std::string tail : {"}", "x", "@import url(a.css)", "a[b"}) {
        TCSSParser t = parse("a { x: 1 }\n" + tail);
        ASSERT_TRUE(set(t, "c", "d", {"1"}));
        EXPECT_EQ(get(t, "c", "d"), std::vector<std::string>{"1"});
        TCSSParser reread = parse(s8(t.CSSText));
        EXPECT_EQ(get(reread, "c", "d"), std::vector<std::string>{"1"}) << s8(t.CSSText);
        EXPECT_EQ(s8(t.CSSText).substr(0, 11 + tail.size()), "a { x: 1 }\n" + tail);
    }
    // A pending escape inside a string would swallow whatever follows.
    TCSSParser stuck = parse("a { content: \"x\\");
    EXPECT_FALSE(set(stuck, "c", "d", {"1"}));
    EXPECT_FALSE(stuck.lastError().empty());
    EXPECT_EQ(s8(stuck.CSSText), "a { content: \"x\\");
}

TEST(CSSParserSheets, StraySemicolonsAndEmptyRules) {
    TCSSParser p = parse("a { x: 1 !important;; top: 0 }");
    ASSERT_EQ(p.Properties.Count(), 2);
    EXPECT_EQ(p.Properties.Get(1).PropertyName, "top");
    ASSERT_TRUE(set(p, "a", "top", {"5"}));
    EXPECT_EQ(s8(p.CSSText), "a { x: 1 !important;; top: 5 }");
    // A rule without declarations gets the new one in its own block.
    TCSSParser empty = parse("a {}\nb {\n}\n");
    ASSERT_TRUE(set(empty, "a", "x", {"1"}));
    ASSERT_TRUE(set(empty, "b", "y", {"2"}));
    EXPECT_EQ(s8(empty.CSSText), "a { x: 1; }\nb {\n  y: 2;\n}\n");
    expectConsistent(empty);
}

TEST(CSSParserSheets, TextThatWouldBreakTheSheetIsRefused) {
    TCSSParser p = parse("a { color: red }\n");
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"red;", "}"}, {"\"open"}, {"/*"}, {"f(x"}, {"x\\"}}) {
        SCOPED_TRACE(bad[0]);
        EXPECT_FALSE(set(p, "a", "color", bad));
        EXPECT_FALSE(p.lastError().empty());
        EXPECT_FALSE(set(p, "new", "color", bad));
    }
    EXPECT_FALSE(set(p, "a", "col or", {"red"}));
    EXPECT_FALSE(set(p, "x { y", "color", {"red"}));
    EXPECT_EQ(s8(p.CSSText), "a { color: red }\n");
    EXPECT_TRUE(set(p, "a", "content", {"\"a;b}\""}));
    EXPECT_TRUE(p.lastError().empty());
}

TEST(CSSParserSheets, SheetsKeepTheirEncodingAndLinks) {
    test::TempDir dir;
    std::vector<std::string> ae{"\"\xC3\xA4\""};
    TCSSParser ascii;
    ascii.LoadFromBytes("a { x: 1 }\n");
    ASSERT_TRUE(ascii.SetCSSProperty("a", "content", ae, "all"));
    EXPECT_EQ(ascii.SaveToBytes(), "a { x: 1; content: \"\xC3\xA4\"; }\n") << "ASCII is UTF-8";
    TCSSParser ansi;
    ansi.LoadFromBytes("b { x: \xE4 }");
    std::vector<std::string> snow{"\"\xE2\x98\x83\xC3\xA4\""};
    ASSERT_TRUE(ansi.SetCSSProperty("b", "y", snow, "all"));
    EXPECT_EQ(ansi.SaveToBytes(), "b { x: \xE4; y: \"\\2603 \xE4\"; }")
        << "Windows-1252 stays; what it lacks becomes a CSS escape";
    TCSSParser fresh;
    ASSERT_TRUE(fresh.SetCSSProperty("a", "content", ae, "all"));
    EXPECT_EQ(fresh.SaveToBytes(), "a {\r\n  content: \"\xC3\xA4\";\r\n}\r\n");

    std::string target = dir.file("real.css"), link = dir.file("userChrome.css");
    test::writeFile(target, "a { x: 1 }\n");
    std::filesystem::create_symlink("real.css", link);
    TCSSParser linked;
    ASSERT_TRUE(linked.LoadFromFile(link));
    ASSERT_TRUE(set(linked, "a", "x", {"2"}));
    ASSERT_TRUE(linked.SaveToFile(link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(target), "a { x: 2 }\n");

    std::ostringstream out, err;
    std::istringstream in;
    app::Console c{out, err, in};
    EXPECT_EQ(app::runCssCommand({"set", link, "a", "x", "3"}, c), 0) << err.str();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(target), "a { x: 3 }\n");
    EXPECT_EQ(app::runCssCommand({"set", link, "a", "x", "1;", "}"}, c), 1);
    EXPECT_NE(err.str().find("outside brackets"), std::string::npos) << err.str();
    EXPECT_EQ(test::readFile(target), "a { x: 3 }\n");
}

TEST(CSSParserSheets, ManyEqualDeclarationsGoInOnePass) {
    std::string css = "a {\n";
    for (int i = 0; i < 40000; ++i)
        css += "  x: 1;\n";
    css += "  y: 2;\n}\n";
    TCSSParser p = parse(css);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(set(p, "a", "x", {"22"}));
    ASSERT_TRUE(set(p, "a", "x", {}));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(seconds, 2.0) << "one pass each, not one per declaration";
    EXPECT_EQ(s8(p.CSSText), "a {\n  \n  y: 2;\n}\n");
    expectConsistent(p);
}

// A parse fills in the records of the previous one again instead of making them anew, and
// skips comparing the rule's texts where it already knows them; whatever happened in
// between, it must end with exactly the records a fresh parser makes of the same text.
TEST(CSSParserSheets, ParsingAgainGivesTheRecordsOfAFreshParse) {
    auto expectFresh = [](TCSSParser& p, const std::string& step) {
        SCOPED_TRACE(step);
        p.ParseFCSS();
        TCSSParser fresh;
        fresh.CSSText = p.CSSText;
        fresh.ParseFCSS();
        ASSERT_EQ(p.Properties.Count(), fresh.Properties.Count());
        for (int k = 0; k < p.Properties.Count(); ++k) {
            const auto &a = p.Properties.Get(k), &b = fresh.Properties.Get(k);
            EXPECT_EQ(std::tie(a.Media, a.Selector, a.PropertyName, a.Terminator),
                      std::tie(b.Media, b.Selector, b.PropertyName, b.Terminator))
                << "declaration " << k;
            EXPECT_EQ(std::tie(a.StartPos, a.ValStartPos, a.EndPos, a.ColonPos, a.TermPos),
                      std::tie(b.StartPos, b.ValStartPos, b.EndPos, b.ColonPos, b.TermPos))
                << "declaration " << k;
        }
        ASSERT_EQ(p.Selectors.Count(), fresh.Selectors.Count());
        for (int k = 0; k < p.Selectors.Count(); ++k) {
            const auto &a = p.Selectors.Get(k), &b = fresh.Selectors.Get(k);
            EXPECT_EQ(std::tie(a.Media, a.Selector, a.StartPos, a.BracePos, a.EndPos),
                      std::tie(b.Media, b.Selector, b.StartPos, b.BracePos, b.EndPos))
                << "rule " << k;
        }
    };
    TCSSParser p = parse(lines({"#aa, #bb { x: 1; y: 2; z: 3 }", "#aa { x: 4; y: 5 }",
                                "@media print { #aa { x: 6; y: 7 } #cc { x: 8; y: 9 } }",
                                "#bb, #aa { x: 10; y: 11; z: 12 }"}));
    expectFresh(p, "unchanged");
    ASSERT_TRUE(set(p, "#aa", "w", {"13"}));
    expectFresh(p, "a declaration added");
    ASSERT_TRUE(p.DeleteCSSSelector("#aa", "all"));
    expectFresh(p, "a rule deleted");
    ASSERT_TRUE(set(p, "#cc", "y", {}, "print"));
    expectFresh(p, "a declaration removed");
    // Same lengths, other texts: records that held one rule now stand for another.
    std::string swapped = s8(p.CSSText);
    swapped.replace(swapped.find("#aa, #bb"), 8, "#bb, #aa");
    for (std::size_t at = swapped.find("print"); at != std::string::npos;
         at = swapped.find("print", at + 1))
        swapped.replace(at, 5, "paper");
    p.CSSText = u(swapped);
    expectFresh(p, "selectors and media changed in the text");
    p.CSSText = u(lines({"#cc { x: 1 }", "#bb, #aa { a: 1; b: 2; c: 3; d: 4; e: 5 }"}));
    expectFresh(p, "fewer rules, more declarations");
    p.CSSText = u(lines({"#bb, #aa { a: 1 } #bb, #aa { b: 2 } #cc { c: 3 } #bb, #aa { d: 4 }"}));
    expectFresh(p, "the same selector in rules apart");
    p.CSSText = u(lines({"#aa { a: 1; b: 2; c: 3; d: 4 }"}));
    expectFresh(p, "one rule");
    p.CSSText = u(lines({"#aa { a: 1; b: 2 } #bb { c: 3; d: 4 }"}));
    expectFresh(p, "the rule split in two");
    p.CSSText = u(lines({"#aa { a: 1 } #bb { b: 2 } #aa { c: 3; d: 4 }"}));
    expectFresh(p, "another rule between");
    p.CSSText = u(lines({"#aa { a: 1; b: 2; c: 3; d: 4 }"}));
    expectFresh(p, "one rule again");
}
