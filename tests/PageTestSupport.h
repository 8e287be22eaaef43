// Pages under test: sample machines, the module's pages built directly (as the loaded
// module would create them), and scripts run on a page as `deskforge run` runs them.
#pragma once

#include "app/deskforge/PageCommand.h"
#include "host/machine/Templates.h"
#include "logon/ufrmLogon.h"
#include "network/ufrmNetwork.h"
#include "network/ufrmTCPIP.h"

#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>

namespace ravelin::test {

inline void createSampleMachine(const std::string& dir, const std::string& templateName) {
    machine::createMachine(dir, templateName,
                           std::string(RAVELIN_SOURCE_DIR) + "/samples/templates");
}

// Binds the page factory to the pages this module has, for the life of the object.
class ModulePages {
  public:
    ModulePages() {
        app::SetPageFactory([](const std::string& id) -> std::unique_ptr<toolkit::TForm> {
            if (id == "internet|Ravelin.bpl")
                return std::make_unique<network::TfrmNetwork>(nullptr);
            if (id == "tcpip|Ravelin.bpl") return std::make_unique<network::TfrmTCPIP>(nullptr);
            if (id == "logon|Ravelin.bpl") return std::make_unique<logon::TfrmLogon>(nullptr);
            return nullptr;
        });
    }
    ~ModulePages() { app::SetPageFactory(nullptr); }
    ModulePages(const ModulePages&) = delete;
    ModulePages& operator=(const ModulePages&) = delete;
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
