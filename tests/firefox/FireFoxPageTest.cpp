// The Firefox page on the sample machines (Firefox 1.5, 2, 3.0, 3.6), on a profile folder
// of real files given as another Firefox root, and with a running Firefox.
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "firefox/CSSParser.h"
#include "firefox/ufrmFireFox.h"
#include "host/Nxregistry.h"
#include "host/Prefsjseditor.h"
#include "host/Smallmozillastuff.h"
#include "host/journal/Journal.h"
#include "host/registry/Registry.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>
#include <unistd.h>

using namespace ravelin;
using namespace ravelin::firefox;

namespace {

const std::string kData = std::string(RAVELIN_SOURCE_DIR) + "/tests/data/firefox/";

class FireFox : public test::PageTest {
  protected:
    FireFox() : PageTest("firefox") {}
    // A fresh machine whose session only records what the page would write.
    void openDryRun(const std::string& templ) {
        open(templ);
        session.reset();
        session =
            std::make_unique<app::MachineSession>(dir->path(), app::MachineSession::Mode::DryRun);
    }
    std::string profile() {
        TSmallStringList list;
        GetFireFoxProfilePaths(list);
        return list.empty() ? std::string() : list.front();
    }
    std::string prefs() { return test::readFile(profile() + "prefs.js"); }
    TPrefsJSEditor editor() {
        TPrefsJSEditor e;
        e.Load("");
        return e;
    }
};

} // namespace

TEST_F(FireFox, WhatEachVersionShows) {
    open("win2000"); // Firefox 1.5
    {
        TfrmMozillaFireFox page(nullptr);
        EXPECT_EQ(page.major(), 1);
        EXPECT_FALSE(page.tsTabs->TabVisible);
        EXPECT_FALSE(page.chkGoButton->Visible);
        EXPECT_FALSE(page.tsNotInstalled->TabVisible);
        EXPECT_EQ(page.gbSubMenus->Top, page.gbUrlBar->Top + page.gbUrlBar->Height + 10);
        EXPECT_EQ(page.pcFireFox->ActivePage(), page.tsGeneral);
    }
    open("winxp"); // Firefox 2
    {
        TfrmMozillaFireFox page(nullptr);
        EXPECT_EQ(page.major(), 2);
        EXPECT_TRUE(page.tsTabs->TabVisible);
        EXPECT_TRUE(page.chkGoButton->Visible);
        EXPECT_EQ(page.udeTabMinWidth->GetPosition(), 100) << "from prefs.js";
        EXPECT_EQ(page.cbCloseTabs->Text(), "Auf allen Tabs anzeigen");
        EXPECT_EQ(page.udeTabMinWidth->Left,
                  page.lblTabMinWidth->Left + page.lblTabMinWidth->Width + 6);
    }
    open("bare"); // no Firefox
    {
        TfrmMozillaFireFox page(nullptr);
        EXPECT_TRUE(page.tsNotInstalled->TabVisible);
        EXPECT_EQ(page.pcFireFox->ActivePage(), page.tsNotInstalled);
        EXPECT_FALSE(page.chkPipelining->Enabled);
        EXPECT_FALSE(page.lvJavaScript->Enabled);
        EXPECT_EQ(page.shpActiveTabColor->BrushColor, 0xC0C0C0u);
    }
}

TEST_F(FireFox, OpeningThePageWritesNothing) {
    open("winxp");
    const std::string before = prefs();
    run("tab tsWindows\ntab tsTabs\ntab tsUI\n");
    EXPECT_EQ(prefs(), before);
    EXPECT_EQ(transactions(), 0u);
}

