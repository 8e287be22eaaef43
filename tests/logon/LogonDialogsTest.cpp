#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Orvexwow64.h"
#include "host/Stringhelper.h"
#include "host/journal/Journal.h"
#include "host/machine/PeResources.h"
#include "host/text/Text.h"
#include "logon/ufrmEditLogonNew.h"
#include "logon/ufrmEditLogonOld.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Driver.h"

#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::logon;
namespace text = ravelin::text;

namespace {

const std::string kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kPolicies = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::string kUserList = kWinlogon + "\\SpecialAccounts\\UserList";
const std::string kUnread = "Software\\Microsoft\\Windows\\CurrentVersion\\UnreadMail";
const std::string kDesktop = ".DEFAULT\\Control Panel\\Desktop";
constexpr const char* kAbsent = "<absent>";

class LogonDialogs : public test::PageTest {
  protected:
    LogonDialogs() : PageTest("logon") {}
    std::vector<journal::TransactionInfo> list() { return session->journal()->list(); }
    std::string items(const toolkit::TComboBox& cb) {
        std::string out;
        for (const auto& i : cb.Items)
            out += i.text + "|";
        return out;
    }
};

} // namespace

// ---- The classic logon dialog ----

TEST_F(LogonDialogs, ALineThatFailsInsideTheDialogIsNamedOnce) {
    open("win2000");
    const std::string out = run("click btnLogonOld2k\ncheck chkLogonPrompt on\n"
                                "expect txtLogonPrompt text 'C:\\nicht da'\nclick btnOK\n",
                                1);
    EXPECT_NE(out.find("FEHLER: script: Zeile 3: erwartet txtLogonPrompt text 'C:\\nicht da', "
                       "gefunden \"\""),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("Zeile 1:"), std::string::npos) << out;
    EXPECT_TRUE(list().empty()) << "the dialog was not confirmed";
}

TEST_F(LogonDialogs, ClassicOkWithoutChangesAndCancelWriteNothing) {
    open("win2000");
    run("click btnLogonOld2k\nexpect frmEditLogonOld caption \"Anmeldeaufforderung anpassen\"\n"
        "expect pcEditLogonOld selected \"tsView\"\ntab tsSecurity\nclick btnOK\n");
    EXPECT_TRUE(list().empty());
    run("click btnLogonOld2k\ncheck chkLogonPrompt on\ntype txtLogonPrompt \"Willkommen\"\n"
        "tab tsSecurity\ncheck chkHideLastUser on\nclick btnCancel\n");
    EXPECT_TRUE(list().empty());
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LogonPrompt"), kAbsent);
}

TEST_F(LogonDialogs, ClassicOkWritesOnlyTheMarkedAsOneTransaction) {
    open("win2000");
    run("click btnLogonOld2k\ncheck chkAppendTitle on\nset txtAppendTitle \"Büro\"\n"
        "tab tsSecurity\nexpect chkAllowShutdown checked true\nexpect chkSecureLogon checked "
        "false\ncheck chkSecureLogon on\ncheck chkHideLastUser on\nclick btnOK\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome"), "Büro");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kWinlogon, "DisableCAD"), 0u);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DontDisplayLastUserName"), "1");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "ShutdownWithoutLogon"), "1") << "not touched";
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LogonPrompt"), kAbsent);
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kPolicies, "DisableCAD"))
        << "a policy that does not exist is not created";
    auto l = list();
    ASSERT_EQ(l.size(), 1u);
    session->journal()->undo(l[0].id, session->registry());
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome"), "");
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kWinlogon, "DisableCAD"));
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DontDisplayLastUserName"), "0");
}

TEST_F(LogonDialogs, ClassicSecurityFollowsExistingPolicies) {
    open("vista");
    run("click btnLogonOld2k\nexpect tsView visible false\nexpect pcEditLogonOld selected "
        "\"tsSecurity\"\nexpect chkSecureLogon checked false\n"
        "expect chkAllowShutdown caption \"\\\"Herunterfahren\\\" anzeigen\"\n"
        "check chkSecureLogon on\ncheck chkAllowShutdown off\nclick btnOK\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kWinlogon, "DisableCAD"), 0u);
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kPolicies, "DisableCAD"), 0u);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "ShutdownWithoutLogon"), "0");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kPolicies, "ShutdownWithoutLogon"), 0u);
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kPolicies, "DontDisplayLastUserName").value_or(0))
        << "unmarked: left as it was";
    // A Winlogon value alone: DisableCAD stored as text still counts.
    DeleteRegValue(HKEY_LOCAL_MACHINE, kPolicies, "DisableCAD", {2});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DisableCAD", "1", {2});
    run("click btnLogonOld2k\nexpect chkSecureLogon checked false\nclick btnCancel\n");
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DisableCAD", "0", {2});
    run("click btnLogonOld2k\nexpect chkSecureLogon checked true\nclick btnCancel\n");
}

