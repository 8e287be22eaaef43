#include "firefox/CSSParser.h"

#include "host/Nxregistry.h"
#include "host/Stringhelper.h"
#include "host/registry/FileUtil.h"
#include "host/registry/Text.h"

#include <array>
#include <cstdio>

namespace ravelin::firefox {

namespace {

using text::utf16ToUtf8;
using text::utf8ToUtf16;

bool isBlank(char16_t c) {
    return c == 9 || c == 10 || c == 13 || c == 32;
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

// The trimmed text of a buffer, as UTF-8, without copying the buffer first.
std::string trimmedUtf8(const std::u16string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] <= 32)
        ++b;
    while (e > b && s[e - 1] <= 32)
        --e;
    return utf16ToUtf8(std::u16string_view(s).substr(b, e - b));
}

bool trimmedEmpty(const std::u16string& s) {
    for (char16_t c : s)
        if (c > 32) return false;
    return true;
}

// Character classes of ASCII: special characters are those the parser treats specially
// in some state or leaves out of its buffer; everything else is taken in runs.
enum : unsigned char { kPlain = 0, kSpecial = 1, kBlank = 2 };
constexpr auto kClasses = [] {
    std::array<unsigned char, 128> t{};
    for (char16_t c : {u'/', u'*', u'{', u'}', u';', u':', u'@', char16_t(13), char16_t(10)})
        t[c] = kSpecial;
    t[9] = kBlank;
    t[32] = kBlank;
    return t;
}();
inline unsigned char classOf(char16_t c) {
    return c < 128 ? kClasses[c] : static_cast<unsigned char>(kPlain);
}
inline bool isSpecial(char16_t c) {
    return classOf(c) == kSpecial;
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

std::string lowerAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

bool startsWithBom(const std::string& b, const char* bom, std::size_t n) {
    return b.size() >= n && b.compare(0, n, bom, n) == 0;
}

bool hasNonAscii(const std::string& b) {
    for (char c : b)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
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
    encoding_ = Encoding::Ansi;
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
    } else if (hasNonAscii(b) && text::isValidUtf8(b)) {
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
    return text::utf16ToCp1252(CSSText);
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
        registry::writeFileAtomically(fileName, SaveToBytes());
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
    Properties.Clear();
    Selectors.Clear();
    enum class State { Selector, AtRule, Name, Value };
    State state = State::Selector;
    std::string media = "all";
    bool inMedia = false;
    bool inComment = false;
    int commentStar = -1;  // the "*" of the opening "/*"
    int commentClose = -1; // the "/" of the last closing "*/"
    std::u16string buf;
    std::string curSelector, curName;
    int selStart = -1, propStart = -1, valStart = -1, endPos = -1, bracePos = -1, colonPos = -1;
    int endBefore = -1; // EndPos before it was last moved
    const int n = static_cast<int>(CSSText.size());

    auto accumulate = [&](char16_t c, int i) {
        if (c != 13 && c != 10) buf.push_back(c);
        if (!isBlank(c)) {
            if (selStart == -1) selStart = i;
            if (propStart == -1) propStart = i;
            if (valStart == -1) valStart = i;
            if (state == State::Value && c != u';' && c != u'}') {
                endBefore = endPos;
                endPos = i;
            }
        }
    };
    auto endRule = [&](int i) {
        Selectors.Add(media, curSelector, selStart, bracePos, i);
        selStart = -1;
        buf.clear();
        state = State::Selector;
    };

    const char16_t* text = CSSText.data();
    for (int i = 1; i <= n; ++i) {
        const char16_t c = text[i - 1];
        // Comments first, whatever the state.
        if (inComment) {
            // Straight to the next "/" that follows a "*" other than the opening one.
            while (i <= n &&
                   !(text[i - 1] == u'/' && i >= 2 && text[i - 2] == u'*' && i - 1 != commentStar))
                ++i;
            if (i <= n) {
                inComment = false;
                commentClose = i;
            }
            continue;
        }
        if (c == u'*' && i >= 2 && text[i - 2] == u'/' && i - 1 != commentClose) {
            if (!buf.empty() && buf.back() == u'/') buf.pop_back();
            if (trimmedEmpty(buf)) {
                if (state == State::Selector)
                    selStart = -1;
                else if (state == State::Name)
                    propStart = -1;
                else if (state == State::Value)
                    valStart = -1;
            }
            if (state == State::Value && endPos == i - 1) endPos = endBefore;
            inComment = true;
            commentStar = i;
            continue;
        }
        if (!isSpecial(c)) {
            // A run of ordinary characters is taken at once: it goes to the buffer, its
            // first non-blank sets the unset markers, its last one is the value's end.
            int j = i;
            int firstNonBlank = -1, lastNonBlank = -1;
            for (unsigned char cls; j <= n && (cls = classOf(text[j - 1])) != kSpecial; ++j) {
                if (cls == kPlain) {
                    if (firstNonBlank == -1) firstNonBlank = j;
                    lastNonBlank = j;
                }
            }
            buf.append(text + i - 1, static_cast<std::size_t>(j - i));
            if (firstNonBlank != -1) {
                if (selStart == -1) selStart = firstNonBlank;
                if (propStart == -1) propStart = firstNonBlank;
                if (valStart == -1) valStart = firstNonBlank;
                if (state == State::Value) {
                    endBefore = endPos;
                    endPos = lastNonBlank;
                }
            }
            i = j - 1;
            continue;
        }
        switch (state) {
        case State::Selector:
            if (c == u'{') {
                curSelector = SimplifySelector(trimmedUtf8(buf));
                bracePos = i;
                propStart = -1;
                buf.clear();
                state = State::Name;
            } else if (c == u'@' && trimmedEmpty(buf)) {
                buf = u"@";
                state = State::AtRule;
            } else if (c == u'}' && inMedia) {
                inMedia = false;
                media = "all";
                buf.clear();
            } else {
                accumulate(c, i);
            }
            break;
        case State::AtRule:
            if (c == u'{') {
                std::string header = trimmedUtf8(buf);
                if (lowerAscii(Param(header, 1)) == "@media")
                    media = Trim(GetRest(header, 2));
                else
                    media = header; // other at-rule blocks: their rules never match "all"
                inMedia = true;
                selStart = -1;
                buf.clear();
                state = State::Selector;
            } else if (c == u';') {
                selStart = -1;
                buf.clear();
                state = State::Selector;
            } else {
                accumulate(c, i);
            }
            break;
        case State::Name:
            if (c == u':') {
                curName = trimmedUtf8(buf);
                valStart = -1;
                colonPos = i;
                buf.clear();
                state = State::Value;
            } else if (c == u'}') {
                endRule(i);
            } else {
                accumulate(c, i);
            }
            break;
        case State::Value:
            if (c == u';' || c == u'}') {
                TCSSProperty& p = Properties.Add(media, curSelector, std::string(), propStart,
                                                 valStart, endPos, c == u';' ? ";" : "");
                p.PropertyName = OnDebug ? curName : std::move(curName);
                p.ColonPos = colonPos;
                p.TermPos = i;
                if (OnDebug) {
                    const std::string value = trimmedUtf8(buf);
                    char pos[96];
                    std::snprintf(pos, sizeof pos, "-- StartPos: %u, ValStartPos: %u, EndPos: %u",
                                  static_cast<unsigned>(propStart), static_cast<unsigned>(valStart),
                                  static_cast<unsigned>(endPos));
                    Debug("CurMedia: \"" + media + "\", CurSelector: \"" + curSelector +
                          "\", CurProperty: \"" + curName + "\", CurValue: \"" + value + "\"\r\n" +
                          pos + "\r\n-- Full Property: \"" + textBetween(propStart, endPos) +
                          "\"\r\n-- Value only...: \"" + textBetween(valStart, endPos) + "\"");
                }
                propStart = -1;
                buf.clear();
                state = State::Name;
                if (c == u'}') endRule(i);
            } else {
                accumulate(c, i);
            }
            break;
        }
    }
    return true;
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
    std::string out(s.size(), '\0');
    std::size_t n = 0;
    for (char c : s)
        if (c != ' ') out[n++] = c;
    out.resize(n);
    return out;
}

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

void TCSSParser::splice(int from, int count, const std::u16string& with) {
    CSSText.replace(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count), with);
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

void TCSSParser::tidyLine(int k) {
    const TCSSProperty& prev = Properties.Get(k - 1);
    const TCSSProperty& removed = Properties.Get(k);
    const TCSSProperty& next = Properties.Get(k + 1);
    const int len = static_cast<int>(CSSText.size());
    const int a = std::max(1, declarationEnd(prev) + 1);
    const int s = removed.StartPos;
    const int b = std::min(len, next.StartPos - 1);
    if (s < 1 || s > len + 1) return;
    auto at = [&](int pos) { return CSSText[static_cast<std::size_t>(pos - 1)]; };
    bool seen = false;
    int start = s;
    for (int pos = s - 1; pos >= a; --pos) {
        char16_t c = at(pos);
        if (c == 13 || c == 10) {
            seen = true;
            start = pos;
        } else if ((c == 9 || c == 32) && !seen) {
            continue;
        } else {
            break;
        }
    }
    if (!seen) return;
    seen = false;
    int end = s - 1;
    for (int pos = s; pos <= b; ++pos) {
        char16_t c = at(pos);
        if (c == 13 || c == 10) {
            seen = true;
            end = pos;
        } else if ((c == 9 || c == 32) && !seen) {
            continue;
        } else {
            break;
        }
    }
    if (!seen) return;
    std::u16string stretch = CSSText.substr(static_cast<std::size_t>(start - 1),
                                            static_cast<std::size_t>(end - start + 1));
    bool cr = stretch.find(u'\r') != std::u16string::npos,
         lf = stretch.find(u'\n') != std::u16string::npos;
    std::u16string br = cr && lf ? u"\r\n" : cr ? u"\r" : u"\n"; // keeps a sheet's own line breaks
    splice(start, end - start + 1, br);
    UpdatePositions(start + 1, static_cast<int>(br.size()) - static_cast<int>(stretch.size()));
}

bool TCSSParser::SetCSSProperty(const std::string& selector, const std::string& propertyName,
                                std::vector<std::string>& values, const std::string& media) {
    std::string built;
    for (const auto& v : values) {
        std::string t = Trim(v);
        if (!built.empty()) built.push_back(' ');
        built += t;
    }
    const std::u16string value = utf8ToUtf16(built);
    const int valueLen = static_cast<int>(value.size());
    const std::string sel = SimplifySelector(selector);

    int lastIdx = -1;
    bool result = false;
    const int count = Properties.Count();
    for (int k = 0; k < count; ++k) {
        TCSSProperty& p = Properties.Get(k);
        if (p.Selector.empty() || !sameText(p.Media, media) || !sameText(p.Selector, sel)) continue;
        lastIdx = k;
        if (!sameText(p.PropertyName, propertyName)) continue;
        result = true;
        if (!value.empty()) {
            if (p.ValStartPos == -1) {
                // "name: ;": the value goes after the colon, in place of the blanks there
                // (a comment there stays).
                const int gap = p.TermPos - p.ColonPos - 1;
                bool blank = true;
                for (int pos = p.ColonPos + 1; pos < p.TermPos; ++pos)
                    blank = blank && isBlank(CSSText[static_cast<std::size_t>(pos - 1)]);
                const int replaced = blank ? gap : 0;
                std::u16string insert = u" " + value;
                splice(p.ColonPos + 1, replaced, insert);
                UpdatePositions(p.ColonPos + 1, static_cast<int>(insert.size()) - replaced);
                p.ValStartPos = p.ColonPos + 2;
            } else {
                const int oldLen = p.EndPos - p.ValStartPos + 1;
                splice(p.ValStartPos, oldLen, value);
                UpdatePositions(p.ValStartPos + 1, valueLen - oldLen);
            }
            p.EndPos = p.ValStartPos + valueLen - 1;
        } else {
            const int end = declarationEnd(p);
            const int len = end - p.StartPos + 1;
            if (p.StartPos < 1 || len <= 0) continue;
            splice(p.StartPos, len, u"");
            UpdatePositions(p.StartPos + 1, -len);
            if (k > 0 && k < Properties.Count() - 1) tidyLine(k);
            p.Selector.clear();
        }
    }
    if (result || value.empty()) return result;

    const std::u16string name = utf8ToUtf16(propertyName);
    if (lastIdx == -1) {
        if (media != "all") return false;
        const std::u16string br = lineBreak();
        if (!Trim(CSSText).empty()) {
            CSSText += br;
            const std::u16string twice = br + br;
            if (CSSText.size() < twice.size() ||
                CSSText.compare(CSSText.size() - twice.size(), twice.size(), twice) != 0)
                CSSText += br;
        }
        CSSText += utf8ToUtf16(sel) + u" {" + br + u"  ";
        const int start = static_cast<int>(CSSText.size()) + 1;
        CSSText += name + u": ";
        const int valStart = static_cast<int>(CSSText.size()) + 1;
        CSSText += value + u";";
        TCSSProperty& p =
            Properties.Add(media, sel, propertyName, start, valStart, valStart + valueLen - 1, ";");
        p.ColonPos = start + static_cast<int>(name.size());
        p.TermPos = valStart + valueLen;
        CSSText += br + u"}" + br;
        return true;
    }

    TCSSProperty& d = Properties.Get(lastIdx);
    std::u16string separator;
    bool fromPrevious = false;
    if (lastIdx > 0) {
        const TCSSProperty& before = Properties.Get(lastIdx - 1);
        if (!before.Selector.empty() && sameText(before.Media, d.Media) &&
            sameText(before.Selector, d.Selector)) {
            fromPrevious = true;
            const int from = declarationEnd(before) + 1;
            separator = CSSText.substr(static_cast<std::size_t>(from - 1),
                                       static_cast<std::size_t>(std::max(0, d.StartPos - from)));
            std::size_t comment = separator.find(u"/*");
            if (comment != std::u16string::npos)
                separator = utf8ToUtf16(StripComments(utf16ToUtf8(separator.substr(comment))));
        }
    }
    if (!fromPrevious) {
        int pos = d.StartPos - 1;
        while (pos >= 1 && (CSSText[static_cast<std::size_t>(pos - 1)] == 9 ||
                            CSSText[static_cast<std::size_t>(pos - 1)] == 32))
            --pos;
        separator = CSSText.substr(static_cast<std::size_t>(pos),
                                   static_cast<std::size_t>(d.StartPos - 1 - pos));
        if (pos >= 1) {
            char16_t c = CSSText[static_cast<std::size_t>(pos - 1)];
            if (c == 10)
                separator = (pos >= 2 && CSSText[static_cast<std::size_t>(pos - 2)] == 13 ? u"\r\n"
                                                                                          : u"\n") +
                            separator;
            else if (c == 13)
                separator = u"\r" + separator;
        }
    }
    const int p0 = declarationEnd(d);
    const bool addTerminator = d.Terminator.empty();
    if (addTerminator) separator = u";" + separator;
    const std::u16string inserted = separator + name + u": " + value + u";";
    splice(p0 + 1, 0, inserted);
    UpdatePositions(p0 + 1, static_cast<int>(inserted.size()));
    if (addTerminator) {
        d.Terminator = ";";
        d.TermPos = p0 + 1;
    }
    const int start = p0 + static_cast<int>(separator.size()) + 1;
    const int valStart = start + static_cast<int>(name.size()) + 2;
    TCSSProperty& added = Properties.Insert(lastIdx + 1, media, sel, propertyName, start, valStart,
                                            valStart + valueLen - 1, ";");
    added.ColonPos = start + static_cast<int>(name.size());
    added.TermPos = valStart + valueLen;
    return true;
}

bool TCSSParser::DeleteCSSSelector(const std::string& selector, const std::string& media) {
    const std::string sel = SimplifySelector(selector);
    bool any = false;
    for (int k = 0; k < Selectors.Count(); ++k) {
        TCSSSelector& s = Selectors.Get(k);
        if (s.Selector.empty() || !sameText(s.Media, media) || !sameText(s.Selector, sel)) continue;
        if (s.StartPos >= 1 && s.EndPos >= s.StartPos &&
            s.EndPos <= static_cast<int>(CSSText.size())) {
            const int len = s.EndPos - s.StartPos + 1;
            splice(s.StartPos, len, u"");
            UpdatePositions(s.StartPos + 1, -len);
            any = true;
        }
        s.Selector.clear();
    }
    for (int k = 0; k < Properties.Count(); ++k) {
        TCSSProperty& p = Properties.Get(k);
        if (!p.Selector.empty() && sameText(p.Media, media) && sameText(p.Selector, sel))
            p.Selector.clear();
    }
    return any;
}

} // namespace ravelin::firefox
