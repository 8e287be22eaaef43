#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Nxapps.h"
#include "host/Nxregistry.h"
#include "host/Nxshell.h"
#include "host/Nxsystem.h"
#include "host/journal/Journal.h"
#include "mailchat/ufrmMailClients.h"
#include "mailchat/ufrmOutlookSecurity.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;
using namespace ravelin::mailchat;

namespace {

const std::string kIdentity = "Identities\\{5C2F8B1A-7E3D-4A6B-9C0D-1E2F3A4B5C6D}\\Software\\"
                              "Microsoft\\Outlook Express\\5.0";
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kPolicy = "SOFTWARE\\Policies\\Microsoft\\Messenger\\Client";

class MailClients : public test::PageTest {
  protected:
    MailClients() : PageTest("mailchat") {}
    DWORD dword(HKEY root, const std::string& key, const std::string& name) {
        DWORD v = 0xDEADBEEF;
        GetRegDWORDValue(root, key, name, v, {});
        return v;
    }
    std::string str(HKEY root, const std::string& key, const std::string& name) {
        return GetRegStringValueDef(root, key, name, "<none>", {});
    }
};

} // namespace

TEST_F(MailClients, EachProgramShowsItsTabOnlyWhereItIsInstalled) {
    struct Expect {
        const char* templ;
        bool mail, outlook, winMsgr, liveMsgr, notInstalled;
        const char* caption;
        bool identity, winMsgrOutlookOption, liveOutlookOption;
    };
    const Expect cases[] = {
        {"winxp", true, true, true, false, false, "Outlook Express", true, true, false},
        {"win7", true, true, false, true, false, "Windows Mail", true, false, true},
        {"vista", true, true, false, true, false, "Windows Mail", true, false, true},
        {"win98", true, false, false, false, false, "Outlook Express", false, false, false},
        // Outlook 2000 is too old for the Office tab.
        {"win2000", false, false, false, false, true, "Outlook Express", false, false, false},
        {"bare", false, false, false, false, true, "Outlook Express", false, false, false},
    };
    for (const auto& e : cases) {
        SCOPED_TRACE(e.templ);
        open(e.templ);
        TfrmMailClients page(nullptr);
        EXPECT_EQ(page.tsOutlookExpress->TabVisible, e.mail);
        EXPECT_EQ(page.tsOutlookView->TabVisible, e.outlook);
        EXPECT_EQ(page.tsWinMsgr->TabVisible, e.winMsgr);
        EXPECT_EQ(page.tsLiveMsgr->TabVisible, e.liveMsgr);
        EXPECT_EQ(page.tsNotInstalled->TabVisible, e.notInstalled);
        EXPECT_EQ(page.OECaption, e.caption);
        EXPECT_EQ(page.tsOutlookExpress->Caption, e.caption);
        EXPECT_EQ(page.OEUseIdentity, e.identity);
        EXPECT_EQ(e.winMsgr && page.chkWinMsgrStartOutlook->Visible, e.winMsgrOutlookOption);
        EXPECT_EQ(e.liveMsgr && page.chkLiveMsgrStartOutlook->Visible, e.liveOutlookOption);
        ASSERT_NE(page.pcMailClients->ActivePage(), nullptr);
        EXPECT_TRUE(page.pcMailClients->ActivePage()->TabVisible);
        EXPECT_FALSE(Journal_Discard) << "creation clears the discard flag";
    }
    EXPECT_EQ(transactions(), 0u) << "creating pages writes nothing";
}

TEST_F(MailClients, TheMailProgramKeyFollowsTheIdentities) {
    open("winxp");
    {
        TfrmMailClients page(nullptr);
        EXPECT_EQ(page.OERegKey, kIdentity);
        EXPECT_NE(page.lblOEGeneral->Caption.find("Bedienung von Outlook Express fest."),
                  std::string::npos);
        EXPECT_EQ(page.txtOETitlebar->Left,
                  page.lblOETitleText->Left + page.lblOETitleText->Width + 7);
        EXPECT_EQ(page.txtOETitlebar->Left + page.txtOETitlebar->Width, 442)
            << "the edit keeps its right edge";
    }
    // A blank last identity falls back to the default one; none at all to the plain key.
    SetRegStringValue(HKEY_CURRENT_USER, "Identities", "Last User ID", "  ", {});
    SetRegStringValue(HKEY_CURRENT_USER, "Identities", "Default User ID", "{X}", {});
    EXPECT_EQ(TfrmMailClients(nullptr).OERegKey,
              "Identities\\{X}\\Software\\Microsoft\\Outlook Express\\5.0");
    DeleteRegKey(HKEY_CURRENT_USER, "Identities", {});
    TfrmMailClients plain(nullptr);
    EXPECT_EQ(plain.OERegKey, "Software\\Microsoft\\Outlook Express");
    EXPECT_FALSE(plain.OEUseIdentity);
}

