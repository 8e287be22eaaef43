// The Firefox page's profile list in the desktop host, offscreen: every profile with its
// installation, and the page edits the one the user picks.
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge-gui/MainWindow.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "firefox/ufrmFireFox.h"
#include "host/Smallmozillastuff.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <filesystem>
#include <gtest/gtest.h>

using namespace ravelin;

TEST(GuiFirefoxProfile, TheUsersPickIsThePageEdits) {
    test::TempDir dir, root, install;
    test::createSampleMachine(dir.path(), "winxp");
    app::MachineSession session(dir.path(), app::MachineSession::Mode::Write);
    for (const char* p : {"a", "b"}) {
        std::filesystem::create_directories(root.path() + "/" + p);
        test::writeFile(root.path() + "/" + p + "/prefs.js", "user_pref(\"x\", 1);\n");
    }
    test::writeFile(install.path() + "/application.ini", "[App]\nVersion=115.0\n");
    test::writeFile(root.path() + "/profiles.ini",
                    "[Profile0]\nName=a\nPath=a\n[Profile1]\nName=b\nPath=b\n[Install" +
                        FirefoxInstallHash(install.path()) + "]\nDefault=a\n");
    SetFirefoxInstallDir(install.path());
    SetFirefoxRoot(root.path());
    const test::ModulePages pages({"firefox"});
    {
        gui::MainWindow window;
        ASSERT_TRUE(window.openPage("firefox"));
        QComboBox* chooser = window.profileChooser();
        ASSERT_EQ(chooser->count(), 2);
        EXPECT_TRUE(chooser->itemText(0).startsWith("a ("));
        EXPECT_TRUE(chooser->itemText(0).contains(QString::fromStdString(install.path())));
        EXPECT_TRUE(chooser->itemText(1).contains("keiner Installation"));
        emit chooser->activated(1);
        EXPECT_EQ(window.profileChooser()->currentIndex(), 0) << "the chosen one leads now";
        EXPECT_TRUE(window.profileChooser()->itemText(0).startsWith("b ("));
        auto* box = dynamic_cast<QAbstractButton*>(
            window.pageView()->widgetByName("chkDisableBlinkingText"));
        ASSERT_NE(box, nullptr);
        box->click();
    }
    EXPECT_NE(test::readFile(root.path() + "/b/prefs.js").find("browser.blink_allowed"),
              std::string::npos);
    EXPECT_EQ(test::readFile(root.path() + "/a/prefs.js"), "user_pref(\"x\", 1);\n");
    SetFirefoxInstallDir("");
    SetFirefoxRoot("");
}
