// .reg files: whatever parses must be written and parsed back to the same operations.
#include "host/registry/RegFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace ravelin;
using namespace ravelin::registry;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    RegFileContent content;
    try {
        content = parseRegFile(bytes, "fuzz.reg");
    } catch (const RegistryFormatError&) {
        return 0;
    }
    RegFileWriter writer;
    std::vector<RegistryValue> values;
    for (const auto& op : content.operations) {
        if (op.kind == RegFileOperation::Kind::SetValue) {
            writer.addKey("HKEY_CURRENT_USER\\K", {op.value});
            values.push_back(op.value);
        }
    }
    RegFileContent back = parseRegFile(writer.bytes(), "again.reg");
    std::size_t i = 0;
    for (const auto& op : back.operations) {
        if (op.kind != RegFileOperation::Kind::SetValue) continue;
        if (i >= values.size() || op.value.type != values[i].type ||
            op.value.data != values[i].data || op.value.name != values[i].name)
            std::abort();
        ++i;
    }
    if (i != values.size()) std::abort();
    return 0;
}
