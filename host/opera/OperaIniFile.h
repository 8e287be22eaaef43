// Opera's preference files ("Opera Preferences version 2.1", then INI sections) edited in
// place: a change rewrites only the line of its key, or adds one line to its section, or a
// section at the end; every other byte, the byte-order mark and each line's ending stay.
//
// Reading follows what the files hold in practice: sections in any order and repeated, keys
// without "=", keys repeated (the last one counts, as a later assignment overrides an earlier
// one), values in double quotes. Section and key names ignore ASCII case.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ravelin::opera {

// A preference file that cannot be read or written safely; the text names file and line.
class OperaFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class OperaIniFile {
  public:
    // A new, empty file as Opera starts one: byte-order mark, the header line, CR LF.
    OperaIniFile();
    // Throws OperaFileError (naming `name` and the line) for what is not such a file: text
    // in UTF-16, NUL bytes, a section line without its closing bracket.
    static OperaIniFile parse(const std::string& bytes, const std::string& name);

    std::string bytes() const;

    std::optional<std::string> get(const std::string& section, const std::string& key) const;
    bool has(const std::string& section, const std::string& key) const {
        return get(section, key).has_value();
    }
    // Changes every line of the key (so that whichever one a reader takes, it reads the new
    // value), else adds it to the last section of that name, else adds the section at the end.
    // Returns false when nothing changed. Throws OperaFileError for a value that cannot
    // stay on its line (refusedText).
    bool set(const std::string& section, const std::string& key, const std::string& value);

    std::vector<std::string> sections() const; // in file order, each once
    // The keys of every section of that name with their values, in file order.
    std::vector<std::pair<std::string, std::string>> entries(const std::string& section) const;
    // The first line's ending ("\r\n", "\n" or "\r"), which added lines get.
    const std::string& lineEnding() const { return eol_; }

  private:
    enum class Kind { Other, Section, Key };
    struct Line {
        std::string text; // without its ending
        std::string eol;  // "\r\n", "\n", "\r" or "" for a last line without one
        Kind kind = Kind::Other;
        std::string name;    // the section or key name, trimmed
        std::string value;   // a key's value, unquoted
        std::string section; // the section a key belongs to
    };
    static Line classify(std::string text, std::string eol, const std::string& section);

    bool bom_ = true;
    std::string eol_ = "\r\n";
    std::vector<Line> lines_;
};

// Why a key and value cannot be written as one line of a section (a line break in any of
// them, a key that would read as something else); empty when they can.
std::string refusedText(const std::string& section, const std::string& key,
                        const std::string& value);

// The value as a line holds it: in double quotes when it would otherwise lose its blanks
// or its own quotes on reading.
std::string quoteOperaValue(const std::string& value);

} // namespace ravelin::opera
