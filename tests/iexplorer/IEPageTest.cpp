#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Nxbrowser.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/journal/Journal.h"
#include "iexplorer/ufrmIE.h"
#include "iexplorer/ufrmIE7FrameMenu.h"
#include "iexplorer/ufrmIE7FrameSearchbar.h"
#include "iexplorer/ufrmIE7FrameStartpage.h"
#include "iexplorer/ufrmIEContextMenu.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::iexplorer;

namespace {

const std::string kMain = "Software\\Microsoft\\Internet Explorer\\Main";
const std::string kToolbar = "Software\\Microsoft\\Internet Explorer\\Toolbar";
const std::string kEditor =
    "Software\\Microsoft\\Internet Explorer\\View Source Editor\\Editor Name";
const std::string kInet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const std::string kAgent = kInet + "\\5.0\\User Agent";
const std::string kMenuExt = "Software\\Microsoft\\Internet Explorer\\MenuExt";
const std::string kOrder =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Favorites";

class IEPage : public test::PageTest {
  protected:
    IEPage() : PageTest("explorer") {}
    std::string str(HKEY root, const std::string& key, const std::string& name) {
        if (!RegValueExists(root, key, name, {})) return "<none>";
        return GetRegStringValueDef(root, key, name, "", {});
    }
    DWORD dword(HKEY root, const std::string& key, const std::string& name) {
        DWORD v = 0xDEADBEEF;
        GetRegDWORDValue(root, key, name, v, {});
        return v;
    }
    std::int64_t lastTransaction() {
        std::int64_t last = 0;
        for (const auto& t : session->journal()->list())
            last = std::max(last, t.id);
        return last;
    }
};

} // namespace

TEST_F(IEPage, FramesArePlacedOnTheirTabs) {
    open("winxp");
    TfrmIE page(nullptr);
    ASSERT_NE(IE7FrameMenu, nullptr);
    EXPECT_EQ(IE7FrameMenu->Parent(), page.tsMenu);
    ASSERT_NE(IE7FrameSearchbar, nullptr);
    ASSERT_NE(IE7FrameStartpage, nullptr);
    EXPECT_EQ(IE7FrameStartpage->Top, 173);
    EXPECT_EQ(IE7FrameStartpage->Parent(), page.tsNavigation);
}

TEST_F(IEPage, WhatEachBrowserVersionShows) {
    struct Expect {
        const char* templ;
        int major;
        bool notInstalled, navigation, favoritesTab, searchFrame, windowTitle, fileMenu, picToolbar,
            mediaBar, ie8SearchBox, viewerChoice;
    };
    const Expect cases[] = {
        {"win98", 6, false, false, true, false, true, true, true, true, false, false},
        {"win2000", 6, false, false, true, false, true, true, true, true, false, false},
        {"winxp", 7, false, true, false, true, true, false, false, false, false, false},
        {"win7", 8, false, true, false, false, true, false, false, false, true, true},
        {"bare", 0, true, false, true, false, false, false, false, true, false, false},
    };
    for (const auto& e : cases) {
        SCOPED_TRACE(e.templ);
        open(e.templ);
        TfrmIE page(nullptr);
        EXPECT_EQ(IEVersion.Major, e.major);
        EXPECT_EQ(page.NotInstalled(), e.notInstalled);
        EXPECT_EQ(page.tsNotInstalled->TabVisible, e.notInstalled);
        EXPECT_EQ(page.tsNavigation->TabVisible, e.navigation);
        EXPECT_EQ(page.tsFavorites->TabVisible, e.favoritesTab);
        EXPECT_EQ(page.gbFavorites->Visible, !e.favoritesTab);
        EXPECT_EQ(IE7FrameSearchbar != nullptr, e.searchFrame);
        EXPECT_EQ(IE7FrameMenu != nullptr, e.navigation) << "the menu bar from version 7 on";
        EXPECT_EQ(IE7FrameStartpage != nullptr, e.navigation);
        EXPECT_EQ(page.gbWindowTitle->Visible, e.windowTitle);
        EXPECT_EQ(page.gbSourceViewer->Visible, e.windowTitle);
        EXPECT_EQ(page.gbFileMenu->Visible, e.fileMenu);
        EXPECT_EQ(page.gbPicToolbar->Visible, e.picToolbar);
        EXPECT_EQ(page.GroupBox8->Visible, e.mediaBar);
        EXPECT_EQ(page.gbSearchProviderIE8->Visible, e.ie8SearchBox);
        EXPECT_EQ(page.rbSourceViewer->Visible, e.viewerChoice);
        EXPECT_EQ(page.gbDownloadPrompt->Visible, !e.notInstalled);
        ASSERT_NE(page.PageControl1->ActivePage(), nullptr);
        EXPECT_EQ(page.PageControl1->ActivePage(),
                  e.notInstalled ? page.tsNotInstalled : page.tsExplorerBars);
        // Not installed: every input of the page and its frames is disabled, labels stay.
        EXPECT_EQ(page.chkBackBitmap->Enabled, !e.notInstalled);
        EXPECT_EQ(page.edtAgentVersion->Enabled, !e.notInstalled);
        EXPECT_EQ(page.tvFavorites->Enabled, !e.notInstalled);
        EXPECT_TRUE(page.Label1->Enabled);
    }
    open("bare");
    EXPECT_NE(run("tab tsSecurity\nset edtAgentVersion x\n", 1).find("deaktiviert"),
              std::string::npos);
}

