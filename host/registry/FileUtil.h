// File helpers for writing hive files safely.
#pragma once

#include <string>

namespace ravelin::registry {

// Reads a whole file; throws RegistryAccessError naming the file when it cannot.
std::string readWholeFile(const std::string& path);

// Replaces a file atomically: a temporary file in the same folder, fsync, rename,
// fsync of the folder. The new file keeps the old one's permissions (and owner where
// allowed). Throws RegistryAccessError and leaves the old file untouched on failure.
void writeFileAtomically(const std::string& path, const std::string& data);

// Makes a temporary file name beside `path` and returns it; the caller fills and renames
// it with commitTemporary() or removes it.
std::string temporaryPathBeside(const std::string& path);
// fsync of a finished temporary file, copy of the target's mode, rename, fsync of the folder.
void commitTemporary(const std::string& temp, const std::string& path);

} // namespace ravelin::registry
