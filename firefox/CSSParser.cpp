#include "firefox/CSSParser.h"

#include "host/Nxregistry.h"
#include "host/Stringhelper.h"
#include "host/registry/FileUtil.h"
#include "host/text/Text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

namespace ravelin::firefox {

namespace {

using text::utf16ToUtf8;
using text::utf8ToUtf16;

constexpr std::size_t npos = std::u16string_view::npos;

bool isBlank(char16_t c) {
    return c == 9 || c == 10 || c == 13 || c == 32;
}
bool isNewline(char16_t c) {
    return c == 10 || c == 12 || c == 13;
}

using ravelin::Trim; // and its UTF-16 twin below

std::u16string Trim(const std::u16string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] <= 32)
        ++b;
    while (e > b && s[e - 1] <= 32)
        --e;
    return s.substr(b, e - b);
}

// Character classes of ASCII for the tokenizer: control characters and blanks (all
// trimmed), characters that start or end a token or block, and the rest, taken in runs.
enum : unsigned char { kPlain = 0, kBlankClass = 1, kSpecial = 2 };
constexpr auto kClasses = [] {
    std::array<unsigned char, 128> t{};
    for (int c = 0; c <= 32; ++c)
        t[static_cast<std::size_t>(c)] = kBlankClass;
    for (char c : {'/', '"', '\'', '\\', '(', ')', '[', ']', '{', '}', ';'})
        t[static_cast<unsigned char>(c)] = kSpecial;
    return t;
}();
inline unsigned char classOf(char16_t c) {
    return c < 128 ? kClasses[c] : static_cast<unsigned char>(kPlain);
}
// The inner loop of the tokenizer asks only this, for every character: a table over all
// UTF-16 units spares it the branch (text in ASCII touches its first 128 entries only).
constexpr auto kSpecialUnits = [] {
    std::array<bool, 65536> t{};
    for (std::size_t c = 0; c < 128; ++c)
        t[c] = kClasses[c] == kSpecial;
    return t;
}();
inline bool isSpecial(char16_t c) {
    return kSpecialUnits[c];
}

bool isNameStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0x80;
}
bool isNameChar(char16_t c) {
    return isNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-';
}
char16_t lowerAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

// Equal ignoring the case of ASCII letters, otherwise exact.
bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Equal units; the comparison of char16_t strings goes unit by unit otherwise.
bool sameUnits(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

std::string lowerAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

bool startsWithBom(const std::string& b, const char* bom, std::size_t n) {
    return b.size() >= n && b.compare(0, n, bom, n) == 0;
}

// UTF-8 of a slice; ASCII (nearly every selector and name) without the general path.
std::string toUtf8(std::u16string_view s) {
    std::string out(s.size(), '\0');
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0x80) return utf16ToUtf8(s);
        out[i] = static_cast<char>(s[i]);
    }
    return out;
}

// The CSS tokenizer, as far as the structure of a sheet needs it. Indices are 0-based.
class Scanner {
  public:
    enum Stop : unsigned { kSemicolon = 1, kOpenBrace = 2, kCloseBrace = 4 };
    // The first and last character outside comments and blanks of what was scanned.
    struct Extent {
        std::size_t first = npos, last = npos;
        bool comment = false;
        void mark(std::size_t from, std::size_t to) {
            if (first == npos) first = from;
            last = to;
        }
    };

    explicit Scanner(std::u16string_view s) : s_(s), n_(s.size()) {}

    std::size_t size() const { return n_; }
    char16_t at(std::size_t i) const { return s_[i]; }
    bool openComment = false;    // the text ended inside a comment
    bool openString = false;     // ... inside a string
    bool pendingEscape = false;  // ... right after a "\" inside a string
    bool badString = false;      // a string was ended by a line break
    bool strayCloser = false;    // a closing bracket without its opening one
    bool openUrl = false;        // the text ended inside url(...)
    char16_t lastQuote = u'"';   // the quote of the last string
    std::vector<char16_t> stack; // closers of the blocks open where the last scan stopped

    // Runs over component values from i to the first of the stops that stands outside
    // every bracket; returns its index, or the length of the text when none came.
    std::size_t scan(std::size_t i, unsigned stops, Extent& result) {
        // Kept in registers while scanning; handed back at the end.
        Extent ext = result;
        stack.clear();
        while (i < n_) {
            const char16_t c = s_[i];
            if (!isSpecial(c)) {
                // A run of ordinary characters and blanks; only its ends need a look.
                std::size_t j = i + 1;
                while (j < n_ && !isSpecial(s_[j]))
                    ++j;
                std::size_t a = i, b = j - 1;
                while (a <= b && s_[a] <= 32)
                    ++a;
                while (b > a && s_[b] <= 32)
                    --b;
                if (a <= b) ext.mark(a, b);
                i = j;
                continue;
            }
            switch (c) {
            case u'/':
                if (i + 1 < n_ && s_[i + 1] == u'*') {
                    i = skipComment(i);
                    ext.comment = true;
                    continue;
                }
                ext.mark(i, i);
                ++i;
                continue;
            case u'"':
            case u'\'': {
                std::size_t j = skipString(i), last = j - 1;
                while (last > i && s_[last] <= 32) // a string cut short by a line break
                    --last;
                ext.mark(i, last);
                i = j;
                continue;
            }
            case u'\\': {
                std::size_t j = i + 1 < n_ && !isNewline(s_[i + 1]) ? i + 2 : i + 1;
                ext.mark(i, j - 1);
                i = j;
                continue;
            }
            case u'(':
                if (startsUrl(i)) {
                    std::size_t j = skipUrl(i + 1);
                    if (j != npos) {
                        ext.mark(i, j - 1);
                        i = j;
                        continue;
                    }
                }
                stack.push_back(u')');
                break;
            case u'[':
                stack.push_back(u']');
                break;
            case u'{':
                if (stack.empty() && (stops & kOpenBrace)) {
                    result = ext;
                    return i;
                }
                stack.push_back(u'}');
                break;
            case u')':
            case u']':
            case u'}':
                if (!stack.empty()) {
                    if (stack.back() == c)
                        stack.pop_back();
                    else
                        strayCloser = true;
                } else if (c == u'}' && (stops & kCloseBrace)) {
                    result = ext;
                    return i;
                } else {
                    strayCloser = true;
                }
                break;
            case u';':
                if (stack.empty() && (stops & kSemicolon)) {
                    result = ext;
                    return i;
                }
                break;
            default:
                break;
            }
            ext.mark(i, i);
            ++i;
        }
        result = ext;
        return n_;
    }