TEST_F(FireFox, PreferencesPerControl) {
    open("winxp");
    run("check chkDisableBlinkingText on\nclick rbErrorPageDisabled\ntab tsUI\n"
        "check chkUrlBarAutoFill on\ncheck chkGoButton off\ntab tsTabs\n"
        "select cbCloseTabs \"Nur auf dem aktiven Tab\"\nspin udeTabMinWidth 150\n");
    auto e = editor();
    EXPECT_FALSE(e.GetUserPrefBooleanValue("browser.blink_allowed", true));
    EXPECT_FALSE(e.GetUserPrefBooleanValue("browser.xul.error_pages.enabled", true));
    EXPECT_TRUE(e.GetUserPrefBooleanValue("browser.urlbar.autoFill", false));
    EXPECT_TRUE(e.GetUserPrefBooleanValue("browser.urlbar.hideGoButton", false));
    EXPECT_EQ(e.GetUserPrefIntegerValue("browser.tabs.closeButtons", -9), 0);
    EXPECT_EQ(e.GetUserPrefIntegerValue("browser.tabs.tabMinWidth", -9), 150);
    // The page reads back what it wrote.
    run("expect chkDisableBlinkingText checked true\nexpect rbErrorPageDisabled checked true\n"
        "tab tsTabs\nexpect cbCloseTabs text \"Nur auf dem aktiven Tab\"\n");
    // Defaults.
    run("click btnViewDefault\ntab tsUI\nclick btnDefUI\ntab tsTabs\nclick btnTabReset\n");
    e = editor();
    EXPECT_TRUE(e.GetUserPrefBooleanValue("browser.blink_allowed", false));
    EXPECT_TRUE(e.GetUserPrefBooleanValue("browser.xul.error_pages.enabled", false));
    EXPECT_FALSE(e.GetUserPrefBooleanValue("browser.urlbar.autoFill", true));
    EXPECT_FALSE(e.GetUserPrefBooleanValue("browser.urlbar.hideGoButton", true));
    EXPECT_EQ(e.GetUserPrefIntegerValue("browser.tabs.closeButtons", -9), 1);
    EXPECT_EQ(e.GetUserPrefIntegerValue("browser.tabs.tabMinWidth", -9), 125);
}

TEST_F(FireFox, ThePipeliningTrioAndItsWarning) {
    open("winxp");
    std::string out = run("tab tsPerformance\nanswer no\ncheck chkPipelining on\n"
                          "expect chkPipelining checked false\n");
    EXPECT_NE(out.find("Warnung"), std::string::npos);
    auto e = editor();
    EXPECT_FALSE(e.GetUserPrefBooleanValue("network.http.pipelining", true));
    EXPECT_FALSE(e.GetUserPrefBooleanValue("network.http.proxy.pipelining", true));
    EXPECT_FALSE(e.GetUserPrefBooleanValue("network.http.pipelining.ssl", true));
    EXPECT_EQ(e.GetUserPrefIntegerValue("network.http.pipelining.maxrequests", 0), 4);
    run("tab tsPerformance\nanswer yes\ncheck chkPipelining on\n");
    e = editor();
    EXPECT_TRUE(e.GetUserPrefBooleanValue("network.http.pipelining", false));
    EXPECT_TRUE(e.GetUserPrefBooleanValue("network.http.proxy.pipelining", false));
    EXPECT_TRUE(e.GetUserPrefBooleanValue("network.http.pipelining.ssl", false));
    EXPECT_EQ(e.GetUserPrefIntegerValue("network.http.pipelining.maxrequests", 0), 8);
    // The optimizer is the host's program; where it is missing, the user is told.
    out = run("tab tsPerformance\nclick btnStartSpeedOptimizer\n");
    EXPECT_NE(out.find("Velocitor.exe"), std::string::npos) << out;
    // Unticking asks nothing; the defaults button unticks.
    out = run("tab tsPerformance\nclick btnPerformanceDefault\n");
    EXPECT_EQ(out.find("Warnung"), std::string::npos);
    EXPECT_EQ(editor().GetUserPrefIntegerValue("network.http.pipelining.maxrequests", 0), 4);
}

