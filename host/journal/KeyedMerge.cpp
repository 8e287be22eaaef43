#include "host/journal/KeyedMerge.h"

#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <map>
#include <vector>

namespace ravelin::journal {

namespace {

enum class Dialect { None, Ini, Prefs, Css };

using text::lower;
using text::trimmed;

Dialect dialectOf(const std::string& path) {
    std::string name = lower(path.substr(path.find_last_of('/') + 1));
    if (name == "prefs.js" || name == "user.js") return Dialect::Prefs;
    if (name.ends_with(".ini")) return Dialect::Ini;
    if (name.ends_with(".css")) return Dialect::Css;
    return Dialect::None;
}

// A piece of the file: one line, or (style sheets) a whole rule; `key` is empty for
// pieces that carry no setting (comments, blank lines).
struct Piece {
    std::string key;
    std::string text;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        out.push_back(text.substr(start, end - start));
        start = end;
    }
    return out;
}

std::vector<Piece> iniPieces(const std::string& text) {
    std::vector<Piece> out;
    std::string section;
    for (auto& line : lines(text)) {
        std::string t = trimmed(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            section = lower(t);
            out.push_back({section, line});
        } else if (auto eq = t.find('=');
                   !t.empty() && t[0] != ';' && t[0] != '#' && eq != std::string::npos && eq > 0) {
            out.push_back({section + " " + lower(trimmed(t.substr(0, eq))), line});
        } else {
            out.push_back({{}, line});
        }
    }
    return out;
}

std::vector<Piece> prefsPieces(const std::string& text) {
    std::vector<Piece> out;
    for (auto& line : lines(text)) {
        std::string t = trimmed(line);
        std::string key;
        for (const char* call : {"user_pref(", "pref(", "lockPref(", "sticky_pref("})
            if (t.starts_with(call)) {
                auto q = t.find('"');
                auto e = q == std::string::npos ? q : t.find('"', q + 1);
                while (e != std::string::npos && t[e - 1] == '\\')
                    e = t.find('"', e + 1);
                if (e != std::string::npos) key = "pref " + t.substr(q + 1, e - q - 1);
                break;
            }
        out.push_back({key, line});
    }
    return out;
}

// Rules from their selector to their closing brace, with the lines they stand on; the
// key is the selector (and media) with the names of the properties the rule sets.
std::vector<Piece> cssPieces(const std::string& text) {
    std::vector<Piece> out;
    std::string pending, media;
    int depth = 0;
    bool inComment = false;
    std::string body;
    (void)media;
    for (auto& line : lines(text)) {
        pending += line;
        for (std::size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (inComment) {
                if (c == '*' && i + 1 < line.size() && line[i + 1] == '/') inComment = false, ++i;
                continue;
            }
            if (c == '/' && i + 1 < line.size() && line[i + 1] == '*') {
                inComment = true, ++i;
                continue;
            }
            if (c == '{') ++depth;
            if (depth > 0) body.push_back(c);
            if (c == '}' && depth > 0) --depth;
        }
        if (depth == 0 && !inComment) {
            std::string t = trimmed(pending);
            std::string key;
            if (auto brace = t.find('{'); brace != std::string::npos) {
                key = "rule " + lower(trimmed(t.substr(0, brace)));
                // The names of the properties set directly in it.
                std::string names;
                std::size_t at = 0;
                std::string inner = body;
                while ((at = inner.find(':', at)) != std::string::npos) {
                    std::size_t b = inner.find_last_of("{;", at);
                    names += " " + lower(trimmed(inner.substr(b + 1, at - b - 1)));
                    ++at;
                }
                key += " {" + names;
            } else if (t.starts_with("@")) {
                key = "at " + lower(t); // @namespace and the like
            }
            out.push_back({key, pending});
            pending.clear();
            body.clear();
        }
    }
    if (!pending.empty()) out.push_back({{}, pending});
    return out;
}

std::vector<Piece> pieces(Dialect d, const std::string& text) {
    switch (d) {
    case Dialect::Ini:
        return iniPieces(text);
    case Dialect::Prefs:
        return prefsPieces(text);
    case Dialect::Css:
        return cssPieces(text);
    default:
        return {};
    }
}

using KeyMap = std::map<std::string, std::string>;

KeyMap keyMap(const std::vector<Piece>& list) {
    KeyMap m;
    for (const auto& p : list)
        if (!p.key.empty()) m[p.key] = p.text; // a repeated key: the last one counts
    return m;
}

std::string trimmedOrNone(const KeyMap& m, const std::string& key) {
    auto it = m.find(key);
    return it == m.end() ? std::string("\x01") : trimmed(it->second);
}

std::string readable(const std::string& key) {
    if (key.starts_with("pref ")) return "user_pref \"" + key.substr(5) + "\"";
    if (key.starts_with("rule ")) return text::trf("Regel %1", key.substr(5));
    return key;
}

} // namespace

