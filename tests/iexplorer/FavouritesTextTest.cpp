// Favourites are files and folders named on Linux: a name is never read back as a path,
// and the shortcuts Windows keeps out of sight stay out of the dialog.
#include "app/deskforge/Machine.h"
#include "host/Nxsystem.h"
#include "host/machine/Machine.h"
#include "iexplorer/ufrmIE.h"
#include "iexplorer/ufrmIE7DialogStartpageFavorites.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/xattr.h>

using namespace ravelin;
using namespace ravelin::iexplorer;
namespace fs = std::filesystem;

namespace {

class FavouritesText : public test::PageTest {
  protected:
    FavouritesText() : PageTest("explorer") {}
    void SetUp() override {
        open("winxp");
        favourites = host(GetFolderLocStr(6));
        ASSERT_TRUE(fs::is_directory(favourites));
    }
    void shortcut(const std::string& path, const std::string& url) {
        test::writeFile(path, "[InternetShortcut]\r\nURL=" + url + "\r\n");
    }
    // What the tree holds, one "path=address" a line in tree order (address when a leaf).
    static void walk(const toolkit::TTreeNode& node, const std::string& prefix,
                     std::vector<std::string>& out) {
        for (const auto& child : node.Children()) {
            out.push_back(prefix + child->Text);
            walk(*child, prefix + child->Text + "/", out);
        }
    }
    std::string favourites;
};

} // namespace

TEST_F(FavouritesText, AFolderNamedWithABackslashIsHiddenItselfNotTheNestedOne) {
    fs::create_directories(favourites + "/a\\b");
    fs::create_directories(favourites + "/a/b");
    auto& files = session->machine().files();
    TfrmIE page(nullptr);
    toolkit::TTreeNode* node = page.tvFavorites->FindPath("Favoriten/a\\b");
    ASSERT_NE(node, nullptr);
    page.tvFavorites->SetSelected(node);
    page.tvFavoritesClick(*page.tvFavorites);
    ASSERT_EQ(page.cmdHideFavoriteFolder->Caption, "Ausblenden");
    page.cmdHideFavoriteFolderClick(*page.cmdHideFavoriteFolder);
    EXPECT_TRUE(files.isHidden(favourites + "/a\\b"));
    EXPECT_FALSE(files.isHidden(favourites + "/a/b"));
    EXPECT_EQ(node->ImageIndex, 1);
}

TEST_F(FavouritesText, TheDialogReadsShortcutsWhereTheyAreAndLeavesOutHiddenAndSystemOnes) {
    fs::create_directories(favourites + "/a\\b");
    fs::create_directories(favourites + "/a/b");
    shortcut(favourites + "/a\\b/Ziel.url", "http://ziel.example.org/");
    shortcut(favourites + "/a/b/Ziel.url", "http://falsch.example.org/");
    shortcut(favourites + "/Sichtbar.url", "http://sichtbar.example.org/");
    shortcut(favourites + "/System.url", "http://system.example.org/");
    shortcut(favourites + "/Versteckt.url", "http://versteckt.example.org/");
    // As Wine keeps the attributes: system, hidden, and both with read-only.
    ASSERT_EQ(::setxattr((favourites + "/System.url").c_str(), "user.DOSATTRIB", "0x4", 3, 0), 0);
    ASSERT_EQ(::setxattr((favourites + "/Versteckt.url").c_str(), "user.DOSATTRIB", "0x3", 3, 0),
              0);
    TfrmIE7StartpageFavorites dialog(nullptr);
    std::vector<std::string> shown;
    for (const auto& root : dialog.tvFavorites->Roots())
        walk(*root, "", shown);
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Sichtbar"), shown.end());
    EXPECT_EQ(std::find(shown.begin(), shown.end(), "System"), shown.end());
    EXPECT_EQ(std::find(shown.begin(), shown.end(), "Versteckt"), shown.end());

    toolkit::TTreeNode* target = dialog.tvFavorites->FindPath("Favoriten/a\\b/Ziel");
    ASSERT_NE(target, nullptr);
    dialog.tvFavorites->SetSelected(target);
    EXPECT_EQ(dialog.lblHiddenURL->Caption, "http://ziel.example.org/");
    EXPECT_EQ(TfrmIE7StartpageFavorites::DataOf(*target).Path,
              GetFolderLocStr(6) + "\\a\\b\\Ziel.url");
}