TEST_F(LogonDialogs, ScreenSaverIsWrittenAtOnce) {
    open("win2000");
    std::string out =
        run("click btnLogonOld2k\ntab tsScreensaver\n"
            "expect cbScreenSaver items \"(Kein)|3D-Rohrleitungen|Verschwommen\"\n"
            "expect cbScreenSaver text \"Verschwommen\"\nexpect udScreenSaver position 15\n"
            "select cbScreenSaver \"3D-Rohrleitungen\"\nclick btnSaverPreview\nclick "
            "btnSaverSettings\nclick btnCancel\n");
    const std::string saver = str(HKEY_USERS, kDesktop, "SCRNSAVE.EXE");
    EXPECT_TRUE(text::namesEqual(saver, "C:\\WINNT\\system32\\sspipes.scr")) << saver;
    EXPECT_EQ(str(HKEY_USERS, kDesktop, "ScreenSaveTimeOut"), "900");
    EXPECT_NE(out.find("launch: C:\\WINNT\\system32\\sspipes.scr /S"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n') >= 2, true);
    EXPECT_EQ(session->machine().launcher().requests().back().verb, "config");

    run("click btnLogonOld2k\ntab tsScreensaver\nexpect cbScreenSaver text "
        "\"3D-Rohrleitungen\"\nspin udScreenSaver 20\nfocus cbScreenSaver\n"
        "select cbScreenSaver \"(Kein)\"\nexpect udScreenSaver enabled false\n"
        "expect btnSaverPreview enabled false\nclick btnOK\n");
    EXPECT_EQ(str(HKEY_USERS, kDesktop, "ScreenSaveTimeOut"), "1200");
    EXPECT_EQ(str(HKEY_USERS, kDesktop, "ScreenSaveActive"), "0");
    EXPECT_TRUE(text::namesEqual(str(HKEY_USERS, kDesktop, "SCRNSAVE.EXE"),
                                 "C:\\WINNT\\system32\\sspipes.scr"))
        << "only the switch goes off";
}

TEST_F(LogonDialogs, ScreenSaverValuesThatDoNotFitStayUntilChanged) {
    open("win2000");
    SetRegStringValue(HKEY_USERS, kDesktop, "ScreenSaveTimeOut", "650", {});
    SetRegStringValue(HKEY_USERS, kDesktop, "SCRNSAVE.EXE", "C:\\WINNT\\system32\\gone.scr", {});
    const std::size_t before = list().size();
    run("click btnLogonOld2k\ntab tsScreensaver\nexpect udScreenSaver position 10\n"
        "expect cbScreenSaver text \"(Kein)\"\nclick btnOK\n");
    EXPECT_EQ(str(HKEY_USERS, kDesktop, "ScreenSaveTimeOut"), "650");
    EXPECT_EQ(str(HKEY_USERS, kDesktop, "SCRNSAVE.EXE"), "C:\\WINNT\\system32\\gone.scr");
    EXPECT_EQ(str(HKEY_USERS, kDesktop, "ScreenSaveActive"), "1");
    EXPECT_EQ(list().size(), before);
    SetRegStringValue(HKEY_USERS, kDesktop, "ScreenSaveTimeOut", "soon", {});
    run("click btnLogonOld2k\ntab tsScreensaver\nexpect udScreenSaver position 10\nclick btnOK\n");
}

TEST_F(LogonDialogs, ScreenSaversOfBothSystemFoldersUnderWow64) {
    open("vista");
    ASSERT_TRUE(IsCurrentProcessWow64());
    auto& files = session->machine().files();
    const std::string native = files.hostPath("C:\\Windows\\system32");
    test::writeFile(native + "/broken.scr", "not a program");
    test::writeFile(native + "/Leer.scr", machine::makeStringResourceImage({{7, "sieben"}}));
    TfrmEditLogonOld dialog(nullptr);
    toolkit::UserDriver driver(dialog);
    driver.Tab("tsScreensaver");
    EXPECT_EQ(items(*dialog.cbScreenSaver), "(Kein)|3D-Text|Bänder|Leer|Seifenblasen|")
        << "a file that is no program is left out; one without a name shows its file name";
    EXPECT_EQ(dialog.cbScreenSaver->Text(), "Seifenblasen");
    auto fileOf = [&](const std::string& name) {
        auto i = static_cast<std::size_t>(dialog.cbScreenSaver->IndexOf(name));
        return static_cast<TSSInfo*>(dialog.cbScreenSaver->Items[i].object.get())->FileName;
    };
    EXPECT_TRUE(text::namesEqual(fileOf("Seifenblasen"), "C:\\Windows\\system32\\Bubbles.scr"))
        << "the native folder comes first: " << fileOf("Seifenblasen");
    EXPECT_TRUE(text::namesEqual(fileOf("3D-Text"), "C:\\Windows\\SysWOW64\\ssText3d.scr"))
        << fileOf("3D-Text");
    EXPECT_TRUE(TNXFsRedirection::Enabled()) << "the redirection is back as it was";
    TNXFsRedirection::Disable();
    TfrmEditLogonOld again(nullptr);
    toolkit::UserDriver(again).Tab("tsScreensaver");
    EXPECT_FALSE(TNXFsRedirection::Enabled()) << "also when it was off before";
    TNXFsRedirection::Enable();
}

// ---- The Welcome screen dialog ----

TEST_F(LogonDialogs, WelcomeOkWithoutChangesWritesNothing) {
    open("winxp");
    run("click btnLogonNew\nexpect frmEditLogonNew caption \"Willkommensseite anpassen\"\n"
        "expect optFastSwitchOn checked true\ntab tsSecurity\ntab tsMail\ntab tsView\n"
        "expect chkEnableFontSmoothing checked true\nclick btnOK\n");
    EXPECT_TRUE(list().empty());
    run("click btnLogonNew\ncheck optFastSwitchOff on\ntab tsView\n"
        "check chkEnableFontSmoothing off\nclick btnCancel\n");
    EXPECT_TRUE(list().empty());
}

TEST_F(LogonDialogs, WelcomeAccountsHiddenAndShown) {
    open("winxp");
    run("click btnLogonNew\ntab tsSecurity\nexpect lbHideUsers count 2\n"
        "tick lbHideUsers #1 off\nclick btnOK\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kUserList, "kinder"), 0u);
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kUserList, "Gast")) << "guests are never listed";
    run("click btnLogonNew\ntab tsSecurity\ntick lbHideUsers #1 on\nclick btnOK\n");
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kUserList, "kinder")) << "the default is no value";
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kUserList, "HelpAssistant"), 0u) << "others stay";

    // Hiding one's own account asks first; No keeps it shown.
    std::string out = run("click btnLogonNew\ntab tsSecurity\nanswer no\ntick lbHideUsers #0 "
                          "off\nexpect lbHideUsers tag \"0\"\nclick btnOK\n");
    EXPECT_NE(out.find("Warnung zur Entfernung des eigenen Benutzernamens"), std::string::npos);
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kUserList, "anna"));
    run("click btnLogonNew\ntab tsSecurity\nanswer yes\ntick lbHideUsers #0 off\nclick btnOK\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kUserList, "anna"), 0u);

    open("bare"); // an administrator account named as Windows names it
    TfrmEditLogonNew dialog(nullptr);
    toolkit::UserDriver driver(dialog);
    driver.Tab("tsSecurity");
    ASSERT_EQ(dialog.lbHideUsers->Items.size(), 2u);
    EXPECT_EQ(ParamX(dialog.lbHideUsers->Items[1], 2, 29), "\"Administrator\" anzeigen");
    EXPECT_FALSE(dialog.lbHideUsers->GetCheck(1)) << "hidden unless shown";
    driver.Tick("lbHideUsers", "#1", true);
    driver.Click("btnOK");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kUserList, "Administrator"), 1u);
}

