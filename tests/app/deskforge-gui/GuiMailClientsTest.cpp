// The attachment dialog in the window: its list of types with their check boxes.
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge/Machine.h"
#include "mailchat/ufrmOutlookSecurity.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Driver.h"

#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace ravelin;

TEST(GuiMailClients, TheAttachmentListShowsTypesAndTakesTicks) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    app::MachineSession session(dir.path(), app::MachineSession::Mode::Write);
    mailchat::TfrmOutlookSecurity dialog(nullptr);
    toolkit::UserDriver driver(dialog);
    gui::FormView view(dialog, [&](const std::string&, const gui::DriverAction& action) {
        action(driver);
        view.sync();
    });
    view.sync();
    auto* tree = view.findChild<QTreeWidget*>("lvFileTypes");
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 41);
    EXPECT_EQ(tree->headerItem()->text(1), "Beschreibung");
    QTreeWidgetItem* mdb = tree->findItems("MDB", Qt::MatchExactly).value(0);
    QTreeWidgetItem* exe = tree->findItems("EXE", Qt::MatchExactly).value(0);
    ASSERT_TRUE(mdb && exe);
    EXPECT_EQ(mdb->checkState(0), Qt::Unchecked);
    EXPECT_EQ(exe->checkState(0), Qt::Checked);
    EXPECT_EQ(exe->text(1), "Anwendung");
    EXPECT_EQ(dialog.lvFileTypes->Tag, 0);
    // A tick shows in the window and marks the list; a selection does not.
    driver.Select("lvFileTypes", "COM");
    view.sync();
    EXPECT_EQ(dialog.lvFileTypes->Tag, 0);
    driver.Tick("lvFileTypes", "EXE", false);
    view.sync();
    exe = tree->findItems("EXE", Qt::MatchExactly).value(0);
    ASSERT_NE(exe, nullptr);
    EXPECT_EQ(exe->checkState(0), Qt::Unchecked);
    EXPECT_EQ(dialog.lvFileTypes->Tag, 1);
}
