// Pages under test: sample machines, the module's pages built directly (as the loaded
// module would create them), and scripts run on a page as `deskforge run` runs them.
#pragma once

#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "host/machine/Machine.h"
#include "host/machine/Templates.h"
#include "module/PageList.h"
#include "tests/TestSupport.h"
#include "toolkit/Controls.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
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
                                const auto& names = bindings().back();
                                if (!page || (!names.empty() && !names.count(page->name)))
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

// A sample machine in a folder of its own, a write session on it and a page's scripts:
// what every page suite starts from. `page` is the short name scripts run on.
class PageTest : public ::testing::Test {
  protected:
    explicit PageTest(std::string page) : page_(std::move(page)) {}

    // A fresh machine from a template, with a write session on it.
    void open(const std::string& templ) {
        create(templ);
        reopen();
    }
    // A fresh machine from a template and no session yet, for a test that changes its
    // files first.
    void create(const std::string& templ) {
        session.reset();
        dir = std::make_unique<TempDir>();
        createSampleMachine(dir->path(), templ);
    }
    // A new session on the same machine, as the next command would have.
    void reopen() {
        session.reset();
        session =
            std::make_unique<app::MachineSession>(dir->path(), app::MachineSession::Mode::Write);
    }
    void TearDown() override { session.reset(); }

    std::string run(const std::string& script, int rc = 0) { return runScript(page_, script, rc); }
    // A machine path as the host sees it.
    std::string host(const std::string& windowsPath) {
        return session->machine().files().hostPath(windowsPath);
    }
    std::size_t transactions() { return session->journal()->list().size(); }
    // A value as the machine holds it now (the 64-bit view); "<absent>" and nothing when
    // there is none.
    static std::string str(HKEY root, const std::string& key, const std::string& name) {
        return GetRegStringValueDef(root, key, name, "<absent>", {2});
    }
    static std::optional<DWORD> dword(HKEY root, const std::string& key, const std::string& name) {
        DWORD v = 0;
        if (GetRegDWORDValue(root, key, name, v, {2}) != ERROR_SUCCESS) return std::nullopt;
        return v;
    }

    std::unique_ptr<TempDir> dir;
    std::unique_ptr<app::MachineSession> session;

  private:
    std::string page_;
};

} // namespace ravelin::test
