#include "host/Prefsjseditor.h"

#include "host/Nxfilechanges.h"
#include "host/Nxmozillahelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Smallmozillastuff.h"
#include "host/registry/FileUtil.h"
#include "host/registry/Types.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace ravelin {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool isIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool isIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The tokenizer of one file: the grammar Firefox accepts for its preference files.
class Parser {
  public:
    Parser(const std::string& text, const std::string& fileName) : t_(text), file_(fileName) {}

    std::vector<PrefsJSFile::Statement> run() {
        std::vector<PrefsJSFile::Statement> out;
        if (t_.compare(0, 3, "\xEF\xBB\xBF") == 0) p_ = 3;
        while (true) {
            skipBlanks();
            if (p_ >= t_.size()) break;
            if (!isIdentStart(t_[p_])) {
                skipLine(); // not ours: kept as it is
                continue;
            }
            const std::size_t start = p_;
            std::string ident = identifier();
            std::size_t after = p_;
            skipBlanks();
            static const char* const kFunctions[] = {"user_pref", "pref", "sticky_pref",
                                                     "lockPref"};
            const bool known = std::find(std::begin(kFunctions), std::end(kFunctions), ident) !=
                               std::end(kFunctions);
            if (!known || p_ >= t_.size() || t_[p_] != '(') {
                p_ = after;
                skipLine();
                continue;
            }
            out.push_back(statement(std::move(ident), start));
        }
        return out;
    }

  private:
    [[noreturn]] void fail(std::size_t at, const std::string& why) const {
        unsigned line =
            1 + static_cast<unsigned>(std::count(
                    t_.begin(), t_.begin() + static_cast<long>(std::min(at, t_.size())), '\n'));
        throw RegistryFormatError(file_, line, why);
    }