TEST_F(MailClients, MailSettingsReadAndWriteInTheIdentity) {
    open("winxp");
    std::string out = run("expect chkShowSplash checked false\n"
                          "expect chkOESmoothScroll checked false\n"
                          "expect chkDisableEXEAttachments checked true\n"
                          "expect txtOETitlebar text \"Outlook Express (Anna)\"\n"
                          "check chkShowSplash on\ncheck chkOESmoothScroll on\n"
                          "check chkDisableEXEAttachments off\n"
                          "set txtOETitlebar \"Annas Post\"\nfocus chkShowSplash\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kIdentity, "NoSplash"), 0u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kIdentity + "\\Trident\\Main", "SmoothScroll"), 1u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kIdentity + "\\Mail", "Safe Attachments"), 0u);
    EXPECT_EQ(str(HKEY_CURRENT_USER, kIdentity, "WindowTitle"), "Annas Post");
    auto list = session->journal()->list();
    ASSERT_EQ(list.size(), 4u) << out;
    EXPECT_EQ(list[1].control, "chkDisableEXEAttachments");
    EXPECT_EQ(list[1].category, 1) << "a per-user value";
    // The default caption typed back deletes the value; defaults put everything back.
    run("set txtOETitlebar \"Outlook Express\"\nfocus chkShowSplash\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kIdentity, "WindowTitle"), "<none>");
    run("set txtOETitlebar \"Neu\"\nfocus chkShowSplash\nclick btnDefOE\n"
        "expect txtOETitlebar text \"Outlook Express\"\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kIdentity, "WindowTitle"), "<none>");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kIdentity, "NoSplash"), 0u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kIdentity + "\\Trident\\Main", "SmoothScroll"), 0u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kIdentity + "\\Mail", "Safe Attachments"), 1u);
    // Showing the tab again writes nothing and a title left unchanged is not written.
    const std::size_t before = transactions();
    run("focus txtOETitlebar\nfocus chkShowSplash\n");
    EXPECT_EQ(transactions(), before);
}

TEST_F(MailClients, AttachmentBlockingWhereEachWindowsKeepsIt) {
    // Before Vista without identities: machine-wide, category 2.
    open("win98");
    run("expect chkDisableEXEAttachments checked true\ncheck chkDisableEXEAttachments off\n");
    EXPECT_EQ(
        dword(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Outlook Express", "BlockExeAttachments"),
        0u);
    EXPECT_EQ(session->journal()->list().at(0).category, 2);
    // Windows Mail: its own key, per user.
    open("win7");
    run("expect chkDisableEXEAttachments checked false\n"
        "expect txtOETitlebar text \"Post von Anna\"\nexpect chkOESmoothScroll checked true\n"
        "check chkDisableEXEAttachments on\n"
        "set txtOETitlebar \"Windows Mail\"\nfocus chkShowSplash\n");
    EXPECT_EQ(
        dword(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows Mail\\Mail", "Safe Attachments"),
        1u);
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows Mail", "WindowTitle"), "<none>");
    EXPECT_EQ(session->journal()->list().at(1).category, 1);
}

TEST_F(MailClients, OfficeOutlookTab) {
    open("winxp");
    const std::string toolbars = "Software\\Microsoft\\Office\\11.0\\Common\\Toolbars\\Outlook";
    const std::string prefs = "Software\\Microsoft\\Office\\11.0\\Outlook\\Preferences";
    run("tab tsOutlookView\nexpect chkOfficeQuestionField checked true\n"
        "expect chkOutlookMinToSysTray checked true\n"
        "check chkOfficeQuestionField off\ncheck chkOutlookMinToSysTray off\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, toolbars, "DisableAskAQuestionDropdown"), 1u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, prefs, "MinToTray"), 0u);
    run("tab tsOutlookView\nexpect chkOfficeQuestionField checked false\n"
        "check chkOutlookMinToSysTray on\nclick btnDefOutlookView\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, toolbars, "DisableAskAQuestionDropdown"), 0u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, prefs, "MinToTray"), 0u);
    EXPECT_EQ(transactions(), 4u) << "the defaults button is one action";
    // Outlook never started by this user: the tray setting has no key to live in yet.
    open("vista");
    run("tab tsOutlookView\nexpect chkOutlookMinToSysTray enabled false\n"
        "check chkOutlookMinToSysTray on\n",
        1);
    run("tab tsOutlookView\nclick btnDefOutlookView\n");
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\12.0\\Outlook", {}));
}

TEST_F(MailClients, WindowsMessengerExecutionAndStartOptions) {
    open("winxp");
    const std::string oe = "Software\\Microsoft\\Outlook Express";
    const std::string im = "Software\\Microsoft\\Office\\11.0\\Outlook\\IM";
    run("tab tsWinMsgr\nexpect rbAllowWinMsgrExec checked true\n"
        "expect chkWinMsgrStartLogon checked true\nexpect chkOEStartMessenger checked true\n"
        "expect chkWinMsgrStartOutlook checked true\n"
        "check chkWinMsgrStartLogon off\nclick rbDenyWinMsgrExec\n"
        "expect chkOEStartMessenger enabled false\nexpect chkOEStartMessenger checked false\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kRun, "MSMSGS"), "<none>");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, oe, "Hide Messenger"), 2u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, im, "Enabled"), 0u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kPolicy, "PreventRun"), 1u);
    // The start options go off before execution is prevented.
    auto denied = session->journal()->list().at(0);
    auto rows = session->journal()->entries(denied.id);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().registry.valueName, "PreventRun");
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [](const auto& r) { return r.registry.valueName == "Hide Messenger"; }),
              1)
        << "each start option is written once";
    // Defaults allow it again and turn every start option on.
    run("tab tsWinMsgr\nexpect rbDenyWinMsgrExec checked true\nclick btnDefWinMsgr\n"
        "expect chkOEStartMessenger enabled true\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kPolicy, "PreventRun"), 0u);
    EXPECT_EQ(str(HKEY_CURRENT_USER, kRun, "MSMSGS"),
              "\"C:\\Programme\\Messenger\\msmsgs.exe\" /background");
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, oe, "Hide Messenger", {}));
    EXPECT_EQ(dword(HKEY_CURRENT_USER, im, "Enabled"), 1u);
    // A machine-wide policy wins over the user's.
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicy, "PreventRun", 1, {});
    run("tab tsWinMsgr\nexpect rbDenyWinMsgrExec checked true\n");
}

TEST_F(MailClients, ARemovedWindowsMessengerCannotBeChanged) {
    open("winxp");
    SetRegDWORDValue(
        HKEY_LOCAL_MACHINE,
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents", "msmsgs",
        0, {});
    const std::size_t before = transactions();
    TfrmMailClients page(nullptr);
    EXPECT_FALSE(page.WinMsgrInstalled());
    EXPECT_FALSE(page.btnUninstallMsMsgr->Visible);
    EXPECT_FALSE(page.rbAllowWinMsgrExec->Enabled);
    EXPECT_FALSE(page.chkWinMsgrStartLogon->Enabled);
    EXPECT_NE(page.lblMsMsgs->Caption.find("nicht mehr installiert"), std::string::npos);
    // Its defaults add no start entry for a program that is gone.
    page.pcMailClients->SetActivePage(page.tsWinMsgr);
    page.btnDefWinMsgrClick(*page.btnDefWinMsgr);
    EXPECT_EQ(transactions(), before);
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, kPolicy, "PreventRun", {}));
}

TEST_F(MailClients, UninstallingAMessengerGoesThroughTheLauncher) {
    open("winxp");
    std::string out = run("tab tsWinMsgr\nanswer no\nclick btnUninstallMsMsgr\n");
    EXPECT_NE(out.find("message: [Messenger deinstallieren] Soll der Windows Messenger jetzt"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("launch:"), std::string::npos) << "No changes nothing";
    out = run("tab tsWinMsgr\nanswer yes\nclick btnUninstallMsMsgr\n");
    EXPECT_NE(out.find("launch: C:\\WINDOWS\\system32\\rundll32.exe advpack.dll,"
                       "LaunchINFSection C:\\WINDOWS\\INF\\msmsgs.inf,BLC.Remove"),
              std::string::npos)
        << out;
    EXPECT_EQ(transactions(), 0u) << "nothing is removed by us";
    // Without administrator rights only the warning.
    session->machine().config().admin = false;
    out = run("tab tsWinMsgr\nclick btnUninstallMsMsgr\n");
    EXPECT_NE(out.find("Sie müssen über Administrationsrechte verfügen, um den Windows Messenger"),
              std::string::npos);
    EXPECT_EQ(out.find("launch:"), std::string::npos);

    open("win7");
    out = run("tab tsLiveMsgr\nanswer yes\nclick btnLiveMsgrDeinstall\n");
    EXPECT_NE(out.find("launch: MsiExec.exe /X{A85FD55B-891B-4314-97A5-EA96C0BD80B5} /qb"),
              std::string::npos)
        << out;
    // No uninstaller registered: said so, not a silent success.
    open("vista");
    out = run("tab tsLiveMsgr\nanswer yes\nclick btnLiveMsgrDeinstall\n");
    EXPECT_NE(out.find("Die Deinstallation konnte nicht gestartet werden."), std::string::npos)
        << out;
    EXPECT_EQ(out.find("launch:"), std::string::npos);
}

TEST_F(MailClients, LiveMessengerStartOptions) {
    open("win7");
    const std::string im = "Software\\Microsoft\\Office\\14.0\\Outlook\\IM";
    run("tab tsLiveMsgr\nexpect rbLiveMsgrRunEnable checked true\n"
        "expect chkLiveMsgrStartOutlook checked false\n"
        "check chkLiveMsgrStartOutlook on\nclick rbLiveMsgrRunDisable\n"
        "expect chkLiveMsgrStartOutlook enabled false\n"
        "expect rbLiveMsgrRunEnable checked false\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, im, "Enabled"), 1u);
    EXPECT_EQ(str(HKEY_CURRENT_USER, kRun, "msnmsgr"), "<none>");
    run("tab tsLiveMsgr\nexpect rbLiveMsgrRunDisable checked true\nclick btnDefLiveMsgr\n"
        "expect chkLiveMsgrStartOutlook enabled true\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kRun, "msnmsgr"),
              "\"C:\\Program Files (x86)\\Windows Live\\Messenger\\msnmsgr.exe\" /background");
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, kRun, "MSMSGS", {}))
        << "Live Messenger's defaults leave the Windows Messenger alone";
    // Without Outlook the option goes and the groups close up.
    DeleteRegKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Microsoft\\Office", {2});
    TfrmMailClients page(nullptr);
    EXPECT_FALSE(page.chkLiveMsgrStartOutlook->Visible);
    EXPECT_EQ(page.rbLiveMsgrRunDisable->Top, page.chkLiveMsgrStartOutlook->Top);
    EXPECT_EQ(page.GroupBox2->Height, 94 - 17);
    EXPECT_EQ(page.gbLiveMsgrDeinstall->Top, 110 - 17);
}

TEST_F(MailClients, MessengerListAndShellTypes) {
    open("winxp");
    EXPECT_EQ(GetInstalledMessengerList(), std::vector<std::string>{"Windows Messenger"});
    EXPECT_TRUE(MessengerListed({"windows MESSENGER"}, "Windows Messenger"));
    // A key without its program does not count.
    DeleteRegValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MessengerService",
                   "InstallationDirectory", {});
    EXPECT_TRUE(GetInstalledMessengerList().empty());
    TSHFileInfo info;
    SHGetFileInfoWrapper(".exe", 0x80, info);
    EXPECT_EQ(info.szTypeName, "Anwendung");
    EXPECT_EQ(info.iIcon, 1);
    SHGetFileInfoWrapper(".Xyz", 0x80, info);
    EXPECT_EQ(info.szTypeName, "XYZ-Datei");
    SHGetFileInfoWrapper("README", 0x80, info);
    EXPECT_EQ(info.szTypeName, "Datei");
    SHGetFileInfoWrapper("C:\\Favoriten\\Reisen.url", 0x10, info);
    EXPECT_EQ(info.szTypeName, "Dateiordner") << "a folder, whatever its name ends in";
    EXPECT_EQ(info.iIcon, 4);
    SetRegStringValue(HKEY_CLASSES_ROOT, ".long", "", "longfile", {});
    SetRegStringValue(HKEY_CLASSES_ROOT, "longfile", "", std::string(79, 'a') + "äb", {});
    SHGetFileInfoWrapper(".long", 0x80, info);
    EXPECT_EQ(info.szTypeName, std::string(79, 'a') + "ä") << "80 characters, not bytes";
}

TEST_F(MailClients, TheModuleOffersThePage) {
    open("bare");
    const test::ModulePages pages({"mailchat"});
    std::ostringstream out, err;
    std::istringstream in;
    app::Console c{out, err, in};
    EXPECT_EQ(app::showPageCommand("mailchat", false, c), 0) << err.str();
    EXPECT_NE(out.str().find("Kein unterstütztes E-Mail- oder Chat-Programm"), std::string::npos);
    bool found = false;
    for (const auto& hit : app::FindSettings("infobereich"))
        found = found || hit.control == "chkOutlookMinToSysTray";
    EXPECT_FALSE(found) << "hidden tabs are not found";
    open("winxp");
    for (const auto& hit : app::FindSettings("infobereich"))
        found = found || hit.control == "chkOutlookMinToSysTray";
    EXPECT_TRUE(found);
}