TEST_F(LogonDialogs, WelcomeMailFontsAndOneTransaction) {
    open("winxp");
    run("click btnLogonNew\ncheck optFastSwitchOff on\ncheck chkAppendTitle on\n"
        "set txtAppendTitle \"Familie\"\ntab tsSecurity\ncheck chkAllowShutdown off\n"
        "tab tsMail\nexpect optUnreadMailsShowSome checked true\nexpect optUnreadMailsApplyCur "
        "checked true\ncheck optUnreadMailsShowAll on\nexpect udUnreadMails enabled false\n"
        "tab tsView\nselect cbFontSmoothingType \"ClearType\"\nclick btnOK\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kWinlogon, "AllowMultipleTSSessions"), 0u);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome"), "Familie");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "ShutdownWithoutLogon"), "0");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kUnread, "MessageExpiryDays"), 0xFFFFFFFFu);
    EXPECT_FALSE(dword(HKEY_LOCAL_MACHINE, kUnread, "MessageExpiryDays"));
    EXPECT_EQ(str(HKEY_USERS, kDesktop, "FontSmoothing"), "2");
    EXPECT_EQ(dword(HKEY_USERS, kDesktop, "FontSmoothingType"), 2u);
    auto l = list();
    ASSERT_EQ(l.size(), 1u) << "one transaction for the dialog";
    session->journal()->undo(l[0].id, session->registry());
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kWinlogon, "AllowMultipleTSSessions"), 1u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kUnread, "MessageExpiryDays"), 3u);
    EXPECT_EQ(dword(HKEY_USERS, kDesktop, "FontSmoothingType"), 1u);

    run("click btnLogonNew\ntab tsMail\ncheck optUnreadMailsApplyAll on\nspin udUnreadMails "
        "14\ntab tsView\ncheck chkEnableFontSmoothing off\nclick btnOK\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kUnread, "MessageExpiryDays"), 14u);
    EXPECT_FALSE(dword(HKEY_CURRENT_USER, kUnread, "MessageExpiryDays"));
    EXPECT_EQ(str(HKEY_USERS, kDesktop, "FontSmoothing"), "0");
    EXPECT_EQ(dword(HKEY_USERS, kDesktop, "FontSmoothingType"), 0u);
    run("click btnLogonNew\ntab tsMail\nexpect optUnreadMailsApplyAll checked true\n"
        "expect udUnreadMails position 14\nclick btnCancel\n");

    // "2" without a readable method is no smoothing.
    DeleteRegValue(HKEY_USERS, kDesktop, "FontSmoothingType", {});
    SetRegStringValue(HKEY_USERS, kDesktop, "FontSmoothing", "2", {});
    run("click btnLogonNew\ntab tsView\nexpect chkEnableFontSmoothing checked false\n"
        "expect cbFontSmoothingType enabled false\nclick btnCancel\n");
}

