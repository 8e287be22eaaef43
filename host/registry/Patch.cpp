#include "host/registry/Patch.h"

#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>

namespace ravelin::registry {

namespace {

bool isSameOrBelow(const std::string& key, const std::string& base) {
    if (key.size() < base.size()) return false;
    if (!text::namesEqual(std::string_view(key).substr(0, base.size()), base)) return false;
    return key.size() == base.size() || key[base.size()] == '\\';
}

// A name in a comment, which ends at its line.
std::string commentName(std::string name) {
    for (char& ch : name)
        if (static_cast<unsigned char>(ch) < 0x20) ch = '?';
    return name;
}

// Writes the keys and values of a subtree image under `fullName`, its secrets left out.
void writeTree(const std::string& image, const std::vector<SecretValue>& secrets,
               const std::string& fullName, RegFileWriter& writer) {
    RegFileContent content = parseRegFile(image, text::tr("Journal-Abbild"));
    std::string current;
    std::vector<RegistryValue> values;
    bool open = false;
    std::vector<std::string> comments;
    auto close = [&] {
        if (open) writer.addKey(current, values);
        for (const auto& line : comments)
            writer.addComment(line);
        values.clear();
        comments.clear();
    };
    for (const auto& op : content.operations) {
        if (op.kind == RegFileOperation::Kind::CreateKey) {
            close();
            std::string_view rel = op.key;
            std::size_t sep = rel.find('\\');
            current =
                sep == std::string_view::npos ? fullName : fullName + std::string(rel.substr(sep));
            open = true;
        } else if (op.kind == RegFileOperation::Kind::SetValue) {
            if (isSecret(secrets, imageRelativeKey(op.key), op.value.name))
                comments.push_back("\"" + commentName(op.value.name) +
                                   "\" holds sensitive data and is left out");
            else
                values.push_back(op.value);
        }
    }
    close();
}

// A key change read back from the journal names no secrets: its images lost their data
// already, which the patch says.
void noteSecrets(const RegistryChange& c, RegFileWriter& writer) {
    if (!c.sensitive || !c.secrets.empty()) return;
    writer.addComment(commentName(c.fullName) + ": its sensitive values are left out");
}

} // namespace

void writePatch(const std::vector<RegistryChange>& changes, RegFileWriter& writer) {
    // Reduce to the last operation on each place; a key operation supersedes everything
    // earlier at or below its key.
    struct Net {
        const RegistryChange* change;
        bool keyExistedBefore;
    };
    std::vector<Net> net;
    for (const auto& c : changes) {
        if (c.kind == RegistryChange::Kind::Key) {
            bool existed = c.beforeTree.has_value();
            for (const auto& n : net)
                if (n.change->kind == RegistryChange::Kind::Key &&
                    text::namesEqual(n.change->fullName, c.fullName)) {
                    existed = n.keyExistedBefore;
                    break;
                }
            net.erase(std::remove_if(net.begin(), net.end(),
                                     [&](const Net& n) {
                                         return isSameOrBelow(n.change->fullName, c.fullName);
                                     }),
                      net.end());
            net.push_back({&c, existed});
        } else {
            net.erase(std::remove_if(net.begin(), net.end(),
                                     [&](const Net& n) {
                                         return n.change->kind == RegistryChange::Kind::Value &&
                                                text::namesEqual(n.change->fullName, c.fullName) &&
                                                text::namesEqual(n.change->valueName, c.valueName);
                                     }),
                      net.end());
            net.push_back({&c, false});
        }
    }

    std::string openKey;
    std::vector<RegistryValue> values;
    std::vector<std::string> deletions;
    std::vector<std::string> comments;
    auto close = [&] {
        if (openKey.empty()) return;
        writer.addKey(openKey, values);
        for (const auto& d : deletions)
            writer.addValueDeletion(d);
        for (const auto& line : comments)
            writer.addComment(line);
        openKey.clear();
        values.clear();
        deletions.clear();
        comments.clear();
    };
    for (const auto& n : net) {
        const RegistryChange& c = *n.change;
        if (c.kind == RegistryChange::Kind::Key) {
            close();
            if (n.keyExistedBefore) writer.addKeyDeletion(c.fullName);
            if (c.afterTree) writeTree(*c.afterTree, c.secrets, c.fullName, writer);
            noteSecrets(c, writer);
            continue;
        }
        // Values of one key are written under one header, in the order they came.
        if (openKey.empty() || !text::namesEqual(openKey, c.fullName) || !deletions.empty() ||
            !comments.empty()) {
            close();
            openKey = c.fullName;
        }
        if (c.sensitive) {
            comments.push_back("\"" + commentName(c.valueName) +
                               "\" holds sensitive data and is left out");
        } else if (c.after) {
            values.push_back(*c.after);
        } else {
            deletions.push_back(c.valueName);
        }
    }
    close();
}

} // namespace ravelin::registry
