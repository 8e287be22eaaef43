#include "app/deskforge/Machine.h"
#include "forms/AllForms.h"
#include "forms/EmbeddedForms.h"
#include "host/Nxregistry.h"
#include "host/PageBase.h"
#include "host/journal/Journal.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/FormLoader.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <type_traits>

using namespace ravelin;

namespace {

// Loads the unit's description without its page, with the handler table its class
// declares: the loader must accept every binding (the generator typed each handler as the
// loader does) and the class must declare exactly the handlers the description binds.
template <typename Form> void checkLoads(const std::string& unit, std::set<std::string>& seen) {
    SCOPED_TRACE(unit);
    seen.insert(unit);
    EXPECT_EQ(Form::kUnit, unit);
    std::set<std::string> bound;
    if constexpr (std::is_base_of_v<toolkit::TForm, Form>) {
        toolkit::TForm root(nullptr);
        ASSERT_NO_THROW(bound = toolkit::LoadForm(root, forms::FormText(unit), Form::kFile,
                                                  Form::HandlerStubs()));
    } else {
        static_assert(std::is_base_of_v<toolkit::TFrame, Form>);
        toolkit::TFrame root(nullptr);
        ASSERT_NO_THROW(bound = toolkit::LoadFrame(root, forms::FormText(unit), Form::kFile,
                                                   Form::HandlerStubs()));
    }
    EXPECT_EQ(bound, Form::HandlerNames());
}

} // namespace

TEST(FormClasses, EveryDescriptionHasAClassThatBindsExactlyItsHandlers) {
    std::set<std::string> seen;
#define RAVELIN_CHECK_UNIT(unit) checkLoads<forms::units::unit>(#unit, seen);
    RAVELIN_FORM_UNITS(RAVELIN_CHECK_UNIT)
#undef RAVELIN_CHECK_UNIT
    const auto units = forms::FormUnits();
    EXPECT_EQ(seen, std::set<std::string>(units.begin(), units.end()));
}

namespace {

// A page of the smallest frame: what the generated class does for a page.
class TMenuPage : public PageBase<forms::TIE7FrameMenuForm> {
  public:
    explicit TMenuPage(toolkit::TComponent* owner) : PageBase(owner) { loadForm(); }
    void cbMenueBarShowClick(toolkit::TComponent& sender) override {
        calls.push_back("show:" + sender.Name + (filling() ? " (filling)" : ""));
        mark(sender);
    }
    void cbMenueBarPositionClick(toolkit::TComponent& sender) override {
        calls.push_back("position:" + sender.Name);
    }
    using PageBase::firstShow;
    std::vector<std::string> calls;
};

} // namespace

TEST(FormClasses, APageGetsTypedComponentsAndItsHandlersBound) {
    TMenuPage page(nullptr);
    ASSERT_NE(page.cbMenueBarShow, nullptr);
    EXPECT_EQ(page.cbMenueBarShow->Name, "cbMenueBarShow");
    EXPECT_EQ(page.cbMenueBarShow->Parent(), page.gbMenuBar);
    EXPECT_EQ(page.gbMenuBar->Parent(), &page);
    EXPECT_TRUE(page.calls.empty()) << "loading fires nothing";

    page.cbMenueBarShow->SetChecked(true);
    page.cbMenueBarPosition->SetChecked(true);
    EXPECT_EQ(page.calls,
              (std::vector<std::string>{"show:cbMenueBarShow", "position:cbMenueBarPosition"}));
    EXPECT_EQ(page.cbMenueBarShow->Tag, 1) << "changed by the user: marked";

    page.cbMenueBarShow->Tag = 0;
    {
        const JournalDiscarding discarding;
        page.cbMenueBarShow->SetChecked(false);
    }
    EXPECT_EQ(page.calls.back(), "show:cbMenueBarShow (filling)");
    EXPECT_EQ(page.cbMenueBarShow->Tag, 0) << "filling marks nothing";
}

TEST(PageBase, ATabIsFirstShownOnce) {
    TMenuPage page(nullptr);
    toolkit::TTabSheet sheet(nullptr);
    EXPECT_TRUE(page.firstShow(sheet));
    EXPECT_FALSE(page.firstShow(sheet));
    EXPECT_EQ(sheet.Tag, 1) << "the filled mark the pages test";
}

TEST(PageBase, FillingRestoresTheFlagItFoundAlsoOnAThrow) {
    ASSERT_FALSE(Journal_Discard);
    try {
        const JournalDiscarding outer;
        { const JournalDiscarding inner; }
        EXPECT_TRUE(Journal_Discard) << "the inner guard puts back what it found";
        throw std::runtime_error("a value cannot be read");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(Journal_Discard);
}

namespace {

class JournalTransactionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::createSampleMachine(dir.path(), "winxp");
        session =
            std::make_unique<app::MachineSession>(dir.path(), app::MachineSession::Mode::Write);
    }
    void TearDown() override { session.reset(); }
    journal::Journal& journal() { return *session->journal(); }
    int write(const std::string& name, DWORD value) {
        // A key that exists: each write is one change.
        return SetRegDWORDValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                name, value, {});
    }
    test::TempDir dir;
    std::unique_ptr<app::MachineSession> session;
};

} // namespace

