// A page as a person meets it: opening it and showing its tabs writes nothing; what a
// field's exit writes is that field's change; closing the page writes what was typed last;
// a save the machine refuses fails the script.
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "host/machine/Machine.h"
#include "host/machine/Templates.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace ravelin;
namespace fs = std::filesystem;

namespace {

const std::string kTemplates = std::string(RAVELIN_SOURCE_DIR) + "/samples/templates";
const std::string kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kXpOperaProfile = "C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile\\";

// Every file of the machine but its journal, with its bytes.
std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string relative = fs::relative(it->path(), dir).string();
        if (relative == ".deskforge") {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file() && !it->is_symlink())
            files[relative] = test::readFile(it->path().string());
    }
    return files;
}

// Shows every tab a person can reach, nested ones too.
void visitEveryTab(toolkit::TWinControl& container, toolkit::UserDriver& driver) {
    for (toolkit::TControl* child : std::vector<toolkit::TControl*>(container.Controls())) {
        auto* sheet = dynamic_cast<toolkit::TTabSheet*>(child);
        if (sheet && sheet->TabVisible) {
            try {
                driver.Tab(app::ScriptName(*sheet));
            } catch (const toolkit::DriverError&) {
                continue; // on a page control that is hidden here
            }
        }
        if (auto* w = dynamic_cast<toolkit::TWinControl*>(child)) visitEveryTab(*w, driver);
    }
}

class Pages : public ::testing::Test {
  protected:
    void TearDown() override {
        session.reset();
        toolkit::TApplication::Instance().SetDialogService(nullptr);
    }
    void open(const std::string& templ) {
        session.reset();
        dir = std::make_unique<test::TempDir>();
        machine::createMachine(dir->path(), templ, kTemplates);
        session =
            std::make_unique<app::MachineSession>(dir->path(), app::MachineSession::Mode::Write);
    }
    std::string run(const std::string& page, const std::string& script, int rc = 0) {
        std::ostringstream out, err;
        std::istringstream in;
        app::Console c{out, err, in};
        EXPECT_EQ(app::runPageCommand(page, script, "script", c), rc) << out.str() << err.str();
        return out.str() + err.str();
    }
    std::string host(const std::string& windowsPath) {
        return session->machine().files().hostPath(windowsPath);
    }
    std::vector<journal::TransactionInfo> transactions() { return session->journal()->list(); }
    std::string str(HKEY hive, const std::string& key, const std::string& name) {
        return GetRegStringValueDef(hive, key, name, "<none>", {});
    }
    const test::ModulePages pages;
    std::unique_ptr<test::TempDir> dir;
    std::unique_ptr<app::MachineSession> session;
};

} // namespace

TEST_F(Pages, OpeningEveryPageAndTabOfEverySampleMachineChangesNothing) {
    toolkit::ScriptedDialogs dialogs{nullptr}; // message boxes get their default answer
    for (const bool hives : {false, true}) {
        for (const char* templ : {"bare", "win98", "win2000", "winxp", "vista", "win7"}) {
            SCOPED_TRACE(std::string(templ) + (hives ? " (hive files)" : " (Wine prefix)"));
            test::TempDir machineDir;
            machine::createMachine(machineDir.path(), templ, kTemplates, hives);
            const auto before = snapshot(machineDir.path());
            {
                app::MachineSession s(machineDir.path(), app::MachineSession::Mode::Write);
                toolkit::TApplication::Instance().SetDialogService(&dialogs);
                TakeWriteFailure();
                for (const app::PageInfo& info : app::ModulePages()) {
                    std::ostringstream out, err;
                    std::istringstream in;
                    app::Console console{out, err, in};
                    auto form = app::OpenPage(info, console);
                    ASSERT_NE(form, nullptr) << info.id << err.str();
                    {
                        toolkit::UserDriver driver(*form);
                        visitEveryTab(*form, driver);
                    }
                    app::ClosePage(form);
                    EXPECT_EQ(TakeWriteFailure(), "") << info.id;
                }
                EXPECT_TRUE(s.journal()->list().empty());
                EXPECT_TRUE(s.journal()->registryChangesSince(0).empty())
                    << "filling wrote (unlisted) registry values";
            }
            const auto after = snapshot(machineDir.path());
            for (const auto& [name, bytes] : after) {
                auto was = before.find(name);
                EXPECT_TRUE(was != before.end() && was->second == bytes) << name << " changed";
            }
            EXPECT_EQ(after.size(), before.size());
        }
    }
}