TEST_F(FireFox, TheLinkRuleByVersion) {
    open("winxp");
    run("tab tsWindows\nexpect chkBlockTargetNewWindow checked true\n"
        "expect rbOpenNewTab checked true\nclick rbOpenSameTab\n");
    EXPECT_EQ(editor().GetUserPrefIntegerValue("browser.link.open_newwindow", 0), 1);
    run("tab tsWindows\ncheck chkBlockTargetNewWindow off\nexpect rbOpenSameTab enabled false\n");
    EXPECT_EQ(editor().GetUserPrefIntegerValue("browser.link.open_newwindow", 0), 2);
    run("tab tsWindows\nclick btnPopUpDefault\n");
    EXPECT_EQ(editor().GetUserPrefIntegerValue("browser.link.open_newwindow", 0), 3);

    open("win2000"); // Firefox 1.5: unticking deletes the preference
    run("tab tsWindows\nexpect chkBlockTargetNewWindow checked false\n"
        "check chkBlockTargetNewWindow on\n");
    EXPECT_EQ(editor().GetUserPrefIntegerValue("browser.link.open_newwindow", 0), 3);
    run("tab tsWindows\ncheck chkBlockTargetNewWindow off\n");
    EXPECT_FALSE(editor().HasUserPref("browser.link.open_newwindow"));
}

TEST_F(FireFox, TheMenuDelay) {
    open("winxp");
    auto setDelay = [&](std::int64_t v) {
        auto e = editor();
        e.SetUserPrefIntegerValue("ui.submenuDelay", v);
        e.Save();
    };
    setDelay(60001);
    run("tab tsUI\nexpect rbShowMenuOnClick checked true\nexpect tbMenuShowDelay enabled false\n");
    setDelay(5000);
    run("tab tsUI\nexpect rbShowMenuAfterDelay checked true\nexpect tbMenuShowDelay position 1200\n"
        "click rbShowMenuOnClick\n");
    EXPECT_EQ(editor().GetUserPrefIntegerValue("ui.submenuDelay", 0), 65000);
    run("tab tsUI\nclick rbShowMenuAfterDelay\nspin tbMenuShowDelay 400\n"
        "expect lblMenuShowDelay caption \"400 ms\"\n");
    EXPECT_EQ(editor().GetUserPrefIntegerValue("ui.submenuDelay", 0), 400)
        << "a pending position is written when the page closes";
    run("tab tsUI\nspin tbMenuShowDelay 500\nfocus rbShowMenuAfterDelay\n"
        "expect lblMenuShowDelay caption \"500 ms\"\n");
    EXPECT_EQ(editor().GetUserPrefIntegerValue("ui.submenuDelay", 0), 500)
        << "written when the track bar loses the focus";
    run("tab tsUI\nclick rbShowSubMenuLikeWindows\n");
    EXPECT_FALSE(editor().HasUserPref("ui.submenuDelay"));
}

TEST_F(FireFox, TheJavaScriptListShowsAndWritesTheOpposite) {
    open("winxp"); // Firefox 2: every default true; prefs.js sets menubar true
    run("tab tsWindows\nexpect lvJavaScript count 5\ntick lvJavaScript \"Verstecken der "
        "Menüleiste\" "
        "on\n");
    EXPECT_FALSE(editor().GetUserPrefBooleanValue("dom.disable_window_open_feature.menubar", true));
    open("win7"); // Firefox 3.6: three features default to false, so their items are ticked
    run("tab tsWindows\nclick btnPopUpDefault\n");
    auto e = editor();
    for (const char* s : {".minimizable", ".menubar", ".scrollbars"})
        EXPECT_TRUE(
            e.GetUserPrefBooleanValue(std::string("dom.disable_window_open_feature") + s, false))
            << s;
    for (const char* s : {".resizable", ".location"})
        EXPECT_FALSE(e.HasUserPref(std::string("dom.disable_window_open_feature") + s))
            << s << ": already unticked, nothing to write";
}