TEST_F(JournalTransactionTest, WritesInsideAreOneTransaction) {
    {
        const JournalTransaction transaction("OK");
        EXPECT_TRUE(journal().stopped()) << "single changes are not recorded meanwhile";
        EXPECT_EQ(write("A", 1), ERROR_SUCCESS);
        EXPECT_EQ(write("B", 2), ERROR_SUCCESS);
    }
    EXPECT_FALSE(journal().stopped());
    EXPECT_FALSE(journal().backupOpen());
    auto list = journal().list();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].changes, 2);
}

TEST_F(JournalTransactionTest, AThrowVoidsItAndStartsTheJournalAgain) {
    try {
        const JournalTransaction transaction;
        write("A", 1);
        throw std::runtime_error("a handler failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(journal().stopped()) << "the journal records again";
    EXPECT_FALSE(journal().backupOpen()) << "no transaction is left open";
    EXPECT_TRUE(journal().list().empty()) << "half a transaction is not recorded";
    DWORD value = 0;
    EXPECT_NE(GetRegDWORDValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                               "A", value, {}),
              ERROR_SUCCESS)
        << "what it wrote went back";
    write("B", 2);
    EXPECT_EQ(journal().list().size(), 1u) << "the next write is a change of its own";
}

TEST_F(JournalTransactionTest, ClosingEarlyKeepsTheJournalStoppedToTheEnd) {
    {
        JournalTransaction transaction("Favoriten sortieren");
        write("A", 1);
        transaction.close();
        EXPECT_FALSE(journal().backupOpen());
        EXPECT_TRUE(journal().stopped()) << "a message about it is no change";
        transaction.close(); // once only
    }
    EXPECT_FALSE(journal().stopped());
    EXPECT_EQ(journal().list().size(), 1u);
}

TEST(FormClassGenerator, RefusesWhatNoClassCanBeMadeOf) {
    test::TempDir dir;
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"type": "TForm", "name": "frmX", "children": [
              {"type": "TCheckBox", "name": "chkA", "onClick": "Changed"},
              {"type": "TEdit", "name": "edtB", "onKeyPress": "Changed"}]})",
         "forms/ufrmBad.json: /children/1/onKeyPress: the handler \"Changed\" is bound to a "
         "TNotifyEvent at /children/0/onClick and to a TKeyPressEvent here"},
        {R"({"type": "TForm", "name": "frmX", "children": [{"type": "TGauge", "name": "g"}]})",
         "forms/ufrmBad.json: /children/0/type: unknown component type \"TGauge\""},
        {R"({"type": "TForm", "name": "frmX", "children": [
              {"type": "TLabel", "name": "lbl", "onChange": "lblChange"}]})",
         "forms/ufrmBad.json: /children/0/onChange: a TLabel has no event \"onChange\""},
        {R"({"type": "TForm", "name": "frmX", "children": [{"type": "TLabel", "name": "a-b"}]})",
         "forms/ufrmBad.json: /children/0/name: \"a-b\" is no C++ identifier"},
        {R"({"type": "TPanel", "name": "frmX"})",
         "forms/ufrmBad.json: /type: the root component must be a TForm or a TFrame"},
        {R"({"type": "TForm", "name": "frmX", )", "forms/ufrmBad.json: not valid JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        test::writeFile(dir.file("ufrmBad.json"), c.json);
        std::string out;
        EXPECT_EQ(test::runProgram(RAVELIN_FORMGEN,
                                   {dir.file("ufrmBad.json"), dir.file("out/ufrmBadForm.h")}, &out),
                  1);
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out/ufrmBadForm.h"))) << "nothing written";
    }
}

TEST(FormClassGenerator, OneHandlerOnSeveralEventsOfOneTypeIsOneMember) {
    test::TempDir dir;
    test::writeFile(dir.file("ufrmGood.json"), R"({"type": "TFrame", "name": "Good", "children": [
        {"type": "TListView", "name": "lv", "onChange": "lvChange", "onCompare": "lvCompare"},
        {"type": "TLabel", "name": "lblA", "onMouseEnter": "LinkEnter"},
        {"type": "TLabel", "name": "lblB", "onMouseEnter": "LinkEnter"}]})");
    std::string out;
    ASSERT_EQ(test::runProgram(RAVELIN_FORMGEN,
                               {dir.file("ufrmGood.json"), dir.file("ufrmGoodForm.h")}, &out),
              0)
        << out;
    const std::string header = test::readFile(dir.file("ufrmGoodForm.h"));
    EXPECT_NE(header.find("class TGoodForm : public toolkit::TFrame"), std::string::npos);
    EXPECT_NE(header.find("toolkit::TListView* lv = nullptr;"), std::string::npos);
    EXPECT_NE(header.find("virtual void LinkEnter(toolkit::TComponent& sender) = 0;"),
              std::string::npos);
    EXPECT_EQ(header.find("LinkEnter(toolkit::TComponent& sender) = 0;"),
              header.rfind("LinkEnter(toolkit::TComponent& sender) = 0;"))
        << "declared once";
    EXPECT_NE(header.find("virtual void lvChange(toolkit::TComponent& sender, toolkit::TListItem& "
                          "item, toolkit::TItemChange change) = 0;"),
              std::string::npos);
    EXPECT_NE(header.find("virtual void lvCompare(toolkit::TComponent& sender, toolkit::TListItem& "
                          "item1, toolkit::TListItem& item2, std::intptr_t data, int& compare) = "
                          "0;"),
              std::string::npos);
}
