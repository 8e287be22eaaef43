#include "host/machine/PeResources.h"

#include "host/registry/Text.h"

#include <vector>

namespace ravelin::machine {

namespace {

constexpr unsigned kRtString = 6;
constexpr unsigned kGerman = 0x0407;

std::uint32_t u16(const std::string& b, std::size_t at) {
    return at + 2 <= b.size()
               ? static_cast<std::uint32_t>(static_cast<unsigned char>(b[at]) |
                                            static_cast<unsigned char>(b[at + 1]) << 8)
               : 0;
}
std::uint32_t u32(const std::string& b, std::size_t at) {
    return at + 4 <= b.size() ? u16(b, at) | u16(b, at + 2) << 16 : 0;
}

void put16(std::string& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

struct Section {
    std::uint32_t rva, size, raw, rawSize;
};

} // namespace

std::optional<std::string> readStringResource(const std::string& b, unsigned id) {
    return readStringResource(b, id, kGerman);
}

std::optional<std::string> readStringResource(const std::string& b, unsigned id,
                                              unsigned language) {
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return std::nullopt;
    std::uint32_t pe = u32(b, 0x3C);
    if (pe + 24 > b.size() || b.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return std::nullopt;
    unsigned sections = u16(b, pe + 6);
    unsigned optSize = u16(b, pe + 20);
    std::size_t opt = pe + 24;
    unsigned magic = u16(b, opt);
    std::size_t dirs = opt + (magic == 0x20B ? 112 : 96);
    if (dirs + 8 * 3 > b.size()) return std::nullopt;
    std::uint32_t rsrcRva = u32(b, dirs + 8 * 2);
    if (!rsrcRva) return std::nullopt;
    std::vector<Section> table;
    for (unsigned i = 0; i < sections; ++i) {
        std::size_t s = opt + optSize + 40 * i;
        if (s + 40 > b.size()) return std::nullopt;
        table.push_back({u32(b, s + 12), u32(b, s + 8), u32(b, s + 20), u32(b, s + 16)});
    }
    auto offsetOf = [&](std::uint32_t rva) -> std::optional<std::size_t> {
        for (const auto& s : table)
            if (rva >= s.rva && rva < s.rva + std::max(s.size, s.rawSize))
                return s.raw + (rva - s.rva);
        return std::nullopt;
    };
    auto base = offsetOf(rsrcRva);
    if (!base) return std::nullopt;
    // Finds the entry with `name` (or the first when name is 0) in a directory.
    auto find = [&](std::size_t dir, unsigned name) -> std::optional<std::uint32_t> {
        if (dir + 16 > b.size()) return std::nullopt;
        unsigned count = u16(b, dir + 12) + u16(b, dir + 14);
        for (unsigned i = 0; i < count && i < 4096; ++i) {
            std::size_t e = dir + 16 + 8 * i;
            if (e + 8 > b.size()) return std::nullopt;
            std::uint32_t n = u32(b, e);
            if (name == 0 || (!(n & 0x80000000u) && n == name)) return u32(b, e + 4);
        }
        return std::nullopt;
    };
    auto type = find(*base, kRtString);
    if (!type || !(*type & 0x80000000u)) return std::nullopt;
    auto block = find(*base + (*type & 0x7FFFFFFFu), id / 16 + 1);
    if (!block || !(*block & 0x80000000u)) return std::nullopt;
    const std::size_t languages = *base + (*block & 0x7FFFFFFFu);
    auto lang = find(languages, language);
    if (!lang) lang = find(languages, 0);
    if (!lang || (*lang & 0x80000000u)) return std::nullopt;
    std::size_t entry = *base + *lang;
    auto data = offsetOf(u32(b, entry));
    std::uint32_t size = u32(b, entry + 4);
    if (!data || *data + size > b.size()) return std::nullopt;
    std::size_t p = *data;
    for (unsigned i = 0; i < 16 && p + 2 <= *data + size; ++i) {
        unsigned len = u16(b, p);
        p += 2;
        if (p + 2 * len > *data + size) return std::nullopt;
        if (i == id % 16) {
            if (len == 0) return std::nullopt;
            return text::utf16ToUtf8(
                text::bytesToUtf16(reinterpret_cast<const std::uint8_t*>(b.data()) + p, 2 * len));
        }
        p += 2 * len;
    }
    return std::nullopt;
}

std::string makeStringResourceImage(const std::map<unsigned, std::string>& strings) {
    return makeStringResourceImage(StringTables{{kGerman, strings}});
}

std::string makeStringResourceImage(const StringTables& tables) {
    // The string blocks: 16 strings each, block number = id / 16 + 1; per block the
    // languages that have a string in it.
    std::map<unsigned, std::map<unsigned, std::string>> blocks; // block -> language -> data
    for (const auto& [language, strings] : tables) {
        for (const auto& [id, unused] : strings) {
            const unsigned block = id / 16 + 1;
            if (blocks[block].count(language)) continue;
            std::string data;
            for (unsigned i = 0; i < 16; ++i) {
                auto it = strings.find((block - 1) * 16 + i);
                std::u16string units =
                    it == strings.end() ? std::u16string() : text::utf8ToUtf16(it->second);
                data.push_back(static_cast<char>(units.size() & 0xFF));
                data.push_back(static_cast<char>(units.size() >> 8));
                for (char16_t c : units) {
                    data.push_back(static_cast<char>(c & 0xFF));
                    data.push_back(static_cast<char>(c >> 8));
                }
            }
            blocks[block][language] = std::move(data);
        }
    }
    // Resource section: root -> RT_STRING -> block -> language -> data entry -> data.
    // Directory entries are sorted by number, as the loader expects.
    const std::uint32_t codeRva = 0x1000;
    const std::uint32_t sectionRva = 0x2000;
    std::string rsrc(16 + 8, '\0');
    put16(rsrc, 14, 1);
    put32(rsrc, 16, kRtString);
    std::size_t typeDir = rsrc.size();
    put32(rsrc, 20, 0x80000000u | static_cast<std::uint32_t>(typeDir));
    rsrc.resize(typeDir + 16 + 8 * blocks.size());
    put16(rsrc, typeDir + 14, static_cast<std::uint32_t>(blocks.size()));
    std::size_t i = 0;
    std::vector<std::pair<std::size_t, const std::string*>> dataEntries;
    for (const auto& [block, languages] : blocks) {
        std::size_t nameDir = rsrc.size();
        put32(rsrc, typeDir + 16 + 8 * i, block);
        put32(rsrc, typeDir + 16 + 8 * i + 4, 0x80000000u | static_cast<std::uint32_t>(nameDir));
        rsrc.resize(nameDir + 16 + 8 * languages.size());
        put16(rsrc, nameDir + 14, static_cast<std::uint32_t>(languages.size()));
        std::size_t j = 0;
        for (const auto& [language, data] : languages) {
            put32(rsrc, nameDir + 16 + 8 * j, language);
            dataEntries.emplace_back(nameDir + 16 + 8 * j + 4, &data);
            ++j;
        }
        ++i;
    }
    for (auto& [slot, data] : dataEntries) {
        std::size_t entry = rsrc.size();
        put32(rsrc, slot, static_cast<std::uint32_t>(entry));
        rsrc.resize(entry + 16);
        std::size_t at = rsrc.size();
        rsrc += *data;
        while (rsrc.size() % 4)
            rsrc.push_back('\0');
        put32(rsrc, entry, sectionRva + static_cast<std::uint32_t>(at));
        put32(rsrc, entry + 4, static_cast<std::uint32_t>(data->size()));
    }
    const std::uint32_t rawSize =
        static_cast<std::uint32_t>((rsrc.size() + 0x1FF) & ~std::size_t{0x1FF});

    // The code: the entry point returns at once (exit code 0), so that Windows can start the
    // file without harm; what a saver draws is not ours to imitate.
    std::string code(0x200, '\0');
    code[0] = '\x33'; // xor eax, eax
    code[1] = '\xC0';
    code[2] = '\xC3'; // ret

    std::string image(0x200, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 0x3C, 0x40);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    std::size_t coff = 0x44;
    put16(image, coff, 0x014C);      // i386
    put16(image, coff + 2, 2);       // two sections
    put16(image, coff + 16, 0xE0);   // optional header size
    put16(image, coff + 18, 0x0103); // no relocations, executable, 32-bit
    std::size_t opt = coff + 20;
    put16(image, opt, 0x10B);
    put32(image, opt + 4, 0x200);       // code size
    put32(image, opt + 8, rawSize);     // initialised data
    put32(image, opt + 16, codeRva);    // entry point
    put32(image, opt + 20, codeRva);    // base of code
    put32(image, opt + 24, sectionRva); // base of data
    put32(image, opt + 28, 0x400000);   // image base
    put32(image, opt + 32, 0x1000);     // section alignment
    put32(image, opt + 36, 0x200);      // file alignment
    put16(image, opt + 40, 4);          // operating system 4.0
    put16(image, opt + 48, 4);          // subsystem 4.0
    put32(image, opt + 56,
          sectionRva + ((static_cast<std::uint32_t>(rsrc.size()) + 0xFFF) & ~0xFFFu));
    put32(image, opt + 60, 0x200); // headers
    put16(image, opt + 68, 2);     // Windows GUI
    put32(image, opt + 72, 0x100000);
    put32(image, opt + 76, 0x1000);
    put32(image, opt + 80, 0x100000);
    put32(image, opt + 84, 0x1000);
    put32(image, opt + 92, 16); // data directories
    put32(image, opt + 96 + 8 * 2, sectionRva);
    put32(image, opt + 96 + 8 * 2 + 4, static_cast<std::uint32_t>(rsrc.size()));
    std::size_t section = opt + 0xE0;
    image.replace(section, 5, ".text");
    put32(image, section + 8, 3);
    put32(image, section + 12, codeRva);
    put32(image, section + 16, 0x200);
    put32(image, section + 20, 0x200);
    put32(image, section + 36, 0x60000020u); // code, executable, readable
    section += 40;
    image.replace(section, 5, ".rsrc");
    put32(image, section + 8, static_cast<std::uint32_t>(rsrc.size()));
    put32(image, section + 12, sectionRva);
    put32(image, section + 16, rawSize);
    put32(image, section + 20, 0x400);
    put32(image, section + 36, 0x40000040u); // initialised data, readable
    rsrc.resize(rawSize, '\0');
    return image + code + rsrc;
}

bool isPeImage(const std::string& b) {
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return false;
    std::uint32_t pe = u32(b, 0x3C);
    return pe + 24 <= b.size() && b.compare(pe, 4, std::string("PE\0\0", 4)) == 0;
}

} // namespace ravelin::machine