TEST_F(IEPage, TheProgramFileVersionWinsOverTheRegistry) {
    open("winxp");
    // A program with a version resource: the fixed file information of 9.0.8112.16421.
    std::string exe = "MZ" + std::string(62, '\0') + std::string(64, 'x');
    const unsigned char fixed[] = {0xBD, 0x04, 0xEF, 0xFE, 0x00, 0x00, 0x01, 0x00,
                                   0x00, 0x00, 0x09, 0x00, 0x25, 0x40, 0xB0, 0x1F};
    exe += std::string(reinterpret_cast<const char*>(fixed), sizeof fixed);
    auto v = FileVersionOfBytes(exe);
    EXPECT_EQ(v.text(), "9.0.8112.16421");
    EXPECT_EQ(FileVersionOfBytes("PK" + exe.substr(2)).Major, 0) << "not a program";
    EXPECT_EQ(FileVersionOfBytes(exe.substr(0, 130)).Major, 0) << "cut before the version";

    EXPECT_EQ(GetIEVersion().Major, 7) << "no program file: the registry";
    const std::string folder = host("C:\\Programme") + "/Internet Explorer";
    std::filesystem::create_directories(folder);
    test::writeFile(folder + "/IEXPLORE.EXE", exe);
    SetRegStringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                      "ProgramFilesDir", "C:\\Programme", {2});
    EXPECT_EQ(GetIEVersion().text(), "9.0.8112.16421");
    test::writeFile(folder + "/IEXPLORE.EXE", "MZ but no version at all, not even a header");
    EXPECT_EQ(GetIEVersion().Major, 7) << "a program without a version: the registry";
}

