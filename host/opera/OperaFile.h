// One of Opera's files on the machine, read afresh whenever it changed on disk (an undo
// from the journal, another program) and written through the journal, so that every
// change is listed, can be undone and, in a dry run, only reported.
#pragma once

#include "host/opera/OperaIniFile.h"

#include <optional>
#include <string>

namespace ravelin::opera {

class OperaFile {
  public:
    OperaFile() = default;
    // hostPath: where the file is; windowsPath: its name as the user knows it.
    OperaFile(std::string hostPath, std::string windowsPath);

    const std::string& hostPath() const { return host_; }
    const std::string& windowsPath() const { return windows_; }
    bool exists() const;
    // The file's content, or nullptr when it is missing, unreadable or malformed (error()).
    const OperaIniFile* doc() const;
    // The message for a file that cannot be read; empty when it can (or is missing).
    std::string error() const;

    std::optional<std::string> get(const std::string& section, const std::string& key) const;
    // Writes the one change (creating the file when it is missing). Throws OperaFileError
    // for a malformed file, RegistryAccessError when the journal or the disk refuses.
    void set(const std::string& section, const std::string& key, const std::string& value);

  private:
    void refresh() const;

    std::string host_, windows_;
    mutable std::optional<std::string> disk_; // what was last read from disk
    mutable bool loaded_ = false;
    mutable std::optional<OperaIniFile> doc_;
    mutable std::string error_;
};

} // namespace ravelin::opera
