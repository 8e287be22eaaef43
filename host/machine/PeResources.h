// String resources of Windows executables (screen savers, DLLs) read as data files, and a
// writer of minimal resource-only images with a string table, for the sample machines.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace ravelin::machine {

// The string resource `id` (UTF-8) of a PE file's bytes: the first language found;
// nullopt when the file is not a PE image or has no such string.
std::optional<std::string> readStringResource(const std::string& bytes, unsigned id);

// A 32-bit resource-only PE image holding these strings (German language).
std::string makeStringResourceImage(const std::map<unsigned, std::string>& strings);

} // namespace ravelin::machine
