// Loads a settings module at run time and reaches its entry points by name. A module
// file name such as "Ravelin.bpl" maps to the shared library libRavelin.so, searched in
// $DESKFORGE_MODULE_DIR, beside the installed program (lib/deskforge) and in the build.
#pragma once

#include "module/PageList.h"

#include <memory>
#include <span>
#include <string>

namespace ravelin::toolkit {
class TForm;
}

namespace ravelin::app {

class LoadedModule {
  public:
    // Throws std::runtime_error with the loader's message when it cannot be loaded.
    explicit LoadedModule(const std::string& moduleName);
    ~LoadedModule(); // calls Finalize and unloads
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // The page for an identifier, owned by the caller; nullptr when the module has none.
    std::unique_ptr<toolkit::TForm> InitSubForm(const std::string& id) const;
    // The module's page table; valid while the module is loaded.
    std::span<const module::PageEntry> pages() const { return pages_; }
    const std::string& path() const { return path_; }

  private:
    void* handle_ = nullptr;
    std::string path_;
    toolkit::TForm* (*initSubForm_)(const char*) = nullptr;
    std::span<const module::PageEntry> pages_;
    void (*finalize_)() = nullptr;
};

} // namespace ravelin::app
