// File helpers for writing hive files safely.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ravelin::registry {

// Reads a whole regular file; throws RegistryAccessError naming the file when it cannot
// (a FIFO, device or folder is refused at once, never waited on).
std::string readWholeFile(const std::string& path);

// Why an existing file must not be replaced: not a regular file, no write permission bits,
// or the read-only attribute (Wine's user.DOSATTRIB, an ntfs-3g drive's own). nullopt when
// it may be written or does not exist.
std::optional<std::string> readOnlyReason(const std::string& path);
// Throws RegistryAccessError naming the file and the reason when readOnlyReason() has one.
void refuseReadOnly(const std::string& path);

// Replaces a file atomically: a temporary file in the same folder, fsync, rename,
// fsync of the folder. The new file keeps the old one's permissions (and owner where
// allowed). Throws RegistryAccessError and leaves the old file untouched on failure, also
// when the file is read-only (see readOnlyReason).
void writeFileAtomically(const std::string& path, const std::string& data);

// Makes a temporary file name beside `path` and returns it; the caller fills and renames
// it with commitTemporary() or removes it.
std::string temporaryPathBeside(const std::string& path);
// Removes what a save of `path` killed before its rename left beside it (temporary files
// named as temporaryPathBeside() makes them); only a writer holding the machine's lock may.
// Returns how many were removed.
std::size_t removeTemporariesBeside(const std::string& path);
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