    void skipLine() {
        const void* nl = std::memchr(t_.data() + p_, '\n', t_.size() - p_);
        p_ = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - t_.data()) : t_.size();
    }

    // The line of `pos`, counted on from the last statement's: one pass over the file.
    unsigned lineAt(std::size_t pos) {
        if (pos < linePos_) {
            linePos_ = 0;
            line_ = 1;
        }
        const char* p = t_.data() + linePos_;
        const char* end = t_.data() + pos;
        while ((p = static_cast<const char*>(
                    std::memchr(p, '\n', static_cast<std::size_t>(end - p))))) {
            ++line_;
            ++p;
        }
        linePos_ = pos;
        return line_;
    }

    // Blanks and comments ("//" and "#" to the end of the line, "/* ... */").
    void skipBlanks() {
        while (p_ < t_.size()) {
            if (isBlank(t_[p_])) {
                ++p_;
            } else if (t_.compare(p_, 2, "//") == 0 || t_[p_] == '#') {
                skipLine();
            } else if (t_.compare(p_, 2, "/*") == 0) {
                std::size_t end = t_.find("*/", p_ + 2);
                if (end == std::string::npos)
                    fail(p_, text::tr("Ein Kommentar ist nicht geschlossen."));
                p_ = end + 2;
            } else {
                break;
            }
        }
    }

    std::string identifier() {
        std::size_t s = p_;
        while (p_ < t_.size() && isIdentChar(t_[p_]))
            ++p_;
        return t_.substr(s, p_ - s);
    }

    void expect(char c, const std::string& missing) {
        const std::size_t before = p_; // a missing ";" belongs to the line it is missing from
        skipBlanks();
        if (p_ >= t_.size() || t_[p_] != c) fail(before, missing);
        ++p_;
    }

    std::string quoted() {
        const char quote = t_[p_];
        const std::size_t open = p_++;
        std::string out;
        while (true) {
            if (p_ >= t_.size() || t_[p_] == '\n')
                fail(open, text::tr("Eine Zeichenkette ist nicht geschlossen."));
            char c = t_[p_++];
            if (c == quote) break;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (p_ >= t_.size()) fail(open, text::tr("Eine Zeichenkette ist nicht geschlossen."));
            char e = t_[p_++];
            switch (e) {
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'x':
            case 'u': {
                const std::size_t digits = e == 'x' ? 2 : 4;
                if (p_ + digits > t_.size())
                    fail(p_, text::tr("Ungültige Escape-Sequenz in einer Zeichenkette."));
                std::uint32_t cp = 0;
                for (std::size_t i = 0; i < digits; ++i) {
                    char h = t_[p_ + i];
                    if (!std::isxdigit(static_cast<unsigned char>(h)))
                        fail(p_, text::tr("Ungültige Escape-Sequenz in einer Zeichenkette."));
                    cp = cp * 16 +
                         static_cast<std::uint32_t>(
                             std::isdigit(static_cast<unsigned char>(h))
                                 ? h - '0'
                                 : (std::tolower(static_cast<unsigned char>(h)) - 'a' + 10));
                }
                p_ += digits;
                // A surrogate pair written as two escapes.
                if (cp >= 0xD800 && cp < 0xDC00 && t_.compare(p_, 2, "\\u") == 0 &&
                    p_ + 6 <= t_.size()) {
                    std::uint32_t low =
                        static_cast<std::uint32_t>(std::stoul(t_.substr(p_ + 2, 4), nullptr, 16));
                    if (low >= 0xDC00 && low < 0xE000) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        p_ += 6;
                    }
                }
                text::appendUtf8(out, cp);
                break;
            }
            default:
                out.push_back(e);
                break; // \\, \", \' and the rest stand for themselves
            }
        }
        return out;
    }

    PrefsJSFile::Statement statement(std::string function, std::size_t start) {
        PrefsJSFile::Statement s;
        s.function = std::move(function);
        s.start = start;
        s.line = lineAt(start);
        expect('(', text::tr("Erwartet wird \"(\"."));
        skipBlanks();
        if (p_ >= t_.size() || (t_[p_] != '"' && t_[p_] != '\''))
            fail(p_, text::tr("Erwartet wird der Name der Einstellung in Anführungszeichen."));
        s.name = quoted();
        expect(',', text::tr("Erwartet wird \",\" nach dem Namen."));
        skipBlanks();
        s.valueStart = p_;
        if (p_ < t_.size() && (t_[p_] == '"' || t_[p_] == '\'')) {
            s.value = PrefValue::String(quoted());
        } else if (p_ < t_.size() && isIdentStart(t_[p_])) {
            std::string word = identifier();
            if (word != "true" && word != "false")
                fail(s.valueStart,
                     text::tr("Erwartet wird ein Wert: true, false, eine Zahl oder eine "
                              "Zeichenkette."));
            s.value = PrefValue::Bool(word == "true");
        } else {
            std::size_t q = p_;
            bool negative = false;
            if (q < t_.size() && (t_[q] == '-' || t_[q] == '+')) negative = t_[q++] == '-';
            std::size_t digits = q;
            std::int64_t n = 0;
            while (q < t_.size() && std::isdigit(static_cast<unsigned char>(t_[q]))) {
                n = n * 10 + (t_[q++] - '0');
                if (n > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
                    fail(s.valueStart,
                         text::tr("Die Zahl liegt außerhalb des zulässigen Bereichs."));
            }
            if (q == digits)
                fail(s.valueStart,
                     text::tr("Erwartet wird ein Wert: true, false, eine Zahl oder eine "
                              "Zeichenkette."));
            if (negative) n = -n;
            if (n > std::numeric_limits<std::int32_t>::max())
                fail(s.valueStart, text::tr("Die Zahl liegt außerhalb des zulässigen Bereichs."));
            p_ = q;
            s.value = PrefValue::Int(n);
        }
        s.valueEnd = p_;
        skipBlanks();
        // Attributes of newer versions: pref("name", value, sticky, locked).
        while (p_ < t_.size() && t_[p_] == ',') {
            ++p_;
            skipBlanks();
            if (p_ >= t_.size() || !isIdentStart(t_[p_]))
                fail(p_, text::tr("Erwartet wird \")\"."));
            std::string attr = identifier();
            if (attr != "sticky" && attr != "locked")
                fail(p_, text::trf("Unbekanntes Attribut %1", attr));
            skipBlanks();
        }
        expect(')', text::tr("Erwartet wird \")\"."));
        expect(';', text::tr("Erwartet wird \";\"."));
        s.end = p_;
        return s;
    }

    const std::string& t_;
    const std::string& file_;
    std::size_t p_ = 0;
    std::size_t linePos_ = 0;
    unsigned line_ = 1;
};

bool setsValue(const PrefsJSFile::Statement& s) {
    return s.function != "lockPref";
}

