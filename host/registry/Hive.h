// One hive file and its tree. Subclasses read and write one real format.
#pragma once

#include "host/registry/Key.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace ravelin::registry {

class Hive {
  public:
    enum class Format { WineText, NtHive, Memory };

    virtual ~Hive() = default;
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;

    Key& root() { return *root_; }
    const std::string& file() const { return file_; }
    virtual Format format() const = 0;
    bool modified() const { return root_->subtreeDirty(); }
    // Writes the changes to the file; a no-op when nothing changed. Throws
    // RegistryAccessError when the file cannot be written (it is left as it was).
    virtual void save() = 0;
    // The largest value the format can store safely.
    virtual std::size_t maxValueSize() const { return std::numeric_limits<std::size_t>::max(); }
    // Forces every lazily read part into memory; throws RegistryFormatError on bad input.
    void loadAll();

    // What a file on disk looks like: identity, size, modification time.
    struct FileState {
        bool exists = false;
        unsigned long long device = 0, inode = 0, size = 0;
        long long seconds = 0, nanoseconds = 0;
        bool operator==(const FileState&) const = default;
    };
    static FileState stateOf(const std::string& path);
    // Notes that the tree was read from, or saved as, the file as it looks now (or as
    // `seen` describes it, taken before the file was read).
    void rememberFileState(std::optional<FileState> seen = std::nullopt);
    // True when the file was replaced or changed since rememberFileState(): the tree in
    // memory is then a stale copy that must not be written back.
    bool fileChangedOnDisk() const;

  protected:
    Hive(std::string file, Key::ValueOrder order)
        : file_(std::move(file)), root_(std::make_unique<Key>("", nullptr, order)) {}

    std::string file_;
    std::unique_ptr<Key> root_;

  private:
    std::optional<FileState> state_;
};

// A hive that lives only in memory: for unit tests and for building trees.
class MemoryHive final : public Hive {
  public:
    explicit MemoryHive(std::string name = "memory")
        : Hive(std::move(name), Key::ValueOrder::Insertion) {}
    Format format() const override { return Format::Memory; }
    void save() override { root_->clearDirty(); }
};

} // namespace ravelin::registry