TEST_F(IEPage, ViewTabReadsStoredAbsentAndMalformedValues) {
    open("win2000"); // BackBitmap set, picture toolbar off at 400
    {
        TfrmIE page(nullptr);
        page.PageControl1->SetActivePage(page.tsView);
        EXPECT_EQ(page.txtWindowTitle->Text(), "Microsoft Internet Explorer");
        EXPECT_TRUE(page.chkBackBitmap->Checked());
        EXPECT_EQ(page.txtBackBitmap->Text(), "C:\\WINNT\\Angler.bmp");
        EXPECT_FALSE(page.chkPicToolbar->Checked());
        EXPECT_FALSE(page.tbPicToolbar->Enabled) << "follows the box";
        EXPECT_EQ(page.tbPicToolbar->Position(), 400);
        EXPECT_EQ(page.lblPicToolbarMinSize->Caption, "400 x 400 Pixel");
    }
    SetRegStringValue(HKEY_CURRENT_USER, kMain, "Image_Filter", "gross", {});
    DeleteRegValue(HKEY_CURRENT_USER, kMain, "Enable_MyPics_Hoverbar", {});
    DeleteRegValue(HKEY_CURRENT_USER, kMain, "Window Title", {});
    {
        TfrmIE page(nullptr);
        page.PageControl1->SetActivePage(page.tsView);
        EXPECT_EQ(page.tbPicToolbar->Position(), 200) << "unreadable: 200";
        EXPECT_TRUE(page.chkPicToolbar->Checked()) << "missing: on";
        EXPECT_EQ(page.txtWindowTitle->Text(), "Microsoft Internet Explorer");
    }
    SetRegDWORDValue(HKEY_CURRENT_USER, kMain, "Image_Filter", 90000, {});
    open("win7");
    DeleteRegValue(HKEY_CURRENT_USER, kMain, "Window Title", {});
    TfrmIE page(nullptr);
    page.PageControl1->SetActivePage(page.tsView);
    EXPECT_EQ(page.txtWindowTitle->Text(), "Windows Internet Explorer") << "from Vista on";
}

TEST_F(IEPage, ShowingEveryTabWritesNothing) {
    for (const char* templ : {"winxp", "win7", "win2000", "win98"}) {
        SCOPED_TRACE(templ);
        open(templ);
        const std::string user = test::readFile(dir->file("user.reg"));
        const std::string system = test::readFile(dir->file("system.reg"));
        std::string script;
        {
            TfrmIE probe(nullptr);
            for (auto* sheet : probe.PageControl1->Pages())
                if (sheet->TabVisible) script += "tab " + sheet->Name + "\n";
        }
        run(script);
        EXPECT_EQ(transactions(), 0u);
        session.reset();
        if (std::string(templ) != "win2000") { // its Google search preset is completed
            EXPECT_EQ(test::readFile(dir->file("user.reg")), user);
            EXPECT_EQ(test::readFile(dir->file("system.reg")), system);
        }
        reopen();
    }
}

TEST_F(IEPage, ViewEditsAreWrittenOnceWhenTheirGroupIsLeft) {
    open("win2000");
    run("tab tsView\nset txtWindowTitle \"Mein Browser\"\nexpect txtWindowTitle text \"Mein "
        "Browser\"\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Window Title"), "Mein Browser")
        << "written when the page closes with the focus still there";
    run("tab tsView\nset txtWindowTitle \"Zweiter\"\nfocus txtBackBitmap\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Window Title"), "Zweiter");
    const auto before = transactions();
    run("tab tsView\nfocus txtWindowTitle\nfocus txtBackBitmap\n");
    EXPECT_EQ(transactions(), before) << "passing through writes nothing";

    // Clearing the picture and leaving the group unticks the box and deletes the value.
    run("tab tsView\nset txtBackBitmap \"\"\nfocus txtWindowTitle\nexpect chkBackBitmap checked "
        "false\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kToolbar, "BackBitmap"), "<none>");
    run("tab tsView\ncheck chkBackBitmap on\nset txtBackBitmap \"C:\\\\WINNT\\\\Kaffee.bmp\"\n"
        "focus txtWindowTitle\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kToolbar, "BackBitmap"), "C:\\WINNT\\Kaffee.bmp");

    run("tab tsView\ncheck chkPicToolbar on\nspin tbPicToolbar 350\nfocus txtWindowTitle\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Enable_MyPics_Hoverbar"), "yes");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kMain, "Image_Filter"), 350u);

    run("tab tsView\nclick btnViewDefault\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Window Title"), "Microsoft Internet Explorer");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kToolbar, "BackBitmap"), "<none>");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kMain, "Image_Filter"), 200u);
}

