#include "app/deskforge/ModuleLoader.h"

#include "host/text/Translate.h"
#include "toolkit/Controls.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <stdexcept>

namespace ravelin::app {

namespace {

std::string libraryFile(const std::string& moduleName) {
    std::string base = moduleName;
    if (auto dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
    return "lib" + base + ".so";
}

std::string findLibrary(const std::string& file) {
    std::vector<std::filesystem::path> folders;
    if (const char* env = std::getenv("DESKFORGE_MODULE_DIR"); env && *env)
        folders.emplace_back(env);
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) folders.push_back(exe.parent_path().parent_path() / "lib" / "deskforge");
    folders.emplace_back(RAVELIN_MODULE_DIR);
    for (const auto& f : folders)
        if (std::filesystem::exists(f / file, ec)) return (f / file).string();
    return file; // the loader's own search path
}

} // namespace

LoadedModule::LoadedModule(const std::string& moduleName)
    : path_(findLibrary(libraryFile(moduleName))) {
    handle_ = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        throw std::runtime_error(
            text::trf("Das Modul %1 kann nicht geladen werden: %2", moduleName, ::dlerror()));
    initSubForm_ =
        reinterpret_cast<toolkit::TForm* (*)(const char*)>(::dlsym(handle_, "InitSubForm"));
    auto initialize = reinterpret_cast<void (*)()>(::dlsym(handle_, "Initialize"));
    finalize_ = reinterpret_cast<void (*)()>(::dlsym(handle_, "Finalize"));
    auto pageTable =
        reinterpret_cast<const module::PageEntry* (*)(int*)>(::dlsym(handle_, "GetPageTable"));
    if (!initSubForm_ || !initialize || !finalize_ || !pageTable) {
        ::dlclose(handle_);
        throw std::runtime_error(
            text::trf("Dem Modul %1 fehlen seine Einsprungpunkte.", moduleName));
    }
    int count = 0;
    const module::PageEntry* table = pageTable(&count);
    if (table && count > 0) pages_ = {table, static_cast<std::size_t>(count)};
    initialize();
}

LoadedModule::~LoadedModule() {
    if (finalize_) finalize_();
    if (handle_) ::dlclose(handle_);
}

std::unique_ptr<toolkit::TForm> LoadedModule::InitSubForm(const std::string& id) const {
    return std::unique_ptr<toolkit::TForm>(initSubForm_(id.c_str()));
}

} // namespace ravelin::app
