// Every rule of every real style sheet, edited in turn: its first declaration set to a
// new value, a declaration added and removed again, the rule deleted. After each edit the
// sheet must differ from before exactly in the edited rule blocks, and those must still
// be complete blocks; afterwards an independent CSS tokenizer (tests/firefox/css_oracle.py on
// tinycss2) checks that it sees the original rules plus exactly the intended changes.
#include "firefox/CSSParser.h"

#include "host/text/Text.h"
#include "tests/TestSupport.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>

using ravelin::firefox::TCSSParser;
namespace fs = std::filesystem;

namespace {

std::string utf8(const std::u16string& s) {
    return ravelin::text::utf16ToUtf8(s);
}

struct Span {
    int start, end; // 1-based, inclusive
};

bool same(const std::string& a, const std::string& lower) {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != lower[i]) return false;
    }
    return true;
}

bool equalUnits(const std::u16string& a, std::size_t at, const std::u16string& b, std::size_t from,
                std::size_t count) {
    return at + count <= a.size() && from + count <= b.size() &&
           std::memcmp(a.data() + at, b.data() + from, count * sizeof(char16_t)) == 0;
}

class Sweep {
  public:
    Sweep(TCSSParser& p, std::string sheet) : p_(p), sheet_(std::move(sheet)) {}

    std::vector<int> blocks(const std::string& selector, const std::string& media) const {
        std::vector<int> out;
        const std::string sel = ravelin::text::lower(selector), med = ravelin::text::lower(media);
        for (int k = 0; k < p_.Selectors.Count(); ++k) {
            const auto& r = p_.Selectors.Get(k);
            if (!r.Selector.empty() && same(r.Selector, sel) && same(r.Media, med))
                out.push_back(k);
        }
        return out;
    }

    std::vector<std::string> texts(const std::vector<int>& rules) const {
        std::vector<std::string> out;
        for (int k : rules)
            out.push_back(p_.textBetween(p_.Selectors.Get(k).StartPos, p_.Selectors.Get(k).EndPos));
        return out;
    }

    // Runs one edit and checks that only the rule blocks changed, and stayed blocks.
    void edit(const std::string& what, const std::vector<int>& rules,
              const std::function<bool()>& op, bool deleting = false) {
        SCOPED_TRACE(sheet_ + ": " + what);
        const std::u16string before = p_.CSSText;
        std::vector<Span> spans;
        for (int k : rules)
            spans.push_back({p_.Selectors.Get(k).StartPos, p_.Selectors.Get(k).EndPos});
        ASSERT_TRUE(op()) << p_.lastError();
        const std::u16string& after = p_.CSSText;
        std::size_t from = 0, at = 0; // in before, in after
        for (std::size_t i = 0; i < rules.size(); ++i) {
            const auto gap = static_cast<std::size_t>(spans[i].start - 1) - from;
            ASSERT_TRUE(equalUnits(after, at, before, from, gap))
                << "text outside the edited blocks changed";
            at += gap;
            from = static_cast<std::size_t>(spans[i].end);
            if (deleting) continue;
            const auto& r = p_.Selectors.Get(rules[i]);
            ASSERT_EQ(r.StartPos, static_cast<int>(at) + 1) << "a block lost its place";
            const std::u16string_view block(after.data() + at,
                                            static_cast<std::size_t>(r.EndPos - r.StartPos + 1));
            ASSERT_TRUE(TCSSParser::IsBalanced(block)) << utf8(std::u16string(block));
            ASSERT_EQ(block.back(), u'}');
            at += block.size();
        }
        ASSERT_EQ(after.size() - at, before.size() - from);
        ASSERT_TRUE(equalUnits(after, at, before, from, before.size() - from))
            << "text after the edited blocks changed";
    }

  private:
    TCSSParser& p_;
    std::string sheet_;
};

