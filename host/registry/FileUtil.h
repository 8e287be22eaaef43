// File helpers for writing hive files safely.
#pragma once

#include <string>
#include <vector>

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

// Where a save of `path` goes: the file itself, or, when it is a symbolic link, the file
// the link leads to (so the link stays a link, as Wine keeps it). Throws
// RegistryAccessError for a dangling link.
std::string saveTarget(const std::string& path);

// True when `path` (the deepest part of it that exists, every link resolved) lies inside
// one of `roots` (which are resolved too).
bool resolvesInside(const std::string& path, const std::vector<std::string>& roots);

} // namespace ravelin::registry