    // The matching "}" of the "{" at i, or the length of the text.
    std::size_t skipBlock(std::size_t i) {
        Extent ext;
        return scan(i + 1, kCloseBrace, ext);
    }

    std::size_t skipBlanksAndComments(std::size_t i) {
        while (i < n_) {
            if (s_[i] <= 32)
                ++i;
            else if (s_[i] == u'/' && i + 1 < n_ && s_[i + 1] == u'*')
                i = skipComment(i);
            else
                break;
        }
        return i;
    }

    // The end of the identifier that starts at i (i itself when none starts there).
    std::size_t identEnd(std::size_t i) const {
        auto escape = [&](std::size_t k) {
            return k + 1 < n_ && s_[k] == u'\\' && !isNewline(s_[k + 1]);
        };
        std::size_t j = i;
        if (j < n_ && s_[j] == u'-') {
            if (!(j + 1 < n_ && (s_[j + 1] == u'-' || isNameStart(s_[j + 1]) || escape(j + 1))))
                return i;
            ++j;
        } else if (!(j < n_ && (isNameStart(s_[j]) || escape(j)))) {
            return i;
        }
        while (j < n_) {
            if (isNameChar(s_[j]))
                ++j;
            else if (escape(j))
                j += 2;
            else
                break;
        }
        return j;
    }

  private:
    std::size_t skipComment(std::size_t i) {
        for (std::size_t j = i + 2; j < n_; ++j) {
            j = s_.find(u'*', j);
            if (j == npos || j + 1 >= n_) break;
            if (s_[j + 1] == u'/') return j + 2;
        }
        openComment = true;
        return n_;
    }

    std::size_t skipString(std::size_t i) {
        const char16_t quote = s_[i];
        lastQuote = quote;
        std::size_t j = i + 1;
        while (j < n_) {
            const char16_t c = s_[j];
            if (c == quote) return j + 1;
            if (c == u'\\') {
                if (j + 1 >= n_) {
                    pendingEscape = true;
                    break;
                }
                j += s_[j + 1] == u'\r' && j + 2 < n_ && s_[j + 2] == u'\n' ? 3 : 2;
                continue;
            }
            if (isNewline(c)) {
                badString = true;
                return j;
            }
            ++j;
        }
        openString = true;
        return n_;
    }

    // Whether the "(" at i ends the word "url" (so an unquoted URL follows).
    bool startsUrl(std::size_t i) const {
        if (i < 3 || lowerAscii(s_[i - 3]) != u'u' || lowerAscii(s_[i - 2]) != u'r' ||
            lowerAscii(s_[i - 1]) != u'l')
            return false;
        return i == 3 || (!isNameChar(s_[i - 4]) && s_[i - 4] != u'\\');
    }

    // After "url(": the index behind the ")" of an unquoted URL, or npos when the URL is
    // quoted (then it is a function with a string argument).
    std::size_t skipUrl(std::size_t i) {
        while (i < n_ && s_[i] <= 32)
            ++i;
        if (i < n_ && (s_[i] == u'"' || s_[i] == u'\'')) return npos;
        while (i < n_) {
            if (s_[i] == u')') return i + 1;
            i += s_[i] == u'\\' && i + 1 < n_ ? 2 : 1;
        }
        openUrl = true;
        return n_;
    }

    std::u16string_view s_;
    std::size_t n_;
};

void simplifySelector(const std::string& s, std::string& out);

// Selector characters of ASCII as SimplifySelector treats them: blanks, combinators, and
// those that open a comment, string or escape (left to the general path).
enum : unsigned char { kSelPlain = 0, kSelBlank = 1, kSelCombinator = 2, kSelOther = 3 };
constexpr auto kSelectorClasses = [] {
    std::array<unsigned char, 128> t{};
    for (char c : {' ', '\t', '\n', '\r', '\f'})
        t[static_cast<unsigned char>(c)] = kSelBlank;
    for (char c : {'>', '+', '~', ','})
        t[static_cast<unsigned char>(c)] = kSelCombinator;
    for (char c : {'/', '\\', '"', '\''})
        t[static_cast<unsigned char>(c)] = kSelOther;
    return t;
}();

// SimplifySelector straight from the sheet's UTF-16 units, for the common selector of
// ASCII without comments, strings or escapes; false (out undefined) for any other, which
// then takes the general path. Spares the copy into UTF-8 and keeps the loop tight: a
// large sheet spends a good part of its parse here.
bool simplifyPlainSelector(std::u16string_view s, std::string& out) {
    out.resize(s.size()); // never longer than its source
    char* const o = out.data();
    const char16_t* const p = s.data();
    const std::size_t size = s.size();
    std::size_t n = 0;
    bool space = false;
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t u = p[i];
        if (u >= 0x80) return false;
        const unsigned char k = kSelectorClasses[u];
        if (k == kSelPlain) {
            if (space) {
                if (n > 0 &&
                    kSelectorClasses[static_cast<unsigned char>(o[n - 1])] != kSelCombinator)
                    o[n++] = ' ';
                space = false;
            }
            o[n++] = static_cast<char>(u);
        } else if (k == kSelCombinator) {
            space = false;
            o[n++] = static_cast<char>(u);
        } else if (k == kSelBlank) {
            space = true;
        } else {
            return false;
        }
    }
    out.resize(n);
    return true;
}

// At-rules whose block holds rules rather than declarations.
bool groupsRules(const std::string& name) {
    static const char* const kNames[] = {"media", "supports",  "document", "-moz-document",
                                         "layer", "container", "scope",    "starting-style"};
    for (const char* k : kNames)
        if (name == k) return true;
    return false;
}

} // namespace

// Builds the records of a sheet: rules of the top level and of top-level grouping
// blocks, with their declarations.
class SheetReader {
  public:
    SheetReader(TCSSParser& parser, std::u16string_view text) : p_(parser), sc_(text) {}

    // Records of an earlier parse are filled in again rather than made anew: a parse of
    // a large sheet is mostly the making of its records.
    void read() {
        static const std::string all = "all";
        generation_ = static_cast<std::uint64_t>(++p_.parses_) << 32;
        ruleList(0, all, true);
        while (p_.Properties.Count() > properties_)
            p_.Properties.Delete(p_.Properties.Count() - 1);
        while (p_.Selectors.Count() > selectors_)
            p_.Selectors.Delete(p_.Selectors.Count() - 1);
    }

