#include "host/machine/PeResources.h"

#include "host/text/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ravelin::machine {

namespace {

constexpr unsigned kRtString = 6;
constexpr unsigned kGerman = 0x0407;

void put16(std::string& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// Bytes read by position: what the reader asks for is checked against the size before it
// is read, so no field of the file can make it read outside or more than it needs.
struct ByteSource {
    std::uint64_t size = 0;
    std::function<bool(std::uint64_t at, std::size_t count, char* into)> read;

    bool get(std::uint64_t at, std::size_t count, std::string& out) const {
        if (at > size || count > size - at) return false;
        out.resize(count);
        return count == 0 || read(at, count, out.data());
    }
};

ByteSource memorySource(const std::string& bytes) {
    return {bytes.size(), [&bytes](std::uint64_t at, std::size_t count, char* into) {
                std::memcpy(into, bytes.data() + at, count);
                return true;
            }};
}

// A regular file, read in small pieces where the headers point; never the whole file.
std::optional<ByteSource> fileSource(const std::string& path) {
    const int raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (raw < 0) return std::nullopt;
    auto fd = std::shared_ptr<int>(new int(raw), [](int* f) {
        ::close(*f);
        delete f;
    });
    struct stat st {};
    if (::fstat(raw, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return ByteSource{static_cast<std::uint64_t>(st.st_size),
                      [fd](std::uint64_t at, std::size_t count, char* into) {
                          while (count > 0) {
                              const ssize_t n = ::pread(*fd, into, count, static_cast<off_t>(at));
                              if (n < 0 && errno == EINTR) continue;
                              if (n <= 0) return false;
                              into += n;
                              at += static_cast<std::uint64_t>(n);
                              count -= static_cast<std::size_t>(n);
                          }
                          return true;
                      }};
}

std::uint32_t u16(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t u32(const std::string& b, std::size_t at) {
    return u16(b, at) | u16(b, at + 2) << 16;
}

// Windows loads no image with more sections; a resource directory with more entries than
// this is not one a saver or DLL carries.
constexpr unsigned kMaxSections = 96;
constexpr unsigned kMaxEntries = 4096;
// 16 strings of at most 65,535 UTF-16 units each, with their lengths.
constexpr std::uint32_t kMaxStringBlock = 16 * (2 + 2 * 65535);

struct Section {
    std::uint32_t rva, size, raw, rawSize;
};

class PeImage {
  public:
    explicit PeImage(ByteSource source) : src_(std::move(source)) { valid_ = readHeaders(); }
    bool valid() const { return valid_; }

    std::optional<std::string> stringResource(unsigned id, unsigned language) const {
        if (!valid_ || !rsrcRva_) return std::nullopt;
        const auto base = offsetOf(rsrcRva_);
        if (!base) return std::nullopt;
        const auto type = find(*base, kRtString);
        if (!type || !(*type & 0x80000000u)) return std::nullopt;
        const auto block = find(*base + (*type & 0x7FFFFFFFu), id / 16 + 1);
        if (!block || !(*block & 0x80000000u)) return std::nullopt;
        const std::uint64_t languages = *base + (*block & 0x7FFFFFFFu);
        auto lang = find(languages, language);
        if (!lang) lang = find(languages, 0);
        if (!lang || (*lang & 0x80000000u)) return std::nullopt;
        std::string entry;
        if (!src_.get(*base + *lang, 8, entry)) return std::nullopt;
        const auto data = offsetOf(u32(entry, 0));
        const std::uint32_t size = u32(entry, 4);
        std::string b;
        if (!data || size > kMaxStringBlock || !src_.get(*data, size, b)) return std::nullopt;
        std::size_t p = 0;
        for (unsigned i = 0; i < 16 && p + 2 <= b.size(); ++i) {
            const std::size_t len = u16(b, p);
            p += 2;
            if (2 * len > b.size() - p) return std::nullopt;
            if (i == id % 16) {
                if (len == 0) return std::nullopt;
                return text::utf16ToUtf8(text::bytesToUtf16(
                    reinterpret_cast<const std::uint8_t*>(b.data()) + p, 2 * len));
            }
            p += 2 * len;
        }
        return std::nullopt;
    }

  private:
    bool readHeaders() {
        std::string dos;
        if (!src_.get(0, 0x40, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
        const std::uint64_t pe = u32(dos, 0x3C);
        std::string coff;
        if (!src_.get(pe, 24, coff) || coff.compare(0, 4, std::string("PE\0\0", 4)) != 0)
            return false;
        const unsigned sections = u16(coff, 6);
        const unsigned optSize = u16(coff, 20);
        const std::uint64_t opt = pe + 24;
        std::string optional;
        if (!src_.get(opt, optSize, optional)) return false;
        if (optSize >= 2) {
            const bool plus = u16(optional, 0) == 0x20B;
            const std::size_t count = plus ? 108 : 92; // NumberOfRvaAndSizes
            const std::size_t dirs = plus ? 112 : 96;  // the data directories
            if (optSize >= dirs + 8 * 3 && u32(optional, count) > 2)
                rsrcRva_ = u32(optional, dirs + 8 * 2);
        }
        if (sections > kMaxSections) return false;
        std::string table;
        if (!src_.get(opt + optSize, 40 * std::size_t{sections}, table)) return false;
        for (unsigned i = 0; i < sections; ++i) {
            const std::size_t s = 40 * std::size_t{i};
            sections_.push_back(
                {u32(table, s + 12), u32(table, s + 8), u32(table, s + 20), u32(table, s + 16)});
            // A section whose bytes start past the end is a cut-off file the system would
            // not load.
            if (sections_.back().rawSize != 0 && sections_.back().raw >= src_.size) return false;
        }
        return true;
    }

    // The file offset of an address inside a section's bytes in the file.
    std::optional<std::uint64_t> offsetOf(std::uint32_t rva) const {
        for (const auto& s : sections_) {
            if (rva < s.rva) continue;
            const std::uint64_t into = rva - s.rva;
            if (into < std::max(s.size, s.rawSize)) return std::uint64_t{s.raw} + into;
        }
        return std::nullopt;
    }

    // The entry with `name` (or the first when name is 0) of the directory at `dir`.
    std::optional<std::uint32_t> find(std::uint64_t dir, unsigned name) const {
        std::string head;
        if (!src_.get(dir, 16, head)) return std::nullopt;
        const unsigned count = std::min(u16(head, 12) + u16(head, 14), kMaxEntries);
        std::string entries;
        if (!src_.get(dir + 16, 8 * std::size_t{count}, entries)) return std::nullopt;
        for (unsigned i = 0; i < count; ++i) {
            const std::uint32_t n = u32(entries, 8 * std::size_t{i});
            if (name == 0 || (!(n & 0x80000000u) && n == name))
                return u32(entries, 8 * std::size_t{i} + 4);
        }
        return std::nullopt;
    }

    ByteSource src_;
    bool valid_ = false;
    std::uint32_t rsrcRva_ = 0;
    std::vector<Section> sections_;
};

} // namespace

std::optional<std::string> readStringResource(const std::string& b, unsigned id) {
    return readStringResource(b, id, kGerman);
}

std::optional<std::string> readStringResource(const std::string& b, unsigned id,
                                              unsigned language) {
    return PeImage(memorySource(b)).stringResource(id, language);
}

std::optional<std::string> readFileStringResource(const std::string& path, unsigned id,
                                                  unsigned language) {
    auto source = fileSource(path);
    if (!source) return std::nullopt;
    PeImage image(*source);
    if (!image.valid()) return std::nullopt;
    return image.stringResource(id, language).value_or("");
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
    return PeImage(memorySource(b)).valid();
}

} // namespace ravelin::machine
