// NT hive files (SOFTWARE, SYSTEM, NTUSER.DAT, DEFAULT) through libhivex. Keys and values
// are read on demand from the open file; a save applies only what changed to a fresh
// in-memory copy of the file and commits that copy to a temporary file, which then
// replaces the hive.
#pragma once

#include "host/registry/Hive.h"

#include <cstdint>
#include <string>

typedef struct hive_h hive_h;

namespace ravelin::registry {

class NtHive final : public Hive, private KeySource {
  public:
    // Throws RegistryFormatError when the file is not a readable hive.
    static std::unique_ptr<NtHive> load(const std::string& path);
    // Writes a new hive file holding only a root key (which libhivex cannot make) and
    // opens it. Throws RegistryAccessError; an existing file is refused.
    static std::unique_ptr<NtHive> create(const std::string& path);
    // The bytes of such a file: the base block and one bin with the root key and the
    // security cell every key refers to.
    static std::string emptyHiveImage(std::uint64_t fileTime);
    ~NtHive() override;

    Format format() const override { return Format::NtHive; }
    void save() override;
    // Larger values are stored by libhivex in a form other readers do not expect.
    std::size_t maxValueSize() const override { return 16344; }

  private:
    explicit NtHive(std::string file);
    void loadValues(Key& key) override;
    void loadSubkeys(Key& key) override;
    void apply(hive_h* h, Key& key, std::size_t node);

    hive_h* handle_ = nullptr;
};

} // namespace ravelin::registry