  private:
    std::string slice(std::size_t from, std::size_t to) const { // inclusive, 0-based
        return toUtf8(std::u16string_view(p_.CSSText).substr(from, to - from + 1));
    }
    void sliceInto(std::size_t from, std::size_t to, std::string& out) const {
        const std::u16string_view v = std::u16string_view(p_.CSSText).substr(from, to - from + 1);
        if (out.size() != v.size()) out.resize(v.size()); // a record filled in again: same size
        char* const o = out.data();
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (v[i] >= 0x80) {
                out = utf16ToUtf8(v);
                return;
            }
            o[i] = static_cast<char>(v[i]);
        }
    }
    // A record filled in again mostly holds the same texts: they are left alone then.
    static void assign(std::string& to, const std::string& from) {
        if (to.size() != from.size() || to.compare(from) != 0) to = from;
    }
    // Sets the rule's texts into a declaration's record. A record carrying the mark of
    // another record already found to hold them needs no comparing; a record that holds
    // them keeps its mark, so that a parse of an unchanged sheet writes nothing here.
    void refreshRule(TCSSProperty& d, const std::string& media, const std::string& selector) {
        const std::uint64_t old = d.filledBy_;
        if (old != 0 && old == knownMark_ && d.Selector.size() == selector.size() &&
            d.Media.size() == media.size())
            return;
        if (d.Media == media && d.Selector == selector) {
            if (old != 0 && (old & ~0xFFFFFFFFull) != generation_) { // not one this parse set
                knownMark_ = old;
                return;
            }
        } else {
            d.Media = media;
            d.Selector = selector;
        }
        d.filledBy_ = ruleMark_;
    }
    TCSSProperty& nextProperty() {
        if (properties_ < p_.Properties.Count()) return p_.Properties.Get(properties_++);
        ++properties_;
        return p_.Properties.Add({}, {}, {}, -1, -1, -1, {});
    }
    TCSSSelector& nextSelector() {
        if (selectors_ < p_.Selectors.Count()) return p_.Selectors.Get(selectors_++);
        ++selectors_;
        return p_.Selectors.Add({}, {}, -1, -1, -1);
    }

    // Returns the index of the "}" that closes the list, or the length of the text.
    std::size_t ruleList(std::size_t i, const std::string& media, bool top) {
        const std::size_t n = sc_.size();
        const unsigned close = top ? 0u : static_cast<unsigned>(Scanner::kCloseBrace);
        for (;;) {
            i = sc_.skipBlanksAndComments(i);
            if (i >= n) return n;
            const char16_t c = sc_.at(i);
            if (c == u'}' && !top) return i;
            Scanner::Extent ext;
            if (c == u'@') {
                const std::size_t nameEnd = sc_.identEnd(i + 1);
                const std::size_t j =
                    sc_.scan(i + 1, Scanner::kSemicolon | Scanner::kOpenBrace | close, ext);
                if (j >= n) return n;
                if (sc_.at(j) == u';') {
                    i = j + 1;
                    continue;
                }
                if (sc_.at(j) == u'}') return j;
                const std::string name = lowerAscii(slice(i + 1, nameEnd - 1));
                if (top && nameEnd > i + 1 && groupsRules(name)) {
                    std::string header = TCSSParser::StripComments(slice(i, ext.last));
                    std::string inner =
                        name == "media" ? Trim(header.substr(std::min(header.size(), nameEnd - i)))
                                        : Trim(header);
                    const std::size_t k = ruleList(j + 1, inner, false);
                    if (k >= n) return n;
                    i = k + 1;
                } else {
                    const std::size_t k = sc_.skipBlock(j);
                    if (k >= n) return n;
                    i = k + 1;
                }
                continue;
            }
            const std::size_t j = sc_.scan(i, Scanner::kOpenBrace | close, ext);
            if (j >= n) return n;
            if (sc_.at(j) == u'}') return j;
            const std::u16string_view written =
                ext.last == npos ? std::u16string_view()
                                 : std::u16string_view(p_.CSSText).substr(i, ext.last - i + 1);
            // The record this rule will fill in: when it was filled from the same text,
            // its selector stands as it is.
            TCSSSelector* const known =
                selectors_ < p_.Selectors.Count() ? &p_.Selectors.Get(selectors_) : nullptr;
            const bool same = known && !written.empty() && !known->Selector.empty() &&
                              sameUnits(known->written_, written);
            if (!same && !written.empty() && !simplifyPlainSelector(written, selector_)) {
                sliceInto(i, ext.last, raw_);
                simplifySelector(raw_, selector_);
            }
            const std::string& selector = same ? known->Selector : selector_;
            if (written.empty() || selector.empty()) {
                const std::size_t k = sc_.skipBlock(j);
                if (k >= n) return n;
                i = k + 1;
                continue;
            }
            const int mark = properties_;
            ruleMark_ = generation_ | ++rules_;
            knownMark_ = 0;
            const std::size_t k = styleBlock(j + 1, media, selector);
            if (k >= n) {
                properties_ = mark; // an unclosed rule yields no record
                return n;
            }
            TCSSSelector& r = nextSelector();
            assign(r.Media, media);
            if (!same) {
                assign(r.Selector, selector_);
                r.written_.assign(written);
            }
            r.StartPos = static_cast<int>(i) + 1;
            r.BracePos = static_cast<int>(j) + 1;
            r.EndPos = static_cast<int>(k) + 1;
            i = k + 1;
        }
    }

    // Declarations of a rule; nested rules and at-rules are skipped whole. Returns the
    // index of the rule's "}", or the length of the text.
    std::size_t styleBlock(std::size_t i, const std::string& media, const std::string& selector) {
        const std::size_t n = sc_.size();
        constexpr unsigned all = Scanner::kSemicolon | Scanner::kOpenBrace | Scanner::kCloseBrace;
        for (;;) {
            while ((i = sc_.skipBlanksAndComments(i)) < n && sc_.at(i) == u';')
                ++i;
            if (i >= n) return n;
            if (sc_.at(i) == u'}') return i;
            Scanner::Extent ext;
            const std::size_t nameEnd = sc_.at(i) == u'@' ? i : sc_.identEnd(i);
            if (nameEnd > i) {
                const std::size_t colon = sc_.skipBlanksAndComments(nameEnd);
                if (colon < n && sc_.at(colon) == u':') {
                    const bool custom =
                        nameEnd - i >= 2 && sc_.at(i) == u'-' && sc_.at(i + 1) == u'-';
                    const std::size_t j =
                        sc_.scan(colon + 1, custom ? all & ~Scanner::kOpenBrace : all, ext);
                    if (j >= n) return n;
                    if (sc_.at(j) != u'{') {
                        declaration(i, nameEnd, colon, j, ext, media, selector);
                        if (sc_.at(j) == u'}') return j;
                        i = j + 1;
                        continue;
                    }
                    ext = Scanner::Extent(); // "name:value {": a nested rule after all
                }
            }
            const std::size_t j = sc_.scan(i + (sc_.at(i) == u'@' ? 1 : 0), all, ext);
            if (j >= n) return n;
            if (sc_.at(j) == u'}') return j;
            if (sc_.at(j) == u';') {
                i = j + 1;
                continue;
            }
            const std::size_t k = sc_.skipBlock(j);
            if (k >= n) return n;
            i = k + 1;
        }
    }

    void declaration(std::size_t start, std::size_t nameEnd, std::size_t colon, std::size_t term,
                     const Scanner::Extent& value, const std::string& media,
                     const std::string& selector) {
        const bool empty = value.first == npos;
        const int valStart = empty ? -1 : static_cast<int>(value.first) + 1;
        const int endPos = empty ? -1 : static_cast<int>(value.last) + 1;
        TCSSProperty& d = nextProperty();
        refreshRule(d, media, selector);
        sliceInto(start, nameEnd - 1, d.PropertyName);
        d.StartPos = static_cast<int>(start) + 1;
        d.ValStartPos = valStart;
        d.EndPos = endPos;
        if (sc_.at(term) == u';') {
            if (d.Terminator.size() != 1 || d.Terminator[0] != ';') d.Terminator = ";";
        } else if (!d.Terminator.empty()) {
            d.Terminator.clear();
        }
        d.ColonPos = static_cast<int>(colon) + 1;
        d.TermPos = static_cast<int>(term) + 1;
        if (p_.OnDebug) {
            const std::string valueText =
                empty ? std::string() : TCSSParser::StripComments(p_.textBetween(valStart, endPos));
            char pos[96];
            std::snprintf(pos, sizeof pos, "-- StartPos: %u, ValStartPos: %u, EndPos: %u",
                          static_cast<unsigned>(d.StartPos), static_cast<unsigned>(valStart),
                          static_cast<unsigned>(endPos));
            p_.Debug("CurMedia: \"" + media + "\", CurSelector: \"" + selector +
                     "\", CurProperty: \"" + d.PropertyName + "\", CurValue: \"" + valueText +
                     "\"\r\n" + pos + "\r\n-- Full Property: \"" +
                     p_.textBetween(d.StartPos, endPos) + "\"\r\n-- Value only...: \"" +
                     p_.textBetween(valStart, endPos) + "\"");
        }
    }

    TCSSParser& p_;
    Scanner sc_;
    int properties_ = 0, selectors_ = 0; // records filled so far
    std::string raw_, selector_;
    std::uint64_t generation_ = 0; // this parse, in the high half of every mark it sets
    std::uint32_t rules_ = 0;      // rules read so far
    std::uint64_t ruleMark_ = 0;   // the mark of the rule being read
    std::uint64_t knownMark_ = 0;  // an earlier mark whose records hold this rule's texts
};

