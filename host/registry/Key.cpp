#include "host/registry/Key.h"

#include "host/text/Text.h"

#include <algorithm>
#include <chrono>

namespace ravelin::registry {

Key::Key(std::string name, Key* parent, ValueOrder order)
    : name_(std::move(name)), parent_(parent), order_(order) {}

std::string Key::path() const {
    if (!parent_) return {};
    std::string up = parent_->path();
    return up.empty() ? name_ : up + "\\" + name_;
}

void Key::setSource(KeySource* source, bool valuesPending, bool subkeysPending) {
    source_ = source;
    valuesPending_ = valuesPending;
    subkeysPending_ = subkeysPending;
}

void Key::ensureValues() {
    if (!valuesPending_) return;
    source_->loadValues(*this); // may throw a format error: the key stays pending
    valuesPending_ = false;
}

void Key::ensureSubkeys() {
    if (!subkeysPending_) return;
    source_->loadSubkeys(*this);
    subkeysPending_ = false;
}

std::size_t Key::lowerBound(std::string_view name) const {
    auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), name,
                               [](const std::unique_ptr<Key>& k, std::string_view n) {
                                   return text::compareNames(k->name_, n) < 0;
                               });
    return static_cast<std::size_t>(it - subkeys_.begin());
}

const std::vector<std::unique_ptr<Key>>& Key::subkeys() {
    ensureSubkeys();
    return subkeys_;
}

Key* Key::findSubkey(std::string_view name) {
    ensureSubkeys();
    std::size_t i = lowerBound(name);
    if (i < subkeys_.size() && text::namesEqual(subkeys_[i]->name_, name)) return subkeys_[i].get();
    return nullptr;
}

Key& Key::loadSubkey(std::string name) {
    // Files are usually in order already: try the end first.
    if (subkeys_.empty() || text::compareNames(subkeys_.back()->name_, name) < 0) {
        subkeys_.push_back(std::make_unique<Key>(std::move(name), this, order_));
        return *subkeys_.back();
    }
    std::size_t i = lowerBound(name);
    if (i < subkeys_.size() && text::namesEqual(subkeys_[i]->name_, name)) return *subkeys_[i];
    auto it = subkeys_.insert(subkeys_.begin() + static_cast<std::ptrdiff_t>(i),
                              std::make_unique<Key>(std::move(name), this, order_));
    return **it;
}

Key& Key::addSubkey(std::string_view name, bool& created) {
    ensureSubkeys();
    std::size_t i = lowerBound(name);
    if (i < subkeys_.size() && text::namesEqual(subkeys_[i]->name_, name)) {
        created = false;
        return *subkeys_[i];
    }
    created = true;
    auto it = subkeys_.insert(subkeys_.begin() + static_cast<std::ptrdiff_t>(i),
                              std::make_unique<Key>(std::string(name), this, order_));
    return **it;
}

std::unique_ptr<Key> Key::removeSubkey(std::string_view name) {
    ensureSubkeys();
    std::size_t i = lowerBound(name);
    if (i >= subkeys_.size() || !text::namesEqual(subkeys_[i]->name_, name)) return nullptr;
    std::unique_ptr<Key> out = std::move(subkeys_[i]);
    subkeys_.erase(subkeys_.begin() + static_cast<std::ptrdiff_t>(i));
    out->parent_ = nullptr;
    return out;
}

const std::vector<RegistryValue>& Key::values() {
    ensureValues();
    return values_;
}

const RegistryValue* Key::findValue(std::string_view name) {
    ensureValues();
    for (const auto& v : values_)
        if (text::namesEqual(v.name, name)) return &v;
    return nullptr;
}

void Key::setValue(std::string_view name, DWORD type, std::vector<std::uint8_t> data) {
    ensureValues();
    for (auto& v : values_) {
        if (text::namesEqual(v.name, name)) {
            v.type = type; // the stored name keeps its original spelling
            v.data = std::move(data);
            return;
        }
    }
    RegistryValue value{std::string(name), type, std::move(data)};
    if (order_ == ValueOrder::Sorted) {
        auto it = std::lower_bound(values_.begin(), values_.end(), name,
                                   [](const RegistryValue& v, std::string_view n) {
                                       return text::compareNames(v.name, n) < 0;
                                   });
        values_.insert(it, std::move(value));
    } else {
        values_.push_back(std::move(value));
    }
}

bool Key::deleteValue(std::string_view name) {
    ensureValues();
    auto it = std::find_if(values_.begin(), values_.end(),
                           [&](const RegistryValue& v) { return text::namesEqual(v.name, name); });
    if (it == values_.end()) return false;
    values_.erase(it);
    return true;
}

void Key::clearValues() {
    ensureValues();
    values_.clear();
}

void Key::markAncestors() {
    for (Key* k = this; k && !k->subtreeDirty_; k = k->parent_)
        k->subtreeDirty_ = true;
    for (Key* k = parent_; k; k = k->parent_)
        k->subtreeDirty_ = true;
}

void Key::markDirty(std::uint64_t now) {
    dirty_ = true;
    lastWrite_ = now;
    markAncestors();
}

void Key::markStructureChanged(std::uint64_t now) {
    markDirty(now);
}

void Key::clearDirty() {
    if (!subtreeDirty_ && !dirty_) return;
    dirty_ = false;
    subtreeDirty_ = false;
    for (auto& k : subkeys_)
        k->clearDirty();
}

void copyTree(Key& from, Key& to, std::uint64_t now) {
    for (const auto& v : from.values())
        to.setValue(v.name, v.type, v.data);
    to.setClassName(from.className());
    to.markDirty(now);
    for (const auto& sub : from.subkeys()) {
        bool created = false;
        Key& target = to.addSubkey(sub->name(), created);
        if (created) to.markStructureChanged(now);
        copyTree(*sub, target, now);
    }
}

std::uint64_t fileTimeNow() {
    using namespace std::chrono;
    constexpr std::uint64_t kEpochDelta = 116444736000000000ull; // 1601 -> 1970 in 100 ns
    auto ticks = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
    return kEpochDelta + static_cast<std::uint64_t>(ticks);
}

} // namespace ravelin::registry
