// Wine's text registry files (system.reg, user.reg, userdef.reg), read and written the way
// wineserver does, so that a file loaded and saved without a change comes back identical.
//
// Loading reads the key lines only; the value lines of a key are parsed when the key is
// first looked at. A key that was never changed is written back as the very text it was
// read from, so lines we never parsed cannot be damaged.
#pragma once

#include "host/registry/Hive.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ravelin::registry {

class WineHive final : public Hive, private KeySource {
  public:
    // Throws RegistryFormatError (file and line) or RegistryAccessError.
    static std::unique_ptr<WineHive> load(const std::string& path);
    // Parses text held in memory; `name` is used in error messages and as the save target.
    static std::unique_ptr<WineHive> parse(std::string text, const std::string& name);
    // A new, empty file: `relativeTo` is the comment of the second line, e.g.
    // "REGISTRY\\Machine"; arch is "win32" or "win64".
    static std::unique_ptr<WineHive> create(const std::string& path, const std::string& relativeTo,
                                            const std::string& arch);

    Format format() const override { return Format::WineText; }
    void save() override;
    // The file's text as it would be saved now.
    std::string serialize();
    const std::string& arch() const { return arch_; }
    // The "relative to" path of the file's second line, e.g. "REGISTRY\\User\\S-1-5-21-...".
    const std::string& relativeTo() const { return relativeTo_; }

  private:
    class TextScan;

    WineHive(std::string file, std::string text);
    void parseText();
    void loadValues(Key& key) override;
    void loadSubkeys(Key&) override {}
    void parseValueLines(std::size_t begin, std::size_t end, unsigned line,
                         std::vector<RegistryValue>& values) const;
    std::string render(std::vector<std::pair<Key*, KeyOrigin>>& moved);
    void serializeKey(Key& key, std::string& out, std::size_t& newlines,
                      std::vector<std::pair<Key*, KeyOrigin>>& moved);

    std::string text_;
    std::size_t preambleEnd_ = 0;
    std::string arch_;
    std::string relativeTo_;
    bool crlf_ = false;
};

// The pieces of the format, for tests and fuzzing.
namespace wine {
// Appends `units` escaped as wineserver does; `quote` chars get a backslash. With
// impliedTerminator (string data) a final NUL is left out, as the reader adds it back.
// Names keep a final NUL as "\0": wineserver drops it there too, which loses it.
void appendEscaped(std::string& out, std::u16string_view units, std::string_view quote,
                   bool impliedTerminator = false);
// One value line as wineserver writes it (with its final newline).
std::string formatValue(const RegistryValue& value);
// Parses the value that starts at text[pos] (possibly over continuation lines) into
// `value`; advances pos past its last line and line by the lines consumed. Throws
// std::invalid_argument with a short reason.
void parseValue(std::string_view text, std::size_t& pos, unsigned& line, RegistryValue& value);
} // namespace wine

} // namespace ravelin::registry
