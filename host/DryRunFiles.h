// File changes of a dry run: nothing is written, each change is noted here and reported
// with the registry patch.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ravelin {

struct DryRunFileChange {
    std::string path;                  // host path
    std::optional<std::string> before; // nullopt: the file did not exist
    std::string after;
};

// A later change of the same file replaces the after-image and keeps the first before-image.
void NoteDryRunFileChange(const std::string& path, const std::optional<std::string>& before,
                          const std::string& after);
std::vector<DryRunFileChange> TakeDryRunFileChanges();
// The changes as comment lines that can follow a .reg patch: the file's name, then each
// removed line with "-" and each added line with "+".
std::string DescribeDryRunFileChanges(const std::vector<DryRunFileChange>& changes);

} // namespace ravelin
