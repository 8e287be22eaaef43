#include "host/Nxsystem.h"
#include "iexplorer/ufrmIE7DialogStartpage.h"
#include "iexplorer/ufrmIE7DialogStartpageFavorites.h"
#include "iexplorer/ufrmIE7FrameStartpage.h"
#include "tests/iexplorer/IE7FrameTestSupport.h"

using namespace ravelin;
using namespace ravelin::iexplorer;

namespace {

const std::string kMain = "Software\\Microsoft\\Internet Explorer\\Main";
const std::string kShow = "tab tsNavigation\nprint IE7FrameStartpage.lvStartpages\n";
const std::string kAddManual = "click IE7FrameStartpage.btnAddStartPage\n"
                               "click IE7FrameStartpage.miAddSPManual\n";
const std::string kAddFavorite = "click IE7FrameStartpage.btnAddStartPage\n"
                                 "click IE7FrameStartpage.miAddSPFromFavorites\n";

class IE7FrameStartpageTest : public test::IE7FrameFixture {
  protected:
    std::vector<std::string> secondary() {
        std::vector<std::string> v;
        if (GetRegMultiStringValue(HKEY_CURRENT_USER, kMain, "Secondary Start Pages", v, {}) != 0)
            return {"<none>"};
        return v;
    }
    void setPages(const std::string& first, const std::vector<std::string>& more) {
        SetRegStringValue(HKEY_CURRENT_USER, kMain, "Start Page", first, {});
        if (more.empty())
            DeleteRegValue(HKEY_CURRENT_USER, kMain, "Secondary Start Pages", {});
        else
            SetRegMultiStringValue(HKEY_CURRENT_USER, kMain, "Secondary Start Pages", more, {});
    }
    std::string favorites() { return host(GetFolderLocStr(6)); }
};

} // namespace

TEST_F(IE7FrameStartpageTest, OddAddressesAndDuplicatesRoundTrip) {
    open("win7");
    setPages("www.ohne-schema.de/ a b", {"about:blank", "http://x.de/", "http://x.de/"});
    const std::size_t base = transactions();
    EXPECT_EQ(run(kShow), "TExListView lvStartpages\n"
                          "  - www.ohne-schema.de/ a b\n"
                          "  - about:blank\n"
                          "  - http://x.de/\n"
                          "  - http://x.de/\n");
    // Moving writes the list back as shown, duplicates and blanks included.
    run("tab tsNavigation\nselect IE7FrameStartpage.lvStartpages \"#1\"\n"
        "click IE7FrameStartpage.btnMoveUp\n"
        "expect IE7FrameStartpage.btnMoveUp enabled false\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Start Page"), "about:blank");
    EXPECT_EQ(secondary(), (std::vector<std::string>{"www.ohne-schema.de/ a b", "http://x.de/",
                                                     "http://x.de/"}));
    EXPECT_EQ(transactions(), base + 1);

    // Nothing to move at either end: nothing written.
    run("tab tsNavigation\nselect IE7FrameStartpage.lvStartpages \"#0\"\n"
        "expect IE7FrameStartpage.btnMoveUp enabled false\n"
        "expect IE7FrameStartpage.btnMoveDown enabled true\n"
        "select IE7FrameStartpage.lvStartpages \"#3\"\n"
        "expect IE7FrameStartpage.btnMoveDown enabled false\n");
    EXPECT_EQ(transactions(), base + 1);
    undoLast();
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Start Page"), "www.ohne-schema.de/ a b");
}

TEST_F(IE7FrameStartpageTest, AddingTypedAddresses) {
    open("win7");
    setPages("about:blank", {});
    const std::size_t base = transactions();
    // An empty address is refused in the dialog; Cancel adds nothing.
    std::string out = run("tab tsNavigation\n" + kAddManual +
                          "set edURL \"   \"\nclick btnOK\nclick btnCancel\n");
    EXPECT_NE(out.find("message: [Adresse ungültig] Die von Ihnen eingegebene Adresse entspricht "
                       "keinem gültigen Format.\nBitte überprüfen Sie Ihre Eingabe auf Fehler."),
              std::string::npos);
    EXPECT_EQ(transactions(), base);

    // The lone about:blank is replaced; an address without a scheme gets one.
    run("tab tsNavigation\n" + kAddManual + "set edURL \" www.eins.de \"\nclick btnOK\n" +
        kAddManual + "set edURL \"ftp://zwei.de\"\nclick btnOK\n" + kAddManual +
        "set edURL \"HTTP://WWW.EINS.DE\"\nclick btnOK\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Start Page"), "http://www.eins.de");
    EXPECT_EQ(secondary(), (std::vector<std::string>{"ftp://zwei.de"}));
    EXPECT_EQ(transactions(), base + 2);

    // about:blank in other letters is an address like any other: the new one is appended.
    setPages("About:Blank", {});
    out = run("tab tsNavigation\n" + kAddManual + "set edURL \"http://drei.de\"\nclick btnOK\n" +
              kAddManual + "set edURL \"http://DREI.de\"\nclick btnOK\n");
    EXPECT_NE(out.find("message: [Hinweis] Die von Ihnen angegebene Startseite befindet sich "
                       "schon in der Liste."),
              std::string::npos);
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Start Page"), "About:Blank");
    EXPECT_EQ(secondary(), (std::vector<std::string>{"http://drei.de"}));
}