std::string lineBreakOf(const std::string& text) {
    auto lf = text.find('\n');
    return lf != std::string::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
}

std::optional<std::string> readIfExists(const std::string& path) {
    if (const auto* planned = DryRunFileContent(path)) return *planned; // a dry run's own
    if (::access(path.c_str(), F_OK) != 0) return std::nullopt;
    return registry::readWholeFile(path);
}

} // namespace

// ---- values ----

std::string PrefValue::render() const {
    switch (kind) {
    case Kind::Bool:
        return boolean ? "true" : "false";
    case Kind::Int:
        return std::to_string(integer);
    case Kind::String: {
        std::string out = "\"";
        for (char c : text) {
            if (c == '\\' || c == '"')
                out += std::string("\\") + c;
            else if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else
                out.push_back(c);
        }
        return out + "\"";
    }
    }
    return {};
}

// ---- one file ----

PrefsJSFile PrefsJSFile::parse(const std::string& text, const std::string& fileName) {
    PrefsJSFile f;
    f.text_ = text;
    f.fileName_ = fileName;
    f.statements_ = Parser(f.text_, f.fileName_).run();
    return f;
}

void PrefsJSFile::reparse() {
    statements_ = Parser(text_, fileName_).run();
}

const PrefsJSFile::Statement* PrefsJSFile::find(const std::string& name) const {
    const Statement* found = nullptr;
    for (const auto& s : statements_)
        if (s.name == name && setsValue(s)) found = &s;
    return found;
}

void PrefsJSFile::splice(std::size_t at, std::size_t length, const std::string& with) {
    const auto lineBreaks = [](const char* p, std::size_t n) {
        return static_cast<long>(std::count(p, p + n, '\n'));
    };
    const long lines = lineBreaks(with.data(), with.size()) - lineBreaks(text_.data() + at, length);
    text_.replace(at, length, with);
    const std::size_t after = at + length;
    const auto delta =
        static_cast<std::ptrdiff_t>(with.size()) - static_cast<std::ptrdiff_t>(length);
    // Beginnings at the splice's end move; an end that touches an insertion does not.
    auto begins = [&](std::size_t& x) {
        if (x >= after) x = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(x) + delta);
    };
    auto ends = [&](std::size_t& x) {
        if (x >= after && (length > 0 || x > at))
            x = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(x) + delta);
    };
    auto first = std::lower_bound(statements_.begin(), statements_.end(), at,
                                  [](const Statement& s, std::size_t pos) { return s.end < pos; });
    for (auto it = first; it != statements_.end(); ++it) {
        if (it->start >= after)
            it->line = static_cast<unsigned>(static_cast<long>(it->line) + lines);
        begins(it->start);
        begins(it->valueStart);
        ends(it->valueEnd);
        ends(it->end);
    }
}

bool PrefsJSFile::set(const std::string& name, const PrefValue& value, bool insert) {
    bool any = false, changed = false;
    const std::string rendered = value.render();
    // Back to front: each change is one splice of the text.
    for (std::size_t i = statements_.size(); i-- > 0;) {
        Statement& s = statements_[i];
        if (s.name != name || !setsValue(s)) continue;
        any = true;
        if (text_.compare(s.valueStart, s.valueEnd - s.valueStart, rendered) == 0) continue;
        splice(s.valueStart, s.valueEnd - s.valueStart, rendered);
        statements_[i].value = value;
        changed = true;
    }
    if (any || !insert) return changed;

    const std::string eol = lineBreakOf(text_);
    const std::string head = "user_pref(" + PrefValue::String(name).render() + ", ";
    const std::string line = head + rendered + ");" + eol;
    std::vector<const Statement*> prefs;
    for (const auto& st : statements_)
        if (st.function == "user_pref") prefs.push_back(&st);
    const bool sorted = std::is_sorted(prefs.begin(), prefs.end(),
                                       [](auto* a, auto* b) { return a->name < b->name; });
    std::size_t at = text_.size();
    auto lineStart = [&](std::size_t pos) {
        std::size_t nl = pos == 0 ? std::string::npos : text_.rfind('\n', pos - 1);
        return nl == std::string::npos ? 0 : nl + 1;
    };
    auto next = prefs.end();
    if (sorted)
        next = std::upper_bound(prefs.begin(), prefs.end(), name,
                                [](const std::string& n, auto* st) { return n < st->name; });
    if (next != prefs.end()) {
        at = lineStart((*next)->start);
    } else if (!prefs.empty()) {
        std::size_t nl = text_.find('\n', prefs.back()->end);
        at = nl == std::string::npos ? text_.size() : nl + 1;
    }
    std::string ins = line;
    if (at == text_.size() && !text_.empty() && text_.back() != '\n') ins = eol + line;
    splice(at, 0, ins);

    Statement st;
    st.function = "user_pref";
    st.name = name;
    st.value = value;
    st.start = at + ins.size() - line.size();
    st.valueStart = st.start + head.size();
    st.valueEnd = st.valueStart + rendered.size();
    st.end = st.valueEnd + 2;
    auto pos = std::lower_bound(statements_.begin(), statements_.end(), st.start,
                                [](const Statement& s, std::size_t p) { return s.start < p; });
    // Its line: counted from the statement before it, else from the top.
    const std::size_t from = pos == statements_.begin() ? 0 : std::prev(pos)->start;
    st.line = (pos == statements_.begin() ? 1u : std::prev(pos)->line) +
              static_cast<unsigned>(std::count(text_.begin() + static_cast<long>(from),
                                               text_.begin() + static_cast<long>(st.start), '\n'));
    statements_.insert(pos, std::move(st));
    return true;
}

