#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/journal/Journal.h"
#include "opera/ufrmOpera.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;
using namespace ravelin::opera;
using namespace ravelin::toolkit;

namespace {

const std::string kData = std::string(RAVELIN_SOURCE_DIR) + "/tests/data/opera/";
const std::string kXpProfile = "C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile\\";
const std::string kW7Profile = "C:\\users\\anna\\AppData\\Roaming\\Opera\\Opera\\";

class OperaPage : public test::PageTest {
  protected:
    OperaPage() : PageTest("opera") {}
    // The page goes before its machine's session; the suite's dialogs answer the page's
    // questions.
    void open(const std::string& templ) {
        page.reset();
        PageTest::open(templ);
        TApplication::Instance().SetDialogService(&dialogs);
    }
    TfrmOpera& create() {
        page = std::make_unique<TfrmOpera>(nullptr);
        driver = std::make_unique<UserDriver>(*page);
        return *page;
    }
    std::string prefs() { return test::readFile(host(kXpProfile + "opera6.ini")); }
    // A script runs on a page of its own, with dialogs of its own.
    std::string run(const std::string& script, int rc = 0) {
        page.reset();
        const std::string out = PageTest::run(script, rc);
        TApplication::Instance().SetDialogService(&dialogs);
        return out;
    }
    std::vector<std::string> visibleTabs() {
        std::vector<std::string> out;
        for (TTabSheet* s : page->pcOpera->Pages())
            if (s->TabVisible) out.push_back(s->Name);
        return out;
    }
    void TearDown() override {
        page.reset();
        TApplication::Instance().SetDialogService(nullptr);
        PageTest::TearDown();
    }
    ScriptedDialogs dialogs{nullptr};
    std::unique_ptr<TfrmOpera> page;
    std::unique_ptr<UserDriver> driver;
};

} // namespace

TEST_F(OperaPage, ThreeStates) {
    using Tabs = std::vector<std::string>;
    const Tabs settings = {"tsView", "tsHandling", "tsPerformance", "tsSearch"};
    struct Expect {
        const char* templ;
        Tabs tabs;
        bool enabled;
        std::string searchDefault;
    };
    const Expect cases[] = {
        {"winxp", settings, true, TfrmOpera::kSearchBarDefault},
        {"win7", settings, true, TfrmOpera::kSearchBarDefault},
        {"win2000",
         {"tsNoProfile", "tsView", "tsHandling", "tsPerformance", "tsSearch"},
         false,
         ""},
        {"win98",
         {"tsNotInstalled", "tsView", "tsHandling", "tsPerformance", "tsSearch"},
         false,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.templ);
        open(c.templ);
        create();
        EXPECT_EQ(visibleTabs(), c.tabs);
        EXPECT_EQ(page->pcOpera->ActivePage()->Name, c.tabs.front());
        for (TControl* ctl : std::initializer_list<TControl*>{
                 page->edtWindowTitle, page->rbUseOtherApp, page->btnSearch_Default,
                 page->cbSearchEngine, page->udeColumns, page->chkShowSpeedDial})
            EXPECT_EQ(ctl->Enabled, c.enabled) << ctl->Name;
        EXPECT_TRUE(page->lblNoProfile_OperaStart->Enabled);
        EXPECT_EQ(page->DefaultSearchID(), c.searchDefault);
        EXPECT_EQ(page->NotepadPath(), GetWinDir() + "\\notepad.exe");
    }
}

TEST_F(OperaPage, SpeedDialGroupFromVersion950) {
    open("winxp");
    const std::string path = host(kXpProfile + "opera6.ini");
    for (auto [version, shown] : {std::pair{"949", false}, std::pair{"950", true}}) {
        std::string text = test::readFile(path);
        text.replace(text.find("Newest Used Version="), 23,
                     std::string("Newest Used Version=") + version);
        test::writeFile(path, text);
        create();
        EXPECT_EQ(page->gbSpeedDial->Visible, shown) << version;
    }
}

TEST_F(OperaPage, LabelsAreSizedAndFieldsFollow) {
    open("winxp");
    create();
    for (auto [label, field, right] :
         {std::tuple{page->lblWindowTitle, page->edtWindowTitle, 444},
          std::tuple{page->lblApplicationIcon, page->edtApplicationIcon, 350},
          std::tuple{page->lblSourceViewer, page->edtSourceViewer, 350}}) {
        EXPECT_EQ(label->Width, TApplication::TextWidth(StripAccelerator(label->Caption)));
        EXPECT_EQ(field->Left, label->Left + label->Width + 7);
        EXPECT_EQ(field->Left + field->Width, right);
    }
}

