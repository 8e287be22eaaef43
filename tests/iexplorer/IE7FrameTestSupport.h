// The Internet Explorer page on a sample machine, for the tests of its search-provider and
// start-page frames: scripts run as `deskforge run explorer` runs them, and the provider
// catalogue comes from a data folder the test writes.
#pragma once

#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "iexplorer/ufrmIE.h"
#include "iexplorer/ufrmIE7FrameSearchbar.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace ravelin::test {

class IE7FrameFixture : public PageTest {
  protected:
    IE7FrameFixture() : PageTest("explorer") {}

    void SetUp() override {
        if (const char* old = std::getenv("DESKFORGE_SHARE")) savedShare_ = old;
        setenv("DESKFORGE_SHARE", share_.path().c_str(), 1);
        std::filesystem::create_directories(share_.path() + "/de");
        iexplorer::IE7ForgetSearchscopeCatalogue();
    }
    void TearDown() override {
        PageTest::TearDown();
        if (savedShare_)
            setenv("DESKFORGE_SHARE", savedShare_->c_str(), 1);
        else
            unsetenv("DESKFORGE_SHARE");
        iexplorer::IE7ForgetSearchscopeCatalogue();
    }
    void catalogue(const std::string& xml) {
        std::ofstream(share_.path() + "/de/NXSearchscopes.xml") << xml;
        iexplorer::IE7ForgetSearchscopeCatalogue();
    }
    std::string str(HKEY root, const std::string& key, const std::string& name) {
        if (!RegValueExists(root, key, name, {})) return "<none>";
        return GetRegStringValueDef(root, key, name, "", {});
    }
    DWORD dword(HKEY root, const std::string& key, const std::string& name) {
        DWORD v = 0xDEADBEEF;
        GetRegDWORDValue(root, key, name, v, {});
        return v;
    }
    void undoLast() {
        std::int64_t last = 0;
        for (const auto& t : session->journal()->list())
            last = std::max(last, t.id);
        session->journal()->undo(last, session->registry());
    }

  private:
    TempDir share_;
    std::optional<std::string> savedShare_;
};

} // namespace ravelin::test