// Runs the sweep on one sheet; returns what the oracle needs.
nlohmann::json sweepSheet(const fs::path& file) {
    const std::string name = file.filename().string();
    TCSSParser p;
    const std::string bytes = ravelin::test::readFile(file);
    p.LoadFromBytes(bytes);
    EXPECT_EQ(p.SaveToBytes(), bytes) << name << ": loading and saving keeps every byte";
    nlohmann::json out{
        {"name", name}, {"text", utf8(p.CSSText)}, {"keys", nlohmann::json::array()}};
    std::vector<int> origin;
    for (int k = 0; k < p.Selectors.Count(); ++k)
        origin.push_back(p.Selectors.Get(k).StartPos - 1);
    // The selectors and media, in the order they first appear.
    std::vector<std::pair<std::string, std::string>> keys;
    std::map<std::pair<std::string, std::string>, bool> seen;
    for (int k = 0; k < p.Selectors.Count(); ++k) {
        const auto& r = p.Selectors.Get(k);
        if (!seen.emplace(
                     std::pair{ravelin::text::lower(r.Selector), ravelin::text::lower(r.Media)},
                     true)
                 .second)
            continue;
        keys.emplace_back(r.Selector, r.Media);
    }
    Sweep sweep(p, name);
    int n = 0;
    for (const auto& [selector, media] : keys) {
        ++n;
        SCOPED_TRACE(selector + " (" + media + ")");
        const std::vector<int> rules = sweep.blocks(selector, media);
        nlohmann::json key{{"selector", selector}, {"media", media}};
        for (int k : rules)
            key["starts"].push_back(origin[static_cast<std::size_t>(k)]);
        nlohmann::json stages = nlohmann::json::array();
        stages.push_back(sweep.texts(rules));

        std::string first; // the first declaration of the rule, if it has one
        int count = 0;
        const std::string sel = ravelin::text::lower(selector), med = ravelin::text::lower(media);
        for (int k = 0; k < p.Properties.Count(); ++k) {
            const auto& d = p.Properties.Get(k);
            if (d.Selector.empty() || !same(d.Selector, sel) || !same(d.Media, med)) continue;
            if (first.empty()) first = d.PropertyName;
            if (same(d.PropertyName, ravelin::text::lower(first))) ++count;
        }
        const std::string value = "ravelin-set-" + std::to_string(n);
        std::vector<std::string> words;
        if (!first.empty()) {
            EXPECT_TRUE(p.GetCSSProperty(selector, first, words, media));
            sweep.edit("set " + first, rules, [&] {
                std::vector<std::string> v{value};
                return p.SetCSSProperty(selector, first, v, media);
            });
            if (testing::Test::HasFatalFailure()) return out;
            EXPECT_TRUE(p.GetCSSProperty(selector, first, words, media));
            EXPECT_EQ(words, std::vector<std::string>(static_cast<std::size_t>(count), value))
                << "get after set";
            stages.push_back(sweep.texts(rules));
        } else {
            stages.push_back(nlohmann::json::array());
        }
        const std::string added = "-ravelin-sweep", addedValue = std::to_string(n);
        sweep.edit("add", rules, [&] {
            std::vector<std::string> v{addedValue};
            return p.SetCSSProperty(selector, added, v, media);
        });
        if (testing::Test::HasFatalFailure()) return out;
        EXPECT_TRUE(p.GetCSSProperty(selector, added, words, media));
        EXPECT_EQ(words, std::vector<std::string>{addedValue}) << "get after add";
        stages.push_back(sweep.texts(rules));
        sweep.edit("remove", rules, [&] {
            std::vector<std::string> v;
            return p.SetCSSProperty(selector, added, v, media);
        });
        if (testing::Test::HasFatalFailure()) return out;
        EXPECT_FALSE(p.GetCSSProperty(selector, added, words, media));
        stages.push_back(sweep.texts(rules));
        sweep.edit(
            "delete", rules, [&] { return p.DeleteCSSSelector(selector, media); }, true);
        if (testing::Test::HasFatalFailure()) return out;
        EXPECT_TRUE(sweep.blocks(selector, media).empty());
        key["stages"] = std::move(stages);
        key["name"] = first;
        key["value"] = value;
        key["added"] = added;
        key["addedValue"] = addedValue;
        out["keys"].push_back(std::move(key));
    }
    // Nothing of what the parser matches is left, and what is left parses as it did.
    TCSSParser again;
    again.CSSText = p.CSSText;
    again.ParseFCSS();
    EXPECT_EQ(again.Selectors.Count(), 0) << name;
    out["final"] = utf8(p.CSSText);
    return out;
}

std::string pythonWithTinycss2() {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        std::string probe = std::string(python) + " -c 'import tinycss2' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) return python;
    }
    return {};
}

} // namespace

TEST(CSSParserSweep, EveryRuleOfEverySheetEditsCleanly) {
    std::vector<fs::path> sheets;
    for (const std::string& dir :
         {std::string(RAVELIN_SOURCE_DIR) + "/tests/data/css",
          ravelin::test::corpusDir().empty() ? std::string()
                                             : ravelin::test::corpusDir() + "/css"}) {
        if (dir.empty()) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".css") sheets.push_back(entry.path());
    }
    std::sort(sheets.begin(), sheets.end());
    ASSERT_GE(sheets.size(), 3u);
    nlohmann::json all = nlohmann::json::array();
    for (const auto& sheet : sheets) {
        all.push_back(sweepSheet(sheet));
        if (HasFatalFailure()) return;
    }

    if (const char* keep = std::getenv("RAVELIN_SWEEP_JSON"))
        ravelin::test::writeFile(
            keep, all.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    const std::string python = pythonWithTinycss2();
    ASSERT_FALSE(python.empty()) << "the oracle needs python3-tinycss2 (scripts/install-deps)";
    ravelin::test::TempDir dir;
    const std::string input = dir.file("sweep.json");
    ravelin::test::writeFile(input,
                             all.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    const std::string command =
        python + " " + RAVELIN_SOURCE_DIR + "/tests/firefox/css_oracle.py " + input + " 2>&1";
    std::string report;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        report.append(buffer, got);
    const int status = ::pclose(pipe);
    EXPECT_EQ(status, 0) << report;
}