namespace {

// What a text leaves open at its end, from the outermost: the closers a browser would
// supply. Empty when nothing is open; nullopt when it cannot be closed safely (an escape
// waiting for its character inside a string).
std::optional<std::u16string> closersAtEnd(std::u16string_view text) {
    Scanner sc(text);
    Scanner::Extent ext;
    sc.scan(0, 0, ext);
    if (sc.pendingEscape) return std::nullopt;
    std::u16string out;
    // A lone backslash at the very end would escape the first closer; a line break ends it.
    std::size_t backslashes = 0;
    while (backslashes < text.size() && text[text.size() - 1 - backslashes] == u'\\')
        ++backslashes;
    if (backslashes % 2 == 1 && !sc.openComment) out += u"\n";
    if (sc.openComment) out += u"*/";
    if (sc.openString) out += sc.lastQuote;
    if (sc.openUrl) out += u')';
    for (auto it = sc.stack.rbegin(); it != sc.stack.rend(); ++it)
        out += *it;
    // Text after the last complete rule (a stray "}", a selector without its block, an
    // at-rule without its ";") would become part of the next rule's start: it is ended.
    Scanner top(text);
    for (std::size_t i = 0;;) {
        i = top.skipBlanksAndComments(i);
        if (i >= text.size()) break;
        Scanner::Extent e;
        const bool at = text[i] == u'@';
        const std::size_t j =
            top.scan(i + (at ? 1 : 0), Scanner::kOpenBrace | (at ? Scanner::kSemicolon : 0u), e);
        if (j >= text.size()) {
            out += at ? u";" : u"{}";
            break;
        }
        if (text[j] == u';') {
            i = j + 1;
            continue;
        }
        const std::size_t k = top.skipBlock(j);
        if (k >= text.size()) break; // inside a block: closed above
        i = k + 1;
    }
    return out;
}

// Why a caller's text cannot go into a sheet as it is; empty when it can.
std::string unsafeText(const std::string& what, const std::string& textUtf8) {
    const std::u16string t = utf8ToUtf16(textUtf8);
    Scanner sc(t);
    Scanner::Extent ext;
    const std::size_t j =
        sc.scan(0, Scanner::kSemicolon | Scanner::kOpenBrace | Scanner::kCloseBrace, ext);
    if (j < t.size())
        return what + " \"" + textUtf8 + "\" contains \"" + toUtf8(t.substr(j, 1)) +
               "\" outside brackets";
    if (sc.openComment || sc.openString || sc.pendingEscape || sc.badString || sc.openUrl)
        return what + " \"" + textUtf8 + "\" leaves a comment or string open";
    if (!sc.stack.empty() || sc.strayCloser)
        return what + " \"" + textUtf8 + "\" has unbalanced brackets";
    if (!t.empty() && t.back() == u'\\') return what + " \"" + textUtf8 + "\" ends with \"\\\"";
    return {};
}

} // namespace

template <typename Record> void TCSSRecordList<Record>::UpdatePositions(int fromPos, int delta) {
    for (auto& r : items_) {
        auto shift = [&](int& pos) {
            if (pos >= fromPos) pos += delta;
        };
        shift(r->StartPos);
        shift(r->EndPos);
        if constexpr (std::is_same_v<Record, TCSSProperty>) {
            shift(r->ValStartPos);
            shift(r->ColonPos);
            shift(r->TermPos);
        } else {
            shift(r->BracePos);
        }
    }
}

template class TCSSRecordList<TCSSProperty>;
template class TCSSRecordList<TCSSSelector>;