bool PrefsJSFile::remove(const std::string& name, bool commentOut) {
    bool changed = false, reread = false;
    for (std::size_t i = statements_.size(); i-- > 0;) {
        const Statement& s = statements_[i];
        if (s.name != name || !setsValue(s)) continue;
        std::size_t ls = s.start;
        while (ls > 0 && (text_[ls - 1] == ' ' || text_[ls - 1] == '\t'))
            --ls;
        const bool beginsLine = ls == 0 || text_[ls - 1] == '\n';
        const std::size_t start = s.start, end = s.end;
        if (commentOut && beginsLine) {
            // A statement over several lines is commented out on its first only: what is
            // left of it is read anew.
            if (std::memchr(text_.data() + start, '\n', end - start)) reread = true;
            statements_.erase(statements_.begin() + static_cast<long>(i));
            splice(start, 0, "// ");
        } else {
            std::size_t le = end;
            while (le < text_.size() &&
                   (text_[le] == ' ' || text_[le] == '\t' || text_[le] == '\r'))
                ++le;
            statements_.erase(statements_.begin() + static_cast<long>(i));
            if (beginsLine && (le == text_.size() || text_[le] == '\n'))
                splice(ls, std::min(le + 1, text_.size()) - ls, "");
            else
                splice(start, end - start, "");
        }
        changed = true;
    }
    if (reread) reparse();
    return changed;
}

// ---- the editor ----

std::vector<std::string> FirefoxInstallDirs() {
    std::vector<std::string> dirs;
    for (const auto& i : FirefoxInstallations())
        dirs.push_back(i.dir);
    // Where Linux systems keep the policies of every Firefox they install.
    if (!ExternalFirefoxRoot().empty() && FirefoxInstallDirChoice().empty())
        dirs.insert(dirs.begin(), "/etc/firefox");
    return dirs;
}

std::string PrefsJSHeader(int major) {
    if (major && major < 60)
        return "# Mozilla User Preferences\n\n/* Do not edit this file.\n *\n * If you make "
               "changes "
               "to this file while the application is running,\n * the changes will be "
               "overwritten when the application exits.\n *\n * To make a manual change to "
               "preferences, you can visit the URL about:config\n */\n\n";
    return "// Mozilla User Preferences\n\n// DO NOT EDIT THIS FILE.\n//\n// If you make changes "
           "to this file while the application is running,\n// the changes will be overwritten "
           "when the application exits.\n//\n// To change a preference value, you can either:\n"
           "// - modify it via the UI (e.g. via about:config in the browser); or\n// - set it "
           "within a user.js file in your profile.\n\n";
}