namespace {

KeyedMerge merge(Dialect d, const std::string& current, const std::string& from,
                 const std::string& to) {
    KeyedMerge out;
    out.keyed = true;
    const auto f = pieces(d, from), t = pieces(d, to);
    auto c = pieces(d, current);
    const KeyMap fm = keyMap(f), tm = keyMap(t), cm = keyMap(c);
    // The keys the change touched, in the order `to` has them, then those it removed.
    std::vector<std::string> changed;
    auto differs = [&](const std::string& k) {
        return trimmedOrNone(fm, k) != trimmedOrNone(tm, k);
    };
    for (const auto& p : t)
        if (!p.key.empty() && differs(p.key) &&
            std::find(changed.begin(), changed.end(), p.key) == changed.end())
            changed.push_back(p.key);
    for (const auto& p : f)
        if (!p.key.empty() && !tm.count(p.key) &&
            std::find(changed.begin(), changed.end(), p.key) == changed.end())
            changed.push_back(p.key);
    for (const auto& k : changed)
        if (trimmedOrNone(cm, k) != trimmedOrNone(fm, k)) {
            out.conflict = readable(k);
            break;
        }
    for (const auto& k : changed) {
        auto at = std::find_if(c.begin(), c.end(), [&](const Piece& p) { return p.key == k; });
        auto inTo = tm.find(k);
        if (inTo == tm.end()) {
            if (at != c.end()) c.erase(at);
            continue;
        }
        std::string text = inTo->second;
        if (at != c.end()) {
            // Keep the line ending the current file uses there.
            at->text = text;
            continue;
        }
        // After the nearest key before it in `to` that the file has, else before the
        // nearest one after it, else at the end.
        auto pos = std::find_if(t.begin(), t.end(), [&](const Piece& p) { return p.key == k; });
        auto insertAt = c.end();
        bool found = false;
        for (auto back = pos; back != t.begin() && !found;) {
            --back;
            if (back->key.empty()) continue;
            for (auto it = c.begin(); it != c.end(); ++it)
                if (it->key == back->key) {
                    insertAt = it + 1;
                    found = true;
                }
        }
        for (auto next = pos + 1; !found && next != t.end(); ++next) {
            if (next->key.empty()) continue;
            for (auto it = c.begin(); it != c.end() && !found; ++it)
                if (it->key == next->key) {
                    insertAt = it;
                    found = true;
                }
        }
        // The line before it must end its line.
        if (insertAt != c.begin()) {
            auto prev = insertAt - 1;
            if (!prev->text.empty() && prev->text.back() != '\n')
                prev->text += text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        }
        c.insert(insertAt, {k, text});
    }
    std::string result;
    for (const auto& p : c)
        result += p.text;
    out.result = result;
    return out;
}

} // namespace

KeyedMerge mergeKeyed(const std::string& path, const std::optional<std::string>& current,
                      const std::optional<std::string>& from,
                      const std::optional<std::string>& to) {
    const Dialect d = dialectOf(path);
    if (d == Dialect::None) return {};
    // A missing file holds no keys: a change that made the file is undone by its keys too,
    // and the file goes only when nothing else is left in it.
    const std::string f = from.value_or(""), t = to.value_or(""), c = current.value_or("");
    // The keyed form must explain the whole change (a broken rule, a comment edited, a
    // line outside any key): carried over to `from` itself it gives `to`, else the file
    // goes whole.
    if (merge(d, f, f, t).result != t) return {};
    KeyedMerge out = merge(d, c, f, t);
    if (!to && out.result && out.result->find_first_not_of(" \t\r\n") == std::string::npos)
        out.result.reset();
    return out;
}

} // namespace ravelin::journal
