// String resources of Windows executables (screen savers, DLLs) read as data files, and a
// writer of minimal resource-only images with a string table, for the sample machines.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace ravelin::machine {

// Language numbers of the string tables.
inline constexpr unsigned kLangGerman = 0x0407, kLangEnglish = 0x0409;

// The string resource `id` (UTF-8) of a PE file's bytes in the given language, else in the
// first language found (German without one); nullopt when the file is not a PE image or has
// no such string.
std::optional<std::string> readStringResource(const std::string& bytes, unsigned id);
std::optional<std::string> readStringResource(const std::string& bytes, unsigned id,
                                              unsigned language);
// The same read from a file on disk: only its headers and the pieces of its resource section
// they lead to, each checked against the file's size. nullopt when the file cannot be read
// or is not a PE image; "" when it is one without that string.
std::optional<std::string> readFileStringResource(const std::string& path, unsigned id,
                                                  unsigned language);
// Whether the bytes start like a PE image (what loading a file as a data file needs).
bool isPeImage(const std::string& bytes);

// A minimal 32-bit Windows program (its entry point returns at once) holding string tables:
// language -> string id -> text.
using StringTables = std::map<unsigned, std::map<unsigned, std::string>>;
std::string makeStringResourceImage(const StringTables& tables);
// The same with German strings only.
std::string makeStringResourceImage(const std::map<unsigned, std::string>& strings);

} // namespace ravelin::machine
