#include "host/text/Translate.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace ravelin::text {

namespace {

// The shown language and its catalogue: set once at start, read by every tr().
struct Shown {
    std::string language = "de";
    std::optional<Catalogue> catalogue;
};

Shown& shown() {
    static Shown state;
    return state;
}

// A .mo file: a header of 32-bit words (magic, revision, count, the offsets of the tables of
// original and translated strings), each table `count` pairs of length and offset.
constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kMagicSwapped = 0xde120495;
constexpr std::size_t kHeaderSize = 20; // magic, revision, count, two table offsets

class MoReader {
  public:
    MoReader(std::string_view bytes, const std::string& name) : bytes_(bytes), name_(name) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw CatalogueError(name_ + ": " + what);
    }

    std::uint32_t word(std::uint64_t at) const {
        if (at + 4 > bytes_.size()) fail("cut short (a table ends past the end of the file)");
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const auto b = static_cast<std::uint8_t>(bytes_[static_cast<std::size_t>(at) + i]);
            v |= static_cast<std::uint32_t>(b) << (swapped_ ? 8 * (3 - i) : 8 * i);
        }
        return v;
    }

    // The string of table entry `index` at `table`: its length and offset must lie in the
    // file and the string ends in the NUL the format puts after it.
    std::string_view string(std::uint64_t table, std::uint32_t index, const char* which) const {
        const std::uint64_t at = table + 8ull * index;
        const std::uint64_t length = word(at);
        const std::uint64_t offset = word(at + 4);
        if (offset + length + 1 > bytes_.size())
            fail("the " + std::string(which) + " text of entry " + std::to_string(index) +
                 " lies outside the file");
        if (bytes_[static_cast<std::size_t>(offset + length)] != '\0')
            fail("the " + std::string(which) + " text of entry " + std::to_string(index) +
                 " is not terminated");
        return bytes_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    }

    std::map<std::string, std::string, std::less<>> read() {
        if (bytes_.size() < kHeaderSize) fail("too short to be a message catalogue");
        swapped_ = false;
        const std::uint32_t magic = word(0);
        if (magic == kMagicSwapped)
            swapped_ = true;
        else if (magic != kMagic)
            fail("not a message catalogue (wrong magic number)");
        const std::uint32_t revision = word(4);
        if ((revision >> 16) > 1)
            fail("unknown catalogue revision " + std::to_string(revision >> 16));
        const std::uint32_t count = word(8);
        const std::uint64_t originals = word(12);
        const std::uint64_t translations = word(16);
        for (std::uint64_t table : {originals, translations})
            if (table + 8ull * count > bytes_.size())
                fail("its tables of " + std::to_string(count) +
                     " entries run past the end of the file");
        std::map<std::string, std::string, std::less<>> entries;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::string_view german = string(originals, i, "German");
            std::string_view translated = string(translations, i, "translated");
            if (german.empty()) {
                checkCharset(translated);
                continue;
            }
            // Of a plural entry the singular forms stand for it; the interface has no
            // plurals of its own.
            german = german.substr(0, german.find('\0'));
            translated = translated.substr(0, translated.find('\0'));
            if (translated.empty()) continue;
            entries.emplace(std::string(german), std::string(translated));
        }
        return entries;
    }

  private:
    // The header entry names the encoding; texts are UTF-8 throughout.
    void checkCharset(std::string_view header) const {
        const std::size_t at = header.find("charset=");
        if (at == std::string_view::npos) return;
        std::string charset(header.substr(at + 8, header.find_first_of(" ;\n", at) - at - 8));
        for (auto& c : charset)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (charset != "UTF-8" && charset != "UTF8" && charset != "CHARSET" && !charset.empty())
            fail("the texts are in " + charset + ", not UTF-8");
    }

    std::string_view bytes_;
    const std::string& name_;
    bool swapped_ = false;
};

