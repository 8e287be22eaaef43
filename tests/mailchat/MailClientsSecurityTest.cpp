#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "mailchat/ufrmMailClients.h"
#include "mailchat/ufrmOutlookSecurity.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::mailchat;

namespace {

using Items = std::vector<std::string>;

TEST(Level1Remove, ParsingFoldsCaseBlanksDotsEmptyItemsAndRepeats) {
    EXPECT_EQ(ParseLevel1Remove(""), Items{});
    EXPECT_EQ(ParseLevel1Remove(";;"), Items{});
    EXPECT_EQ(ParseLevel1Remove("exe;Bat"), (Items{"EXE", "BAT"}));
    EXPECT_EQ(ParseLevel1Remove(" bat ;;.exe;EXE;.Url"), (Items{"BAT", "EXE", "URL"}))
        << "Outlook reads \".exe\" as \"exe\"";
    EXPECT_EQ(ParseLevel1Remove(";ps1;"), Items{"PS1"});
    EXPECT_EQ(ParseLevel1Remove("äx;."), Items{"ÄX"}) << "a lone dot is no type";
}

TEST(Level1Remove, ComposingJoinsUpperCaseWithoutStraySeparators) {
    EXPECT_EQ(ComposeLevel1Remove({}, {}), "");
    EXPECT_EQ(ComposeLevel1Remove({"BAT", "EXE"}, {}), "BAT;EXE");
    EXPECT_EQ(ComposeLevel1Remove({"BAT"}, {"PS1", "bat"}), "BAT;PS1")
        << "unlisted types follow the rows, once";
    EXPECT_EQ(ComposeLevel1Remove({}, {"ps1"}), "PS1");
    // What was read comes back as it was meant.
    EXPECT_EQ(ComposeLevel1Remove(ParseLevel1Remove(" exe;;.bat;Exe"), {}), "EXE;BAT");
}

class OutlookSecurity : public test::PageTest {
  protected:
    OutlookSecurity() : PageTest("mailchat") {}
    std::string level1(const std::string& version) {
        return GetRegStringValueDef(
            HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\" + version + "\\Outlook\\Security",
            "Level1Remove", "<none>", {});
    }
    static std::string unchecked(TfrmOutlookSecurity& d) {
        std::string out;
        for (int i = 0; i < d.lvFileTypes->Count(); ++i)
            if (!d.lvFileTypes->Item(i).Checked()) out += d.lvFileTypes->Item(i).Caption + ";";
        return out;
    }
};

} // namespace

TEST_F(OutlookSecurity, TheListFollowsTheVersionSortedWithTypeNames) {
    open("winxp"); // Outlook 2003
    TfrmOutlookSecurity old(nullptr);
    ASSERT_EQ(old.lvFileTypes->Count(), 41);
    EXPECT_EQ(old.lvFileTypes->Item(0).Caption, "ADE");
    EXPECT_EQ(old.lvFileTypes->Item(40).Caption, "WSH");
    for (int i = 1; i < old.lvFileTypes->Count(); ++i)
        EXPECT_LT(old.lvFileTypes->Item(i - 1).Caption, old.lvFileTypes->Item(i).Caption);
    toolkit::TListItem* exe = old.lvFileTypes->FindCaption("EXE");
    ASSERT_NE(exe, nullptr);
    EXPECT_EQ(exe->SubItems, std::vector<std::string>{"Anwendung"});
    EXPECT_EQ(old.lvFileTypes->FindCaption("ADE")->SubItems.at(0), "ADE-Datei");
    EXPECT_EQ(unchecked(old), "MDB;URL;") << "the sample's \".mdb;.url\"";
    EXPECT_EQ(old.lvFileTypes->Tag, 0);

    open("win7"); // Outlook 2010: "exe; Bat;;pst;PS1"
    TfrmOutlookSecurity recent(nullptr);
    EXPECT_EQ(recent.lvFileTypes->Count(), 76);
    EXPECT_EQ(unchecked(recent), "BAT;EXE;PST;");
    EXPECT_NE(recent.lvFileTypes->FindCaption("VSMACROS"), nullptr);
}

TEST_F(OutlookSecurity, OkWritesOneTransactionOnlyAfterAChange) {
    open("win7");
    const std::string start = "tab tsOutlookView\nclick btnOutlookSettings\n";
    // Opening and confirming, or selecting rows, writes nothing.
    run(start + "select lvFileTypes \"EXE\"\nselect lvFileTypes \"COM\"\nclick Button2\n");
    EXPECT_EQ(transactions(), 0u);
    // Cancel drops the changes.
    run(start + "tick lvFileTypes \"COM\" off\nclick Button1\n");
    EXPECT_EQ(level1("14.0"), "exe; Bat;;pst;PS1");
    EXPECT_EQ(transactions(), 0u);
    // OK writes the unchecked rows in list order, the user's own type after them.
    run(start + "tick lvFileTypes \"COM\" off\ntick lvFileTypes \"EXE\" on\n"
                "tick lvFileTypes \"REG\" off\nclick Button2\n"
                "expect pcMailClients selected \"tsOutlookView\"\n");
    EXPECT_EQ(level1("14.0"), "BAT;COM;PST;REG;PS1");
    auto list = session->journal()->list();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].changes, 1);
    // Block all: only the type the list does not show stays unblocked.
    run(start + "click btnLevel1SelAll\nclick Button2\n");
    EXPECT_EQ(level1("14.0"), "PS1");
    run(start + "click btnLevel1SelNone\nclick Button2\n");
    EXPECT_EQ(level1("14.0").substr(0, 12), "ADE;ADP;APP;");
    EXPECT_EQ(level1("14.0").substr(level1("14.0").size() - 7), "WSH;PS1");
    EXPECT_EQ(transactions(), 3u);
    // Each OK is undone as a whole.
    session->journal()->undo(session->journal()->list().at(0).id, session->registry());
    EXPECT_EQ(level1("14.0"), "PS1");
}

TEST_F(OutlookSecurity, BlockAllWritesAnEmptyValue) {
    open("winxp");
    run("tab tsOutlookView\nclick btnOutlookSettings\nclick btnLevel1SelAll\nclick Button2\n");
    EXPECT_EQ(level1("11.0"), "");
}

TEST_F(OutlookSecurity, WithoutOutlooksUserKeyNothingIsWrittenAndTheUserIsTold) {
    open("vista"); // Outlook 2007, never started by this user
    std::string out = run("tab tsOutlookView\nclick btnOutlookSettings\n"
                          "expect lvFileTypes count 76\ntick lvFileTypes \"EXE\" off\n"
                          "click Button2\n");
    EXPECT_NE(out.find("message: [Outlook Sicherheit] Outlook wurde für diesen Benutzer noch "
                       "nicht eingerichtet."),
              std::string::npos)
        << out;
    EXPECT_EQ(level1("12.0"), "<none>");
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\12.0", {}));
    EXPECT_FALSE(Journal_Discard);
}
