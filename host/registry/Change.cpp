#include "host/registry/Change.h"

#include "host/registry/RegFile.h"

namespace ravelin::registry {

namespace {
// The subtree is written as a .reg file under a placeholder root name.
constexpr std::string_view kImageRoot = "HKEY_IMAGE";
} // namespace

std::string treeImage(Key& key) {
    RegFileWriter writer;
    writer.addTree(std::string(kImageRoot), key);
    return writer.text();
}

void restoreTree(const std::string& image, Key& into, std::uint64_t now) {
    RegFileContent content = parseRegFile(image, "journal image");
    for (const auto& op : content.operations) {
        std::string_view rel = op.key;
        rel.remove_prefix(std::min(rel.size(), kImageRoot.size()));
        if (!rel.empty() && rel.front() == '\\') rel.remove_prefix(1);
        Key* key = &into;
        while (!rel.empty()) {
            std::size_t sep = rel.find('\\');
            std::string_view name = rel.substr(0, sep);
            bool created = false;
            Key& next = key->addSubkey(name, created);
            if (created) {
                next.markDirty(now);
                key->markStructureChanged(now);
            }
            key = &next;
            rel = sep == std::string_view::npos ? std::string_view() : rel.substr(sep + 1);
        }
        if (op.kind == RegFileOperation::Kind::SetValue) {
            key->setValue(op.value.name, op.value.type, op.value.data);
            key->markDirty(now);
        }
    }
}

} // namespace ravelin::registry
