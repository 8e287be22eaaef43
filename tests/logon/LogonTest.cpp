#include "app/deskforge/JournalCommand.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Orvexwow64.h"
#include "host/journal/Journal.h"
#include "logon/ufrmLogon.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::logon;

namespace {

const std::string kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kWinlogon9x = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";
const std::string kPolicies = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::string kTour = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Tour";
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kAbsent = "<absent>";

class Logon : public test::PageTest {
  protected:
    Logon() : PageTest("logon") {}
    // Every byte the host keeps for itself beside the machine's files.
    std::string hostState() {
        std::string all;
        for (const auto& e :
             std::filesystem::recursive_directory_iterator(dir->path() + "/.deskforge"))
            if (e.is_regular_file()) all += test::readFile(e.path().string());
        return all;
    }
};

std::string utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

} // namespace

TEST_F(Logon, WhatEachWindowsShows) {
    struct Expect {
        const char* templ;
        bool general, panel, domain, verbose, tour, welcome;
        const char* welcomeCaption;
        const char* noticeKey;
        const char* firstTab;
    };
    const Expect cases[] = {
        {"win98", false, false, false, false, false, false, "Begrüßungscenter",
         "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon", "tsAutoLogon"},
        {"win2000", true, true, true, true, false, false, "Begrüßungscenter",
         "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "tsLogonType"},
        {"winxp", true, false, true, true, true, false, "Begrüßungscenter",
         "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "tsLogonType"},
        {"vista", true, true, true, true, false, true, "Begrüßungscenter",
         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", "tsLogonType"},
        {"win7", true, true, true, true, false, true, "Erste Schritte",
         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", "tsLogonType"},
    };
    for (const auto& e : cases) {
        SCOPED_TRACE(e.templ);
        open(e.templ);
        TfrmLogon page(nullptr);
        EXPECT_EQ(page.tsLogonType->TabVisible, e.general);
        EXPECT_EQ(page.pnlLogonType2k->Visible, e.panel);
        EXPECT_EQ(page.txtAutoLogonDomain->Visible, e.domain);
        EXPECT_EQ(page.gbAutoLogonSecurity->Visible, e.domain);
        EXPECT_EQ(page.gbVerbose->Visible, e.verbose);
        EXPECT_EQ(page.tsTour->TabVisible, e.tour);
        EXPECT_EQ(page.tsWelcomeCenter->TabVisible, e.welcome);
        EXPECT_EQ(page.tsWelcomeCenter->Caption, e.welcomeCaption);
        EXPECT_EQ(LegalNoticeKey, e.noticeKey);
        ASSERT_NE(page.pcLogon->ActivePage(), nullptr);
        EXPECT_EQ(page.pcLogon->ActivePage()->Name, e.firstTab);
        if (e.panel) {
            EXPECT_FALSE(page.optLogonNew->Visible) << "the panel covers the choices";
            EXPECT_NE(page.lblLogonType2k->Caption.find("Anmeldebildschirms von Windows "),
                      std::string::npos);
        }
    }
    open("win2000");
    TfrmLogon page(nullptr);
    EXPECT_EQ(page.lblLogonType2k->Caption,
              "Klicken Sie auf die Schaltfläche \"Anpassen\", um das Aussehen und Verhalten des "
              "Anmeldebildschirms von Windows 2000 festzulegen.");
    EXPECT_EQ(CurLogonScreen, TLogonScreenType::tls2K);
}

TEST_F(Logon, LogonTypeIsWrittenOnlyWhenChosen) {
    open("win2000");
    run("tab tsAutoLogon\ntab tsMessages\n");
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kWinlogon, "LogonType"))
        << "showing the page writes nothing";
    EXPECT_EQ(transactions(), 0u);

    open("winxp");
    run("expect optLogonNew checked true\nexpect btnLogonNew enabled true\n"
        "expect btnLogonOld enabled false\nclick optLogonOld\nexpect btnLogonOld enabled true\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kWinlogon, "LogonType"), 0u);
    EXPECT_EQ(CurLogonScreen, TLogonScreenType::tlsXPOld);
    ASSERT_EQ(transactions(), 1u);
    EXPECT_EQ(session->journal()->list()[0].control, "optLogonOld");
    run("expect optLogonOld checked true\nclick optLogonNew\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kWinlogon, "LogonType"), 1u);
    EXPECT_EQ(CurLogonScreen, TLogonScreenType::tlsXPNew);
}

TEST_F(Logon, AutomaticLogonWritesAndWipesItsValues) {
    open("winxp");
    run("tab tsAutoLogon\nexpect txtAutoLogonUserName enabled false\ncheck chkAutoLogon on\n"
        "set txtAutoLogonUserName \"kinder\"\nset txtAutoLogonPassword \"Geheim-7x9\"\n"
        "focus chkIgnoreShiftOverride\ncheck chkIgnoreShiftOverride on\n"
        "check chkForceAutoLogon on\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon"), "1");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName"), "kinder");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword"), "Geheim-7x9");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultDomainName"), "RAVELIN-PC");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "IgnoreShiftOverride"), "1");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "ForceAutoLogon"), "1");

    // Showing the page again keeps what is stored: filling never writes the boxes back.
    run("tab tsAutoLogon\nexpect chkAutoLogon checked true\nexpect txtAutoLogonUserName text "
        "\"kinder\"\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword"), "Geheim-7x9");

    TfrmLogon page(nullptr);
    toolkit::UserDriver driver(page);
    driver.Tab("tsAutoLogon");
    driver.Click("btnDefAutoLogon");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon"), "0");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "IgnoreShiftOverride"), "0");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "ForceAutoLogon"), "0");
    for (const char* name : {"DefaultUserName", "DefaultPassword", "DefaultDomainName"})
        EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, name), kAbsent) << name;
    // Checking it again writes what the fields hold at once.
    driver.Check("chkAutoLogon", true);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName"), "kinder");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword"), "Geheim-7x9");
}