TEST_F(FireFox, StyleSheetRulesAndTheChromeFolder) {
    open("vista"); // Firefox 3.0, a profile without a chrome folder
    const std::string chrome = profile() + "chrome/";
    ASSERT_FALSE(std::filesystem::exists(chrome));
    run("check chkDisableMarqueeText on\n");
    EXPECT_EQ(test::readFile(chrome + "userContent.css"),
              "marquee {\r\n  -moz-binding: none;\r\n}\r\n");
    run("check chkDisableMarqueeText off\n");
    EXPECT_EQ(test::readFile(chrome + "userContent.css").find("marquee"), std::string::npos);

    run("click rbSideBarRight\n");
    const std::string sheet = test::readFile(chrome + "userChrome.css");
    EXPECT_NE(sheet.find("hbox#browser {\r\n  direction: rtl;"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("hbox#browser>vbox {\r\n  direction: ltr;"), std::string::npos);
    run("expect rbSideBarRight checked true\nclick rbSideBarLeft\n");
    EXPECT_EQ(test::readFile(chrome + "userChrome.css").find("direction"), std::string::npos);

    // The active tab's colour: three rules, one "!important" each, a new colour replaces.
    run("tab tsTabs\ncheck chkActiveTabColor on\n");
    std::string css = test::readFile(chrome + "userChrome.css");
    EXPECT_NE(css.find("background-color: rgb(205,69,50) !important;"), std::string::npos) << css;
    EXPECT_NE(css.find("color: black !important;"), std::string::npos);
    EXPECT_NE(css.find("-moz-appearance: none !important;"), std::string::npos);
    run("tab tsTabs\ncolor 10 20 30\nclick btnActiveTabColor\n");
    css = test::readFile(chrome + "userChrome.css");
    EXPECT_NE(css.find("background-color: rgb(10,20,30) !important;"), std::string::npos) << css;
    EXPECT_EQ(css.find("205"), std::string::npos);
    run("tab tsTabs\nexpect chkActiveTabColor checked true\nclick btnTabReset\n"
        "expect chkActiveTabColor checked false\n");
    css = test::readFile(chrome + "userChrome.css");
    EXPECT_EQ(css.find("rgb("), std::string::npos) << css;
    EXPECT_EQ(css.find("!important"), std::string::npos) << css;
}

TEST_F(FireFox, ChangesAreJournalledAndUndone) {
    open("winxp");
    const std::string prefsBefore = prefs();
    const std::string sheetPath = profile() + "chrome/userChrome.css";
    const std::string sheetBefore = test::readFile(sheetPath);
    run("check chkDisableBlinkingText on\nclick rbSideBarRight\n");
    auto list = session->journal()->list();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].control, "rbSideBarRight");
    EXPECT_EQ(list[0].category, 64);
    EXPECT_EQ(list[1].control, "chkDisableBlinkingText");
    EXPECT_NE(test::readFile(sheetPath), sheetBefore);
    session->journal()->undo(list[0].id, session->registry());
    EXPECT_EQ(test::readFile(sheetPath), sheetBefore);
    // A later change to another line of the same file is kept by undoing an earlier one:
    // undo puts back the preferences its transaction changed, no more.
    run("tab tsUI\ncheck chkUrlBarAutoFill on\n");
    const std::string later = prefs();
    std::string expected = later;
    const auto blink = expected.find("user_pref(\"browser.blink_allowed\"");
    ASSERT_NE(blink, std::string::npos) << later;
    expected.erase(blink, expected.find('\n', blink) + 1 - blink);
    ASSERT_NE(expected, prefsBefore);
    session->journal()->undo(list[1].id, session->registry());
    EXPECT_EQ(prefs(), expected);
    session->journal()->undo(session->journal()->list()[1].id, session->registry());
    EXPECT_EQ(prefs(), prefsBefore);
}

TEST_F(FireFox, ARunningFirefoxIsRefused) {
    open("winxp");
    const std::string before = prefs();
    const std::string link = "127.0.0.1:+" + std::to_string(::getpid());
    ASSERT_EQ(::symlink(link.c_str(), (profile() + "lock").c_str()), 0);
    {
        TfrmMozillaFireFox page(nullptr);
        EXPECT_TRUE(page.lblProfileState->Visible);
        EXPECT_NE(page.lblProfileState->Hint.find(std::to_string(::getpid())), std::string::npos);
    }
    std::string out = run("check chkDisableBlinkingText on\n", 1);
    EXPECT_NE(out.find("Zeile 1"), std::string::npos) << out;
    EXPECT_NE(out.find("Firefox"), std::string::npos);
    out = run("click rbSideBarRight\n", 1);
    EXPECT_NE(out.find("Die Änderung wurde nicht gespeichert"), std::string::npos) << out;
    EXPECT_EQ(prefs(), before);
    EXPECT_EQ(transactions(), 0u);
    // A stale lock, as a crash leaves it, is no obstacle.
    ::unlink((profile() + "lock").c_str());
    ASSERT_EQ(::symlink("127.0.0.1:+2147483000", (profile() + "lock").c_str()), 0);
    run("check chkDisableBlinkingText on\n");
    EXPECT_NE(prefs(), before);
}

