// The Opera page in the desktop host, offscreen: a click on its Qt widget writes Opera's
// file, and the host's undo puts the file back and the page shows it.
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge-gui/MainWindow.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Nxsystem.h"
#include "opera/ufrmOpera.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <QAbstractButton>
#include <gtest/gtest.h>

using namespace ravelin;

TEST(GuiOpera, AClickWritesOperasFileAndUndoPutsItBack) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    app::MachineSession session(dir.path(), app::MachineSession::Mode::Write);
    const test::ModulePages pages({"opera"});
    const std::string file = session.machine().files().hostPath(
        "C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile\\opera6.ini");
    const std::string before = test::readFile(file);
    {
        gui::MainWindow window;
        ASSERT_TRUE(window.openPage("opera", "tsPerformance"));
        auto* fast = dynamic_cast<QAbstractButton*>(
            window.pageView()->widgetByName("rbHistoryNavigationModeFast"));
        ASSERT_NE(fast, nullptr);
        fast->click();
        EXPECT_NE(test::readFile(file).find("History Navigation Mode=3\r\n"), std::string::npos);
        ASSERT_TRUE(window.undoLastChange());
        EXPECT_EQ(test::readFile(file), before);
        auto* page = dynamic_cast<opera::TfrmOpera*>(window.page());
        ASSERT_NE(page, nullptr);
        EXPECT_TRUE(page->rbHistoryNavigationModeAutomatic->Checked());
    }
}