TEST_F(Pages, NetworkBoxesShowDefaultsForMissingValuesWithoutWritingThem) {
    open("winxp");
    const std::string explorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    const std::string server = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
    DeleteRegValue(HKEY_CURRENT_USER, explorer, "NoNetCrawling", {});
    DeleteRegValue(HKEY_LOCAL_MACHINE, server, "AutoShareWks", {});
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Microsoft\\Windows\\PSched",
                     "NonBestEffortLimit", 0, {});
    const auto already = transactions().size();
    run("internet", "expect chkNoNetcrawling checked true\nexpect chkAdminShares checked true\n"
                    "tab tsAdvancedNT\nexpect chkEnableQoS checked false\n"
                    "expect udBWLimit enabled false\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, explorer, "NoNetCrawling"), "<none>");
    DWORD v = 7;
    EXPECT_EQ(GetRegDWORDValue(HKEY_LOCAL_MACHINE, server, "AutoShareWks", v, {}), 2);
    EXPECT_EQ(transactions().size(), already);
    // A click still writes, as one labelled change.
    run("internet", "check chkAdminShares off\n");
    EXPECT_EQ(GetRegDWORDValue(HKEY_LOCAL_MACHINE, server, "AutoShareWks", v, {}), 0);
    EXPECT_EQ(v, 0u);
    ASSERT_EQ(transactions().size(), already + 1);
    EXPECT_EQ(transactions().front().control, "chkAdminShares");
}

TEST_F(Pages, TheClassicSearchBarShowsTheStoredPresetWithoutStoringIt) {
    open("win2000"); // Internet Explorer 6: the classic search bar
    const std::string search = "SOFTWARE\\Microsoft\\Internet Explorer\\Search";
    const std::string mainKey = "Software\\Microsoft\\Internet Explorer\\Main";
    const std::string customize = str(HKEY_LOCAL_MACHINE, search, "CustomizeSearch");
    const auto already = transactions().size();
    run("explorer", "tab tsExplorerBars\nexpect cbSearchBar text \"Google\"\n"
                    "expect txtSearchAddress readonly true\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, search, "SearchAssistant"),
              "http://www.google.com/ie?hl={SUB_RFC1766}");
    for (const char* name : {"Search Bar", "Use Search Asst", "Use Custom Search URL"})
        EXPECT_EQ(str(HKEY_CURRENT_USER, mainKey, name), "<none>") << name;
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, search, "CustomizeSearch"), customize);
    EXPECT_EQ(transactions().size(), already);
    // Choosing a preset stores it whole, as one change.
    run("explorer", "tab tsExplorerBars\nselect cbSearchBar \"Lycos\"\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, mainKey, "Use Custom Search URL"), "yes");
    ASSERT_EQ(transactions().size(), already + 1);
    EXPECT_EQ(transactions().front().control, "cbSearchBar");
}