void TPrefsJSEditor::Load(const std::string& fileName) {
    prefs_.reset();
    userJs_.reset();
    loadError_.clear();
    locked_.clear();
    prefsChanged_ = userJsChanged_ = false;
    prefsPath_ = fileName;
    if (prefsPath_.empty()) {
        TSmallStringList profiles;
        GetFireFoxProfilePaths(profiles);
        if (profiles.empty()) {
            profileDir_.clear();
            loadError_ = text::tr("Es gibt kein Firefox-Profil.");
            return;
        }
        prefsPath_ = profiles.front() + "prefs.js";
    }
    profileDir_ = std::filesystem::path(prefsPath_).parent_path().string() + "/";
    userJsPath_ = profileDir_ + "user.js";
    if (fileName.empty() && !std::filesystem::is_directory(profileDir_)) {
        // Another profile is never edited in its place without the user knowing.
        loadError_ = text::trf("Der Profilordner %1, mit dem Firefox startet (%2profiles.ini), "
                               "existiert nicht; wählen Sie ein Profil mit --firefox-profile oder "
                               "im Fenster.",
                               profileDir_, FirefoxRoot());
        return;
    }
    try {
        auto text = readIfExists(prefsPath_);
        prefsExisted_ = text.has_value();
        prefs_ =
            PrefsJSFile::parse(text ? *text : PrefsJSHeader(GetFirefoxVersion().Major), prefsPath_);
        if (auto user = readIfExists(userJsPath_)) userJs_ = PrefsJSFile::parse(*user, userJsPath_);
    } catch (const std::exception& e) {
        prefs_.reset();
        userJs_.reset();
        loadError_ = e.what();
        return;
    }
    loadLocks();
}

void TPrefsJSEditor::loadLocks() {
    for (const std::string& dir : FirefoxInstallDirs()) {
        for (const std::string& file :
             {dir + "/distribution/policies.json", dir + "/policies/policies.json"}) {
            std::optional<std::string> text;
            try {
                text = readIfExists(file);
            } catch (const RegistryAccessError&) {
            }
            if (!text) continue;
            auto json = nlohmann::json::parse(*text, nullptr, false);
            if (json.is_discarded() || !json.is_object()) continue;
            auto policies = json.find("policies");
            if (policies == json.end() || !policies->is_object()) continue;
            auto preferences = policies->find("Preferences");
            if (preferences == policies->end() || !preferences->is_object()) continue;
            for (auto& [name, entry] : preferences->items()) {
                // The first form of the policy locked every preference it named.
                bool isLocked = !entry.is_object();
                if (entry.is_object()) {
                    auto status = entry.find("Status");
                    isLocked = status != entry.end() && status->is_string() &&
                               status->get<std::string>() == "locked";
                }
                if (isLocked && !locked_.count(name))
                    locked_[name] = text::trf("Von der Installation gesperrt (%1)", file);
            }
        }
        // Autoconfig: defaults/pref/*.js names the file whose lockPref calls lock.
        std::error_code ec;
        std::string cfgName;
        std::int64_t obscure = 13;
        for (const auto& entry : std::filesystem::directory_iterator(dir + "/defaults/pref", ec)) {
            if (entry.path().extension() != ".js") continue;
            try {
                auto f = PrefsJSFile::parse(registry::readWholeFile(entry.path().string()),
                                            entry.path().string());
                if (auto* s = f.find("general.config.filename");
                    s && s->value.kind == PrefValue::Kind::String)
                    cfgName = s->value.text;
                if (auto* s = f.find("general.config.obscure_value");
                    s && s->value.kind == PrefValue::Kind::Int)
                    obscure = s->value.integer;
            } catch (const std::exception&) {
            }
        }
        if (cfgName.empty() || cfgName.find('/') != std::string::npos) continue;
        std::string cfg;
        try {
            cfg = registry::readWholeFile(dir + "/" + cfgName);
        } catch (const RegistryAccessError&) {
            continue;
        }
        for (char& c : cfg)
            c = static_cast<char>(static_cast<unsigned char>(c) -
                                  static_cast<unsigned char>(obscure));
        for (std::size_t p = cfg.find("lockPref"); p != std::string::npos;
             p = cfg.find("lockPref", p + 8)) {
            std::size_t q = p + 8;
            while (q < cfg.size() && isBlank(cfg[q]))
                ++q;
            if (q >= cfg.size() || cfg[q] != '(') continue;
            ++q;
            while (q < cfg.size() && isBlank(cfg[q]))
                ++q;
            if (q >= cfg.size() || (cfg[q] != '"' && cfg[q] != '\'')) continue;
            std::size_t close = cfg.find(cfg[q], q + 1);
            if (close == std::string::npos) continue;
            std::string name = cfg.substr(q + 1, close - q - 1);
            if (!locked_.count(name))
                locked_[name] =
                    text::trf("Von der Installation gesperrt (lockPref in %1)", cfgName);
        }
    }
}