TEST_F(OperaPage, ShowingTabsWritesNothing) {
    open("winxp");
    const std::string before = prefs();
    run("tab tsView\ntab tsHandling\ntab tsPerformance\ntab tsSearch\ntab tsView\n");
    EXPECT_EQ(prefs(), before);
    EXPECT_EQ(transactions(), 0u);
}

TEST_F(OperaPage, TitleWithUmlautsRoundTripsAndEmptyBecomesOpera) {
    open("winxp");
    run("tab tsView\nset edtWindowTitle \"  Grüße aus Köln \"\nfocus rbUseOperaIcon\n");
    EXPECT_NE(prefs().find("\r\nTitle=Grüße aus Köln\r\n"), std::string::npos);
    const std::string out = run("tab tsView\nexpect edtWindowTitle text \"Grüße aus Köln\"\n"
                                "set edtWindowTitle \"\"\nfocus rbUseOperaIcon\n"
                                "expect edtWindowTitle text Opera\n");
    EXPECT_NE(prefs().find("\r\nTitle=Opera\r\n"), std::string::npos) << out;
    // One transaction per action, each undoable.
    auto list = session->journal()->list();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front().page, "opera");
}

TEST_F(OperaPage, IconFollowsTheFieldAndFallsBack) {
    open("winxp");
    test::writeFile(host("C:\\Programme\\Opera\\mein.ico"), "ico");
    dialogs.choose(host("C:\\Programme\\Opera\\mein.ico"));
    create();
    driver->Tab("tsView");
    driver->Click("btnApplicationIcon");
    EXPECT_TRUE(page->rbUseOtherIcon->Checked());
    EXPECT_EQ(page->edtApplicationIcon->Text(), "C:\\Programme\\Opera\\mein.ico");
    EXPECT_NE(prefs().find("Application Icon=C:\\Programme\\Opera\\mein.ico"), std::string::npos);
    // Back to Opera's own icon.
    driver->Click("rbUseOperaIcon");
    EXPECT_EQ(page->edtApplicationIcon->Text(), "");
    EXPECT_NE(prefs().find("Application Icon=\r\n"), std::string::npos);
    // A file that is not there is not stored: Opera's icon is what the user sees and gets.
    driver->Set("edtApplicationIcon", "C:\\fehlt.ico");
    EXPECT_TRUE(page->rbUseOtherIcon->Checked());
    driver->Focus("edtWindowTitle");
    EXPECT_TRUE(page->rbUseOperaIcon->Checked());
    EXPECT_NE(prefs().find("Application Icon=\r\n"), std::string::npos);
}

TEST_F(OperaPage, SourceViewerIsWrittenWhenFocusLeavesItsGroup) {
    open("winxp");
    create();
    driver->BeforeAction = [](const std::string& control) {
        JournalSetContext("opera", control);
        BackupStart(0, "");
    };
    driver->AfterAction = [] { BackupEnd(false); };
    driver->Tab("tsHandling");
    EXPECT_TRUE(page->rbUseOpera->Checked()); // mode 3 in the file
    EXPECT_EQ(page->edtSourceViewer->Text(), page->NotepadPath());
    const std::string before = prefs();
    driver->Click("rbUseOtherApp");
    driver->Set("edtSourceViewer", "C:\\Programme\\Editor\\edit.exe");
    EXPECT_EQ(page->gbMenu_SourceViewer->Tag, 1);
    EXPECT_EQ(prefs(), before) << "nothing until the group is left";
    driver->Focus("cbHandling_AutocompleteServernames");
    EXPECT_EQ(page->gbMenu_SourceViewer->Tag, 0);
    const std::string after = prefs();
    EXPECT_NE(
        after.find("Source Viewer=C:\\Programme\\Editor\\edit.exe\r\nSource Viewer Mode=2\r\n"),
        std::string::npos);
    auto list = session->journal()->list();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front().category, 0);

    // An emptied field falls back to Notepad and Opera's own viewer.
    driver->Set("edtSourceViewer", "");
    driver->Focus("cbHandling_AutocompleteServernames");
    EXPECT_EQ(page->edtSourceViewer->Text(), page->NotepadPath());
    EXPECT_TRUE(page->rbUseOpera->Checked());
    EXPECT_NE(prefs().find("Source Viewer=" + page->NotepadPath() + "\r\nSource Viewer Mode=3\r\n"),
              std::string::npos);

    // Closing the page with a change still in the group does not lose it.
    driver->Click("rbUseOtherApp");
    page->Fire(page->OnDestroy);
    EXPECT_NE(prefs().find("Source Viewer Mode=2\r\n"), std::string::npos);
}