TCSSProperty& TCSSPropertyList::Add(const std::string& media, const std::string& selector,
                                    const std::string& name, int startPos, int valStartPos,
                                    int endPos, const std::string& terminator) {
    return Insert(Count(), media, selector, name, startPos, valStartPos, endPos, terminator);
}

TCSSProperty& TCSSPropertyList::Insert(int index, const std::string& media,
                                       const std::string& selector, const std::string& name,
                                       int startPos, int valStartPos, int endPos,
                                       const std::string& terminator) {
    auto p = std::make_unique<TCSSProperty>();
    p->Media = media;
    p->Selector = selector;
    p->PropertyName = name;
    p->StartPos = startPos;
    p->ValStartPos = valStartPos;
    p->EndPos = endPos;
    p->Terminator = terminator;
    return insertAt(index, std::move(p));
}

TCSSSelector& TCSSSelectorList::Add(const std::string& media, const std::string& selector,
                                    int startPos, int bracePos, int endPos) {
    return Insert(Count(), media, selector, startPos, bracePos, endPos);
}

TCSSSelector& TCSSSelectorList::Insert(int index, const std::string& media,
                                       const std::string& selector, int startPos, int bracePos,
                                       int endPos) {
    auto s = std::make_unique<TCSSSelector>();
    s->Media = media;
    s->Selector = selector;
    s->StartPos = startPos;
    s->BracePos = bracePos;
    s->EndPos = endPos;
    return insertAt(index, std::move(s));
}

// ---- Loading and saving ----

void TCSSParser::LoadFromBytes(const std::string& b) {
    CSSText.clear();
    Properties.Clear();
    Selectors.Clear();
    encoding_ = Encoding::Utf8;
    auto fromUtf16 = [&](std::size_t skip, bool bigEndian) {
        if ((b.size() - skip) % 2) return false;
        std::u16string units;
        for (std::size_t i = skip; i + 1 < b.size(); i += 2) {
            auto lo = static_cast<unsigned char>(b[i + (bigEndian ? 1 : 0)]);
            auto hi = static_cast<unsigned char>(b[i + (bigEndian ? 0 : 1)]);
            units.push_back(static_cast<char16_t>(lo | hi << 8));
        }
        CSSText = std::move(units);
        return true;
    };
    if (startsWithBom(b, "\xEF\xBB\xBF", 3) && text::isValidUtf8(std::string_view(b).substr(3))) {
        CSSText = utf8ToUtf16(std::string_view(b).substr(3));
        encoding_ = Encoding::Utf8Bom;
    } else if (startsWithBom(b, "\xFF\xFE", 2) && fromUtf16(2, false)) {
        encoding_ = Encoding::Utf16LeBom;
    } else if (startsWithBom(b, "\xFE\xFF", 2) && fromUtf16(2, true)) {
        encoding_ = Encoding::Utf16BeBom;
    } else if (std::all_of(b.begin(), b.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        CSSText.assign(b.begin(), b.end()); // ASCII: UTF-8 at its simplest
        encoding_ = Encoding::Utf8;
    } else if (text::isValidUtf8(b)) {
        CSSText = utf8ToUtf16(b);
        encoding_ = Encoding::Utf8;
    } else {
        // Windows-1252 keeps every byte, also of a file that is none of the above.
        CSSText = text::cp1252ToUtf16(b);
        encoding_ = Encoding::Ansi;
    }
    ParseFCSS();
}

std::string TCSSParser::SaveToBytes() const {
    switch (encoding_) {
    case Encoding::Utf8Bom:
        return "\xEF\xBB\xBF" + utf16ToUtf8(CSSText);
    case Encoding::Utf8:
        return utf16ToUtf8(CSSText);
    case Encoding::Utf16LeBom:
    case Encoding::Utf16BeBom: {
        bool be = encoding_ == Encoding::Utf16BeBom;
        std::string out = be ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t c : CSSText) {
            char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
            out.push_back(be ? hi : lo);
            out.push_back(be ? lo : hi);
        }
        return out;
    }
    case Encoding::Ansi:
        break;
    }
    // Only edits bring characters Windows-1252 lacks (a value, a name, a selector): they
    // are written as CSS escapes, which mean the same character there.
    std::string out;
    out.reserve(CSSText.size());
    std::size_t run = 0;
    for (std::size_t i = 0; i < CSSText.size(); ++i) {
        const char16_t c = CSSText[i];
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) continue;
        std::string one = text::utf16ToCp1252(std::u16string_view(&CSSText[i], 1));
        if (one != "?") continue;
        out += text::utf16ToCp1252(std::u16string_view(CSSText).substr(run, i - run));
        char32_t cp = c;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < CSSText.size() && CSSText[i + 1] >= 0xDC00 &&
            CSSText[i + 1] < 0xE000) {
            cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (CSSText[i + 1] - 0xDC00);
            ++i;
        }
        char hex[16];
        std::snprintf(hex, sizeof hex, "\\%x ", static_cast<unsigned>(cp));
        out += hex;
        run = i + 1;
    }
    out += text::utf16ToCp1252(std::u16string_view(CSSText).substr(run));
    return out;
}

std::string TCSSParser::ResolveLink(const std::string& fileName) {
    std::filesystem::path p(fileName);
    std::error_code ec;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(p, ec); ++hops) {
        std::filesystem::path target = std::filesystem::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p.string();
}

bool TCSSParser::LoadFromFile(const std::string& fileName) {
    try {
        LoadFromBytes(registry::readWholeFile(fileName));
        return true;
    } catch (const RegistryAccessError&) {
        CSSText.clear();
        Properties.Clear();
        Selectors.Clear();
        return false;
    }
}

bool TCSSParser::LoadFromStream(TStream& stream) {
    LoadFromBytes(stream.Data());
    return true;
}

bool TCSSParser::SaveToFile(const std::string& fileName) {
    try {
        registry::writeFileAtomically(ResolveLink(fileName), SaveToBytes());
        return true;
    } catch (const RegistryAccessError&) {
        return false;
    }
}

bool TCSSParser::SaveToStream(TStream& stream) {
    stream.Data() = SaveToBytes();
    return true;
}

// ---- Parsing ----

bool TCSSParser::ParseFCSS() {
    SheetReader(*this, CSSText).read();
    return true;
}

bool TCSSParser::IsBalanced(std::u16string_view text) {
    Scanner sc(text);
    Scanner::Extent ext;
    sc.scan(0, 0, ext);
    return sc.stack.empty() && !sc.strayCloser && !sc.openComment && !sc.openString &&
           !sc.pendingEscape && !sc.openUrl;
}