TEST_F(IEPage, SourceViewerBeforeAndFromVersion8) {
    open("winxp"); // version 7: one edit, Notepad in the Windows folder is the standard
    run("tab tsMenu\nset txtSourceViewer \"C:\\\\Tools\\\\view.exe\"\nfocus btnIEContextMenu\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kEditor, ""), "C:\\Tools\\view.exe");
    run("tab tsMenu\nexpect txtSourceViewer text \"C:\\\\Tools\\\\view.exe\"\nset "
        "txtSourceViewer \"C:\\\\WINDOWS\\\\Notepad.exe\"\nfocus btnIEContextMenu\n");
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, kEditor, {})) << "the standard deletes the key";

    open("win7"); // version 8: a choice, stored for the user
    std::string out = run("tab tsMenu\nprint rbSourceViewer\nprint txtSourceViewer\n");
    EXPECT_NE(out.find("(*) rbSourceViewer"), std::string::npos) << out;
    run("tab tsMenu\nset txtSourceViewer \"c:\\\\windows\\\\SYSTEM32\\\\NOTEPAD.EXE\"\nfocus "
        "btnIEContextMenu\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kEditor, ""), GetSysDir() + "\\notepad.exe")
        << "the canonical spelling";
    SetRegStringValue(HKEY_LOCAL_MACHINE, kEditor, "", "C:\\x.exe", {});
    run("tab tsMenu\nclick btnMenuDefault\nexpect rbDefaultViewer checked true\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kEditor, ""), "<none>");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kEditor, ""), "<none>");
}

TEST_F(IEPage, MenuBarFrameAndFileMenu) {
    open("win7"); // AlwaysShowMenus is 1
    run("tab tsMenu\nexpect IE7FrameMenu.cbMenueBarShow checked true\ncheck "
        "IE7FrameMenu.cbMenueBarPosition on\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kToolbar + "\\WebBrowser", "ITBar7Position"), 1u);
    run("tab tsMenu\nclick btnMenuDefault\nexpect IE7FrameMenu.cbMenueBarShow checked false\n");
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, kMain, "AlwaysShowMenus", {}))
        << "reset deletes and leaves no 0 behind";
    EXPECT_FALSE(
        RegValueExists(HKEY_CURRENT_USER, kToolbar + "\\WebBrowser", "ITBar7Position", {}));

    open("win2000"); // NoExpandedNewMenu is 1
    const std::string policies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
    run("tab tsMenu\nexpect optNewNoMenu checked true\nclick optNewMenu\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, policies, "NoExpandedNewMenu"), 0u);
    run("tab tsMenu\nclick optNewNoMenu\nclick btnMenuDefault\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, policies, "NoExpandedNewMenu"), 0u);
}

TEST_F(IEPage, UserAgentIsSavedIntoBothHivesWhenAFieldIsLeft) {
    open("winxp");
    std::string out =
        run("tab tsSecurity\nprint edtAgentApplication\nprint chkAgentCompatible\nprint "
            "edtAgentVersion\nfocus edtAgentVersion\nfocus edtAgentPlatform\n");
    EXPECT_NE(out.find("\"Mozilla/4.0\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"MSIE 7.0\""), std::string::npos) << out;
    EXPECT_EQ(transactions(), 0u) << "tabbing through saves nothing";

    SetRegStringValue(HKEY_LOCAL_MACHINE, kAgent + "\\Post Platform", "SV1", "", {});
    run("tab tsSecurity\nset edtAgentVersion \"MSIE 9.0\"\nfocus edtAgentPlatform\n");
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(str(hive, kAgent, "Version"), "MSIE 9.0");
        EXPECT_TRUE(RegValueExists(hive, kAgent + "\\Post Platform", "SV1", {}))
            << "both hives get the merged tokens";
    }
    run("tab tsSecurity\ncheck chkAgentCompatible off\nfocus edtAgentPlatform\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kAgent, "Compatible"), " ");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kAgent, "Compatible"), " ");
    run("tab tsSecurity\ncheck chkAgentCompatible on\nfocus edtAgentPlatform\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kAgent, "Compatible"), "<none>");

    run("tab tsSecurity\ncheck chkAlwaysPromptWhenDownload on\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER,
                    "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions",
                    "AlwaysPromptWhenDownload"),
              1u);
    run("tab tsSecurity\nclick btnSecurityDefault\nexpect edtAgentVersion text \"MSIE 7.0\"\n");
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(str(hive, kAgent, "Version"), "<none>");
        std::vector<std::string> names, data;
        EnumRegValuesEx(hive, kAgent + "\\Post Platform", names, data, {});
        EXPECT_TRUE(names.empty());
    }
    EXPECT_EQ(dword(HKEY_CURRENT_USER,
                    "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions",
                    "AlwaysPromptWhenDownload"),
              0u);
}

TEST_F(IEPage, ConnectionCountsAreWrittenTogetherOnLeavingTheGroup) {
    open("winxp");
    std::string out = run("tab tsPerformance\nprint udeMaxHTTP1\nprint udeMaxHTTP11\n");
    EXPECT_NE(out.find("udeMaxHTTP1 = 4"), std::string::npos) << out;
    EXPECT_NE(out.find("udeMaxHTTP11 = 2"), std::string::npos) << out;
    EXPECT_EQ(transactions(), 0u);
    run("tab tsPerformance\nspin udeMaxHTTP11 6\nfocus btnStartSpeedOptimizer\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kInet, "MaxConnectionsPerServer"), 6u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kInet, "MaxConnectionsPer1_0Server"), 4u);
    out = run("tab tsPerformance\nclick btnStartSpeedOptimizer\n");
    EXPECT_NE(out.find("nicht gefunden"), std::string::npos) << "a failure is a message";
}

TEST_F(IEPage, FavouritesTreeHidesAndShowsRealFolders) {
    open("winxp"); // Favoriten with Links, Nachrichten and the hidden Privat
    TfrmIE page(nullptr);
    ASSERT_EQ(page.tvFavorites->Roots().size(), 1u);
    const auto& root = *page.tvFavorites->Roots().front();
    EXPECT_EQ(root.Text, "Favoriten");
    EXPECT_EQ(root.ImageIndex, 2);
    ASSERT_EQ(root.Children().size(), 3u) << "folders only, no shortcuts";
    EXPECT_EQ(root.Children()[2]->Text, "Privat");
    EXPECT_EQ(root.Children()[2]->ImageIndex, 1);
    EXPECT_EQ(root.Children()[0]->ImageIndex, 0);
    EXPECT_FALSE(page.cmdHideFavoriteFolder->Enabled) << "the root is selected";
    EXPECT_EQ(page.FavoriteFolderPath(*root.Children()[1]), GetFolderLocStr(6) + "\\Nachrichten");

    std::string out = run("tab tsView\nselect tvFavorites Favoriten/Privat\nexpect "
                          "cmdHideFavoriteFolder caption Einblenden\nclick "
                          "cmdHideFavoriteFolder\nselect tvFavorites Favoriten/Links\nclick "
                          "cmdHideFavoriteFolder\nexpect cmdHideFavoriteFolder caption "
                          "Einblenden\n");
    auto& files = session->machine().files();
    EXPECT_FALSE(files.isHidden(host(GetFolderLocStr(6) + "\\Privat")));
    EXPECT_TRUE(files.isHidden(host(GetFolderLocStr(6) + "\\Links")));
    // Each is a journalled change that undo reverses.
    const auto made = session->journal()->list();
    ASSERT_EQ(made.size(), 2u);
    session->journal()->undo(made[0].id, session->registry());
    EXPECT_FALSE(files.isHidden(host(GetFolderLocStr(6) + "\\Links")));
    session->journal()->undo(made[1].id, session->registry());
    EXPECT_TRUE(files.isHidden(host(GetFolderLocStr(6) + "\\Privat")));

    // A folder that vanished meanwhile is a message and changes nothing.
    TfrmIE again(nullptr);
    toolkit::TTreeNode* news = again.tvFavorites->FindPath("Favoriten/Nachrichten");
    ASSERT_NE(news, nullptr);
    std::filesystem::remove_all(host(GetFolderLocStr(6) + "\\Nachrichten"));
    again.tvFavorites->SetSelected(news);
    again.tvFavoritesClick(*again.tvFavorites);
    again.cmdHideFavoriteFolderClick(*again.cmdHideFavoriteFolder);
    EXPECT_EQ(news->ImageIndex, 0);
    EXPECT_EQ(again.cmdHideFavoriteFolder->Caption, "Ausblenden");
}

TEST_F(IEPage, ResortingDeletesEveryOrderInOneUndoableStep) {
    open("winxp");
    SetRegBinaryValue(HKEY_CURRENT_USER, kOrder + "\\Links\\Tief", "Order", {1, 2}, {});
    const auto before = transactions();
    std::string out = run("tab tsView\nclick btnResortFavorites\n");
    EXPECT_NE(out.find("Favoriten wurden sortiert"), std::string::npos) << out;
    for (const std::string& key : {kOrder, kOrder + "\\Links", kOrder + "\\Links\\Tief"})
        EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, key, "Order", {})) << key;
    ASSERT_EQ(transactions(), before + 1);
    session->journal()->undo(lastTransaction(), session->registry());
    for (const std::string& key : {kOrder, kOrder + "\\Links", kOrder + "\\Links\\Tief"})
        EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, key, "Order", {})) << key;
    open("win98"); // no order at all: the message all the same
    EXPECT_NE(run("tab tsFavorites\nclick btnResortFavorites\n").find("alphabetisch"),
              std::string::npos);
}

