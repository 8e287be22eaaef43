#include "module/PageList.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/ModuleLoader.h"
#include "app/deskforge/PageCommand.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Controls.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string_view>

using namespace ravelin;

TEST(PageList, EveryPageHasOneIdentifierANameATitleAnIconAndAFactory) {
    std::set<std::string> ids, names;
    for (const module::PageEntry& page : module::Pages()) {
        SCOPED_TRACE(page.id);
        const std::string_view id = page.id;
        EXPECT_EQ(id.substr(0, id.find('|')), page.name) << "the short name leads the id";
        EXPECT_EQ(id.substr(id.find('|')), "|Ravelin.bpl");
        EXPECT_TRUE(ids.insert(page.id).second);
        EXPECT_TRUE(names.insert(page.name).second);
        EXPECT_NE(std::string(page.title), "");
        EXPECT_NE(std::string(page.icon), "");
        EXPECT_NE(page.create, nullptr);
    }
    EXPECT_EQ(ids.size(), 7u);
}

TEST(PageList, TheLoadedModuleExportsTheSameTableAndCreatesItsPages) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    app::MachineSession session(dir.path(), app::MachineSession::Mode::Write);
    app::LoadedModule loaded("Ravelin.bpl");
    const auto linked = module::Pages();
    const auto exported = loaded.pages();
    ASSERT_EQ(exported.size(), linked.size());
    for (std::size_t i = 0; i < linked.size(); ++i) {
        SCOPED_TRACE(linked[i].id);
        EXPECT_EQ(std::string(exported[i].id), linked[i].id);
        EXPECT_EQ(std::string(exported[i].name), linked[i].name);
        EXPECT_EQ(std::string(exported[i].title), linked[i].title);
        EXPECT_EQ(std::string(exported[i].icon), linked[i].icon);
        auto page = loaded.InitSubForm(linked[i].id);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->Owner(), nullptr);
    }
    EXPECT_EQ(module::CreatePage("tcpip"), nullptr) << "the short name is no identifier";
}

TEST(PageList, TheHostListsAndFindsThePagesOfTheBoundTable) {
    std::ostringstream out, err;
    std::istringstream in;
    app::Console c{out, err, in};
    EXPECT_TRUE(app::ModulePages().empty()) << "no module bound";
    EXPECT_EQ(app::FindPage("tcpip"), nullptr);
    {
        const test::ModulePages pages({"tcpip"});
        ASSERT_EQ(app::ModulePages().size(), module::Pages().size());
        const app::PageInfo* internet = app::FindPage("internet");
        ASSERT_NE(internet, nullptr);
        EXPECT_EQ(app::FindPage("internet|Ravelin.bpl"), internet);
        EXPECT_EQ(internet->title, "Netzwerk");
        EXPECT_EQ(internet->icon, "network-workgroup");
        EXPECT_EQ(app::FindPage("Internet"), nullptr) << "names compare exactly";
        EXPECT_EQ(app::showPageCommand("nix", false, c), 1);
        EXPECT_EQ(err.str(), "FEHLER: Es gibt keine Seite \"nix\" (Seiten: tcpip, logon, internet, "
                             "explorer, firefox, opera, mailchat).\n");
    }
    EXPECT_TRUE(app::ModulePages().empty()) << "unbound with the last binding";
}

TEST(PageList, DeskforgePagesListsTheModulesTable) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    std::string out;
    ASSERT_EQ(test::runProgram(RAVELIN_DESKFORGE, {"--machine", dir.path(), "pages"}, &out), 0)
        << out;
    std::string expected;
    for (const module::PageEntry& page : module::Pages())
        expected += std::string(page.id) + "\t" + page.title + "\tavailable\n";
    EXPECT_EQ(out, expected);
}
