// The in-memory tree of one hive file. Names are case-insensitive and case-preserving;
// subkeys are kept in the registry's name order. Backends may fill a key lazily: the
// first look at its values or subkeys asks the backend that owns it.
#pragma once

#include "host/registry/Types.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::registry {

// Windows keeps keys at most this many levels below a root key; deeper input is refused
// wherever it enters (files loaded, .reg files, calls), so no walk goes deeper.
inline constexpr std::size_t kMaxKeyDepth = 512;

class Key;

// Fills keys on demand. Implemented by the file backends.
class KeySource {
  public:
    virtual ~KeySource() = default;
    virtual void loadValues(Key& key) = 0;
    virtual void loadSubkeys(Key& key) = 0;
};

// Where a key came from in its file, for backends that keep unchanged text or nodes.
struct KeyOrigin {
    std::size_t chunkBegin = 0;  // the key's text block, blank line before it included
    std::size_t chunkEnd = 0;    //
    std::size_t valuesBegin = 0; // first line after the key line
    std::size_t node = 0;        // backend node handle (hive files)
    std::uint32_t line = 0;      // line number of the key line
    bool hasChunk = false;
    // A name of the key's values or subkeys holds a NUL character that the backend read
    // cut short: the key cannot be rewritten without renaming or merging those.
    bool namesCutAtNul = false;
};

class Key {
  public:
    enum class ValueOrder { Insertion, Sorted };

    Key(std::string name, Key* parent, ValueOrder order);
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    const std::string& name() const { return name_; }
    Key* parent() const { return parent_; }
    std::string path() const; // relative to the hive root, joined by '\'

    // Subkeys, in name order.
    const std::vector<std::unique_ptr<Key>>& subkeys();
    Key* findSubkey(std::string_view name);
    // Returns the existing subkey of that name or a new one (created = true).
    Key& addSubkey(std::string_view name, bool& created);
    // Detaches a subkey with its whole subtree; nullptr when there is none.
    std::unique_ptr<Key> removeSubkey(std::string_view name);

    const std::vector<RegistryValue>& values();
    const RegistryValue* findValue(std::string_view name);
    void setValue(std::string_view name, DWORD type, std::vector<std::uint8_t> data);
    bool deleteValue(std::string_view name);
    void clearValues();

    // Last write time as a FILETIME (100 ns ticks since 1601).
    std::uint64_t lastWrite() const { return lastWrite_; }
    void setLastWrite(std::uint64_t t) { lastWrite_ = t; }
    const std::optional<std::string>& className() const { return class_; }
    void setClassName(std::optional<std::string> c) { class_ = std::move(c); }
    bool isLink() const { return link_; }
    void setLink(bool link) { link_ = link; }

    // Change tracking: a key is dirty when its own content (values, time, class) was
    // changed; subtreeDirty when it or anything below it was changed or added or removed.
    bool dirty() const { return dirty_; }
    bool subtreeDirty() const { return subtreeDirty_; }
    void markDirty(std::uint64_t now);            // content changed: new time, ancestors told
    void markStructureChanged(std::uint64_t now); // a subkey was added or removed
    void clearDirty();                            // after a save, the whole subtree

    // Backend hooks.
    void setSource(KeySource* source, bool valuesPending, bool subkeysPending);
    bool valuesPending() const { return valuesPending_; }
    bool subkeysPending() const { return subkeysPending_; }
    void ensureValues();
    void ensureSubkeys();
    KeyOrigin& origin() { return origin_; }
    const KeyOrigin& origin() const { return origin_; }
    // Loading-time insertion that skips change tracking; keeps the name order.
    Key& loadSubkey(std::string name);
    std::vector<RegistryValue>& loadValuesStorage() { return values_; }
    ValueOrder valueOrder() const { return order_; }

  private:
    std::size_t lowerBound(std::string_view name) const;
    void markAncestors();

    std::string name_;
    Key* parent_;
    ValueOrder order_;
    std::vector<std::unique_ptr<Key>> subkeys_;
    std::vector<RegistryValue> values_;
    std::uint64_t lastWrite_ = 0;
    std::optional<std::string> class_;
    KeySource* source_ = nullptr;
    KeyOrigin origin_;
    bool link_ = false;
    bool dirty_ = false;
    bool subtreeDirty_ = false;
    bool valuesPending_ = false;
    bool subkeysPending_ = false;
};

// Deep copy of a subtree's values and subkeys into another key (which may belong to a
// different hive); every key written is marked changed.
void copyTree(Key& from, Key& to, std::uint64_t now);

// The current time as a FILETIME.
std::uint64_t fileTimeNow();

} // namespace ravelin::registry