TEST_F(FireFox, LockedPreferencesAreDisabledWithTheReason) {
    open("win7");
    test::TempDir install;
    std::filesystem::create_directories(install.path() + "/distribution");
    test::writeFile(
        install.path() + "/distribution/policies.json",
        R"({"policies":{"Preferences":{"network.http.pipelining":{"Value":false,"Status":"locked"}}}})");
    SetFirefoxInstallDir(install.path());
    TfrmMozillaFireFox page(nullptr);
    SetFirefoxInstallDir("");
    EXPECT_FALSE(page.chkPipelining->Enabled);
    EXPECT_NE(page.chkPipelining->Hint.find("policies.json"), std::string::npos);
    EXPECT_TRUE(page.chkUrlBarAutoFill->Enabled);
}

TEST_F(FireFox, TheDryRunShowsFilesAsUnifiedDiffs) {
    openDryRun("winxp");
    const std::string before = prefs();
    run("check chkDisableBlinkingText on\ncheck chkDisableMarqueeText on\n");
    EXPECT_EQ(prefs(), before) << "nothing written";
    EXPECT_FALSE(std::filesystem::exists(profile() + "chrome/userContent.css"));
    const std::string patch = session->dryRunPatch();
    EXPECT_NE(patch.find("+++ " + profile() + "prefs.js\n"), std::string::npos) << patch;
    EXPECT_NE(patch.find("+user_pref(\"browser.blink_allowed\", false);\n"), std::string::npos);
    EXPECT_NE(patch.find("--- /dev/null\n+++ " + profile() + "chrome/userContent.css"),
              std::string::npos);
}

// Another Firefox root: a profile folder as Linux keeps it, with a modern version.
TEST_F(FireFox, AnotherFirefoxRoot) {
    open("winxp");
    const std::string corpus = test::corpusDir();
    const std::string source =
        corpus.empty() ? kData + "prefs.js" : corpus + "/prefs/borodin_esr_prefs.js";
    test::TempDir root;
    std::filesystem::create_directories(root.path() + "/abcd1234.default-esr");
    test::writeFile(root.path() + "/profiles.ini",
                    "[Profile0]\nName=default-esr\nIsRelative=1\nPath=abcd1234.default-esr\n\n"
                    "[Install3B6073811A6ABF12]\nDefault=abcd1234.default-esr\nLocked=1\n");
    const std::string dirPath = root.path() + "/abcd1234.default-esr/";
    const std::string original = test::readFile(source);
    test::writeFile(dirPath + "prefs.js", original);
    test::writeFile(dirPath + "compatibility.ini",
                    "[Compatibility]\nLastVersion=102.3.0_20220915230631/20220915230631\n");
    // The installation that made the profile is not on this computer (where one with
    // that key is installed, its own version would count).
    test::TempDir noInstall;
    SetFirefoxInstallDir(noInstall.path());
    SetFirefoxRoot(root.path());
    {
        TfrmMozillaFireFox page(nullptr);
        EXPECT_EQ(page.major(), 102);
        EXPECT_TRUE(page.tsTabs->TabVisible);
    }
    run("check chkDisableBlinkingText on\n");
    SetFirefoxRoot("");
    std::string after = test::readFile(dirPath + "prefs.js");
    const std::string line = "user_pref(\"browser.blink_allowed\", false);\n";
    auto at = after.find(line);
    ASSERT_NE(at, std::string::npos);
    after.erase(at, line.size());
    EXPECT_EQ(after, original) << "every other byte stays";
    SetFirefoxRoot(root.path());
    run("click rbSideBarRight\n");
    SetFirefoxRoot("");
    EXPECT_NE(test::readFile(dirPath + "chrome/userChrome.css").find("hbox#browser"),
              std::string::npos);
    EXPECT_NE(
        test::readFile(dirPath + "prefs.js")
            .find("user_pref(\"toolkit.legacyUserProfileCustomizations.stylesheets\", true);"),
        std::string::npos)
        << "a modern Firefox reads the sheet only when told to";
    EXPECT_EQ(transactions(), 2u) << "journalled in the machine's journal";
    SetFirefoxInstallDir("");
}