TEST_F(Logon, ThePasswordStaysWhereWindowsReadsIt) {
    open("winxp");
    const std::string secret = "Geheim-7x9";
    run("tab tsAutoLogon\ncheck chkAutoLogon on\nset txtAutoLogonPassword \"" + secret +
        "\"\nfocus txtAutoLogonUserName\ncheck chkAutoLogon off\ncheck chkAutoLogon on\n"
        "set txtAutoLogonPassword \"" +
        secret + "\"\nfocus txtAutoLogonUserName\n");
    session.reset(); // everything flushed
    EXPECT_NE(test::readFile(dir->file("system.reg")).find(secret), std::string::npos);
    const std::string state = hostState();
    EXPECT_EQ(state.find(secret), std::string::npos);
    EXPECT_EQ(state.find(utf16(secret)), std::string::npos);

    reopen();
    std::ostringstream out, err;
    std::istringstream in;
    app::Console console{out, err, in};
    const auto list = session->journal()->list();
    ASSERT_FALSE(list.empty());
    for (const auto& t : list)
        app::runJournalCommand(session->registry(), *session->journal(),
                               {"show", std::to_string(t.id)}, console);
    app::runJournalCommand(session->registry(), *session->journal(),
                           {"export", dir->file("patch.reg")}, console);
    EXPECT_EQ(out.str().find(secret), std::string::npos);
    const std::string patch = test::readFile(dir->file("patch.reg"));
    EXPECT_EQ(patch.find(utf16(secret)), std::string::npos);
    EXPECT_EQ(patch.find(secret), std::string::npos);
    // Its undo is refused with the reason, and the value stays.
    EXPECT_EQ(app::runJournalCommand(session->registry(), *session->journal(),
                                     {"undo", std::to_string(list.front().id)}, console),
              1);
    EXPECT_NE(err.str().find("nicht aufbewahrt"), std::string::npos) << err.str();
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword"), secret);
}

TEST_F(Logon, ADryRunKeepsThePasswordOffTheDisk) {
    open("winxp");
    session.reset();
    const std::string before = test::readFile(dir->file("system.reg"));
    {
        app::MachineSession dry(dir->path(), app::MachineSession::Mode::DryRun);
        run("tab tsAutoLogon\ncheck chkAutoLogon on\nset txtAutoLogonPassword \"Geheim-7x9\"\n"
            "focus txtAutoLogonUserName\n");
        const std::string patch = dry.dryRunPatch();
        EXPECT_NE(patch.find("\"AutoAdminLogon\"=\"1\""), std::string::npos) << patch;
        EXPECT_EQ(patch.find("Geheim"), std::string::npos) << patch;
    }
    EXPECT_EQ(test::readFile(dir->file("system.reg")), before);
}