std::string TCSSParser::textBetween(int from, int to) const {
    if (from < 1 || to < from || to > static_cast<int>(CSSText.size())) return {};
    return utf16ToUtf8(CSSText.substr(static_cast<std::size_t>(from - 1),
                                      static_cast<std::size_t>(to - from + 1)));
}

void TCSSParser::Debug(const std::string& line) {
    if (OnDebug) OnDebug(*this, line);
}

std::string TCSSParser::SimplifySelector(const std::string& s) {
    std::string out;
    simplifySelector(s, out);
    return out;
}

namespace {

// Comments left out, runs of blanks made one space, none at the ends nor around the
// combinators ">", "+", "~" and ",". Strings and escaped characters stay as written.
void simplifySelector(const std::string& s, std::string& out) {
    out.resize(s.size()); // never longer than its source
    std::size_t n = 0;
    bool space = false;
    auto combinator = [](char c) { return c == '>' || c == '+' || c == '~' || c == ','; };
    auto put = [&](char c) {
        if (space && n > 0 && !combinator(out[n - 1]) && !combinator(c)) out[n++] = ' ';
        space = false;
        out[n++] = c;
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (static_cast<unsigned char>(c) > 32 && c != '/' && c != '\\' && c != '"' && c != '\'') {
            put(c);
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            std::size_t close = s.find("*/", i + 2);
            if (close == std::string::npos) break;
            i = close + 1;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            space = true;
        } else if (c == '\\') {
            put(c);
            if (i + 1 < s.size()) out[n++] = s[++i];
        } else if (c == '"' || c == '\'') {
            put(c);
            for (++i; i < s.size(); ++i) {
                out[n++] = s[i];
                if (s[i] == '\\' && i + 1 < s.size())
                    out[n++] = s[++i];
                else if (s[i] == c)
                    break;
            }
        } else {
            put(c);
        }
    }
    out.resize(n);
}

} // namespace

std::string TCSSParser::StripComments(const std::string& s) {
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            std::size_t close = s.find("*/", i + 2);
            if (close == std::string::npos) break;
            i = close + 2;
            continue;
        }
        out.push_back(s[i++]);
    }
    return out;
}

void TCSSParser::UpdatePositions(int fromPos, int delta) {
    Properties.UpdatePositions(fromPos, delta);
    Selectors.UpdatePositions(fromPos, delta);
}

void TCSSParser::applySplices(std::vector<Splice> splices) {
    if (splices.empty()) return;
    if (splices.size() == 1) { // in place: only what follows the splice moves
        const Splice& sp = splices.front();
        CSSText.replace(static_cast<std::size_t>(sp.from - 1), static_cast<std::size_t>(sp.count),
                        sp.text);
        const int first = sp.from + sp.count, delta = static_cast<int>(sp.text.size()) - sp.count;
        if (delta == 0) return;
        auto move = [&](int& pos) {
            if (pos >= first) pos += delta;
        };
        for (int k = 0; k < Properties.Count(); ++k) {
            TCSSProperty& d = Properties.Get(k);
            move(d.StartPos), move(d.ValStartPos), move(d.EndPos), move(d.ColonPos),
                move(d.TermPos);
        }
        for (int k = 0; k < Selectors.Count(); ++k) {
            TCSSSelector& r = Selectors.Get(k);
            move(r.StartPos), move(r.BracePos), move(r.EndPos);
        }
        return;
    }
    std::sort(splices.begin(), splices.end(),
              [](const Splice& a, const Splice& b) { return a.from < b.from; });
    std::u16string out;
    std::size_t grown = 0;
    for (const auto& sp : splices)
        grown += sp.text.size();
    out.reserve(CSSText.size() + grown);
    std::size_t cursor = 0;
    // A position at or behind the end of a splice's span moves by the splices so far.
    std::vector<std::pair<int, int>> moves; // (first position that moves, total delta)
    int delta = 0;
    for (const auto& sp : splices) {
        const auto from = static_cast<std::size_t>(sp.from - 1);
        out.append(CSSText, cursor, from - cursor);
        out += sp.text;
        cursor = from + static_cast<std::size_t>(sp.count);
        delta += static_cast<int>(sp.text.size()) - sp.count;
        moves.emplace_back(sp.from + sp.count, delta);
    }
    out.append(CSSText, cursor, std::u16string::npos);
    CSSText = std::move(out);
    auto move = [&](int& pos) {
        if (pos < moves.front().first) return;
        auto it = std::upper_bound(moves.begin(), moves.end(), pos,
                                   [](int p, const std::pair<int, int>& m) { return p < m.first; });
        pos += std::prev(it)->second;
    };
    for (int k = 0; k < Properties.Count(); ++k) {
        TCSSProperty& d = Properties.Get(k);
        for (int* pos : {&d.StartPos, &d.ValStartPos, &d.EndPos, &d.ColonPos, &d.TermPos})
            move(*pos);
    }
    for (int k = 0; k < Selectors.Count(); ++k) {
        TCSSSelector& r = Selectors.Get(k);
        for (int* pos : {&r.StartPos, &r.BracePos, &r.EndPos})
            move(*pos);
    }
}

std::u16string TCSSParser::lineBreak() const {
    bool lf = CSSText.find(u'\n') != std::u16string::npos;
    bool crlf = CSSText.find(u"\r\n") != std::u16string::npos;
    return lf && !crlf ? u"\n" : u"\r\n";
}

int TCSSParser::declarationEnd(const TCSSProperty& p) const {
    if (p.Terminator == ";") return p.TermPos; // its real ";", also after blanks or a comment
    if (p.ValStartPos != -1) return p.EndPos;  // ended by the rule's "}"
    return p.TermPos - 1;                      // "name:" with nothing before the "}"
}

bool TCSSParser::refuse(std::string why) {
    lastError_ = std::move(why);
    Debug(lastError_);
    return false;
}

// ---- Queries and edits ----

bool TCSSParser::GetCSSProperty(const std::string& selector, const std::string& propertyName,
                                std::vector<std::string>& values, const std::string& media) {
    values.clear();
    bool found = false;
    const std::string sel = SimplifySelector(selector);
    for (int k = 0; k < Properties.Count(); ++k) {
        const TCSSProperty& p = Properties.Get(k);
        if (p.Selector.empty() || !sameText(p.Selector, sel) ||
            !sameText(p.PropertyName, propertyName) || !sameText(p.Media, media))
            continue;
        found = true;
        if (p.ValStartPos == -1) continue; // an empty value has no words
        std::string value = textBetween(p.ValStartPos, p.EndPos);
        for (int w = 1; w <= ParamCount(value); ++w)
            values.push_back(Param(value, w));
    }
    return found;
}

