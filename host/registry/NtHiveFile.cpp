#include "host/registry/NtHiveFile.h"

#include "host/registry/FileUtil.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

std::string shownPath(const Key& key) {
    return key.path().empty() ? text::tr("dem Stammschlüssel")
                              : text::trf("dem Schlüssel %1", key.path());
}

std::int32_t cellSize(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(v);
}

// Clears the content of every free cell of a hive file. Setting or deleting a value leaves
// its old cells behind as free space, which libhivex never reuses: a password that was
// overwritten or deleted would stay readable in the file. A bin that does not look whole
// is left as it is.
void wipeFreeCells(const std::string& path) {
    std::string b = readWholeFile(path);
    constexpr std::size_t kFirstBin = 0x1000, kBinHeader = 0x20;
    bool changed = false;
    for (std::size_t bin = kFirstBin; bin + kBinHeader <= b.size();) {
        if (b.compare(bin, 4, "hbin") != 0) break;
        const std::size_t binSize = static_cast<std::uint32_t>(cellSize(b, bin + 8));
        if (binSize < kBinHeader || binSize % 0x1000 != 0 || binSize > b.size() - bin) break;
        for (std::size_t cell = bin + kBinHeader; cell + 4 <= bin + binSize;) {
            const std::int32_t size = cellSize(b, cell);
            const std::size_t length =
                size < 0 ? 0u - static_cast<std::uint32_t>(size) : static_cast<std::uint32_t>(size);
            if (length < 8 || length > bin + binSize - cell) break;
            if (size > 0)
                for (std::size_t i = cell + 4; i < cell + length; ++i)
                    if (b[i] != '\0') b[i] = '\0', changed = true;
            cell += length;
        }
        bin += binSize;
    }
    if (!changed) return;
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        throw RegistryAccessError(text::trf("%1: Die Datei kann nicht geschrieben werden: %2", path,
                                            std::strerror(errno)));
    std::size_t done = 0;
    while (done < b.size()) {
        ssize_t n = ::pwrite(fd, b.data() + done, b.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::string why = std::strerror(errno);
            ::close(fd);
            throw RegistryAccessError(
                text::trf("%1: Die Datei kann nicht geschrieben werden: %2", path, why));
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

} // namespace

NtHive::NtHive(std::string file) : Hive(std::move(file), Key::ValueOrder::Insertion) {}

NtHive::~NtHive() {
    if (handle_) hivex_close(handle_);
}

std::unique_ptr<NtHive> NtHive::load(const std::string& path) {
    if (::access(path.c_str(), R_OK) != 0)
        throw RegistryAccessError(
            text::trf("%1: Die Datei kann nicht geöffnet werden: %2", path, std::strerror(errno)));
    FileState seen = stateOf(path);
    hive_h* h = hivex_open(path.c_str(), 0);
    if (!h)
        throw RegistryFormatError(
            path, 0,
            text::trf("keine lesbare Registrierungsdatei (Hive): %1", std::strerror(errno)));
    std::unique_ptr<NtHive> hive(new NtHive(path));
    hive->handle_ = h;
    hive->rememberFileState(seen);
    hive_node_h root = hivex_root(h);
    if (!root)
        throw RegistryFormatError(path, 0, text::tr("Die Hive-Datei hat keinen Stammschlüssel."));
    hive->root_->origin().node = root;
    hive->root_->setLastWrite(nodeTime(h, root));
    hive->root_->setSource(hive.get(), true, true);
    return hive;
}

namespace {

void put16(std::string& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<char>(v & 0xff);
    b[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
}
void put64(std::string& b, std::size_t at, std::uint64_t v) {
    put32(b, at, static_cast<std::uint32_t>(v));
    put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
std::uint32_t get32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

} // namespace

std::string NtHive::emptyHiveImage(std::uint64_t fileTime) {
    // Offsets of cells count from the first bin, which follows the 4 KiB base block.
    constexpr std::size_t kBase = 0x1000, kBinSize = 0x1000;
    constexpr std::uint32_t kRootCell = 0x20, kSecurityCell = 0x78, kFreeCell = 0xA8;
    const std::string rootName = "ROOT";
    std::string b(kBase + kBinSize, '\0');

    // Base block.
    b.replace(0, 4, "regf");
    put32(b, 0x04, 1); // primary and secondary sequence numbers agree: the file is whole
    put32(b, 0x08, 1);
    put64(b, 0x0C, fileTime);
    put32(b, 0x14, 1); // format 1.3, as Windows XP and later read and write
    put32(b, 0x18, 3);
    put32(b, 0x1C, 0); // a primary file
    put32(b, 0x20, 1); // direct memory load
    put32(b, 0x24, kRootCell);
    put32(b, 0x28, static_cast<std::uint32_t>(kBinSize));
    put32(b, 0x2C, 1); // clustering factor
    std::uint32_t checksum = 0;
    for (std::size_t i = 0; i < 0x1FC; i += 4)
        checksum ^= get32(b, i);
    if (checksum == 0xFFFFFFFFu) checksum = 0xFFFFFFFEu;
    if (checksum == 0) checksum = 1;
    put32(b, 0x1FC, checksum);

    // The bin header.
    const std::size_t bin = kBase;
    b.replace(bin, 4, "hbin");
    put32(b, bin + 0x04, 0); // its offset from the first bin
    put32(b, bin + 0x08, static_cast<std::uint32_t>(kBinSize));
    put64(b, bin + 0x14, fileTime);

    // The root key: a used cell (negative size) holding an "nk" record.
    const std::size_t nk = bin + kRootCell;
    const std::size_t nkSize = (4 + 0x4C + rootName.size() + 7) & ~std::size_t{7};
    put32(b, nk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nkSize)));
    b.replace(nk + 4, 2, "nk");
    put16(b, nk + 6, 0x2C); // hive entry, cannot be deleted, name in ASCII
    put64(b, nk + 8, fileTime);
    put32(b, nk + 0x14, 0);           // parent: none
    put32(b, nk + 0x18, 0);           // subkeys
    put32(b, nk + 0x1C, 0);           // volatile subkeys
    put32(b, nk + 0x20, 0xFFFFFFFFu); // subkey list
    put32(b, nk + 0x24, 0xFFFFFFFFu); // volatile subkey list
    put32(b, nk + 0x28, 0);           // values
    put32(b, nk + 0x2C, 0xFFFFFFFFu); // value list
    put32(b, nk + 0x30, kSecurityCell);
    put32(b, nk + 0x34, 0xFFFFFFFFu); // class name
    put16(b, nk + 0x4C, static_cast<std::uint16_t>(rootName.size()));
    put16(b, nk + 0x4E, 0);
    b.replace(nk + 0x50, rootName.size(), rootName);

    // The security cell: one self-relative descriptor with no owner, group or lists,
    // linked to itself; new keys share it, as libhivex copies the parent's.
    const std::size_t sk = bin + kSecurityCell;
    constexpr std::uint32_t kDescriptor = 20;
    put32(b, sk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(kFreeCell - kSecurityCell)));
    b.replace(sk + 4, 2, "sk");
    put32(b, sk + 0x08, kSecurityCell); // next and previous in the list of security cells
    put32(b, sk + 0x0C, kSecurityCell);
    put32(b, sk + 0x10, 1); // keys that refer to it
    put32(b, sk + 0x14, kDescriptor);
    b[sk + 0x18] = 1;            // descriptor revision
    put16(b, sk + 0x1A, 0x8000); // self-relative

    // The rest of the bin is one free cell.
    put32(b, bin + kFreeCell, static_cast<std::uint32_t>(kBinSize - kFreeCell));
    return b;
}

std::unique_ptr<NtHive> NtHive::create(const std::string& path) {
    if (::access(path.c_str(), F_OK) == 0)
        throw RegistryAccessError(text::trf("%1: Abgelehnt: Die Datei existiert bereits.", path));
    writeFileAtomically(path, emptyHiveImage(fileTimeNow()));
    return load(path);
}

void NtHive::loadValues(Key& key) {
    std::size_t node = key.origin().node;
    auto& values = key.loadValuesStorage();
    values.clear();
    if (!node) return;
    CPtr<hive_value_h> list(hivex_node_values(handle_, node));
    if (!list)
        throw RegistryFormatError(
            file_, 0, text::trf("Die Werte von %1 können nicht gelesen werden.", key.path()));
    for (hive_value_h* v = list.get(); *v; ++v) {
        RegistryValue value;
        char* rawName = hivex_value_key(handle_, *v);
        if (!rawName)
            throw RegistryFormatError(file_, 0,
                                      text::trf("Der Name eines Werts unter %1 kann nicht gelesen "
                                                "werden: Die Datei ist beschädigt.",
                                                shownPath(key)));
        value.name = takeString(rawName);
        if (hivex_value_key_len(handle_, *v) > value.name.size()) key.origin().namesCutAtNul = true;
        hive_type t{};
        std::size_t len = 0;
        CPtr<char> data(hivex_value_value(handle_, *v, &t, &len));
        if (!data && len != 0)
            throw RegistryFormatError(file_, 0,
                                      text::trf("Der Wert \"%1\" von %2 kann nicht gelesen werden.",
                                                value.name, key.path()));
        value.type = static_cast<DWORD>(t);
        if (data) value.data.assign(data.get(), data.get() + len);
        values.push_back(std::move(value));
    }
}

void NtHive::loadSubkeys(Key& key) {
    std::size_t node = key.origin().node;
    if (!node) return;
    CPtr<hive_node_h> list(hivex_node_children(handle_, node));
    if (!list)
        throw RegistryFormatError(
            file_, 0,
            text::trf("Die Unterschlüssel von %1 können nicht gelesen werden.", key.path()));
    std::size_t depth = 0;
    for (const Key* up = &key; up->parent(); up = up->parent())
        ++depth;
    if (list.get()[0] && depth >= kMaxKeyDepth)
        throw RegistryFormatError(file_, 0,
                                  text::tr("Schlüssel liegen mehr als 512 Ebenen unter dem Stamm, "
                                           "tiefer als die Registrierung erlaubt: Die Datei ist "
                                           "beschädigt."));
    for (hive_node_h* c = list.get(); *c; ++c) {
        char* rawName = hivex_node_name(handle_, *c);
        // A name that cannot be read, or one no key can have, would make the key stand for
        // its parent (or another key) in every path: the file is damaged.
        if (!rawName)
            throw RegistryFormatError(
                file_, 0,
                text::trf("Der Name eines Unterschlüssels unter %1 kann nicht "
                          "gelesen werden: Die Datei ist beschädigt.",
                          shownPath(key)));
        std::string name = takeString(rawName);
        if (name.empty() || name.find('\\') != std::string::npos)
            throw RegistryFormatError(file_, 0,
                                      text::trf("Ein Unterschlüssel unter %1 hat den Namen \"%2\", "
                                                "den kein Schlüssel haben kann: Die Datei ist "
                                                "beschädigt.",
                                                shownPath(key), name));
        if (hivex_node_name_len(handle_, *c) > name.size()) key.origin().namesCutAtNul = true;
        Key& sub = key.loadSubkey(name);
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
            throw RegistryAccessError(
                text::trf("%1: Die Werte von %2 können nicht gespeichert werden: %3", file_,
                          key.path(), std::strerror(errno)));
    }
    if (key.subkeysPending() || !key.subtreeDirty()) return;

    // Subkeys that are gone from memory are deleted from the file.
    std::unordered_set<std::string> present;
    for (const auto& sub : key.subkeys())
        present.insert(text::foldName(sub->name()));
    CPtr<hive_node_h> children(hivex_node_children(h, node));
    if (!children)
        throw RegistryAccessError(text::trf(
            "%1: Die Unterschlüssel von %2 können nicht aufgelistet werden.", file_, key.path()));
    std::vector<hive_node_h> doomed;
    for (hive_node_h* c = children.get(); *c; ++c) {
        std::string name = takeString(hivex_node_name(h, *c));
        if (!present.count(text::foldName(name))) doomed.push_back(*c);
    }
    for (hive_node_h c : doomed)
        if (hivex_node_delete_child(h, c) != 0)
            throw RegistryAccessError(
                text::trf("%1: Ein Unterschlüssel von %2 kann nicht gelöscht werden: %3", file_,
                          key.path(), std::strerror(errno)));

    for (const auto& sub : key.subkeys()) {
        if (!sub->subtreeDirty() && !sub->dirty()) continue;
        hive_node_h child = hivex_node_get_child(h, node, sub->name().c_str());
        if (!child) {
            child = hivex_node_add_child(h, node, sub->name().c_str());
            if (!child)
                throw RegistryAccessError(
                    text::trf("%1: Der Schlüssel %2 kann nicht angelegt werden: %3", file_,
                              sub->path(), std::strerror(errno)));
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
        throw RegistryAccessError(text::trf("%1: Die Datei kann nicht zum Schreiben geöffnet "
                                            "werden: %2",
                                            file_, std::strerror(errno)));
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
        const std::string target = saveTarget(file_);
        std::string temp = temporaryPathBeside(target);
        if (hivex_commit(h.get(), temp.c_str(), 0) != 0) {
            std::string why = std::strerror(errno);
            ::unlink(temp.c_str());
            throw RegistryAccessError(
                text::trf("%1: Die Hive-Datei kann nicht geschrieben werden: %2", file_, why));
        }
        try {
            wipeFreeCells(temp);
        } catch (...) {
            ::unlink(temp.c_str());
            throw;
        }
        commitTemporary(temp, target);
    } catch (...) {
        for (auto& [k, n] : nodes)
            k->origin().node = n;
        throw;
    }
    // The committed copy is the file now; node offsets of unchanged keys are the same in it.
    if (handle_) hivex_close(handle_);
    handle_ = h.release();
    root_->clearDirty();
    rememberFileState();
}

} // namespace ravelin::registry