bool plainLanguageCode(std::string_view code) {
    if (code.empty() || code.size() > 8) return false;
    for (char c : code)
        if (c < 'a' || c > 'z') return false;
    return true;
}

} // namespace

Catalogue Catalogue::Parse(std::string_view bytes, const std::string& name) {
    Catalogue c;
    c.entries_ = MoReader(bytes, name).read();
    return c;
}

Catalogue Catalogue::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CatalogueError(path + ": cannot be read");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) throw CatalogueError(path + ": cannot be read");
    return Parse(bytes.str(), path);
}

const std::string* Catalogue::Find(std::string_view german) const {
    auto it = entries_.find(german);
    return it == entries_.end() ? nullptr : &it->second;
}

std::vector<std::string> Catalogue::Keys() const {
    std::vector<std::string> keys;
    keys.reserve(entries_.size());
    for (const auto& [german, translated] : entries_)
        keys.push_back(german);
    return keys;
}

const std::string& CurrentLanguage() {
    return shown().language;
}

std::string CatalogueFile(std::string_view language) {
    namespace fs = std::filesystem;
    // As the data folder is found (host/Nxsystem.cpp), the catalogues beside it: a data
    // folder share/deskforge/ has them in share/locale/.
    fs::path dir;
    std::error_code ec;
    fs::path besideData;
    if (const char* data = std::getenv("DESKFORGE_SHARE"); data && *data) {
        fs::path folder = fs::path(data).lexically_normal();
        if (!folder.has_filename()) folder = folder.parent_path(); // a trailing slash
        besideData = folder.parent_path() / "locale";
    }
    if (const char* env = std::getenv("DESKFORGE_LOCALE"); env && *env) {
        dir = env;
    } else if (!besideData.empty() && fs::is_directory(besideData, ec)) {
        dir = besideData;
    } else {
        const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        const fs::path share = exe.parent_path().parent_path() / "share";
        if (!ec && fs::is_directory(share / "deskforge", ec))
            dir = share / "locale";
        else
            dir = RAVELIN_LOCALE_DIR;
    }
    return (dir / std::string(language) / "LC_MESSAGES" / "deskforge.mo").string();
}

void SetLanguage(std::string_view requested) {
    // Only a plain code names a folder: anything else stays out of the file system.
    if (requested == "de" || !plainLanguageCode(requested)) {
        UseCatalogue("de", Catalogue());
        return;
    }
    const std::string file = CatalogueFile(requested);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        UseCatalogue("de", Catalogue());
        return;
    }
    UseCatalogue(requested, Catalogue::Load(file));
}

void UseCatalogue(std::string_view language, Catalogue catalogue) {
    Shown& s = shown();
    if (language == "de") {
        s.language = "de";
        s.catalogue.reset();
        return;
    }
    s.language = std::string(language);
    s.catalogue = std::move(catalogue);
}

const std::vector<std::string>& OfferedLanguages() {
    static const std::vector<std::string> kLanguages = {"de", "en"};
    return kLanguages;
}

std::string LanguageFromLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        const std::string_view v(value);
        // "C" and "POSIX" name no language; the first variable set decides all the same.
        if (v == "C" || v == "POSIX" || v.starts_with("C.")) return "de";
        std::string code;
        for (char c : v.substr(0, 2))
            if (c >= 'a' && c <= 'z') code += c;
        return code.size() == 2 ? code : "de";
    }
    return "de";
}

std::string tr(std::string_view german) {
    const Shown& s = shown();
    if (s.catalogue)
        if (const std::string* translated = s.catalogue->Find(german)) return *translated;
    return std::string(german);
}

std::string formatText(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            const char next = pattern[i + 1];
            if (next == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (next >= '1' && next <= '9') {
                const auto index = static_cast<std::size_t>(next - '1');
                if (index < values.size()) {
                    out += *(values.begin() + index);
                    ++i;
                    continue;
                }
            }
        }
        out += c;
    }
    return out;
}

} // namespace ravelin::text