bool TCSSParser::replaceValues(const std::vector<int>& hits, const std::u16string& value) {
    std::vector<Splice> splices;
    for (int k : hits) {
        const TCSSProperty& p = Properties.Get(k);
        if (p.ValStartPos != -1) {
            splices.push_back({p.ValStartPos, p.EndPos - p.ValStartPos + 1, value});
            continue;
        }
        // "name: ;": the value goes after the colon, in place of the blanks there (a
        // comment there stays).
        bool blank = true;
        for (int pos = p.ColonPos + 1; pos < p.TermPos; ++pos)
            blank = blank && isBlank(CSSText[static_cast<std::size_t>(pos - 1)]);
        splices.push_back({p.ColonPos + 1, blank ? p.TermPos - p.ColonPos - 1 : 0, u" " + value});
    }
    std::vector<bool> wasEmpty;
    for (int k : hits)
        wasEmpty.push_back(Properties.Get(k).ValStartPos == -1);
    applySplices(std::move(splices));
    const int len = static_cast<int>(value.size());
    for (std::size_t h = 0; h < hits.size(); ++h) {
        TCSSProperty& p = Properties.Get(hits[h]);
        if (wasEmpty[h]) p.ValStartPos = p.ColonPos + 2;
        p.EndPos = p.ValStartPos + len - 1;
    }
    return true;
}

// Every hit goes with its terminator; one that stood on a line of its own takes its line
// along (the blanks before it back to the line break, and that line break), so neither an
// empty line nor a lost indentation stays behind. All in one pass over the text.
void TCSSParser::removeDeclarations(const std::vector<int>& hits) {
    const int len = static_cast<int>(CSSText.size());
    const int count = Properties.Count();
    auto at = [&](int pos) { return CSSText[static_cast<std::size_t>(pos - 1)]; };
    std::vector<Splice> splices;
    int lastEnd = 0; // the last position the previous splice covered
    for (int k : hits) {
        const TCSSProperty& p = Properties.Get(k);
        const int from = p.StartPos, to = declarationEnd(p);
        if (from < 1 || to < from || to > len) continue;
        Splice sp{from, to - from + 1, u""};
        if (k > 0 && k < count - 1) {
            const TCSSProperty& prev = Properties.Get(k - 1);
            const TCSSProperty& next = Properties.Get(k + 1);
            int a = lastEnd + 1;
            if (!prev.Selector.empty()) a = std::max(a, declarationEnd(prev) + 1);
            const int b = next.Selector.empty() || next.StartPos <= to
                              ? len
                              : std::min(len, next.StartPos - 1);
            bool seen = false, stopped = false;
            int start = from;
            for (int pos = from - 1; pos >= std::max(a, 1) && !stopped; --pos) {
                const char16_t c = at(pos);
                if (c == 13 || c == 10) {
                    seen = true;
                    start = pos;
                } else if (!((c == 9 || c == 32) && !seen)) {
                    stopped = true;
                }
            }
            // Right behind an earlier removal that left one line break: the line break
            // it left is where this line starts, as when they are removed one by one.
            const bool joins =
                !seen && !stopped && !splices.empty() && a == lastEnd + 1 &&
                !splices.back().text.empty() &&
                (splices.back().text.back() == 10 || splices.back().text.back() == 13);
            if (joins) {
                seen = true;
                start = splices.back().from;
            }
            int end = to;
            bool seenAfter = false;
            if (seen) {
                for (int pos = to + 1; pos <= b; ++pos) {
                    const char16_t c = at(pos);
                    if (c == 13 || c == 10) {
                        seenAfter = true;
                        end = pos;
                    } else if (!((c == 9 || c == 32) && !seenAfter)) {
                        break;
                    }
                }
            }
            if (seen && seenAfter && joins) {
                sp = {start, end - start + 1, splices.back().text};
                splices.pop_back();
            } else if (seen && seenAfter) {
                bool cr = false, lf = false;
                for (int pos = start; pos <= end; ++pos) {
                    if (pos >= from && pos <= to) continue;
                    cr = cr || at(pos) == 13;
                    lf = lf || at(pos) == 10;
                }
                sp = {start, end - start + 1, cr && lf ? u"\r\n" : cr ? u"\r" : u"\n"};
            }
        }
        lastEnd = sp.from + sp.count - 1;
        splices.push_back(std::move(sp));
    }
    applySplices(std::move(splices));
    for (int k : hits) {
        Properties.Get(k).Selector.clear();
        Properties.Get(k).filledBy_ = 0;
    }
}

bool TCSSParser::insertIntoRule(TCSSSelector& rule, const std::string& name,
                                const std::string& media, const std::u16string& value) {
    auto at = [&](int pos) { return CSSText[static_cast<std::size_t>(pos - 1)]; };
    bool multiLine = false;
    for (int pos = rule.BracePos + 1; pos < rule.EndPos && !multiLine; ++pos)
        multiLine = at(pos) == 10 || at(pos) == 13;
    std::u16string separator = u" ";
    if (multiLine) {
        int pos = rule.StartPos - 1;
        while (pos >= 1 && (at(pos) == 9 || at(pos) == 32))
            --pos;
        std::u16string indent;
        if (pos < 1 || at(pos) == 10 || at(pos) == 13)
            indent = CSSText.substr(static_cast<std::size_t>(pos),
                                    static_cast<std::size_t>(rule.StartPos - 1 - pos));
        separator = lineBreak() + indent + u"  ";
    }
    const std::u16string name16 = utf8ToUtf16(name);
    std::u16string inserted = separator + name16 + u": " + value + u";";
    if (!multiLine && rule.EndPos == rule.BracePos + 1) inserted += u" ";
    const int p0 = rule.BracePos;
    int index = 0;
    while (index < Properties.Count() && Properties.Get(index).StartPos <= p0)
        ++index;
    applySplices({{p0 + 1, 0, inserted}});
    const int start = p0 + static_cast<int>(separator.size()) + 1;
    const int valStart = start + static_cast<int>(name16.size()) + 2;
    TCSSProperty& added = Properties.Insert(index, media, rule.Selector, name, start, valStart,
                                            valStart + static_cast<int>(value.size()) - 1, ";");
    added.ColonPos = start + static_cast<int>(name16.size());
    added.TermPos = valStart + static_cast<int>(value.size());
    return true;
}