const PrefsJSFile::Statement* TPrefsJSEditor::effective(const std::string& name) const {
    if (userJs_)
        if (const auto* s = userJs_->find(name)) return s;
    return prefs_ ? prefs_->find(name) : nullptr;
}

bool TPrefsJSEditor::HasUserPref(const std::string& name) const {
    return effective(name) != nullptr;
}

bool TPrefsJSEditor::SetByUserJS(const std::string& name) const {
    return userJs_ && userJs_->find(name);
}

std::string TPrefsJSEditor::LockedReason(const std::string& name) const {
    auto it = locked_.find(name);
    return it == locked_.end() ? std::string() : it->second;
}

// A value of another type than asked for counts as absent, as Firefox ignores it.
bool TPrefsJSEditor::GetUserPrefBooleanValue(const std::string& name, bool def) const {
    const auto* s = effective(name);
    return s && s->value.kind == PrefValue::Kind::Bool ? s->value.boolean : def;
}

std::int64_t TPrefsJSEditor::GetUserPrefIntegerValue(const std::string& name,
                                                     std::int64_t def) const {
    const auto* s = effective(name);
    return s && s->value.kind == PrefValue::Kind::Int ? s->value.integer : def;
}

std::string TPrefsJSEditor::GetUserPrefStringValue(const std::string& name,
                                                   const std::string& def) const {
    const auto* s = effective(name);
    return s && s->value.kind == PrefValue::Kind::String ? s->value.text : def;
}

void TPrefsJSEditor::set(const std::string& name, const PrefValue& value, bool create) {
    if (!prefs_) return;
    if (userJs_ && userJs_->set(name, value, false)) userJsChanged_ = true;
    if (prefs_->set(name, value, create || SetByUserJS(name))) prefsChanged_ = true;
}

void TPrefsJSEditor::SetUserPrefBooleanValue(const std::string& name, bool value, bool create) {
    set(name, PrefValue::Bool(value), create);
}

void TPrefsJSEditor::SetUserPrefIntegerValue(const std::string& name, std::int64_t value,
                                             bool create) {
    set(name, PrefValue::Int(value), create);
}

void TPrefsJSEditor::SetUserPrefStringValue(const std::string& name, const std::string& value,
                                            bool create) {
    set(name, PrefValue::String(value), create);
}

void TPrefsJSEditor::DeleteUserPrefSetting(const std::string& name) {
    if (!prefs_) return;
    // user.js would set it again at the next start: its statement is commented out.
    if (userJs_ && userJs_->remove(name, true)) userJsChanged_ = true;
    if (prefs_->remove(name, false)) prefsChanged_ = true;
}

std::string TPrefsJSEditor::WriteRefusal() const {
    if (!loadError_.empty()) return loadError_;
    if (!prefs_) return text::tr("Die Einstellungen sind nicht geladen.");
    return FirefoxWriteRefusal(prefsPath_);
}

void TPrefsJSEditor::Save() {
    if (!prefs_)
        throw RegistryAccessError(text::trf("%1 Es wurde nichts geändert.", WriteRefusal()));
    if (!prefsChanged_ && !userJsChanged_) return;
    try {
        if (std::string refusal = WriteRefusal(); !refusal.empty())
            throw RegistryAccessError(text::trf("%1 Es wurde nichts geändert.", refusal));
        if (userJsChanged_) {
            TJournalStream s;
            s.Data() = userJs_->text();
            s.SaveToFile(userJsPath_);
            userJsChanged_ = false;
        }
        if (prefsChanged_) {
            TJournalStream s;
            s.Data() = prefs_->text();
            s.SaveToFile(prefsPath_);
            prefsChanged_ = false;
            prefsExisted_ = true;
        }
    } catch (const RegistryAccessError&) {
        // Back to what the files hold, so that no later save carries this change along.
        std::string keepError = loadError_;
        Load(prefsPath_);
        if (loadError_.empty()) loadError_ = keepError;
        throw;
    }
}

} // namespace ravelin
