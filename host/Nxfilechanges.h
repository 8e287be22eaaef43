// File changes the host makes for the pages, beyond the journal: during a dry run they are
// kept here instead of on disk (later reads see them, so several changes to one file build
// on each other) and the patch shows each file as a unified diff.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ravelin {

struct DryRunFile {
    std::string path;
    std::optional<std::string> original; // nullopt: the file did not exist
    std::optional<std::string> current;  // nullopt: deleted
};

// True while the bound registry is in a dry run: file writes must not reach the disk.
bool DryRunFilesActive();
// Records what a dry run would write (nullopt: delete); `original` is the file as it is.
void DryRunFileWrite(const std::string& path, const std::optional<std::string>& content,
                     const std::optional<std::string>& original);
// The content a dry run gave the file; nullptr when it did not change it.
const std::optional<std::string>* DryRunFileContent(const std::string& path);
// A file-side effect a dry run would make beyond content ("folder created", "hidden",
// "shown"); the patch lists them.
struct DryRunEffectEntry {
    std::string path;
    std::string what;
};
void DryRunEffect(const std::string& path, const std::string& what);
const std::vector<DryRunEffectEntry>& DryRunEffects();
// Whether the dry run has created this folder.
bool DryRunFolderPlanned(const std::string& path);
// The changed files in the order of their first change, and forgetting them.
const std::vector<DryRunFile>& DryRunFiles();
void ClearDryRunFiles();

// The unified diff (three lines of context) that turns `before` into `after`; "" when they
// are equal. A missing file is /dev/null.
std::string UnifiedDiff(const std::string& path, const std::optional<std::string>& before,
                        const std::optional<std::string>& after);

} // namespace ravelin