bool TCSSParser::appendRule(const std::string& sel, const std::string& name,
                            const std::u16string& value) {
    if (sel.empty()) return refuse("an empty selector cannot start a rule");
    if (std::string why = unsafeText("the selector", sel); !why.empty()) return refuse(why);
    const std::optional<std::u16string> closers = closersAtEnd(CSSText);
    if (!closers)
        return refuse("the sheet ends inside a string after a \"\\\"; nothing can follow it");
    const std::u16string br = lineBreak();
    std::u16string tail = *closers;
    std::u16string sheet = CSSText + tail;
    if (!Trim(sheet).empty()) {
        tail += br;
        const std::u16string twice = br + br;
        const std::u16string now = CSSText + tail;
        if (now.size() < twice.size() ||
            now.compare(now.size() - twice.size(), twice.size(), twice) != 0)
            tail += br;
    }
    const std::u16string sel16 = utf8ToUtf16(sel), name16 = utf8ToUtf16(name);
    const int ruleStart = static_cast<int>(CSSText.size() + tail.size()) + 1;
    tail += sel16 + u" {" + br + u"  ";
    const int start = static_cast<int>(CSSText.size() + tail.size()) + 1;
    tail += name16 + u": ";
    const int valStart = static_cast<int>(CSSText.size() + tail.size()) + 1;
    tail += value + u";" + br + u"}";
    const int ruleEnd = static_cast<int>(CSSText.size() + tail.size());
    tail += br;
    applySplices({{static_cast<int>(CSSText.size()) + 1, 0, tail}});
    TCSSProperty& p = Properties.Add("all", sel, name, start, valStart,
                                     valStart + static_cast<int>(value.size()) - 1, ";");
    p.ColonPos = start + static_cast<int>(name16.size());
    p.TermPos = valStart + static_cast<int>(value.size());
    Selectors.Add("all", sel, ruleStart, ruleStart + static_cast<int>(sel16.size()) + 1, ruleEnd);
    return true;
}

bool TCSSParser::SetCSSProperty(const std::string& selector, const std::string& propertyName,
                                std::vector<std::string>& values, const std::string& media) {
    lastError_.clear();
    std::string built;
    for (const auto& v : values) {
        std::string t = Trim(v);
        if (!built.empty()) built.push_back(' ');
        built += t;
    }
    if (!built.empty()) {
        if (std::string why = unsafeText("the value", built); !why.empty()) return refuse(why);
        const std::u16string name16 = utf8ToUtf16(propertyName);
        if (name16.empty() || Scanner(name16).identEnd(0) != name16.size())
            return refuse("\"" + propertyName + "\" is not a property name");
    }
    const std::u16string value = utf8ToUtf16(built);
    const std::string sel = SimplifySelector(selector);

    int lastIdx = -1;
    std::vector<int> hits;
    for (int k = 0; k < Properties.Count(); ++k) {
        const TCSSProperty& p = Properties.Get(k);
        if (p.Selector.empty() || !sameText(p.Media, media) || !sameText(p.Selector, sel)) continue;
        lastIdx = k;
        if (sameText(p.PropertyName, propertyName)) hits.push_back(k);
    }
    if (!hits.empty()) {
        if (value.empty())
            removeDeclarations(hits);
        else
            replaceValues(hits, value);
        return true;
    }
    if (value.empty()) return false;

    if (lastIdx == -1) {
        // A rule without declarations gets the new one inside its own block.
        for (int k = Selectors.Count() - 1; k >= 0; --k) {
            TCSSSelector& r = Selectors.Get(k);
            if (!r.Selector.empty() && sameText(r.Media, media) && sameText(r.Selector, sel))
                return insertIntoRule(r, propertyName, media, value);
        }
        if (media != "all") return false;
        return appendRule(sel, propertyName, value);
    }

    // After the rule's last declaration, in its block: on a line of its own with the same
    // indentation when that declaration stands on its own line, else on the same line.
    TCSSProperty& d = Properties.Get(lastIdx);
    auto at = [&](int pos) { return CSSText[static_cast<std::size_t>(pos - 1)]; };
    int pos = d.StartPos - 1;
    while (pos >= 1 && at(pos) <= 32 && at(pos) != 10 && at(pos) != 13)
        --pos;
    std::u16string separator = CSSText.substr(static_cast<std::size_t>(pos),
                                              static_cast<std::size_t>(d.StartPos - 1 - pos));
    if (pos >= 1 && (at(pos) == 10 || at(pos) == 13))
        separator = (at(pos) == 10 && pos >= 2 && at(pos - 1) == 13 ? u"\r\n"
                     : at(pos) == 10                                ? u"\n"
                                                                    : u"\r") +
                    separator;
    const int p0 = declarationEnd(d);
    const bool addTerminator = d.Terminator.empty();
    if (addTerminator) separator = u";" + separator;
    const std::u16string name = utf8ToUtf16(propertyName);
    const std::u16string inserted = separator + name + u": " + value + u";";
    applySplices({{p0 + 1, 0, inserted}});
    if (addTerminator) {
        d.Terminator = ";";
        d.TermPos = p0 + 1;
    }
    const int start = p0 + static_cast<int>(separator.size()) + 1;
    const int valStart = start + static_cast<int>(name.size()) + 2;
    TCSSProperty& added =
        Properties.Insert(lastIdx + 1, media, d.Selector, propertyName, start, valStart,
                          valStart + static_cast<int>(value.size()) - 1, ";");
    added.ColonPos = start + static_cast<int>(name.size());
    added.TermPos = valStart + static_cast<int>(value.size());
    return true;
}

bool TCSSParser::DeleteCSSSelector(const std::string& selector, const std::string& media) {
    const std::string sel = SimplifySelector(selector);
    std::vector<Splice> splices;
    for (int k = 0; k < Selectors.Count(); ++k) {
        TCSSSelector& s = Selectors.Get(k);
        if (s.Selector.empty() || !sameText(s.Media, media) || !sameText(s.Selector, sel)) continue;
        if (s.StartPos >= 1 && s.EndPos >= s.StartPos &&
            s.EndPos <= static_cast<int>(CSSText.size()))
            splices.push_back({s.StartPos, s.EndPos - s.StartPos + 1, u""});
        s.Selector.clear();
        s.written_.clear();
    }
    const bool any = !splices.empty();
    applySplices(std::move(splices));
    for (int k = 0; k < Properties.Count(); ++k) {
        TCSSProperty& p = Properties.Get(k);
        if (!p.Selector.empty() && sameText(p.Media, media) && sameText(p.Selector, sel)) {
            p.Selector.clear();
            p.filledBy_ = 0;
        }
    }
    return any;
}

} // namespace ravelin::firefox