TEST_F(OperaPage, HandlingTabWritesAndDefaults) {
    open("win7");
    const std::string path = host(kW7Profile + "operaprefs.ini");
    const std::string dial = host(kW7Profile + "speeddial.ini");
    run("tab tsHandling\n"
        "expect rbUseOtherApp checked true\n"
        "click cbHandling_AutocompleteServernames\n"
        "expect edtHandling_AutocompleteServernamesPrefix enabled false\n"
        "spin udeColumns 5\nspin udeRows 2\n"
        "click chkShowSpeedDial\n");
    std::string text = test::readFile(path);
    EXPECT_NE(text.find("Enable HostName Expansion=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("Speed Dial State=1\r\n"), std::string::npos);
    EXPECT_NE(test::readFile(dial).find("[Size]\r\nColumns=5\r\nRows=2\r\n"), std::string::npos);

    run("tab tsHandling\nexpect udeColumns position 5\nclick btnHandling_Default\n");
    text = test::readFile(path);
    EXPECT_NE(text.find("Enable HostName Expansion=1\r\n"), std::string::npos);
    // The installation's default postfix, not the built-in one.
    EXPECT_NE(text.find("HostName Expansion Postfix=de,com,org\r\n"), std::string::npos);
    EXPECT_NE(text.find("Source Viewer Mode=3\r\n"), std::string::npos);
    EXPECT_NE(test::readFile(dial).find("Columns=3\r\nRows=3\r\n"), std::string::npos);
}

TEST_F(OperaPage, HistoryNavigationModes) {
    open("winxp");
    run("tab tsPerformance\nexpect rbHistoryNavigationModeAutomatic checked true\n"
        "click rbHistoryNavigationModeFast\n");
    EXPECT_NE(prefs().find("History Navigation Mode=3\r\n"), std::string::npos);
    run("tab tsPerformance\nexpect rbHistoryNavigationModeFast checked true\n"
        "click rbHistoryNavigationModeCompatibility\n");
    EXPECT_NE(prefs().find("History Navigation Mode=2\r\n"), std::string::npos);
    run("tab tsPerformance\nclick btnPerformance_Default\n");
    EXPECT_NE(prefs().find("History Navigation Mode=1\r\n"), std::string::npos);
}

TEST_F(OperaPage, SearchEnginesAndTheirDefaults) {
    open("win7");
    const std::string path = host(kW7Profile + "operaprefs.ini");
    // Stored "0" is no engine: the built-in defaults are selected; the deleted one is left out.
    std::string out =
        run("tab tsSearch\n"
            "expect cbSearchEngine items \"Beispiel-Lexikon|Google|Google Schnellwahl\"\n"
            "expect cbSearchEngine text Google\n"
            "expect cbSpeedDialSearchEngine text \"Google Schnellwahl\"\n"
            "select cbSearchEngine Beispiel-Lexikon\n");
    EXPECT_NE(test::readFile(path).find("Search Type=2C0B9F4E6A7D11DDA0B7E6F955D89593\r\n"),
              std::string::npos)
        << out;
    run("tab tsSearch\nexpect cbSearchEngine text Beispiel-Lexikon\nclick btnSearch_Default\n"
        "expect cbSearchEngine text Google\n");
    EXPECT_NE(test::readFile(path).find("\r\nSearch Type=7A8CADE6677811DDBA4B5E9D55D89593\r\n"),
              std::string::npos);
    EXPECT_NE(test::readFile(path).find("Speed Dial Search Type=FEAF2EF45FCC11DD8287529456D89593"),
              std::string::npos);
}

TEST_F(OperaPage, StoredEngineGoneAndBuiltInHidden) {
    open("winxp");
    test::copyFile(kData + "search.ini", host(kXpProfile + "search.ini"));
    create();
    driver->Tab("tsSearch");
    // The built-in search-bar engine is deleted there, the speed-dial one absent: the first
    // visible engine becomes the default of both, and nothing is selected.
    EXPECT_EQ(page->DefaultSearchID(), "12");
    EXPECT_EQ(page->DefaultSpeedDialSearchID(), "12");
    EXPECT_EQ(page->cbSearchEngine->ItemIndex(), -1);
    EXPECT_EQ(page->cbSpeedDialSearchEngine->ItemIndex(), -1);
    driver->Click("btnSearch_Default");
    EXPECT_EQ(page->cbSearchEngine->Text(), "Alte Suche");
    EXPECT_NE(prefs().find("\r\nSearch Type=12\r\n"), std::string::npos);
}

TEST_F(OperaPage, StartLinkWaitsForTheProfile) {
    open("win2000");
    create();
    const std::string profile = "C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile";
    int waited = 0;
    page->Sleep = [&](int ms) {
        waited += ms;
        if (waited == 3000) {
            std::filesystem::create_directories(host(profile));
            test::writeFile(
                host(profile + "\\opera6.ini"),
                "Opera Preferences version 2.1\r\n\r\n[Install]\r\nNewest Used Version=927\r\n");
        }
    };
    driver->Click("lblNoProfile_OperaStart");
    EXPECT_EQ(waited, 3000);
    const auto& launches = session->machine().launcher().requests();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].program, "C:\\Programme\\Opera\\opera.exe");
    EXPECT_FALSE(page->tsNoProfile->TabVisible);
    EXPECT_TRUE(page->edtWindowTitle->Enabled);
    EXPECT_FALSE(page->gbSpeedDial->Visible) << "9.27 has no speed dial";
    EXPECT_FALSE(TApplication::Instance().HourglassCursor);

    // No profile within ten seconds: the page stays as it was.
    open("win2000");
    create();
    waited = 0;
    page->Sleep = [&](int ms) { waited += ms; };
    driver->Click("lblNoProfile_OperaStart");
    EXPECT_GE(waited, 10000);
    EXPECT_LE(waited, 11000);
    EXPECT_TRUE(page->tsNoProfile->TabVisible);
    EXPECT_FALSE(page->edtWindowTitle->Enabled);
}