TEST_F(IEPage, ContextTexts) {
    EXPECT_EQ(ContextText(kAllContexts), "Allen Elementen");
    EXPECT_EQ(ContextText(0), "Nie");
    EXPECT_EQ(ContextText(0x22), "Bildern, Hyperlinks");
    EXPECT_EQ(ContextText(0x11), "Markierten Texten, Webseitenhintergründen");
    EXPECT_EQ(ContextText(0x3F), "Allen Elementen") << "every context there is";
    EXPECT_EQ(ContextText(0x3B), "Bildern, Hyperlinks, Markierten Texten, Tabellen, "
                                 "Webseitenhintergründen");
    EXPECT_EQ(ContextText(0x100), "Nie") << "unknown flags name nothing";
}

TEST_F(IEPage, ContextMenuDialogListsInstalledParkedAndKnownEntries) {
    open("winxp");
    // Present both switched on and parked: listed once, ticked.
    SetRegStringValue(HKEY_CURRENT_USER, kMenuExt + "-\\E&xport nach Microsoft Excel", "", "old",
                      {});
    const auto before = transactions();
    std::string out = run("tab tsMenu\nclick btnIEContextMenu\nprint ListView1\nselect "
                          "ListView1 \"Export nach Microsoft Excel\"\nprint lblContext\nprint "
                          "lblDesc\nselect ListView1 \"Bild vergrößern\"\nprint lblDesc\nclick "
                          "btnCancel\n");
    EXPECT_EQ(transactions(), before) << "Cancel writes nothing";
    EXPECT_NE(out.find("[x] Export nach Microsoft Excel"), std::string::npos) << out;
    EXPECT_EQ(out.find("[ ] Export nach Microsoft Excel"), std::string::npos) << out;
    EXPECT_NE(out.find("[ ] An OneNote senden"), std::string::npos) << out;
    EXPECT_NE(out.find("[ ] Text hervorheben"), std::string::npos) << "known and shipped";
    EXPECT_NE(out.find("lblContext \"Webseitenhintergründen\""), std::string::npos) << out;
    EXPECT_NE(out.find("lblDesc \"Nicht verfügbar\""), std::string::npos) << out;
    EXPECT_NE(out.find("doppelt so groß"), std::string::npos)
        << "an installed entry matched by its file shows the known description";
}

