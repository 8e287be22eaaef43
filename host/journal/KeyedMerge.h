// Settings files that several programs write (Firefox rewrites prefs.js on every start,
// Opera its INI files) are undone by the lines a transaction changed, not by the whole
// file: an INI line by "[section] key", a preference by its name, a style rule by its
// selector and properties. Other files have no such keys and go whole.
#pragma once

#include <optional>
#include <string>

namespace ravelin::journal {

struct KeyedMerge {
    bool keyed = false;   // the file has a keyed form (else: compare and put back whole)
    std::string conflict; // the first key whose content is no longer `from`'s
    std::optional<std::string> result; // `current` with the keys `from`→`to` changed
};

// Carries the change `from` → `to` over to `current`: each key whose content differs
// between `from` and `to` gets `to`'s content in `current` (inserted where `to` has it,
// after the nearest key before it; removed where `to` has none). `conflict` names the
// first such key that `current` no longer holds as `from` has it. A missing file holds
// no keys; the result is nullopt (no file) when `to` is missing and nothing is left.
KeyedMerge mergeKeyed(const std::string& path, const std::optional<std::string>& current,
                      const std::optional<std::string>& from, const std::optional<std::string>& to);

} // namespace ravelin::journal