TEST_F(Logon, AutomaticLogonOnWindows98StartsTheHelper) {
    open("win98");
    run("tab tsAutoLogon\ncheck chkAutoLogon on\nset txtAutoLogonPassword \"x\"\n"
        "focus txtAutoLogonUserName\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon9x, "AutoAdminLogon"), "1");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon9x, "DefaultPassword"), "x");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon9x, "DefaultDomainName"), kAbsent);
    const std::string helper = str(
        HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", "NXLogon");
    EXPECT_GT(helper.size(), std::string("\\NXLogon.exe").size());
    EXPECT_EQ(helper.substr(helper.size() - 12), "\\NXLogon.exe");
    EXPECT_EQ(helper.find('/'), std::string::npos) << "a Windows path: " << helper;
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon"), kAbsent);
}

// Without a domain (Windows 98) the group ends below the password and the note follows it;
// with one, nothing moves.
TEST_F(Logon, TheAutomaticLogonGroupHasNoEmptyDomainRow) {
    open("win98");
    {
        TfrmLogon page(nullptr);
        EXPECT_FALSE(page.txtAutoLogonDomain->Visible);
        EXPECT_EQ(page.gbAutoLogon->Height, 140 - 28);
        EXPECT_EQ(page.lblAutoLogonNote->Top, page.gbAutoLogon->Top + page.gbAutoLogon->Height + 8);
        EXPECT_EQ(page.imgInfo->Top, page.lblAutoLogonNote->Top);
    }
    open("winxp");
    TfrmLogon page(nullptr);
    EXPECT_TRUE(page.txtAutoLogonDomain->Visible);
    EXPECT_EQ(page.gbAutoLogon->Height, 140);
    EXPECT_EQ(page.lblAutoLogonNote->Top, 156);
    EXPECT_EQ(page.gbAutoLogonSecurity->Top, 194);
}

TEST_F(Logon, TheNoticeIsWrittenAfterAPause) {
    open("winxp");
    auto& app = toolkit::TApplication::Instance();
    TfrmLogon page(nullptr);
    toolkit::UserDriver driver(page);
    driver.Tab("tsMessages");
    driver.Check("chkLegalNotice", true);
    driver.Type("txtLegalNoticeCaption", "Hinweis");
    app.AdvanceClock(500);
    driver.Type("txtLegalNoticeText", "Nur für Befugte");
    app.AdvanceClock(749);
    EXPECT_NE(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText"), "Nur für Befugte")
        << "each key restarts the 750 ms";
    app.AdvanceClock(1);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption"), "Hinweis");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText"), "Nur für Befugte");
    EXPECT_FALSE(page.tmrLegalNoticeChange->Enabled());

    // A title alone is stored with a blank text, which reads back as an empty memo.
    driver.Set("txtLegalNoticeText", "");
    driver.Focus("btnDefMessages");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText"), " ")
        << "leaving the group writes at once";
}

TEST_F(Logon, NoticeEdgesAndKeys) {
    open("winxp");
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption", "Titel", {2});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText", " ", {2});
    run("tab tsMessages\nexpect chkLegalNotice checked true\nexpect txtLegalNoticeText text "
        "\"\"\nexpect txtLegalNoticeCaption enabled true\n"
        "set txtLegalNoticeCaption \"\"\nfocus chkVerbose\nexpect chkLegalNotice checked false\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption"), kAbsent);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText"), kAbsent);

    // What is typed just before the page closes is not lost.
    run("tab tsMessages\ncheck chkLegalNotice on\nset txtLegalNoticeText \"Bitte melden\"\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText"), "Bitte melden");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption"), " ");

    open("vista");
    run("tab tsMessages\ncheck chkLegalNotice on\nset txtLegalNoticeCaption \"Achtung\"\n"
        "set txtLegalNoticeText \"Privat\"\nwait 800\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kPolicies, "LegalNoticeText"), "Privat");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText"), "")
        << "from Vista on the notice is a policy";
    run("tab tsMessages\nclick btnDefMessages\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kPolicies, "LegalNoticeText"), kAbsent);
}

TEST_F(Logon, VerboseStatusOverridesDisabledMessages) {
    open("win7");
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, "DisableStatusMessages", 1, {});
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, "verbosestatus", 1, {});
    run("tab tsMessages\nexpect chkVerbose checked false\ncheck chkVerbose on\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kPolicies, "verbosestatus"), 1u);
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kPolicies, "DisableStatusMessages"), 0u);
    run("tab tsMessages\nexpect chkVerbose checked true\ncheck chkVerbose off\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kPolicies, "verbosestatus"), 0u);
}