TEST_F(IEPage, ContextMenuMovesAreOneTransactionUndoneAtOnce) {
    open("winxp");
    SetRegStringValue(HKEY_CURRENT_USER, kMenuExt + "-\\Bild &vergrößern", "", "older copy", {});
    const auto before = transactions();
    run("tab tsMenu\nclick btnIEContextMenu\ntick ListView1 \"Bild vergrößern\" off\ntick "
        "ListView1 \"An OneNote senden\" on\ntick ListView1 \"Text hervorheben\" on\nclick "
        "btnOK\n");
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kMenuExt + "\\Bild &vergrößern", {}));
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMenuExt + "-\\Bild &vergrößern", ""),
              "C:\\WINDOWS\\Web\\zoomin.htm")
        << "the parked copy is replaced";
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kMenuExt + "\\An &OneNote senden", "Contexts"), 0x3Fu);
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kMenuExt + "-\\An &OneNote senden", {}));
    const std::string created = kMenuExt + "\\Text &hervorheben";
    const std::string script = str(HKEY_CURRENT_USER, created, "");
    EXPECT_EQ(script, GetFolderLocStr(26) + "\\Deskforge\\Web\\highlight.htm");
    EXPECT_EQ(test::readFile(host(script)),
              test::readFile(std::string(RAVELIN_SOURCE_DIR) + "/share/Web/highlight.htm"));
    std::vector<std::string> names, data;
    EnumRegValuesEx(HKEY_CURRENT_USER, created, names, data, {});
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(data[1], "10000000") << "4 bytes REG_BINARY, little-endian";

    ASSERT_EQ(transactions(), before + 1) << "one transaction";
    session->journal()->undo(lastTransaction(), session->registry());
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMenuExt + "\\Bild &vergrößern", ""),
              "C:\\WINDOWS\\Web\\zoomin.htm");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMenuExt + "-\\Bild &vergrößern", ""), "older copy");
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kMenuExt + "\\An &OneNote senden", {}));
    EXPECT_TRUE(KeyExist(HKEY_CURRENT_USER, kMenuExt + "-\\An &OneNote senden", {}));
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, created, {}));
    EXPECT_FALSE(std::filesystem::exists(host(script))) << "the copied script goes too";
    EXPECT_FALSE(std::filesystem::exists(host(GetFolderLocStr(26) + "\\Deskforge")))
        << "and the folders made for it";
}