TEST_F(IE7FrameStartpageTest, RemovingAndResetting) {
    open("win7");
    setPages("http://a.de/", {"http://b.de/"});
    const std::size_t base = transactions();
    run("tab tsNavigation\nselect IE7FrameStartpage.lvStartpages \"http://a.de/\"\n"
        "click IE7FrameStartpage.btnRemoveStartpage\n"
        "expect IE7FrameStartpage.btnRemoveStartpage enabled false\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Start Page"), "http://b.de/");
    EXPECT_EQ(secondary(), (std::vector<std::string>{"<none>"}));

    // The last page gives way to about:blank.
    std::string out = run("tab tsNavigation\nselect IE7FrameStartpage.lvStartpages \"#0\"\n"
                          "click IE7FrameStartpage.btnRemoveStartpage\n");
    EXPECT_NE(out.find("message: [Startseite entfernen] Durch das Löschen der letzten Startseite "
                       "wird die Startseite auf \"about:blank\" gesetzt"),
              std::string::npos);
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Start Page"), "about:blank");
    EXPECT_EQ(transactions(), base + 2);

    setPages("http://a.de/", {"http://b.de/", "http://c.de/"});
    run("tab tsNavigation\nclick btnNavigationDefault\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kMain, "Start Page"), kDefaultStartPage);
    EXPECT_EQ(secondary(), (std::vector<std::string>{"<none>"}));
    EXPECT_EQ(run(kShow), "TExListView lvStartpages\n  - " + std::string(kDefaultStartPage) + "\n");
    undoLast();
    EXPECT_EQ(secondary(), (std::vector<std::string>{"http://b.de/", "http://c.de/"}));
}

TEST_F(IE7FrameStartpageTest, PickingFromTheFavourites) {
    open("winxp");
    const std::string fav = favorites();
    ASSERT_FALSE(fav.empty());
    std::ofstream(fav + "/Versteckt.url") << "[InternetShortcut]\nURL=http://versteckt.de/\n";
    session->machine().files().setHidden(fav + "/Versteckt.url", true);
    std::ofstream(fav + "/Ohne Adresse.url") << "[InternetShortcut]\nIconIndex=1\n";
    std::ofstream(fav + "/Ohne Schema.url") << "[InternetShortcut]\nURL= www.schema.de \n";
    std::ofstream(fav + "/notiz.txt") << "kein Favorit\n";
    std::filesystem::create_directories(fav + "/Ordner.url");

    std::string out = run("tab tsNavigation\n" + kAddFavorite +
                          "print tvFavorites\n"
                          "select tvFavorites \"Favoriten/Nachrichten\"\nclick btnOK\n"
                          "select tvFavorites \"Favoriten/Ohne Adresse\"\nclick btnOK\n"
                          "select tvFavorites \"Favoriten/Ohne Schema\"\nclick btnOK\n");
    // Folders first, shortcuts (and a folder named like one) after them; hidden shortcuts
    // and other files are not offered, hidden folders are.
    EXPECT_NE(out.find("Privat"), std::string::npos) << out;
    EXPECT_EQ(out.find("Versteckt"), std::string::npos);
    EXPECT_EQ(out.find("notiz"), std::string::npos);
    EXPECT_LT(out.find("Nachrichten"), out.find("Ravelin-Beispielseite"));
    EXPECT_LT(out.find("Privat"), out.find("Ordner.url"));
    const std::string missing =
        "message: [Fehlende Auswahl] Bitte wählen Sie zuerst einen Favoriten aus der Liste aus.";
    ASSERT_NE(out.find(missing), std::string::npos);
    EXPECT_NE(out.find(missing, out.find(missing) + 1), std::string::npos);
    EXPECT_EQ(secondary().back(), "http://www.schema.de");

    // A double click on a shortcut takes it at once.
    run("tab tsNavigation\n" + kAddFavorite +
        "dblclick tvFavorites \"Favoriten/Nachrichten/Wetter\"\n");
    EXPECT_EQ(secondary().back(), "http://wetter.beispiel.de/");
    EXPECT_EQ(transactions(), 2u);
}

// The favourites dialog shows the shell's small icons: folders the folder's, shortcuts the
// icon of their type.
TEST_F(IE7FrameStartpageTest, TheFavouritesTreeShowsTheShellsIcons) {
    open("winxp");
    TfrmIE7StartpageFavorites dialog(nullptr);
    const toolkit::TImageList* images = dialog.tvFavorites->Images;
    ASSERT_NE(images, nullptr);
    auto fileOf = [&](const toolkit::TTreeNode& node) {
        EXPECT_GE(node.ImageIndex, 0) << node.Text;
        EXPECT_EQ(node.SelectedIndex, node.ImageIndex) << node.Text;
        return node.ImageIndex >= 0 && node.ImageIndex < images->Count()
                   ? images->Files[static_cast<std::size_t>(node.ImageIndex)]
                   : std::string("<none>");
    };
    ASSERT_FALSE(dialog.tvFavorites->Roots().empty());
    const toolkit::TTreeNode& root = *dialog.tvFavorites->Roots().front();
    EXPECT_EQ(fileOf(root), "system/folder");
    bool folder = false, shortcut = false;
    for (const auto& child : root.Children()) {
        const std::string file = fileOf(*child);
        if (child->Count() > 0) {
            folder = true;
            EXPECT_EQ(file, "system/folder") << child->Text;
        } else if (child->Text == "Ravelin-Beispielseite") {
            shortcut = true;
            EXPECT_NE(file, "system/folder");
        }
    }
    EXPECT_TRUE(folder);
    EXPECT_TRUE(shortcut);
}