TEST_F(Logon, TheTourIsWrittenWhenItsTabIsLeft) {
    open("winxp");
    DeleteRegValue(HKEY_CURRENT_USER, kTour, "RunCount", {});
    const std::size_t before = transactions();
    run("tab tsTour\nexpect chkShowTour checked true\nexpect optShowTourApplyCur checked true\n"
        "check optShowTourApplyAll on\ntab tsMessages\n");
    EXPECT_FALSE(dword(HKEY_CURRENT_USER, kTour, "RunCount")) << "the scope alone writes nothing";
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kTour, "RunCount"));
    EXPECT_EQ(transactions(), before);

    run("tab tsTour\ncheck chkShowTour off\nexpect chkShowTour tag \"1\"\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kTour, "RunCount"), 0u) << "written when the page closes";
    run("tab tsTour\nexpect chkShowTour checked false\ncheck optShowTourApplyAll on\n"
        "check chkShowTour on\ncheck chkShowTour off\ntab tsAutoLogon\n");
    EXPECT_FALSE(dword(HKEY_CURRENT_USER, kTour, "RunCount"));
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kTour, "RunCount"), 0u);
    EXPECT_EQ(session->journal()->list()[0].category, 128);

    // The defaults are written even where the box shows checked already.
    SetRegDWORDValue(HKEY_CURRENT_USER, kTour, "RunCount", 1, {});
    run("tab tsTour\nexpect chkShowTour checked true\nclick btnDefTour\ntab tsMessages\n");
    EXPECT_FALSE(dword(HKEY_CURRENT_USER, kTour, "RunCount"));
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kTour, "RunCount"));
}

TEST_F(Logon, TheWelcomeWindow) {
    open("vista");
    std::string out = run("tab tsWelcomeCenter\nexpect chkShowWelcomeCenter checked true\n"
                          "check chkShowWelcomeCenter off\nclick lblJumpToPrivacy\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_CURRENT_USER, kRun, "WindowsWelcomeCenter", kAbsent, {}),
              kAbsent);
    EXPECT_NE(out.find("launch: control.exe /name Microsoft.WelcomeCenter"), std::string::npos)
        << out;
    EXPECT_TRUE(TNXFsRedirection::Enabled()) << "the redirection is back as it was";
    run("tab tsWelcomeCenter\ncheck chkShowWelcomeCenter on\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_CURRENT_USER, kRun, "WindowsWelcomeCenter", kAbsent, {}),
              kWelcomeCenterCommand);

    open("win7");
    run("tab tsWelcomeCenter\nexpect chkShowWelcomeCenter checked false\n"
        "expect chkShowWelcomeCenter caption \"\\\"Erste Schritte\\\" nach der Anmeldung "
        "anzeigen\"\nexpect lblJumpToPrivacy caption \"\\\"Erste Schritte\\\" jetzt anzeigen\"\n");
    EXPECT_EQ(transactions(), 0u);
    // A program that is not there is a message, not a silent success.
    std::filesystem::remove(host("C:\\Windows\\system32\\control.exe"));
    out = run("tab tsWelcomeCenter\nclick lblJumpToPrivacy\n");
    EXPECT_NE(out.find("Das Programm \"control.exe\" konnte nicht gestartet werden."),
              std::string::npos)
        << out;
}

TEST_F(Logon, FindShowsOnlyWhatTheWindowsHas) {
    test::ModulePages pages;
    auto hits = [](const std::string& text) {
        std::string out;
        for (const auto& h : app::FindSettings(text))
            if (h.pageId == "logon|Ravelin.bpl") out += h.tabName + "/" + h.control + ";";
        return out;
    };
    open("win7");
    EXPECT_NE(hits("erste schritte").find("tsWelcomeCenter/chkShowWelcomeCenter"),
              std::string::npos);
    EXPECT_EQ(hits("Windows-Tour"), "");
    open("winxp");
    EXPECT_NE(hits("windows-tour").find("tsTour/chkShowTour"), std::string::npos);
    EXPECT_EQ(hits("Begrüßungscenter"), "");
    open("win98");
    EXPECT_EQ(hits("Umschalt-Taste"), "") << "no security group on 9x";
}
