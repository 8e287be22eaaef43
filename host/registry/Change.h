// One change to the registry as the journal keeps it: where it happened and the images of
// the place before and after. Values are kept as values; a key operation (create, delete,
// copy) keeps the whole subtree as .reg text. Secret values inside a subtree are named in
// the change, so that whatever stores or prints it can leave their data out.
#pragma once

#include "host/registry/Key.h"
#include "host/registry/Types.h"

#include <optional>
#include <string>
#include <vector>

namespace ravelin::registry {

// A value inside a key change's subtree whose data is secret: its key relative to the
// changed key ("" for the key itself) and its name.
struct SecretValue {
    std::string key;
    std::string name;
};

struct RegistryChange {
    enum class Kind { Value, Key };
    Kind kind = Kind::Value;
    std::string hiveFile;  // the hive file, relative to the machine folder
    std::string keyPath;   // inside the hive file
    std::string fullName;  // as Windows names it, e.g. HKEY_CURRENT_USER\Software\X
    std::string valueName; // Kind::Value
    // Value images; nullopt is "absent". For sensitive changes the data is left empty
    // and only whether the value existed is kept.
    std::optional<RegistryValue> before;
    std::optional<RegistryValue> after;
    // Key images (subtree as text, see treeImage); nullopt is "absent".
    std::optional<std::string> beforeTree;
    std::optional<std::string> afterTree;
    // Key changes: the values in either image whose data is secret; `sensitive` is set
    // when there are any. Changes read back from the journal leave it empty: their images
    // hold no secret data any more.
    std::vector<SecretValue> secrets;
    bool sensitive = false;
};

// Where changes are made durable before they are applied.
class ChangeSink {
  public:
    virtual ~ChangeSink() = default;
    // Makes the changes of one call durable; throws to refuse them (nothing is applied).
    // Sensitive changes come with their data: a sink stores none of it.
    virtual void record(const std::vector<RegistryChange>& changes) = 0;
    // Everything recorded for this hive file has reached the file.
    virtual void flushed(const std::string& hiveFile) = 0;
    // True while a transaction of several calls is being recorded: it is not finished,
    // so the machine must stay locked.
    virtual bool transactionOpen() const { return false; }
    // True while the open transaction holds changes that may reach the files only at its
    // end (sensitive values, which the journal cannot replay): flushes wait until then.
    virtual bool holdsBackFiles() const { return false; }
    // The values under `keyPath` (itself included) of a hive file that were written as
    // sensitive data: their data stays secret when a key operation takes them along.
    virtual std::vector<SecretValue> sensitiveValuesUnder(const std::string& hiveFile,
                                                          const std::string& keyPath) {
        (void)hiveFile, (void)keyPath;
        return {};
    }
};

// Values Windows keeps as secrets: the automatic-logon passwords under a Winlogon key.
bool isSecretValue(std::string_view keyPath, std::string_view name);
// Whether a value of a key change's subtree is one of its secrets.
bool isSecret(const std::vector<SecretValue>& secrets, std::string_view key, std::string_view name);
// The image with the data of its secret values left out: a comment stands in for each.
// `left` tells whether the image held any.
std::string redactedTree(const std::string& image, const std::vector<SecretValue>& secrets,
                         bool& left);
// The key of an image's operation relative to the image's root.
std::string_view imageRelativeKey(std::string_view key);

// A subtree as text (its values and subkeys, names relative to the key), and back.
std::string treeImage(Key& key);
void restoreTree(const std::string& image, Key& into, std::uint64_t now);

} // namespace ravelin::registry