TEST_F(OperaPage, LaunchesAreReported) {
    open("win2000");
    std::string out = run("click lblNoProfile_OperaStart\n");
    EXPECT_NE(out.find("launch: C:\\Programme\\Opera\\opera.exe"), std::string::npos) << out;
    open("win98");
    out = run("click lblNotInstalled_OperaOrg\n");
    EXPECT_NE(out.find("launch: https://www.opera.com/"), std::string::npos) << out;
    // The optimiser is not on a sample machine: the failure is a message, not a silence.
    open("winxp");
    out = run("tab tsPerformance\nclick btnStartSpeedOptimizer\n");
    EXPECT_NE(out.find("Velocitor.exe"), std::string::npos) << out;
}

TEST_F(OperaPage, FixedPreferenceIsShownDisabledWithItsReason) {
    open("win7");
    test::writeFile(host("C:\\Program Files (x86)\\Opera\\operaprefs_fixed.ini"),
                    "Opera Preferences version 2.1\r\n[User Prefs]\r\nTitle=Firmenbrowser\r\n"
                    "History Navigation Mode=3\r\n");
    create();
    driver->Tab("tsView");
    EXPECT_EQ(page->edtWindowTitle->Text(), "Firmenbrowser");
    EXPECT_FALSE(page->edtWindowTitle->Enabled);
    EXPECT_NE(page->edtWindowTitle->Hint.find("operaprefs_fixed.ini"), std::string::npos);
    EXPECT_TRUE(page->rbUseOtherIcon->Enabled);
    driver->Tab("tsPerformance");
    EXPECT_TRUE(page->rbHistoryNavigationModeFast->Checked());
    EXPECT_FALSE(page->rbHistoryNavigationModeAutomatic->Enabled);
    EXPECT_THROW(driver->Click("rbHistoryNavigationModeAutomatic"), DriverError);
}

TEST_F(OperaPage, MalformedPreferencesAreReportedAndLeftAlone) {
    open("winxp");
    test::copyFile(kData + "broken-section.ini", host(kXpProfile + "opera6.ini"));
    const std::string before = prefs();
    std::string out = run("tab tsPerformance\nclick rbHistoryNavigationModeFast\n", 1);
    EXPECT_NE(out.find("opera6.ini: Zeile 5"), std::string::npos) << out;
    EXPECT_NE(out.find("nicht verändert"), std::string::npos) << out;
    EXPECT_EQ(prefs(), before);
}

TEST_F(OperaPage, DryRunOfTheCommandPrintsTheLinesAndChangesNothing) {
    open("winxp");
    session.reset();
    const std::string before = test::readFile(
        dir->file("drive_c/users/anna/Anwendungsdaten/Opera/Opera/profile/opera6.ini"));
    test::writeFile(dir->file("script.txt"),
                    "tab tsPerformance\nclick rbHistoryNavigationModeFast\n");
    const std::string command = std::string("'") + RAVELIN_DESKFORGE + "' --machine '" +
                                dir->path() + "' run opera '" + dir->file("script.txt") +
                                "' --dry-run 2>&1";
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
            out.append(buf, n);
        EXPECT_EQ(::pclose(p), 0) << out;
    }
    EXPECT_NE(out.find("opera6.ini\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n+History Navigation Mode=3"), std::string::npos) << out;
    EXPECT_EQ(test::readFile(
                  dir->file("drive_c/users/anna/Anwendungsdaten/Opera/Opera/profile/opera6.ini")),
              before);
    EXPECT_FALSE(journal::Journal::exists(dir->path()) &&
                 !journal::Journal::open(dir->path())->list().empty());
}
