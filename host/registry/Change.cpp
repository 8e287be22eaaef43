#include "host/registry/Change.h"

#include "host/registry/RegFile.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>

namespace ravelin::registry {

namespace {
// The subtree is written as a .reg file under a placeholder root name.
constexpr std::string_view kImageRoot = "HKEY_IMAGE";
} // namespace

bool isSecretValue(std::string_view keyPath, std::string_view name) {
    auto slash = keyPath.rfind('\\');
    std::string_view last = slash == std::string_view::npos ? keyPath : keyPath.substr(slash + 1);
    return text::namesEqual(last, "Winlogon") && (text::namesEqual(name, "DefaultPassword") ||
                                                  text::namesEqual(name, "AltDefaultPassword"));
}

bool isSecret(const std::vector<SecretValue>& secrets, std::string_view key,
              std::string_view name) {
    return std::any_of(secrets.begin(), secrets.end(), [&](const SecretValue& s) {
        return text::namesEqual(s.key, key) && text::namesEqual(s.name, name);
    });
}

std::string_view imageRelativeKey(std::string_view key) {
    std::size_t sep = key.find('\\');
    return sep == std::string_view::npos ? std::string_view() : key.substr(sep + 1);
}

std::string redactedTree(const std::string& image, const std::vector<SecretValue>& secrets,
                         bool& left) {
    left = false;
    RegFileContent content = parseRegFile(image, text::tr("Journal-Abbild"));
    RegFileWriter writer;
    std::string key;
    std::vector<RegistryValue> values;
    std::vector<std::string> comments;
    bool open = false;
    auto close = [&] {
        if (open) writer.addKey(key, values);
        for (const auto& line : comments)
            writer.addComment(line);
        values.clear();
        comments.clear();
    };
    for (auto& op : content.operations) {
        if (op.kind == RegFileOperation::Kind::CreateKey) {
            close();
            key = op.key;
            open = true;
        } else if (op.kind == RegFileOperation::Kind::SetValue) {
            if (isSecret(secrets, imageRelativeKey(op.key), op.value.name)) {
                left = true;
                std::string name = op.value.name;
                // A comment ends at its line: a line break in the name must not end it.
                for (char& c : name)
                    if (static_cast<unsigned char>(c) < 0x20) c = '?';
                comments.push_back("\"" + name + "\" holds sensitive data and is left out");
            } else {
                values.push_back(std::move(op.value));
            }
        }
    }
    close();
    return left ? writer.text() : image;
}

std::string treeImage(Key& key) {
    RegFileWriter writer;
    writer.addTree(std::string(kImageRoot), key);
    return writer.text();
}

void restoreTree(const std::string& image, Key& into, std::uint64_t now) {
    RegFileContent content = parseRegFile(image, text::tr("Journal-Abbild"));
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