// Real users' style sheets: the page's rules go after everything they hold, and taking
// the rules away again leaves that untouched.
TEST_F(FireFox, RulesOnRealStyleSheets) {
    // Our own sheets, and the corpus's where it is present.
    std::vector<std::filesystem::path> paths;
    for (const std::string& folder :
         {std::string(RAVELIN_SOURCE_DIR) + "/tests/data/css",
          test::corpusDir().empty() ? std::string() : test::corpusDir() + "/css"}) {
        if (folder.empty()) continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".css") paths.push_back(entry.path());
    }
    open("win7");
    test::TempDir root;
    const std::string dirPath = root.path() + "/p.default/";
    std::filesystem::create_directories(dirPath + "chrome");
    test::writeFile(root.path() + "/profiles.ini", "[Profile0]\nIsRelative=1\nPath=p.default\n");
    test::writeFile(dirPath + "compatibility.ini", "[Compatibility]\nLastVersion=115.0_1/1\n");
    test::writeFile(dirPath + "prefs.js", "user_pref(\"a\", 1);\n");
    SetFirefoxRoot(root.path());
    int sheets = 0;
    for (const auto& path : paths) {
        SCOPED_TRACE(path.filename().string());
        const std::string original = test::readFile(path.string());
        {
            // A sheet whose appended rule the parser itself cannot read back is its
            // own suite's matter, not the page's.
            TCSSParser probe, again;
            probe.LoadFromBytes(original);
            std::vector<std::string> words = {"red"};
            probe.SetCSSProperty("ravelin-probe", "color", words, "all");
            again.LoadFromBytes(probe.SaveToBytes());
            if (!again.GetCSSProperty("ravelin-probe", "color", words, "all")) {
                std::cout << "skipped " << path.filename().string()
                          << ": the parser does not read back a rule appended to it\n";
                continue;
            }
        }
        ++sheets;
        const std::string chromeCss = dirPath + "chrome/userChrome.css";
        const std::string contentCss = dirPath + "chrome/userContent.css";
        test::writeFile(chromeCss, original);
        test::writeFile(contentCss, original);
        run("click rbSideBarRight\ncheck chkDisableMarqueeText on\ntab tsTabs\n"
            "check chkActiveTabColor on\n");
        std::string chrome = test::readFile(chromeCss), content = test::readFile(contentCss);
        EXPECT_EQ(chrome.compare(0, original.size(), original), 0) << "the sheet's own text stays";
        EXPECT_EQ(content.compare(0, original.size(), original), 0);
        EXPECT_NE(chrome.find("direction: rtl"), std::string::npos);
        EXPECT_NE(content.find("-moz-binding: none"), std::string::npos);
        run("expect rbSideBarRight checked true\nexpect chkDisableMarqueeText checked true\n"
            "tab tsTabs\nexpect chkActiveTabColor checked true\n");
        run("click rbSideBarLeft\ncheck chkDisableMarqueeText off\ntab tsTabs\n"
            "check chkActiveTabColor off\n");
        chrome = test::readFile(chromeCss), content = test::readFile(contentCss);
        EXPECT_EQ(chrome.compare(0, original.size(), original), 0);
        EXPECT_EQ(chrome.find("direction: rtl"), std::string::npos);
        EXPECT_EQ(chrome.find("rgb(205,69,50)"), std::string::npos);
        EXPECT_EQ(content.find("-moz-binding: none"), std::string::npos);
    }
    SetFirefoxRoot("");
    EXPECT_GE(sheets, 3) << "at least our own sheets were edited";
}