TEST_F(IEPage, AContextMenuDialogWhoseScriptFolderIsBlockedWritesNothing) {
    open("winxp");
    // A file stands where the scripts' folder would go.
    test::writeFile(host(GetFolderLocStr(26) + "\\Deskforge"), "x");
    const auto before = transactions();
    run("tab tsMenu\nclick btnIEContextMenu\ntick ListView1 \"An OneNote senden\" on\ntick "
        "ListView1 \"Text hervorheben\" on\nclick btnOK\n",
        1);
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kMenuExt + "\\An &OneNote senden", {}))
        << "the entry before the refused one is not applied either";
    EXPECT_EQ(transactions(), before);
}

TEST_F(IEPage, ClassicSearchBarRecognisesPresetsAndKeepsCustomAddresses) {
    const std::string search = "SOFTWARE\\Microsoft\\Internet Explorer\\Search";
    open("win2000"); // the Google search pane is stored
    SetRegStringValue(HKEY_LOCAL_MACHINE, search, "CustomizeSearch", "veraltet", {});
    std::string out = run("print cbSearchBar\nexpect txtSearchAddress enabled true\n");
    EXPECT_NE(out.find("= \"Google\""), std::string::npos) << out;
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, search, "CustomizeSearch"), "veraltet")
        << "showing a recognised preset stores nothing";
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Use Custom Search URL"), "<none>");
    run("focus txtSearchAddress\nfocus btnUsabilityDefault\n");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, search, "CustomizeSearch"), "veraltet")
        << "leaving a preset's address does not spoil its customisation address";

    SetRegStringValue(HKEY_LOCAL_MACHINE, search, "SearchAssistant", "http://suche.example/", {});
    out = run("print cbSearchBar\nset txtSearchAddress \"http://andere.example/?q=\"\nfocus "
              "btnUsabilityDefault\n");
    EXPECT_NE(out.find("= \"Benutzerdefiniert\""), std::string::npos) << out;
    for (const auto& [root, key, name] :
         {std::tuple{HKEY_CURRENT_USER, kMain, "Search Bar"},
          std::tuple{HKEY_LOCAL_MACHINE, search, "CustomizeSearch"},
          std::tuple{HKEY_LOCAL_MACHINE, search, "SearchAssistant"}})
        EXPECT_EQ(str(root, key, name), "http://andere.example/?q=") << name;

    open("winxp"); // CurrentOS 6 offers the XP assistant, and "Use Search Asst" wins
    SetRegStringValue(HKEY_CURRENT_USER, kMain, "Use Search Asst", "yes", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, search, "SearchAssistant",
                      "http://www.google.com/ie?hl={SUB_RFC1766}", {});
    // Version 7 has no classic search bar: the page leaves the values alone.
    run("tab tsExplorerBars\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Use Search Asst"), "yes");
}

