// .reg files: "Windows Registry Editor Version 5.00" (UTF-16LE with BOM) and "REGEDIT4"
// (the ANSI code page), read into a list of operations and written from a tree.
#pragma once

#include "host/registry/Key.h"
#include "host/registry/Types.h"

#include <string>
#include <vector>

namespace ravelin::registry {

struct RegFileOperation {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = Kind::CreateKey;
    std::string key; // full path with the root's name as written, e.g. HKEY_CURRENT_USER\Software
    RegistryValue value; // SetValue: name, type, data; DeleteValue: name
    unsigned line = 0;
};

struct RegFileContent {
    enum class Version { V5, Regedit4 };
    Version version = Version::V5;
    std::vector<RegFileOperation> operations;
};

// Parses a .reg file's bytes. Throws RegistryFormatError naming `name` and the line.
RegFileContent parseRegFile(const std::string& bytes, const std::string& name);

// Writes keys as a version-5 file in UTF-16LE with BOM (`bytes` ready to store).
class RegFileWriter {
  public:
    explicit RegFileWriter(RegFileContent::Version version = RegFileContent::Version::V5);
    // Writes one key with its values (not its subkeys) under the given full name.
    void addKey(const std::string& fullName, const std::vector<RegistryValue>& values);
    void addKeyDeletion(const std::string& fullName);
    void addValueDeletion(const std::string& valueName); // inside the last key added
    void addComment(const std::string& text);
    // Writes a key and its whole subtree in enumeration order.
    void addTree(const std::string& fullName, Key& key);
    std::string bytes() const; // the whole file, encoded
    std::string text() const;  // the same as UTF-8 text with CR LF, for display

  private:
    static std::string formatValue(const RegistryValue& value, RegFileContent::Version version);
    RegFileContent::Version version_;
    std::string body_; // UTF-8 with CR LF
};

} // namespace ravelin::registry