TEST_F(Pages, TextTypedLastIsWrittenWhenThePageClosesAsOneChangeOfItsField) {
    open("winxp");
    // The mail page's title, typed as the script's last action.
    run("mailchat", "set txtOETitlebar \"Annas Post\"\n");
    auto list = transactions();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].page, "mailchat");
    EXPECT_EQ(list[0].control, "txtOETitlebar");
    // The logon password: sensitive, and still written at close.
    run("logon", "tab tsAutoLogon\ncheck chkAutoLogon on\n"
                 "set txtAutoLogonPassword \"Geheim-7x9\"\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword"), "Geheim-7x9");
    list = transactions();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].control, "txtAutoLogonPassword");
    // Opera's icon, and the source viewer (two lines) as one transaction.
    test::writeFile(host("C:\\Programme\\Opera\\mein.ico"), "ico");
    run("opera", "tab tsView\nset edtApplicationIcon \"C:\\\\Programme\\\\Opera\\\\mein.ico\"\n");
    const std::string prefs = host(kXpOperaProfile + "opera6.ini");
    EXPECT_NE(test::readFile(prefs).find("Application Icon=C:\\Programme\\Opera\\mein.ico"),
              std::string::npos);
    ASSERT_EQ(transactions().size(), 4u);
    EXPECT_EQ(transactions().front().control, "edtApplicationIcon");
    run("opera", "tab tsHandling\ncheck rbUseOtherApp on\n"
                 "set edtSourceViewer \"C:\\\\Programme\\\\Editor\\\\edit.exe\"\n");
    EXPECT_NE(test::readFile(prefs).find("C:\\Programme\\Editor\\edit.exe"), std::string::npos);
    list = transactions();
    ASSERT_EQ(list.size(), 5u) << "the program and its mode: one transaction";
    EXPECT_EQ(list[0].control, "edtSourceViewer");
}

TEST_F(Pages, WhatAFieldWritesAsTheFocusLeavesIsLabelledWithThatField) {
    open("winxp");
    run("mailchat", "set txtOETitlebar \"Annas Post\"\ncheck chkShowSplash on\n");
    auto list = transactions();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].control, "txtOETitlebar");
    EXPECT_EQ(list[0].control, "chkShowSplash");
    for (const auto& t : list)
        EXPECT_EQ(session->journal()->entries(t.id).size(), 1u) << t.control;
    // Leaving by a tab switch, and by a focus move, alike.
    run("logon", "tab tsAutoLogon\ncheck chkAutoLogon on\nset txtAutoLogonUserName \"kinder\"\n"
                 "focus chkForceAutoLogon\n");
    EXPECT_EQ(transactions().front().control, "txtAutoLogonUserName");
    run("logon", "tab tsAutoLogon\nset txtAutoLogonUserName \"eltern\"\ntab tsMessages\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName"), "eltern");
    EXPECT_EQ(transactions().front().control, "txtAutoLogonUserName");
}

TEST_F(Pages, ARefusedOperaSaveFailsTheScriptLine) {
    open("winxp");
    const std::string prefs = host(kXpOperaProfile + "opera6.ini");
    const std::string original = test::readFile(prefs);
    // A link that leaves the machine.
    test::TempDir outside;
    test::writeFile(outside.file("opera6.ini"), original);
    fs::remove(prefs);
    fs::create_symlink(outside.file("opera6.ini"), prefs);
    std::string out = run("opera", "tab tsPerformance\nclick rbHistoryNavigationModeFast\n", 1);
    EXPECT_NE(out.find("Zeile 2"), std::string::npos) << out;
    EXPECT_EQ(test::readFile(outside.file("opera6.ini")), original);
    EXPECT_TRUE(transactions().empty());
    fs::remove(prefs);
    test::writeFile(prefs, original);
    // A folder that cannot be written (root writes everywhere).
    if (::geteuid() != 0) {
        const std::string folder = fs::path(prefs).parent_path().string();
        ::chmod(folder.c_str(), 0555);
        out = run("opera", "tab tsPerformance\nclick rbHistoryNavigationModeFast\n", 1);
        ::chmod(folder.c_str(), 0755);
        EXPECT_NE(out.find("Zeile 2"), std::string::npos) << out;
        EXPECT_EQ(test::readFile(prefs), original);
        EXPECT_TRUE(transactions().empty());
    }
    // A malformed file.
    test::writeFile(prefs, original + "[Broken\r\n");
    out = run("opera", "tab tsView\nset edtWindowTitle \"Neu\"\n", 1);
    EXPECT_NE(out.find("nicht verändert"), std::string::npos) << out;
}