TEST_F(IEPage, NavigationCombosReadWriteAndReset) {
    open("win7"); // PopupsUseNewWindow 2, ShortcutBehavior 5
    const std::string tabbed = "Software\\Microsoft\\Internet Explorer\\TabbedBrowsing";
    std::string out =
        run("tab tsNavigation\nprint cbPopupsUseNewWindow\nprint cbShortcutBehavior\n");
    EXPECT_NE(out.find("= \"Immer in neuer Registerkarte\""), std::string::npos) << out;
    EXPECT_NE(out.find("= \"In neuer Registerkarte im aktuellen Fenster\""), std::string::npos)
        << "a value out of range selects item 1";
    run("tab tsNavigation\nselect cbShortcutBehavior \"In neuem Fenster\"\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, tabbed, "ShortcutBehavior"), 0u);
    EXPECT_EQ(session->journal()->list().back().category, 512);
    out = run("tab tsNavigation\nclick btnNavigationDefault\nprint cbPopupsUseNewWindow\n");
    EXPECT_NE(out.find("= \"Immer in neuem Fenster\""), std::string::npos) << out;
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, tabbed, "PopupsUseNewWindow", {}));
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, tabbed, "ShortcutBehavior", {}));
    DeleteRegValue(HKEY_CURRENT_USER, tabbed, "PopupsUseNewWindow", {});
    out = run("tab tsNavigation\nprint cbPopupsUseNewWindow\n");
    EXPECT_NE(out.find("= \"Internet Explorer entscheiden lassen\""), std::string::npos)
        << "missing: item 0";
}

TEST_F(IEPage, SearchBoxOfVersion8) {
    open("win7");
    const std::string key =
        "Software\\Policies\\Microsoft\\Internet Explorer\\InfoDelivery\\Restrictions";
    run("check cbIE8DisplaySearchBox off\nexpect btnSearchProviderSettings enabled false\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, key, "NoSearchBox"), 1u);
    run("expect cbIE8DisplaySearchBox checked false\nclick btnUsabilityDefault\nexpect "
        "btnSearchProviderSettings enabled true\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, key, "NoSearchBox"), 0u);
}

TEST_F(IEPage, ModuleStateAtCreation) {
    open("winxp");
    {
        TfrmIE page(nullptr);
        EXPECT_EQ(frmIE, &page);
        EXPECT_EQ(LinksFolder, GetFolderLocStr(6) + "\\Links");
        EXPECT_EQ(DefaultSourceViewer, GetWinDir() + "\\Notepad.exe");
        EXPECT_EQ(NotepadSourceViewer, DefaultSourceViewer);
        ASSERT_NE(ilFavorites, nullptr);
        ASSERT_EQ(ilFavorites->Files.size(), 3u) << "folder, hidden folder, root";
        EXPECT_NE(ilFavorites->Files[1].find("folder-hidden"), std::string::npos);
    }
    EXPECT_EQ(frmIE, nullptr);
    EXPECT_EQ(IE7FrameMenu, nullptr) << "the frames go with the page";
    open("win7");
    SetRegStringValue(HKEY_CURRENT_USER, kToolbar, "LinksFolderName", "Verknüpfungen", {});
    TfrmIE page(nullptr);
    EXPECT_EQ(LinksFolder, GetFolderLocStr(6) + "\\Verknüpfungen");
    EXPECT_EQ(DefaultSourceViewer, "");
    EXPECT_EQ(NotepadSourceViewer, GetSysDir() + "\\notepad.exe");
}
