// Browser records shared by the host and the pages: one search provider of the browser's
// search box, as the registry and the provider catalogue describe it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ravelin {

struct TSearchScope {
    std::string Name;         // the text a list shows
    std::string ResourceName; // registry "ResourceName"
    std::string DefaultValue; // the key's unnamed value
    std::string DisplayName;  // registry "DisplayName"; "@..." refers to a resource
    std::string URL;          // the search address with "{searchTerms}"
    std::uint32_t Codepage = 0;
    std::uint32_t DeletedByUser = 0; // non-zero: the user removed it
    std::string Key;                 // the provider's subkey name
    bool Deletable = false;
    bool Enabled = false; // lives under SearchScopes (else SearchScopes-)
    bool IsDefault = false;
    std::vector<std::string> PreviousDisplayNames; // catalogue only
    std::vector<std::string> PreviousURLs;         // catalogue only
};

} // namespace ravelin
