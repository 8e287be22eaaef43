// Windows initialisation ("profile") files read as Windows reads them: sections and keys
// ignore case, the first match wins, values are trimmed, and ';' starts a comment only at
// the start of a line. One pair of double quotes around a whole value is removed.
#pragma once

#include <string>
#include <vector>

namespace ravelin::machine {

class ProfileFile {
  public:
    // Decodes UTF-16 (with BOM), UTF-8 (with or without BOM) or Windows-1252 text.
    static ProfileFile parse(const std::string& bytes);
    // False when the file cannot be read.
    static bool load(const std::string& path, ProfileFile& out);

    // The value, or `def` when the section or key is missing.
    std::string get(const std::string& section, const std::string& key,
                    const std::string& def) const;
    bool has(const std::string& section, const std::string& key) const;
    std::vector<std::string> sections() const; // in file order, each once
    std::vector<std::string> keys(const std::string& section) const;

  private:
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
        bool hasValue;
    };
    std::vector<Entry> entries_;
    std::vector<std::string> sections_;
};

} // namespace ravelin::machine
