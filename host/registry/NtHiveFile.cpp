#include "host/registry/NtHiveFile.h"

#include "host/registry/FileUtil.h"
#include "host/registry/Text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <hivex.h>
#include <memory>
#include <unistd.h>
#include <unordered_set>

namespace ravelin::registry {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using CPtr = std::unique_ptr<T, FreeDeleter>;

std::string takeString(char* s) {
    CPtr<char> owned(s);
    return s ? std::string(s) : std::string();
}

// FILETIME of a hive node; libhivex reports it as such already.
std::uint64_t nodeTime(hive_h* h, hive_node_h node) {
    int64_t t = hivex_node_timestamp(h, node);
    return t > 0 ? static_cast<std::uint64_t>(t) : 0;
}

class Handle {
  public:
    explicit Handle(hive_h* h) : h_(h) {}
    ~Handle() {
        if (h_) hivex_close(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    hive_h* get() const { return h_; }
    hive_h* release() {
        hive_h* h = h_;
        h_ = nullptr;
        return h;
    }

  private:
    hive_h* h_;
};

} // namespace

NtHive::NtHive(std::string file) : Hive(std::move(file), Key::ValueOrder::Insertion) {}

NtHive::~NtHive() {
    if (handle_) hivex_close(handle_);
}

std::unique_ptr<NtHive> NtHive::load(const std::string& path) {
    if (::access(path.c_str(), R_OK) != 0)
        throw RegistryAccessError(path + ": cannot open: " + std::strerror(errno));
    hive_h* h = hivex_open(path.c_str(), 0);
    if (!h)
        throw RegistryFormatError(
            path, 0, std::string("not a readable registry hive: ") + std::strerror(errno));
    std::unique_ptr<NtHive> hive(new NtHive(path));
    hive->handle_ = h;
    hive_node_h root = hivex_root(h);
    if (!root) throw RegistryFormatError(path, 0, "the hive has no root key");
    hive->root_->origin().node = root;
    hive->root_->setLastWrite(nodeTime(h, root));
    hive->root_->setSource(hive.get(), true, true);
    return hive;
}

void NtHive::loadValues(Key& key) {
    std::size_t node = key.origin().node;
    auto& values = key.loadValuesStorage();
    values.clear();
    if (!node) return;
    CPtr<hive_value_h> list(hivex_node_values(handle_, node));
    if (!list) throw RegistryFormatError(file_, 0, "cannot read the values of " + key.path());
    for (hive_value_h* v = list.get(); *v; ++v) {
        RegistryValue value;
        value.name = takeString(hivex_value_key(handle_, *v));
        hive_type t{};
        std::size_t len = 0;
        CPtr<char> data(hivex_value_value(handle_, *v, &t, &len));
        if (!data && len != 0)
            throw RegistryFormatError(file_, 0,
                                      "cannot read value \"" + value.name + "\" of " + key.path());
        value.type = static_cast<DWORD>(t);
        if (data) value.data.assign(data.get(), data.get() + len);
        values.push_back(std::move(value));
    }
}

void NtHive::loadSubkeys(Key& key) {
    std::size_t node = key.origin().node;
    if (!node) return;
    CPtr<hive_node_h> list(hivex_node_children(handle_, node));
    if (!list) throw RegistryFormatError(file_, 0, "cannot read the subkeys of " + key.path());
    for (hive_node_h* c = list.get(); *c; ++c) {
        Key& sub = key.loadSubkey(takeString(hivex_node_name(handle_, *c)));
        sub.origin().node = *c;
        sub.setLastWrite(nodeTime(handle_, *c));
        sub.setSource(this, true, true);
    }
}

void NtHive::apply(hive_h* h, Key& key, std::size_t node) {
    if (key.dirty() && !key.valuesPending()) {
        // All values of a key in one call: each call appends new cells to the file.
        const auto& values = key.values();
        std::vector<hive_set_value> set(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            set[i].key = const_cast<char*>(values[i].name.c_str());
            set[i].t = static_cast<hive_type>(values[i].type);
            set[i].len = values[i].data.size();
            set[i].value =
                reinterpret_cast<char*>(const_cast<std::uint8_t*>(values[i].data.data()));
        }
        if (hivex_node_set_values(h, node, set.size(), set.data(), 0) != 0)
            throw RegistryAccessError(file_ + ": cannot store the values of " + key.path() + ": " +
                                      std::strerror(errno));
    }
    if (key.subkeysPending() || !key.subtreeDirty()) return;

    // Subkeys that are gone from memory are deleted from the file.
    std::unordered_set<std::string> present;
    for (const auto& sub : key.subkeys())
        present.insert(text::foldName(sub->name()));
    CPtr<hive_node_h> children(hivex_node_children(h, node));
    if (!children) throw RegistryAccessError(file_ + ": cannot list the subkeys of " + key.path());
    std::vector<hive_node_h> doomed;
    for (hive_node_h* c = children.get(); *c; ++c) {
        std::string name = takeString(hivex_node_name(h, *c));
        if (!present.count(text::foldName(name))) doomed.push_back(*c);
    }
    for (hive_node_h c : doomed)
        if (hivex_node_delete_child(h, c) != 0)
            throw RegistryAccessError(file_ + ": cannot delete a subkey of " + key.path() + ": " +
                                      std::strerror(errno));

    for (const auto& sub : key.subkeys()) {
        if (!sub->subtreeDirty() && !sub->dirty()) continue;
        hive_node_h child = hivex_node_get_child(h, node, sub->name().c_str());
        if (!child) {
            child = hivex_node_add_child(h, node, sub->name().c_str());
            if (!child)
                throw RegistryAccessError(file_ + ": cannot create key " + sub->path() + ": " +
                                          std::strerror(errno));
        }
        sub->origin().node = child;
        apply(h, *sub, child);
    }
}

void NtHive::save() {
    if (!modified()) return;
    // A fresh writable copy: if anything fails, it is closed without a commit and
    // neither the file nor the open read copy has changed.
    Handle h(hivex_open(file_.c_str(), HIVEX_OPEN_WRITE));
    if (!h.get())
        throw RegistryAccessError(file_ + ": cannot open for writing: " + std::strerror(errno));
    std::vector<std::pair<Key*, std::size_t>> nodes;
    auto remember = [&](auto&& self, Key& k) -> void {
        nodes.emplace_back(&k, k.origin().node);
        if (k.subkeysPending()) return;
        for (const auto& s : k.subkeys())
            self(self, *s);
    };
    remember(remember, *root_);
    try {
        apply(h.get(), *root_, hivex_root(h.get()));
        std::string temp = temporaryPathBeside(file_);
        if (hivex_commit(h.get(), temp.c_str(), 0) != 0) {
            std::string why = std::strerror(errno);
            ::unlink(temp.c_str());
            throw RegistryAccessError(file_ + ": cannot write the hive: " + why);
        }
        commitTemporary(temp, file_);
    } catch (...) {
        for (auto& [k, n] : nodes)
            k->origin().node = n;
        throw;
    }
    // The committed copy is the file now; node offsets of unchanged keys are the same in it.
    if (handle_) hivex_close(handle_);
    handle_ = h.release();
    root_->clearDirty();
}

} // namespace ravelin::registry