// ---- Screen-saver files of the sample machines ----

TEST(LogonScreenSavers, CarryGermanAndEnglishNamesAndRun) {
    const std::string scr = machine::makeStringResourceImage(machine::StringTables{
        {machine::kLangGerman, {{1, "Seifenblasen"}}}, {machine::kLangEnglish, {{1, "Bubbles"}}}});
    EXPECT_EQ(machine::readStringResource(scr, 1).value_or(""), "Seifenblasen");
    EXPECT_EQ(machine::readStringResource(scr, 1, machine::kLangEnglish).value_or(""), "Bubbles");
    EXPECT_EQ(machine::readStringResource(scr, 1, 0x040C).value_or(""), "Seifenblasen")
        << "a language it lacks falls back to the first";
    ASSERT_TRUE(machine::isPeImage(scr));
    // A program, not a library, with an entry point inside its code section.
    const auto u16 = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(scr[at]) |
                                     static_cast<unsigned char>(scr[at + 1]) << 8);
    };
    EXPECT_EQ(u16(0x44 + 18) & 0x2000, 0u);
    EXPECT_NE(u16(0x44 + 18) & 0x0002, 0u);
    EXPECT_EQ(u16(0x44 + 20 + 16), 0x1000u);
    EXPECT_EQ(scr.substr(0x200, 3), std::string("\x33\xC0\xC3", 3));
    EXPECT_FALSE(machine::isPeImage("MZ"));
}

TEST(LogonScreenSavers, ParamXSplitsFields) {
    EXPECT_EQ(ParamX("0\x1d\"a\" anzeigen\x1d"
                     "a",
                     3, 29),
              "a");
    EXPECT_EQ(ParamX("a,,c", 2, ','), "");
    EXPECT_EQ(ParamX("a,,c", 3, ','), "c");
    EXPECT_EQ(ParamX("a", 2, ','), "");
    EXPECT_EQ(ParamX("a", 0, ','), "");
}
