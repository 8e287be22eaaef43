// Pages under test: sample machines, the module's pages built directly (as the loaded
// module would create them), and scripts run on a page as `deskforge run` runs them.
#pragma once

#include "app/deskforge/PageCommand.h"
#include "host/machine/Templates.h"
#include "module/PageList.h"
#include "toolkit/Controls.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace ravelin::test {

inline void createSampleMachine(const std::string& dir, const std::string& templateName) {
    machine::createMachine(dir, templateName,
                           std::string(RAVELIN_SOURCE_DIR) + "/samples/templates");
}

// Binds the module's page list and a factory of its pages, as the loaded module offers
// them, for the life of the object; with `only` (short names) the factory creates just
// those pages, as a module that offers no others yet. Bindings nest: the innermost decides.
class ModulePages {
  public:
    explicit ModulePages(std::set<std::string> only = {}) {
        bindings().push_back(std::move(only));
        app::SetModulePages(module::Pages(),
                            [](const std::string& id) -> std::unique_ptr<toolkit::TForm> {
                                const app::PageInfo* page = app::FindPage(id);
                                const auto& only = bindings().back();
                                if (!page || (!only.empty() && !only.count(page->name)))
                                    return nullptr;
                                return module::CreatePage(id);
                            });
    }
    ~ModulePages() {
        bindings().pop_back();
        if (bindings().empty()) app::SetModulePages({}, nullptr);
    }
    ModulePages(const ModulePages&) = delete;
    ModulePages& operator=(const ModulePages&) = delete;

  private:
    static std::vector<std::set<std::string>>& bindings() {
        static std::vector<std::set<std::string>> stack;
        return stack;
    }
};

// Runs a script on a page and returns what it printed, errors included.
inline std::string runScript(const std::string& page, const std::string& script,
                             int expectedRc = 0) {
    std::ostringstream out, err;
    std::istringstream in;
    app::Console c{out, err, in};
    ModulePages pages;
    EXPECT_EQ(app::runPageCommand(page, script, "script", c), expectedRc) << err.str();
    return out.str() + err.str();
}

} // namespace ravelin::test
