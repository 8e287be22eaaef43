// Wine registry text: whatever parses and was not merged must save back unchanged, and a tree
// rewritten from its parsed values must parse again to the same tree.
#include "host/registry/WineRegistryFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace ravelin;
using namespace ravelin::registry;

namespace {

void markAll(Key& key) {
    key.ensureValues();
    key.markDirty(key.lastWrite());
    for (const auto& sub : key.subkeys())
        markAll(*sub);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text =
        "WINE REGISTRY Version 2\n" + std::string(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<WineHive> hive;
    try {
        hive = WineHive::parse(text, "fuzz.reg");
    } catch (const RegistryFormatError&) {
        return 0;
    }
    // Unchanged means identical; only merging a key that appears twice changes a file.
    if (!hive->modified() && hive->serialize() != text) std::abort();
    try {
        markAll(hive->root());
    } catch (const RegistryFormatError&) {
        return 0;
    }
    std::string rewritten = hive->serialize();
    auto again = WineHive::parse(rewritten, "again.reg");
    markAll(again->root());
    if (again->serialize() != rewritten) std::abort();
    return 0;
}
